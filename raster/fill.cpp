// Scan-line filling: a pixel (i, y) is painted when the point (i, y) lies in
// the triangle or on an edge. Corners are scaled to pixels in float, the
// crossings of each row are computed afresh in double, and the rows and
// columns walked are limited to the image, so far-out corners cost nothing.
//
// A big mesh gives millions of spans of a few pixels, so the code avoids
// branches whose outcome changes from span to span.
#include "raster/image.h"

#include <cassert>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {
// Two lanes of double: the crossings of one row with its two edges are
// computed side by side, each lane rounded exactly as a lone double would be.
typedef double pair __attribute__((vector_size(16)));
typedef long long lanes __attribute__((vector_size(16)));

// Edges p1-q1 and p2-q2; row y crosses edge k at
// p.x + (q.x - p.x) * (y - p.y) / (q.y - p.y), in lane k.
struct edges {
    pair px, py, dx, dy;
    edges(const xy& p1, const xy& q1, const xy& p2, const xy& q2)
        : px{p1.x, p2.x}, py{p1.y, p2.y},
          dx{(double)q1.x - p1.x, (double)q2.x - p2.x}, dy{(double)q1.y - p1.y, (double)q2.y - p2.y} {}
    pair at(double y) const
    {
        const pair row = {y, y};
        return px + dx * (row - py) / dy;
    }
};

// ceil(v), held to 0 .. n (n: past the end; NaN gives n too). v is bounded
// before it becomes an int, where truncation and one compare give the ceil.
inline int ceilcut(double v, int n, double nd)
{
    if (v > 0) {
        if (v > nd) return n;
        const int t = (int)v;
        return t + (t < v);
    }
    return v <= 0 ? 0 : n;
}

// floor(v), held to -1 .. n - 1 (-1: before the start; NaN gives -1 too).
inline int floorcut(double v, int n, double nd)
{
    if (v >= nd - 1) return n - 1;
    if (v >= 0) return (int)v;
    return -1;
}

// A colour as the span painter stores it: blue and green as one 16-bit
// store, red alone, and blue-green-red-blue for four bytes at a time. Plain
// values, so the byte stores cannot make the compiler fetch them again.
struct brush {
    uint16_t bg;
    unsigned char red;
    uint32_t bgrb;
    explicit brush(pal3 c)
    {
        const unsigned char q[4] = {c.blue, c.green, c.red, c.blue};
        std::memcpy(&bg, q, 2);
        red = c.red;
        std::memcpy(&bgrb, q, 4);
    }
};

inline void pixel(unsigned char* p, brush b)
{
    std::memcpy(p, &b.bg, 2);
    p[2] = b.red;
}

// Paints columns ceil(min) to floor(max) of the crossings x (either order;
// "if x1 > x2, exchange") clipped to 0 .. X - 1, and flags them.
inline __attribute__((always_inline)) void span(unsigned char* row, unsigned char* flags, pair x, int X, double Xd, brush b)
{
    // The exchange as a lane select rather than a branch.
    const pair s = {x[1], x[0]};
    const lanes swap = x > s;
    const int first = ceilcut((swap ? s : x)[0], X, Xd);
    const int last = floorcut((swap ? x : s)[0], X, Xd);
    if (first > last) return;
    unsigned char* p = row + 3 * (size_t)first;
    unsigned char* f = flags + first;
    const ptrdiff_t m = last - first;
    // Slots painted whatever the length, slot k taking pixel min(k, m), so
    // a short span ends without a mispredicted loop exit: four for every
    // span, four more when it is longer.
    const ptrdiff_t j1 = m < 1 ? m : 1, j2 = m < 2 ? m : 2, j3 = m < 3 ? m : 3;
    pixel(p, b);
    pixel(p + 3 * j1, b);
    pixel(p + 3 * j2, b);
    pixel(p + 3 * j3, b);
    f[0] = f[j1] = f[j2] = f[j3] = 1;
    if (m < 4) return;
    const ptrdiff_t j5 = m < 5 ? m : 5, j6 = m < 6 ? m : 6, j7 = m < 7 ? m : 7;
    pixel(p + 12, b);
    pixel(p + 3 * j5, b);
    pixel(p + 3 * j6, b);
    pixel(p + 3 * j7, b);
    static const unsigned char ones[4] = {1, 1, 1, 1};
    std::memcpy(f + j7 - 3, ones, 4);  // flags j7 - 3 .. j7, all in the span
    if (m < 8) return;
    // Long spans: four bytes a pixel (the fourth is the next pixel's
    // blue); the last pixel gets its three alone.
    unsigned char* e = p + 3 * m;
    for (p += 24; p < e; p += 3) std::memcpy(p, &b.bgrb, 4);
    pixel(e, b);
    std::memset(f + 8, 1, (size_t)(m - 7));
}
}

void image::filltriangle(const xy* A, const xy* B, const xy* C, pal3 col)
{
    if (!A || !B || !C || !P) return;
    assert(bpp == 24 && used);
    xy a = *A, b = *B, c = *C, t;
    if (a.y > b.y) { t = a; a = b; b = t; }
    if (b.y > c.y) { t = b; b = c; c = t; }
    if (a.y > b.y) { t = a; a = b; b = t; }
    // Stored back as float: 0.1 * 640 must land on 64 exactly.
    const float w = (float)X, h = (float)Y;  // exact: sides are at most 2^15
    a.x *= w; a.y *= h;
    b.x *= w; b.y *= h;
    c.x *= w; c.y *= h;
    if (c.y == a.y) return;
    // A NaN would make the row walk meaningless; nothing to paint then.
    if (std::isnan(a.y) || std::isnan(b.y) || std::isnan(c.y)) return;

    // Locals, not members: the byte stores could alias the members.
    unsigned char* const pixels = P;
    unsigned char* const flagbase = used;
    const int W = X, H = Y;
    const double Wd = W, Hd = H;
    const brush br(col);
    // Stored rows run bottom-up: picture row y is at (Y - 1 - y) * LL.
    const size_t ll = (size_t)LL, w0 = (size_t)W;
    if (b.y != a.y) {
        const edges e(a, b, a, c);
        const int y0 = ceilcut(a.y, H, Hd), y1 = floorcut(b.y, H, Hd);
        size_t row = (size_t)(H - 1 - y0) * ll, flags = (size_t)y0 * w0;
        for (int y = y0; y <= y1; y++, row -= ll, flags += w0)
            span(pixels + row, flagbase + flags, e.at(y), W, Wd, br);
    }
    if (c.y != b.y) {
        const edges e(b, c, a, c);
        const int y0 = ceilcut(b.y, H, Hd), y1 = floorcut(c.y, H, Hd);
        size_t row = (size_t)(H - 1 - y0) * ll, flags = (size_t)y0 * w0;
        for (int y = y0; y <= y1; y++, row -= ll, flags += w0)
            span(pixels + row, flagbase + flags, e.at(y), W, Wd, br);
    }
}

void image::horizline(double x1, double x2, int y, pal3 col)
{
    assert(bpp == 24 && used);
    if (y < 0 || y >= Y || !P) return;
    span((unsigned char*)Row(y), used + (size_t)y * (size_t)X, pair{x1, x2}, X, X, brush(col));
}
