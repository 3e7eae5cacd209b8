// A failure as the readers and writers give it back: what the run is to
// show (a box's text and title) and the system's reason, when there is one.
// The run decides how to tell a person; the layers below never do.
#pragma once
#include "port/names.h"

enum { FAILSIZE = PATHSIZE + 64 };

struct failure {
    char text[FAILSIZE];   // the box's text, often the file's name
    char title[FAILSIZE];  // its title: the message, or the file's name
    char file[PATHSIZE];   // the file it is about, or empty
    int err;               // errno of the system call that failed; 0 for none
};

// Fills *f (when f is not null) and returns 0, so a failing operation ends
// with `return fail(why, ...)`. file: the file the failure is about, when
// it is one that could not be opened, read or written (else null).
int fail(failure* f, const char* text, const char* title, const char* file = nullptr, int err = 0);
// Empties *f: nothing went wrong yet.
void nofailure(failure* f);
