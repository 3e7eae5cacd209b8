// How the job talks to a person: questions, file dialogs, the number prompt,
// message boxes and the progress title. The job names each question, box and
// stage; the texts stand in one table here. Each front end (Win32, FLTK, the
// batch command line, the scripted prompts of the tests) fills a promptops
// table and installs it with setprompts before a run.
#pragma once
#include "port/names.h"

typedef void* window;   // an owner window; null for none

enum answer {           // button codes, as Win32 numbers them
    ANSWER_OK = 1,
    ANSWER_CANCEL = 2,
    ANSWER_YES = 6,
    ANSWER_NO = 7,
};

enum boxicon {          // icon of a message box
    ICON_NONE = 0,
    ICON_EXCLAMATION = 0x30,  // MB_ICONEXCLAMATION
};

enum question {         // what the job asks, in the order a run asks it
    Q_MESH,             // open: the mesh
    Q_OUTPUT,           // save: the map, or cancel for a check
    Q_KIND,             // yes/no/cancel: coloured, mesh or transparency map
    Q_SEPARATE,         // yes/no: one map per material
    Q_SENSE,            // yes/no: black is transparent
    Q_FIGURE,           // open: the figure whose materials give colours
    Q_INVERT,           // yes/no: the map upside down
    Q_SIZE,             // input: the map's size
    Q_EXISTS,           // save: another name for a map that exists, or the same
    Q_CHECKPICTURE,     // save: the UV check's picture, or cancel for none
    NQUESTIONS
};

enum message {          // boxes a front end may treat in its own way
    MSG_OTHER,          // any other box, shown as it is
    MSG_NOTBMP,         // the output name was refused: the run only checks names
    MSG_FIGUREONLY,     // the names found in the figure only
    MSG_MESHONLY,       // the names found in the mesh only
    MSG_CREATED,        // a single map was written
    MSG_BADMESH,        // the mesh could not be read, or holds no faces
    MSG_FILE,           // a file could not be opened, read or written
    MSG_SPACE,          // the disk filled up: the run stopped making maps
};

enum note {             // what a run did, for front ends that report it (no box)
    NOTE_WROTE,         // a map of a run of several was written: its file
    NOTE_ALLPAIRED,     // every material name paired
    NOTE_NONEPAIRED,    // no material of the mesh paired: its maps are black
    NOTE_BEYOND,        // so many faces reach beyond texture space 0..1 (no tiles asked)
};

enum stage {            // the progress titles, in the order a run shows them
    STAGE_READFIGURE,
    STAGE_READMESH,
    STAGE_READLIBRARY,  // a material library, after the mesh or in the figure's place
    STAGE_MATCH,
    STAGE_PAINT,
    STAGE_MARGIN,
    STAGE_EDGES,
    STAGE_INVERT,
    STAGE_FINISHED,
    STAGE_CHECK,        // the UV check of the desktop's check command
    NSTAGES
};

const char* questiontext(question q);  // the words of each question
const char* stagetitle(stage s);       // the title of each stage

struct promptops {
    // An OK box; returns when closed. file: the file the box is about (one
    // of text and title), or null; err: the system's reason (errno) when it
    // could not be opened, read or written, else 0.
    void (*messagebox)(window owner, message id, const char* text, const char* title, int icon,
                       const char* file, int err);
    // Yes/No box without owner and title: 1 for yes, 0 for no.
    int (*yesno)(question q, const char* text);
    // Yes/No/Cancel box: ANSWER_YES, ANSWER_NO or ANSWER_CANCEL.
    int (*yesnocancel)(question q, const char* text);
    // Open (write 0) or save (write 1) dialog titled t with filter list f
    // (description and pattern pairs, ended by an extra NUL). file (room for
    // PATHSIZE bytes) proposes a name and receives the choice.
    // 1 when a file was chosen, 0 when cancelled.
    int (*getfilename)(window wn, question q, char* file, const char* t, const char* f, int write);
    // One run of the input dialog: shows prompt, proposes what answer (room
    // for size bytes) holds and leaves the answer there (unchanged when
    // cancelled). 1 when answered or cancelled; 0 when no answer can be had
    // (the run then stops).
    int (*getstr)(window wn, question q, const char* prompt, char* answer, int size);
    // Progress: the main window's title.
    void (*settitle)(window wn, stage s, const char* title);
    // How far the stage of the last title has come, 0 to 100; may be null.
    void (*progress)(window wn, int percent);
    // What the run did, shown in no box; may be null.
    void (*note)(note id, const char* text);
    // A long text (a report) to read, in a box that scrolls, titled title;
    // returns when closed.
    void (*textbox)(window wn, const char* title, const char* text);
};

enum { ASKBUFFER_SIZE = 128 };  // the input dialog's answer, NUL included

void setprompts(const promptops* ops);   // the front end for what follows
const promptops* currentprompts();

void messagebox(window owner, message id, const char* text, const char* title, int icon);
// An exclamation box; returns 0.
int warn(window owner, const char* text, const char* title, message id = MSG_OTHER);
// An exclamation box about a file that could not be opened, read or written
// for the reason err (errno, or 0); returns 0.
int warnfile(window owner, const char* text, const char* title, const char* file, int err);
void Note(note id, const char* text);    // front ends may report it
void TextBox(window wn, const char* title, const char* text);  // a report to read
int yesno(question q);
int yesnocancel(question q);
int GetFileName(window wn, question q, char* file, const char* f, int write);
void SetTitle(window wn, stage s);
void Progress(window wn, int percent);  // long stages report as they go
// Asks with the input dialog until the answer begins with a number, which
// goes to *v; false when the front end has no answer to give.
bool ask(window wn, question q, const char* init, double* v);
void LC(char* s);                        // A-Z to a-z in place, nothing else
