// The table of the job's words, and the calls that pass each question to
// the front end installed.
#include "port/prompts.h"

#include <cstdio>
#include <cstring>

namespace {
const char* const QUESTIONS[NQUESTIONS] = {
    "file to read mesh from?",
    "file to output texture map to? (cancel = only check materials)",
    "what sort of texture map do you want? (yes = colored, no = mesh, cancel = transparency)",
    "do you want me to output a separate map file for each material?",
    "do you want black = transparent, white = opaque (YES); or white = transparent, black = opaque (NO)?",
    "CR2 file to read materials from",
    "Do you want me to output the texture map inverted top/bottom?",
    "size of texture map?",
    "this file exists: choose new name or let me overwrite it",
    "file to save the check picture to? (cancel = no picture)",
};

const char* const STAGES[NSTAGES] = {
    "reading .CR2 file",
    "reading .OBJ file",
    "reading .MTL file",
    "matching material names",
    "making texture map",
    "adding margin",
    "adding white edges",
    "inverting texture map",
    "finished",
    "checking UV layout",
};

// Until a front end is installed, boxes go to standard error and questions
// take their first answer, so library code never calls through null.
void stderrbox(window, message, const char* text, const char* title, int, const char*, int)
{
    if (title && *title) std::fprintf(stderr, "%s: %s\n", title, text);
    else std::fprintf(stderr, "%s\n", text);
}
int firstyes(question, const char*) { return 1; }
int firstyesnocancel(question, const char*) { return ANSWER_YES; }
int nofile(window, question, char*, const char*, const char*, int) { return 0; }
int keepanswer(window, question, const char*, char*, int) { return 1; }
void notitle(window, stage, const char*) {}
void stdouttext(window, const char*, const char* text) { std::fputs(text, stdout); }

const promptops fallback = {stderrbox, firstyes, firstyesnocancel, nofile, keepanswer, notitle, nullptr, nullptr,
                            stdouttext};
const promptops* ops = &fallback;
}  // namespace

const char* questiontext(question q) { return q >= 0 && q < NQUESTIONS ? QUESTIONS[q] : ""; }
const char* stagetitle(stage s) { return s >= 0 && s < NSTAGES ? STAGES[s] : ""; }

void setprompts(const promptops* p) { ops = p ? p : &fallback; }
const promptops* currentprompts() { return ops; }

void messagebox(window owner, message id, const char* text, const char* title, int icon)
{
    ops->messagebox(owner, id, text ? text : "", title ? title : "", icon, nullptr, 0);
}

int warn(window owner, const char* text, const char* title, message id)
{
    messagebox(owner, id, text, title, ICON_EXCLAMATION);
    return 0;
}

int warnfile(window owner, const char* text, const char* title, const char* file, int err)
{
    ops->messagebox(owner, MSG_FILE, text ? text : "", title ? title : "", ICON_EXCLAMATION, file, err);
    return 0;
}

void TextBox(window wn, const char* title, const char* text)
{
    ops->textbox(wn, title ? title : "", text ? text : "");
}

void Note(note id, const char* text)
{
    if (ops->note) ops->note(id, text ? text : "");
}

int yesno(question q) { return ops->yesno(q, questiontext(q)) ? 1 : 0; }
int yesnocancel(question q) { return ops->yesnocancel(q, questiontext(q)); }

int GetFileName(window wn, question q, char* file, const char* f, int write)
{
    return ops->getfilename(wn, q, file, questiontext(q), f, write) ? 1 : 0;
}

void SetTitle(window wn, stage s) { ops->settitle(wn, s, stagetitle(s)); }

void Progress(window wn, int percent)
{
    if (ops->progress) ops->progress(wn, percent);
}

bool ask(window wn, question q, const char* init, double* v)
{
    char answer[ASKBUFFER_SIZE];
    for (;;) {
        std::snprintf(answer, sizeof answer, "%s", init);
        if (!ops->getstr(wn, q, questiontext(q), answer, (int)sizeof answer)) return false;
        answer[sizeof answer - 1] = 0;
        if (std::sscanf(answer, "%le", v) == 1) return true;
    }
}

void LC(char* s)
{
    for (; *s; s++)
        if (*s >= 'A' && *s <= 'Z') *s += 32;
}
