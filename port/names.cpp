// The name tables, the names Windows keeps for its devices, and the names
// of temporary files.
#include "port/names.h"

#include <cstdlib>

namespace {
int scan(const void* a, int n, slotname name, const char* s)
{
    for (int k = 0; k < n; k++)
        if (std::strcmp(name(a, k), s) == 0) return k;
    return -1;
}

// Puts slot k in; false when the cell it takes is a stale one of k's.
bool addcell(nameindex* x, const void* a, slotname name, int k)
{
    unsigned m = x->cap - 1;
    for (unsigned h = namehash(name(a, k)) & m;; h = (h + 1) & m) {
        if (x->cell[h] == k + 1) return false;
        if (!x->cell[h]) {
            x->cell[h] = k + 1;
            return true;
        }
    }
}

// Makes room for one more cell, rebuilding from the counted slots when the
// table is half full; false when no memory.
bool room(nameindex* x, const void* a, slotname name)
{
    if ((x->used + 1) * 2 <= x->cap) return true;
    unsigned cap = 16;
    while (cap < 4u * (unsigned)(x->counted + 1)) cap *= 2;
    int* cell = (int*)std::calloc(cap, sizeof(int));
    if (!cell) return false;
    std::free(x->cell);
    x->cell = cell;
    x->cap = cap;
    x->used = 0;
    for (int k = 0; k < x->counted; k++) x->used += addcell(x, a, name, k);
    return true;
}
}  // namespace

int findname(nameindex* x, const void* a, int n, slotname name, const char* s)
{
    if (x->counted > n) x->counted = n;
    for (; x->counted < n; x->counted++) {
        if (!room(x, a, name)) return scan(a, n, name, s);
        x->used += addcell(x, a, name, x->counted);
    }
    if (!x->cap) return -1;
    // A name may repeat: the lowest slot wins.
    int found = -1;
    unsigned m = x->cap - 1;
    for (unsigned h = namehash(s) & m; x->cell[h]; h = (h + 1) & m) {
        int k = x->cell[h] - 1;
        if (k < n && (found < 0 || k < found) && std::strcmp(name(a, k), s) == 0) found = k;
    }
    return found;
}

void freenames(nameindex* x)
{
    std::free(x->cell);
    *x = nameindex{};
}

bool windowsdevice(const char* name)
{
    // The last part of the path; a drive's colon ends a part too.
    const char* p = name;
    for (const char* s = name; *s; s++)
        if (*s == '/' || *s == '\\' || (*s == ':' && s == name + 1)) p = s + 1;
    // The device is the name up to its first dot (or stream), trailing
    // spaces dropped: "nul.bmp", "NUL .tar.bmp" and "nul:x" are all NUL.
    size_t n = std::strcspn(p, ".:");
    while (n > 0 && p[n - 1] == ' ') n--;
    char base[8];
    if (n < 3 || n > 7) return false;
    for (size_t i = 0; i < n; i++) base[i] = (char)(p[i] >= 'A' && p[i] <= 'Z' ? p[i] + 32 : p[i]);
    base[n] = 0;
    static const char* const names[] = {"con", "prn", "aux", "nul", "conin$", "conout$"};
    for (const char* d : names)
        if (!std::strcmp(base, d)) return true;
    if (std::strncmp(base, "com", 3) && std::strncmp(base, "lpt", 3)) return false;
    // com0-com9 and lpt0-lpt9, and with a superscript 1, 2 or 3 (UTF-8).
    if (n == 4) return base[3] >= '0' && base[3] <= '9';
    return n == 5 && (unsigned char)base[3] == 0xC2 &&
           ((unsigned char)base[4] == 0xB9 || (unsigned char)base[4] == 0xB2 || (unsigned char)base[4] == 0xB3);
}

void writetempname(char* t, const char* path, size_t dir, const char* prefix, const char* alphabet,
                   unsigned long long* state)
{
    const size_t most = TEMPNAMEROOM - 1, letters = std::strlen(alphabet);
    size_t len = std::strlen(path + dir);
    len = len < 5 ? 5 : len > most ? most : len;
    std::memcpy(t, path, dir);
    char* p = t + dir;
    size_t k = len == most ? 9 : 1;
    std::memcpy(p, prefix, k);
    for (; k < len; k++) {
        *state = *state * 6364136223846793005ULL + 1442695040888963407ULL;  // the names need only differ
        p[k] = alphabet[(*state >> 33) % letters];
    }
    p[len] = 0;
}
