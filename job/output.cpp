// Naming each map's file, the existence question, writing and confirming
// the map, and the clean-up of a run.
#include "job/output.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "port/files.h"
#include "raster/bmp.h"

const char filterBMP[] = "BMP files\0*.BMP\0";

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
    size_t i = namehash(part, true) & (size - 1);
    while (table[i] && !samepart(parts[table[i] - 1], part)) i = (i + 1) & (size - 1);
    return &table[i];
}

}  // namespace

int nameparts(TextureJob* T)
{
    const mesh* m = T->OB;
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

void mapfilename(TextureJob* T)
{
    const mesh* m = T->OB;
    size_t len = std::strlen(T->out);
    std::memcpy(T->fn, T->out, len + 1);
    if (T->nmat <= 1) return;
    if (hasext(T->out, ".bmp")) len -= 4;
    char name[32];
    const char* part = T->parts ? T->parts[T->M] : name;
    if (!T->parts) safename(name, m->mat[T->M].name);
    std::snprintf(T->fn + len, sizeof T->fn - len, "_%s.bmp", part);
}

int writemap(TextureJob* T)
{
    const window wn = T->wn;
    // Looked at, not opened: opening a named pipe to test it would wait for
    // a writer. A name refused for what cannot be told (a folder that may
    // not be searched, a loop of links) is no file that exists, nor is a
    // link that another user planted: the write says it cannot open it.
    char* there = nullptr;
    int kind = examinetarget(T->out, &there);
    std::free(there);
    bool asked = false;
    if (kind == TARGET_FILE || kind == TARGET_INPLACE || (kind == TARGET_REFUSED && exists(T->out))) {
        if (!GetFileName(wn, Q_EXISTS, T->out, filterBMP, 1)) return 0;
        asked = true;
    }
    mapfilename(T);
    // A single map replaces only what the question let it replace. The maps
    // of several replace the files of their names, as they always have; but
    // none replaces a file that came while it was written.
    failure why;
    if (!bmpwrite(T->fn, T->J, &why, asked || T->nmat > 1)) {
        T->nospace = diskfull(why.err);
        return warnfile(nullptr, why.text, why.title, why.file, why.err);
    }
    if (T->nmat == 1) messagebox(wn, MSG_CREATED, T->fn, "I have created this texture map file", ICON_NONE);
    return 1;
}

void cleanup(TextureJob* T)
{
    freematerials(&T->list);
    if (T->OB) {
        T->OB->delarrays();
        std::free(T->OB);
        T->OB = nullptr;
    }
    std::free(T->used);
    T->used = nullptr;
    std::free(T->work);
    T->work = nullptr;
    std::free(T->parts);
    T->parts = nullptr;
    T->J.reset(0, 0);
}
