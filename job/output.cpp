// Naming each map's file, the existence question, writing and confirming
// the map, and the clean-up of a run.
#include "job/output.h"

#include <cstdio>
#include <initializer_list>
#include <cstdlib>
#include <cstring>

#include "job/svg.h"
#include "job/tiles.h"
#include "job/uvcheck.h"
#include "port/files.h"
#include "raster/bmp.h"
#include "raster/png.h"

const char filterBMP[] = "BMP files\0*.BMP\0";
const char filterMAP[] = "BMP files\0*.BMP\0PNG files\0*.PNG\0";
const char devicetitle[] = "Windows keeps this name for a device: no file can have it";

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

// A part's key: its name as the file system compares names (Windows folds
// all of Unicode), so that parts that would be one file meet.
enum { KEYSIZE = 4 * PARTSIZE };

// Finds key in the table of map numbers + 1 (0: free) of the parts given
// so far: the slot that holds it, or the free slot where it belongs.
int* slotof(int* table, size_t size, const char (*keys)[KEYSIZE], const char* key)
{
    size_t i = namehash(key) & (size - 1);
    while (table[i] && std::strcmp(keys[table[i] - 1], key)) i = (i + 1) & (size - 1);
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
    char(*keys)[KEYSIZE] = (char(*)[KEYSIZE])std::malloc((size_t)T->nmat * KEYSIZE);
    if (!T->parts || !table || !next || !keys) {
        std::free(T->parts);
        std::free(table);
        std::free(next);
        std::free(keys);
        T->parts = nullptr;
        return 0;
    }
    for (int M = 0; M < T->nmat; M++) {
        char* part = T->parts[M];
        safename(part, m->mat[M].name);
        foldname(part, keys[M], KEYSIZE);
        next[M] = 2;
        int* slot = slotof(table, size, keys, keys[M]);
        if (*slot) {
            const int P = *slot - 1;
            const size_t len = std::strlen(part);
            do {
                std::snprintf(part + len, PARTSIZE - len, "_%d", next[P]++);
                foldname(part, keys[M], KEYSIZE);
            } while (*(slot = slotof(table, size, keys, keys[M])));
        }
        *slot = M + 1;
    }
    std::free(table);
    std::free(next);
    std::free(keys);
    return 1;
}

mapformat formatof(const TextureJob* T)
{
    if (hasext(T->out, ".png")) return FORMAT_PNG;
    if (hasext(T->out, ".svg") && T->colmap == MAP_MESH) return FORMAT_SVG;
    return FORMAT_BMP;
}

void mapfilename(TextureJob* T)
{
    const mesh* m = T->OB;
    size_t len = std::strlen(T->out);
    std::memcpy(T->fn, T->out, len + 1);
    if (T->nmat <= 1 && T->tile < 0) return;
    const char* ext = ".bmp";
    for (const char* e : {".bmp", ".png", ".svg"})
        if (hasext(T->out, e)) {
            ext = e;
            len -= 4;
        }
    char name[32];
    const char* part = "";
    if (T->nmat > 1) {
        part = T->parts ? T->parts[T->M] : name;
        if (!T->parts) safename(name, m->mat[T->M].name);
    }
    char tile[16] = "";
    if (T->tile >= 0) std::snprintf(tile, sizeof tile, ".%d", tilenumber(T->tile));
    std::snprintf(T->fn + len, sizeof T->fn - len, "%s%s%s%s", T->nmat > 1 ? "_" : "", part, tile, ext);
}

int askexisting(TextureJob* T)
{
    // Looked at, not opened: opening a named pipe to test it would wait for
    // a writer. A name refused for what cannot be told (a folder that may
    // not be searched, a loop of links) is no file that exists, nor is a
    // link that another user planted: the write says it cannot open it.
    char* there = nullptr;
    int kind = examinetarget(T->out, &there);
    std::free(there);
    if (kind != TARGET_FILE && kind != TARGET_INPLACE && !(kind == TARGET_REFUSED && exists(T->out))) return 1;
    if (!GetFileName(T->wn, Q_EXISTS, T->out, filterMAP, 1)) return 0;
    T->asked = true;
    return 1;
}

namespace {
// Where the map writers' bytes go: the map file being written.
int tofile(void* ctx, const unsigned char* p, size_t n) { return outwrite((outfile*)ctx, p, n); }

int writesvg(TextureJob* T, failure* why, bool replace)
{
    outfile o;
    if (!outopen(&o, T->fn, why, replace)) return 0;
    svgencode(T->OB, T->n, T->inv, T->nmat > 1 ? T->M : -1, bytesink{&o, tofile}, nullptr, T->tu, T->tv);
    return outclose(&o, why);
}
}  // namespace

int writemap(TextureJob* T)
{
    mapfilename(T);
    if (reservedname(T->fn)) return warnfile(nullptr, T->fn, devicetitle, T->fn, 0);
    // A single map replaces only what the question let it replace. The maps
    // of several (materials, tiles) replace the files of their names, as
    // they always have; but none replaces a file that came while it was
    // written.
    const bool replace = T->asked || T->nmat > 1 || T->tile >= 0;
    failure why;
    int ok;
    switch (formatof(T)) {
    case FORMAT_PNG: {
        const pngkind grey = T->colmap == MAP_TRANSPARENCY ? PNG_GREY : PNG_RGB;
        ok = pngwrite(T->fn, T->J, grey, T->opt.alpha ? T->used : nullptr, &why, replace);
        break;
    }
    case FORMAT_SVG: ok = writesvg(T, &why, replace); break;
    default: ok = bmpwrite(T->fn, T->J, &why, replace); break;
    }
    if (!ok) {
        T->nospace = diskfull(why.err);
        return warnfile(nullptr, why.text, why.title, why.file, why.err);
    }
    if (T->nmat == 1 && T->tile < 0)
        messagebox(T->wn, MSG_CREATED, T->fn, "I have created this texture map file", ICON_NONE);
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
    freeuvreport(T->check);
    std::free(T->check);
    T->check = nullptr;
    T->J.reset(0, 0);
}
