// The image already holds the info header and the pixel rows in file
// layout; the writer adds the 14-byte file header and hands the bytes to the
// map writer, which puts the file in place only when every byte is out.
#include "raster/bmp.h"

#include <cstdint>
#include <cstring>

#include "port/files.h"

namespace {
void le16(unsigned char* p, uint32_t v) { p[0] = (unsigned char)v; p[1] = (unsigned char)(v >> 8); }
void le32(unsigned char* p, uint32_t v) { le16(p, v & 0xffff); le16(p + 2, v >> 16); }
}  // namespace

int bmpwrite(const char* f, const image& I, failure* why, bool replace)
{
    // A positive size without pixels (refused or failed allocation) would
    // give a header promising data that is not there.
    if (!I.P && I.X > 0 && I.Y > 0) return fail(why, "I can't write this file", f, f);

    const uint64_t pixels = I.pixelbytes();
    const uint64_t start = 54, total = start + pixels;
    if (total > UINT32_MAX) return fail(why, "I can't write this file", f, f);

    unsigned char head[54];
    head[0] = 'B';
    head[1] = 'M';
    le32(head + 2, (uint32_t)total);
    le16(head + 6, 0);
    le16(head + 8, 0);
    le32(head + 10, (uint32_t)start);
    std::memcpy(head + 14, (const unsigned char*)&I + offsetof(image, size), 40);

    outfile o;
    if (!outopen(&o, f, why, replace)) return 0;
    outwrite(&o, head, sizeof head) && outwrite(&o, I.P, pixels);
    return outclose(&o, why);
}
