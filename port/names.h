// File and material names: how long a path may be, how endings are told,
// and the hash the name tables use.
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
