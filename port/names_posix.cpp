// File names on POSIX systems: every name is a file's, and names differ in
// case; maps still keep apart names that differ only in A-Z, so that they
// stay apart when copied to Windows.
#include "port/names.h"

bool reservedname(const char*) { return false; }

void foldname(const char* name, char* key, int size)
{
    int i = 0;
    for (; name[i] && i < size - 1; i++) key[i] = (char)(name[i] >= 'A' && name[i] <= 'Z' ? name[i] + 32 : name[i]);
    if (size > 0) key[i] = 0;
}
