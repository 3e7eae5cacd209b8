// The painting rule done plainly, in double, one crossing and one pixel at
// a time.
#include "raster/fill_plain.h"

#include <cmath>
#include <cstring>

namespace {
// ceil(v) held to 0 .. n (n: past the end; NaN gives n too). Bounded before
// it becomes an int.
int ceilcut(double v, int n)
{
    if (v > 0) {
        if (v > n) return n;
        const int t = (int)v;
        return t + (t < v);
    }
    return v <= 0 ? 0 : n;
}

// floor(v) held to -1 .. n - 1 (-1: before the start; NaN gives -1 too).
int floorcut(double v, int n)
{
    if (v >= n - 1) return n - 1;
    if (v >= 0) return (int)v;
    return -1;
}

void exchange(xy& p, xy& q)
{
    const xy t = p;
    p = q;
    q = t;
}

// Crossing of row y with the edge p-q.
double cross(double px, double py, double qx, double qy, int y) { return px + (qx - px) * (y - py) / (qy - py); }
}

void spanplain(image* I, unsigned char* flags, double x1, double x2, int y, pal3 col)
{
    if (y < 0 || y >= I->Y) return;
    if (x1 > x2) {
        const double t = x1;
        x1 = x2;
        x2 = t;
    }
    const int first = ceilcut(x1, I->X), last = floorcut(x2, I->X);
    pal3* row = I->Row(y);
    for (int i = first; i <= last; i++) row[i] = col;
    if (first <= last) std::memset(flags + (size_t)y * (size_t)I->X + first, 1, (size_t)(last - first + 1));
}

namespace {
// The corners sorted by v as the rule sorts them (equal ones keep their
// order), then scaled to pixels in float: 0.1 * 640 must land on 64 exactly.
struct sorted {
    double ax, ay, bx, by, cx, cy;
    sorted(const image* I, xy a, xy b, xy c)
    {
        if (a.y > b.y) exchange(a, b);
        if (b.y > c.y) exchange(b, c);
        if (a.y > b.y) exchange(a, b);
        const float w = (float)I->X, h = (float)I->Y;
        a.x *= w, a.y *= h, b.x *= w, b.y *= h, c.x *= w, c.y *= h;
        ax = a.x, ay = a.y, bx = b.x, by = b.y, cx = c.x, cy = c.y;
    }
    void row(image* I, unsigned char* flags, int y, bool below, pal3 col) const
    {
        if (below) spanplain(I, flags, cross(bx, by, cx, cy, y), cross(ax, ay, cx, cy, y), y, col);
        else spanplain(I, flags, cross(ax, ay, bx, by, y), cross(ax, ay, cx, cy, y), y, col);
    }
};
}

void fillplain(image* I, unsigned char* flags, xy A, xy B, xy C, pal3 col, int from, int to)
{
    const sorted k(I, A, B, C);
    if (k.cy == k.ay) return;
    // A NaN would make the row walk meaningless; nothing to paint then.
    if (std::isnan(k.ay) || std::isnan(k.by) || std::isnan(k.cy)) return;
    const int H = I->Y;
    if (from < 0) from = 0;
    if (to > H - 1) to = H - 1;
    auto part = [&](int y, int last, bool below) {
        if (y < from) y = from;
        if (last > to) last = to;
        for (; y <= last; y++) k.row(I, flags, y, below, col);
    };
    if (k.by != k.ay) part(ceilcut(k.ay, H), floorcut(k.by, H), false);
    if (k.cy != k.by) part(ceilcut(k.by, H), floorcut(k.cy, H), true);
}

void rowplain(image* I, unsigned char* flags, xy A, xy B, xy C, int y, bool below, pal3 col)
{
    sorted(I, A, B, C).row(I, flags, y, below, col);
}
