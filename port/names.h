// File and material names: how long a path may be, how endings are told,
// the name tables and their hash, and the names of temporary files.
#pragma once
#include <cstring>

enum { PATHSIZE = 4096 };  // a file name the run keeps, NUL included

// True when name ends in ext (".bmp"), letters in either case.
inline bool hasext(const char* name, const char* ext)
{
    size_t n = std::strlen(name), k = std::strlen(ext);
    if (n < k) return false;
    for (size_t i = 0; i < k; i++) {
        char a = name[n - k + i], b = ext[i];
        if (a >= 'A' && a <= 'Z') a += 32;
        if (b >= 'A' && b <= 'Z') b += 32;
        if (a != b) return false;
    }
    return true;
}

// FNV-1a of s; with fold, A-Z hash as a-z.
inline unsigned namehash(const char* s, bool fold = false)
{
    unsigned h = 2166136261u;
    for (; *s; s++) {
        unsigned char c = (unsigned char)*s;
        if (fold && c >= 'A' && c <= 'Z') c += 32;
        h = (h ^ c) * 16777619u;
    }
    return h;
}

// The names of slots 0 to counted-1 of an array held elsewhere, hashed by
// open addressing. Cells hold slot numbers, so the array may move. Slots
// dropped from the end (counted lowered) leave stale cells, which a look-up
// passes over as it checks every hit against the array, and a rebuild
// clears. All zero is an empty table.
struct nameindex {
    int* cell;      // slot + 1, or 0 for an empty cell
    unsigned cap;   // cells, a power of two
    unsigned used;  // cells not empty, stale ones included
    int counted;    // slots in the table
};
// The name of slot k of the array a.
typedef const char* (*slotname)(const void* a, int k);
// The first of slots 0 to n-1 of a named s, or -1; x is brought up to n
// slots first. Without memory for the table, a plain scan.
int findname(nameindex* x, const void* a, int n, slotname name, const char* s);
// Releases x's cells and empties it.
void freenames(nameindex* x);

// True when Windows keeps the last part of the path name for a device (con,
// prn, aux, nul, com0-9, lpt0-9, conin$, conout$, in any case), whatever
// follows it after a dot and with trailing spaces: no file can have that
// name in any folder. Told on every platform; the run asks reservedname.
bool windowsdevice(const char* name);
// True when this system keeps the last part of name for a device, so that
// a map of that name would go to no file (Windows: windowsdevice).
bool reservedname(const char* name);
// The key under which this system's file names compare: name with its
// letters folded as the file system folds them (Windows: all of Unicode, by
// the system's own table; elsewhere A-Z), into key (room for size bytes).
// Two names give the same key exactly when they would be the same file.
// 4 * strlen(name) + 1 bytes always suffice.
void foldname(const char* name, char* key, int size);

// Room beyond a path's folder for the names writetempname writes, NUL included.
enum { TEMPNAMEROOM = 17 };
// A fresh name for a temporary file beside path, whose folder part is its
// first dir bytes, into t (room for dir + TEMPNAMEROOM): never longer than
// path's last part when that has 5 bytes or more, so that any name a map may
// have leaves room for it. prefix (9 bytes: a hiding mark and whose it is)
// where there is room, else its mark alone, then letters of alphabet drawn
// by *state (seeded by the caller, not 0).
void writetempname(char* t, const char* path, size_t dir, const char* prefix, const char* alphabet,
                   unsigned long long* state);
