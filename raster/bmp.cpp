// The image already holds the info header, colour table and pixel rows in
// file layout; the writer adds the 14-byte file header. It writes a
// temporary file beside the target and puts it in place only when every
// byte is out, so a failed write never costs the user a good file. A
// device or pipe of that name is written straight into instead.
#include "raster/bmp.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "raster/replace.h"
#include "shell/prompts.h"

size_t bmpchunk = (size_t)64 << 20;
int bmpfailstep = 0;

namespace {
int step;  // steps of the current write, counted for bmpfailstep

bool fails() { return ++step == bmpfailstep; }

void le16(unsigned char* p, uint32_t v) { p[0] = (unsigned char)v; p[1] = (unsigned char)(v >> 8); }
void le32(unsigned char* p, uint32_t v) { le16(p, v & 0xffff); le16(p + 2, v >> 16); }

// Colour-table bytes: 4 * 2^bpp up to 8 bits, none above.
uint32_t tablelen(int bpp) { return (bpp >= 0 && bpp <= 8) ? 4u << bpp : 0; }

bool put(FILE* o, const unsigned char* p, uint64_t n)
{
    const size_t chunk = bmpchunk ? bmpchunk : 1;
    while (n > 0) {
        size_t k = n < chunk ? (size_t)n : chunk;
        if (fails() || std::fwrite(p, 1, k, o) != k) return false;
        p += k;
        n -= k;
    }
    return true;
}

int writefile(const char* f, const image& I)
{
    // A positive size without pixels (refused or failed allocation) would
    // give a header promising data that is not there.
    if (!I.P && I.X > 0 && I.Y > 0) return warn(nullptr, "I can't write this file", f);

    const uint32_t table = tablelen(I.bpp);
    const uint64_t pixels = I.pixelbytes();
    const uint64_t start = 54 + (uint64_t)table, total = start + pixels;
    if (total > UINT32_MAX) return warn(nullptr, "I can't write this file", f);

    unsigned char head[14 + 40 + 1024];
    head[0] = 'B';
    head[1] = 'M';
    le32(head + 2, (uint32_t)total);
    le16(head + 6, 0);
    le16(head + 8, 0);
    le32(head + 10, (uint32_t)start);
    std::memcpy(head + 14, (const unsigned char*)&I + offsetof(image, size), 40 + table);

    char* real = nullptr;
    const int kind = examinetarget(f, &real);
    if (kind == TARGET_REFUSED) return warn(nullptr, "I can't open this file", f);
    // A device or pipe takes the bytes as they come: there is no file to
    // keep, and renaming over the node would destroy it.
    char* t = nullptr;
    FILE* o = kind == TARGET_INPLACE ? std::fopen(f, "wb") : opentemp(real, &t);
    if (!o) {
        std::free(real);
        return warn(nullptr, "I can't open this file", f);
    }
    bool ok = put(o, head, start) && put(o, I.P, pixels);
    // Replacing a map, the new bytes must be on the disk before the old map
    // goes. A new map has nothing to lose and skips the wait (fclose still
    // flushes, where a full disk shows).
    ok = ok && (kind != TARGET_FILE || syncfile(o));
    ok = std::fclose(o) == 0 && ok;
    ok = !fails() && ok;
    if (t) {
        ok = ok && !fails() && replacefile(t, real);
        if (!ok) std::remove(t);
    }
    std::free(t);
    std::free(real);
    return ok ? 1 : warn(nullptr, "I can't write this file", f);
}
}

int bmpwrite(const char* f, const image& I)
{
    step = 0;
    int r = writefile(f, I);
    bmpfailstep = 0;
    return r;
}
