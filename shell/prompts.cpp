#include "shell/prompts.h"

#include <cstdio>
#include <cstring>

char askbuffer[ASKBUFFER_SIZE];

// Until a front end is installed, boxes go to standard error and questions
// take their first answer, so library code never calls through null.
namespace {
void stderrbox(window, const char* text, const char* title, int)
{
    if (title && *title) std::fprintf(stderr, "%s: %s\n", title, text);
    else std::fprintf(stderr, "%s\n", text);
}
int firstyes(const char*) { return 1; }
int firstyesnocancel(const char*) { return ANSWER_YES; }
int nofile(window, char*, const char*, const char*, int) { return 0; }
void keepanswer(window, const char*) {}
void notitle(window, const char*) {}

const promptops fallback = {stderrbox, firstyes, firstyesnocancel, nofile, keepanswer, notitle, nullptr};
const promptops* ops = &fallback;
}

void setprompts(const promptops* p) { ops = p ? p : &fallback; }
const promptops* currentprompts() { return ops; }

void messagebox(window owner, const char* text, const char* title, int icon)
{
    ops->messagebox(owner, text ? text : "", title ? title : "", icon);
}

int warn(window owner, const char* text, const char* title)
{
    messagebox(owner, text, title, ICON_EXCLAMATION);
    return 0;
}

int yesno(const char* q) { return ops->yesno(q) ? 1 : 0; }
int yesnocancel(const char* q) { return ops->yesnocancel(q); }

int GetFileName(window wn, char* file, const char* t, const char* f, int write)
{
    return ops->getfilename(wn, file, t, f, write) ? 1 : 0;
}

void SetTitle(window wn, const char* s) { ops->settitle(wn, s); }

void Progress(window wn, int percent)
{
    if (ops->progress) ops->progress(wn, percent);
}

double ask(window wn, const char* prompt, const char* init)
{
    for (;;) {
        std::snprintf(askbuffer, sizeof askbuffer, "%s", init);
        ops->getstr(wn, prompt);
        askbuffer[sizeof askbuffer - 1] = 0;
        double v;
        if (std::sscanf(askbuffer, "%le", &v) == 1) return v;
    }
}

void LC(char* s)
{
    for (; *s; s++)
        if (*s >= 'A' && *s <= 'Z') *s += 32;
}
