// Which UDIM tiles a face touches.
#include "job/tiles.h"

#include <cmath>

namespace {
// The tiles from a to b (a <= b) of one axis: a tile t when (t, t+1) meets
// (a, b); a point on a whole number belongs to the tile below it (0 for 0).
void axis(double a, double b, int* t0, int* t1)
{
    double lo = std::floor(a), hi = std::ceil(b) - 1;
    if (a == b) lo = hi = a == lo && a > 0 ? a - 1 : lo;
    if (hi < lo) hi = lo;
    // Far out: held where an int holds it, beyond the tiles either way.
    *t0 = lo < -1e6 ? -1000000 : lo > 1e6 ? 1000000 : (int)lo;
    *t1 = hi < -1e6 ? -1000000 : hi > 1e6 ? 1000000 : (int)hi;
}
}  // namespace

bool facetiles(const Face& f, tilespan* s)
{
    if (!f.q || f.n < 1) return false;
    double u0 = INFINITY, u1 = -INFINITY, v0 = INFINITY, v1 = -INFINITY;
    for (int k = 0; k < f.n; k++) {
        const xy* t = f.q[k].t;
        if (!t || !std::isfinite(t->x) || !std::isfinite(t->y)) return false;
        u0 = std::fmin(u0, t->x);
        u1 = std::fmax(u1, t->x);
        v0 = std::fmin(v0, t->y);
        v1 = std::fmax(v1, t->y);
    }
    axis(u0, u1, &s->u0, &s->u1);
    axis(v0, v1, &s->v0, &s->v1);
    return true;
}

bool intiles(const tilespan& s) { return s.u0 >= 0 && s.u1 < TILEROW && s.v0 >= 0 && s.v1 < VTILES; }

bool beyondunit(const Face& f)
{
    if (!f.q) return false;
    for (int k = 0; k < f.n; k++) {
        const xy* t = f.q[k].t;
        if (t && std::isfinite(t->x) && std::isfinite(t->y) && (t->x < 0 || t->x > 1 || t->y < 0 || t->y > 1))
            return true;
    }
    return false;
}
