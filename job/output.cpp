#include "job/output.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "raster/bmp.h"
#include "raster/replace.h"

const char filterBMP[] = "BMP files\0*.BMP\0";

namespace {

bool endsbmp(const char* s, size_t len)
{
    if (len < 4) return false;
    const char* e = s + len - 4;
    return e[0] == '.' && (e[1] | 32) == 'b' && (e[2] | 32) == 'm' && (e[3] | 32) == 'p';
}

}  // namespace

void safename(char* dst, const char* name)
{
    size_t i = 0;
    bool dots = true;
    for (; name[i] && i < 31; i++) {
        unsigned char c = (unsigned char)name[i];
        if (c < 32 || c == 127 || std::strchr("/\\:*?\"<>|", c)) c = '_';
        if (c != '.') dots = false;
        dst[i] = (char)c;
    }
    dst[i] = 0;
    if (i > 0 && dots) std::strcpy(dst, "_");
}

namespace {

// Parts are told apart as Windows tells file names apart: letters in
// either case are the same.
unsigned char lower(char c) { return (unsigned char)(c >= 'A' && c <= 'Z' ? c + 32 : c); }

unsigned lowerhash(const char* s)
{
    unsigned h = 2166136261u;
    for (; *s; s++) h = (h ^ lower(*s)) * 16777619u;
    return h;
}

bool samepart(const char* a, const char* b)
{
    for (; lower(*a) == lower(*b); a++, b++)
        if (!*a) return true;
    return false;
}

// Finds part in the table of map numbers + 1 (0: free) of the parts given
// so far: the slot that holds it, or the free slot where it belongs.
int* slotof(int* table, size_t size, const char (*parts)[PARTSIZE], const char* part)
{
    size_t i = lowerhash(part) & (size - 1);
    while (table[i] && !samepart(parts[table[i] - 1], part)) i = (i + 1) & (size - 1);
    return &table[i];
}

}  // namespace

int nameparts(TextureJob* T, const mesh* m)
{
    std::free(T->parts);
    T->parts = (char(*)[PARTSIZE])std::malloc((size_t)T->nmat * PARTSIZE);
    // The table is kept at most half full, so that a look-up takes a step
    // or two; next[P] is the number to try first on a part that repeats
    // map P's, so that many repeats of one name cost no more than others.
    size_t size = 2;
    while (size < 2 * (size_t)T->nmat) size *= 2;
    int* table = (int*)std::calloc(size, sizeof(int));
    int* next = (int*)std::malloc((size_t)T->nmat * sizeof(int));
    if (!T->parts || !table || !next) {
        std::free(T->parts);
        std::free(table);
        std::free(next);
        T->parts = nullptr;
        return 0;
    }
    for (int M = 0; M < T->nmat; M++) {
        char* part = T->parts[M];
        safename(part, m->mat[M].name);
        next[M] = 2;
        int* slot = slotof(table, size, T->parts, part);
        if (*slot) {
            const int P = *slot - 1;
            const size_t len = std::strlen(part);
            do std::snprintf(part + len, PARTSIZE - len, "_%d", next[P]++);
            while (*(slot = slotof(table, size, T->parts, part)));
        }
        *slot = M + 1;
    }
    std::free(table);
    std::free(next);
    return 1;
}

void mapfilename(TextureJob* T, const mesh* m)
{
    size_t len = std::strlen(T->out);
    std::memcpy(T->fn, T->out, len + 1);
    if (T->nmat <= 1) return;
    if (endsbmp(T->out, len)) len -= 4;
    char name[32];
    const char* part = T->parts ? T->parts[T->M] : name;
    if (!T->parts) safename(name, m->mat[T->M].name);
    std::snprintf(T->fn + len, sizeof T->fn - len, "_%s.bmp", part);
}

int writemap(window wn, TextureJob* T, const mesh* m)
{
    // Looked at, not opened: opening a named pipe to test it would wait for
    // a writer. A name refused for what cannot be told (a folder that may
    // not be searched, a loop of links) is no file that exists: the write
    // says it cannot open it.
    char* there = nullptr;
    int kind = examinetarget(T->out, &there);
    std::free(there);
    std::error_code e;
    if (kind != TARGET_NONE && (kind != TARGET_REFUSED || std::filesystem::exists(T->out, e))) {
        if (!GetFileName(wn, T->out, "this file exists: choose new name or let me overwrite it",
                         filterBMP, 1))
            return 0;
    }
    mapfilename(T, m);
    if (!bmpwrite(T->fn, T->J)) return 0;
    if (T->nmat == 1) messagebox(wn, T->fn, "I have created this texture map file", ICON_NONE);
    return 1;
}

void cleanup(TextureJob* T)
{
    freematerials(&T->list);
    if (OB) {
        OB->delarrays();
        std::free(OB);
        OB = nullptr;
    }
    std::free(used);
    used = nullptr;
    std::free(T->work);
    T->work = nullptr;
    std::free(T->parts);
    T->parts = nullptr;
    T->J.reset(0, 0, 1, -1);
}
