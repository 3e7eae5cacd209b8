// How the job talks to a person: questions, file dialogs, the number prompt,
// message boxes and the progress title. Each front end (Win32, FLTK, the
// batch command line, the scripted prompts of the tests) fills a promptops
// table and installs it with setprompts before a run.
#pragma once

typedef void* window;   // an owner window; null for none

enum {                  // button codes, as Win32 numbers them
    ANSWER_OK = 1,
    ANSWER_CANCEL = 2,
    ANSWER_YES = 6,
    ANSWER_NO = 7,
};

enum boxicon {          // icon of a message box
    ICON_NONE = 0,
    ICON_EXCLAMATION = 0x30,  // MB_ICONEXCLAMATION
};

struct promptops {
    // An OK box; returns when closed.
    void (*messagebox)(window owner, const char* text, const char* title, int icon);
    // Yes/No box without owner and title: 1 for yes, 0 for no.
    int (*yesno)(const char* q);
    // Yes/No/Cancel box: ANSWER_YES, ANSWER_NO or ANSWER_CANCEL.
    int (*yesnocancel)(const char* q);
    // Open (write 0) or save (write 1) dialog titled t with filter list f
    // (description and pattern pairs, ended by an extra NUL). file (room for
    // PATHSIZE bytes) proposes a name and receives the choice.
    // 1 when a file was chosen, 0 when cancelled.
    int (*getfilename)(window wn, char* file, const char* t, const char* f, int write);
    // One run of the input dialog: shows prompt, proposes askbuffer and
    // leaves the answer there (unchanged when cancelled).
    void (*getstr)(window wn, const char* prompt);
    // Progress: the main window's title.
    void (*settitle)(window wn, const char* s);
    // How far the stage of the last title has come, 0 to 100; may be null.
    void (*progress)(window wn, int percent);
};

enum { PATHSIZE = 4096, ASKBUFFER_SIZE = 128 };  // name buffers; the answer buffer

extern char askbuffer[ASKBUFFER_SIZE];  // the input dialog's answer

void setprompts(const promptops* ops);   // the front end for what follows
const promptops* currentprompts();

void messagebox(window owner, const char* text, const char* title, int icon);
int warn(window owner, const char* text, const char* title);  // exclamation box; returns 0
int yesno(const char* q);
int yesnocancel(const char* q);
int GetFileName(window wn, char* file, const char* t, const char* f, int write);
void SetTitle(window wn, const char* s);
void Progress(window wn, int percent);  // long stages report as they go
// Asks with the input dialog until the answer begins with a number.
double ask(window wn, const char* prompt, const char* init);
void LC(char* s);                        // A-Z to a-z in place, nothing else
