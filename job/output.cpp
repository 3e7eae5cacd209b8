#include "job/output.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

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

void mapfilename(TextureJob* T, const mesh* m)
{
    size_t len = std::strlen(T->out);
    std::memcpy(T->fn, T->out, len + 1);
    if (T->nmat <= 1) return;
    if (endsbmp(T->out, len)) len -= 4;
    char name[32];
    safename(name, m->mat[T->M].name);
    std::snprintf(T->fn + len, sizeof T->fn - len, "_%s.bmp", name);
}

int writemap(window wn, TextureJob* T, const mesh* m)
{
    // Looked at, not opened: opening a named pipe to test it would wait for
    // a writer.
    char* there = nullptr;
    int kind = examinetarget(T->out, &there);
    std::free(there);
    if (kind != TARGET_NONE) {
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
    T->J.reset(0, 0, 1, -1);
}
