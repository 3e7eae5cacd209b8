#include "raster/image.h"
#include "shell/bigmem.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

unsigned char* used = nullptr;

namespace {
// Sizes come in as long; anything beyond 32 bits is far past MAXSIDE anyway,
// but must not wrap round into a small, valid-looking side.
int32_t side(long v)
{
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return (int32_t)v;
}

// Bytes of pixel data in one row of x pixels at bpp bits.
int64_t rowbytes(int64_t x, int bpp)
{
    switch (bpp) {
    case 24: return 3 * x;
    case 16: return 2 * x;
    case 8: return x;
    case 4: return (x + 1) / 2;
    default: return (x + 7) / 8;
    }
}

bool fits(int32_t x, int32_t y) { return x > 0 && y > 0 && x <= MAXSIDE && y <= MAXSIDE; }
}

image::image()
    : P(nullptr), packing(), rbpp(0), LL(0), size(0), X(0), Y(0), planes(0), bpp(0),
      compression(0), imagesize(0), XDPM(0), YDPM(0), ncolors(0), ncolorimportant(0)
{
    reset(0, 0, 1, -1);
}

image::~image() { std::free(P); }

unsigned char* image::reset(long x, long y, short Bpp, short Rbpp)
{
    X = side(x);
    Y = side(y);
    rbpp = Rbpp >= 0 ? Rbpp : Bpp;
    bpp = Bpp;
    planes = 1;
    std::free(P);
    P = nullptr;
    XDPM = YDPM = 12000;
    imagesize = 0;
    compression = 0;
    ncolors = ncolorimportant = (bpp >= 0 && bpp <= 8) ? 1 << bpp : 0;
    size = 40;
    makeP();
    bkgd = pal4(255, 255, 255, 255);
    frgd = bkgd;
    for (int i = 0; i < 16; i++) {
        pal3 c;
        std::memcpy(&c, STDCOLS + 3 * i, 3);
        pal[i] = pal4(c);
    }
    return P;
}

unsigned char* image::makeP()
{
    setLL();
    if (!fits(X, Y)) return P = nullptr;
    // At most 98304 * 32768 + 7 bytes: fits 32 bits, but not always the heap.
    uint64_t n = (uint64_t)LL * (uint64_t)Y + 7;
    if (n > SIZE_MAX) return P = nullptr;
    P = (unsigned char*)bigmem_alloc((size_t)n);  // the owner clears it all before painting
    if (!P) return nullptr;
    // Fill bytes go to the file: keep them 0 so a map always gives the same
    // bytes. The pixels themselves are the owner's to clear.
    size_t data = (size_t)rowbytes(X, bpp), ll = (size_t)LL;
    if (data < ll)
        for (size_t r = 0; r < (size_t)Y; r++) std::memset(P + r * ll + data, 0, ll - data);
    std::memset(P + ll * (size_t)Y, 0, 7);
    return P;
}

void image::setLL()
{
    // Rows of sides beyond MAXSIDE would not fit; such images get no block.
    LL = (X > 0 && X <= MAXSIDE) ? (int32_t)((rowbytes(X, bpp) + 3) & ~(int64_t)3) : 0;
}
