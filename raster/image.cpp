// Setting the image up: its header fields and its pixel block.
#include "raster/image.h"
#include "port/bigmem.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {
// Sizes come in as long; anything beyond 32 bits is far past MAXSIDE anyway,
// but must not wrap round into a small, valid-looking side.
int32_t side(long v)
{
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return (int32_t)v;
}

bool fits(int32_t x, int32_t y) { return x > 0 && y > 0 && x <= MAXSIDE && y <= MAXSIDE; }
}  // namespace

image::image()
    : P(nullptr), LL(0), size(0), X(0), Y(0), planes(0), bpp(0), compression(0), imagesize(0), XDPM(0),
      YDPM(0), ncolors(0), ncolorimportant(0)
{
    reset(0, 0);
}

image::~image() { std::free(P); }

unsigned char* image::reset(long x, long y)
{
    X = side(x);
    Y = side(y);
    bpp = 24;
    planes = 1;
    std::free(P);
    P = nullptr;
    XDPM = YDPM = 12000;
    imagesize = 0;
    compression = 0;
    ncolors = ncolorimportant = 0;
    size = 40;
    // Rows of sides beyond MAXSIDE would not fit; such images get no block.
    LL = (X > 0 && X <= MAXSIDE) ? (int32_t)((3 * (int64_t)X + 3) & ~(int64_t)3) : 0;
    if (!fits(X, Y)) return nullptr;
    // At most 98304 * 32768 + 7 bytes: fits 32 bits, but not always the heap.
    uint64_t n = (uint64_t)LL * (uint64_t)Y + 7;
    if (n > SIZE_MAX) return nullptr;
    P = (unsigned char*)bigmem_alloc((size_t)n);  // the owner clears it all before painting
    if (!P) return nullptr;
    // Fill bytes go to the file: keep them 0 so a map always gives the same
    // bytes. The pixels themselves are the owner's to clear.
    size_t data = 3 * (size_t)X, ll = (size_t)LL;
    if (data < ll)
        for (size_t r = 0; r < (size_t)Y; r++) std::memset(P + r * ll + data, 0, ll - data);
    std::memset(P + ll * (size_t)Y, 0, 7);
    return P;
}
