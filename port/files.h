// Files as the run meets them: opening by name (names are UTF-8 on every
// platform), what stands at a map's name, and how a map is written beside it
// and takes its place only when complete. One file per platform below the
// shared writer (files.cpp).
#pragma once
#include <cstddef>
#include <cstdio>

#include "port/failure.h"

// Opens the file name for reading as bytes; null, with errno set, when it
// cannot (a folder gives EISDIR).
FILE* openread(const char* name);
// True when something (a file, folder or device) stands at name.
bool exists(const char* name);

enum targetkind {
    TARGET_NONE,       // nothing there yet: write beside it, then move into place
    TARGET_FILE,       // a plain file we may write: write beside it, then replace it
    TARGET_INPLACE,    // a device or pipe: written straight into, never replaced
    TARGET_REFUSED,    // a folder, a read-only or locked file, a name that leads nowhere
    TARGET_UNTRUSTED,  // a link that another user put in a shared folder: never followed
};

// Looks at the name f. For TARGET_NONE and TARGET_FILE, *path (from malloc)
// is the name to replace: f itself, or the file a symbolic link leads to.
// A link is followed only as the kernel would in a shared folder (sticky
// and world-writable): when it is the runner's or the folder owner's.
// *path is null for the other kinds and when memory runs out (then
// TARGET_REFUSED). A refusal leaves its reason in errno.
int examinetarget(const char* f, char** path);
// Opens the device or pipe f for writing straight into; null when it cannot.
FILE* openinplace(const char* f);
// Creates a new file in the folder of path that no file had, with the
// permissions, and the owner and group as far as the runner may give them,
// of the file path when there is one. Its name (from malloc) goes to *temp,
// or null when it has none yet: an unnamed file, gone with the process
// unless nametemp names it. Null, with nothing left behind, when it cannot.
FILE* opentemp(const char* path, char** temp);
// Gives the unnamed file f of opentemp the name to, replacing a file there
// only when replace; 0 (EEXIST when to exists) when it cannot. f stays open.
int nametemp(FILE* f, const char* to, bool replace);
// Flushes o and asks the system to put its bytes on the disk. 0 on failure.
int syncfile(FILE* o);
// Renames from to to, replacing to when it exists. 1 when done, else 0.
int replacefile(const char* from, const char* to);
// Renames from to to in one step that fails when to exists (EEXIST), so a
// file that came meanwhile is never replaced. 1 when done, else 0.
int placefile(const char* from, const char* to);
// Removes the file name; 1 when done.
int removefile(const char* name);
// True when the reason err (errno) says the disk, or the user's share of it,
// is full.
bool diskfull(int err);

// A map being written: into a temporary file beside its name, which takes
// the name's place at outclose, so a failed write never costs the user a
// good file; a device or pipe of that name is written straight into. Only
// the file that stood at the name at outopen may be replaced, and only when
// replace: a name that was free then must still be free at the end.
struct outfile {
    const char* name;  // the name asked for
    FILE* f;           // where the bytes go
    int kind;          // what stood at the name, TARGET_*
    char* real;        // the file to replace (name, or where its link leads), or null
    char* temp;        // the temporary file's name, or null (none, or unnamed)
    bool failed;       // a write failed: outclose removes the temporary file
    int step;          // steps of the write so far (knobs.writefailstep)
    int err;           // errno of the first failure
    bool replace;      // the file at the name may be replaced
};

// Opens the map file name; 0 with "I can't open this file" in *why when
// nothing may be written there (EEXIST when something stands there and not
// replace), or with a refusal of an untrusted link.
int outopen(outfile* o, const char* name, failure* why, bool replace = true);
// Writes n bytes; 1 when written, 0 (and o->failed) when not.
int outwrite(outfile* o, const void* p, size_t n);
// Puts the written file in place of the name; 0 with "I can't write this
// file" in *why when a write, the close or the replace failed, or the name
// was taken meanwhile (EEXIST; nothing is left behind then). Releases o
// either way.
int outclose(outfile* o, failure* why);
