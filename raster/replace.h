// What stands at a map's name, and how a finished file takes its place. One
// file per platform.
#pragma once
#include <cstdio>

enum targetkind {
    TARGET_NONE,     // nothing there yet: write beside it, then move into place
    TARGET_FILE,     // a plain file we may write: write beside it, then replace it
    TARGET_INPLACE,  // a device or pipe: written straight into, never replaced
    TARGET_REFUSED,  // a folder, a read-only or locked file, a name that leads nowhere
};

// Looks at the name f. For TARGET_NONE and TARGET_FILE, *path (from malloc)
// is the name to replace: f itself, or the file a symbolic link leads to.
// *path is null for the other kinds and when memory runs out (then
// TARGET_REFUSED).
int examinetarget(const char* f, char** path);
// Creates a new file beside path (path.tmp, path.tmp1, ...) that no file had,
// with the permissions of the file path when there is one. Its name (from
// malloc) goes to *temp. Null, with nothing left behind, when it cannot.
FILE* opentemp(const char* path, char** temp);
// Flushes o and asks the system to put its bytes on the disk. 0 on failure.
int syncfile(FILE* o);
// Renames from to to, replacing to when it exists. 1 when done, else 0.
int replacefile(const char* from, const char* to);
