// A log of what the FLTK window shows, for the desktop tests.
#include "shell/fltk_log.h"

#include <cstdio>
#include <cstdlib>

namespace {
void field(std::FILE* f, const char* s)
{
    for (; s && *s; s++) {
        if (*s == '\t') std::fputs("\\t", f);
        else if (*s == '\n') std::fputs("\\n", f);
        else if (*s == '\\') std::fputs("\\\\", f);
        else std::fputc(*s, f);
    }
}
}

void promptlog(const char* kind, const char* title, const char* text)
{
    const char* name = std::getenv("UVPAINT_PROMPT_LOG");
    if (!name || !*name) return;
    // Opened per line so that a reader sees each line as soon as it is shown.
    std::FILE* f = std::fopen(name, "a");
    if (!f) return;
    std::fputs(kind, f);
    std::fputc('\t', f);
    field(f, title);
    std::fputc('\t', f);
    field(f, text);
    std::fputc('\n', f);
    std::fclose(f);
}
