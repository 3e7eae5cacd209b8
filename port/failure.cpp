// Filling in a failure record.
#include "port/failure.h"

#include <cstdio>

int fail(failure* f, const char* text, const char* title, const char* file, int err)
{
    if (!f) return 0;
    std::snprintf(f->text, sizeof f->text, "%s", text ? text : "");
    std::snprintf(f->title, sizeof f->title, "%s", title ? title : "");
    std::snprintf(f->file, sizeof f->file, "%s", file ? file : "");
    f->err = err;
    return 0;
}

void nofailure(failure* f)
{
    f->text[0] = f->title[0] = f->file[0] = 0;
    f->err = 0;
}
