// Faces filled as polygons, and the shape of a face's corners.
//
// Row y is painted where the edges wind round its points, edges included:
// an edge takes part in the winding on the rows from its upper end to just
// above its lower end (so each row counts every edge it passes once), and
// the row through its lower end is painted from that end to the edge's
// crossing, which rounding may put a hair aside. A level edge on a row
// paints the row between its ends.
#include "raster/polyfill.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "raster/fill_plain.h"
#if FILL_SSE2
#include <emmintrin.h>
#endif

namespace {

// ceil(v) held to 0 .. n, for v finite.
int ceilcut(double v, int n)
{
    if (v <= 0) return 0;
    if (v >= n) return n;
    const int t = (int)v;
    return t + (t < v);
}

// A corner scaled to the map in float, as the triangles are scaled.
struct point {
    float x, y;
};

inline point scaled(const xy* p, float w, float h) { return point{p->x * w, p->y * h}; }
inline bool finite(point p) { return std::isfinite(p.x) && std::isfinite(p.y); }
inline bool whole(float v) { return v == std::floor(v); }

// Row y crosses the edge from p down to q here, as the triangles' rule has it.
inline double cross(double px, double py, double qx, double qy, int y) { return px + (qx - px) * (y - py) / (qy - py); }

// An edge that crosses rows of the band above its lower end.
struct edge {
    double px, py, qx, qy;  // upper end, lower end (py < qy)
    int first, last;        // those rows
    int dir;                // +1 when it runs down in corner order, -1 up
};

// R's work block of at least `bytes`, its old content dropped; null when
// it cannot be had.
void* takeroom(polyroom* R, size_t bytes)
{
    if (R->work && R->work_ >= bytes) return R->work;
    const size_t want = std::max(bytes, 2 * R->work_);  // faces of a mesh grow it a few times at most
    std::free(R->work);
    R->work = std::malloc(want);
    R->work_ = R->work ? want : 0;
    return R->work;
}

// A corner in double, for the shape tests.
struct dpoint {
    double x, y;
};

// Twice the signed area of the triangle a, b, c: its sign is the way a-b-c
// turns, 0 when they lie in a line.
inline double orient(dpoint a, dpoint b, dpoint c) { return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x); }

// c, in line with a-b, lies on it.
inline bool within(dpoint a, dpoint b, dpoint c)
{
    return std::min(a.x, b.x) <= c.x && c.x <= std::max(a.x, b.x) && std::min(a.y, b.y) <= c.y &&
           c.y <= std::max(a.y, b.y);
}

// The closed segments a-b and c-d have a point in common.
bool meet(dpoint a, dpoint b, dpoint c, dpoint d)
{
    const double o1 = orient(a, b, c), o2 = orient(a, b, d), o3 = orient(c, d, a), o4 = orient(c, d, b);
    if (((o1 > 0 && o2 < 0) || (o1 < 0 && o2 > 0)) && ((o3 > 0 && o4 < 0) || (o3 < 0 && o4 > 0))) return true;
    return (o1 == 0 && within(a, b, c)) || (o2 == 0 && within(a, b, d)) || (o3 == 0 && within(c, d, a)) ||
           (o4 == 0 && within(c, d, b));
}

// Counts the changes of sign of an edge component around the polygon;
// zeros do not count, and the last sign is held against the first.
struct flips {
    int first = 0, last = 0, n = 0;
    void add(double d)
    {
        const int s = (d > 0) - (d < 0);
        if (!s) return;
        if (!first)
            first = s;
        else if (s != last)
            n++;
        last = s;
    }
    int total() const { return n + (last != first); }
};

// Whether two edges of the m corners P, other than neighbours, meet: a
// sweep down the edges in order of their upper ends, each held against the
// edges still open at that height.
bool selfmeeting(const dpoint* P, int m, int* order, int* open)
{
    auto top = [&](int i) { return std::min(P[i].y, P[i + 1 < m ? i + 1 : 0].y); };
    auto bottom = [&](int i) { return std::max(P[i].y, P[i + 1 < m ? i + 1 : 0].y); };
    for (int i = 0; i < m; i++) order[i] = i;
    std::sort(order, order + m, [&](int a, int b) { return top(a) < top(b); });
    int nopen = 0;
    for (int k = 0; k < m; k++) {
        const int e = order[k];
        const double y = top(e);
        int keep = 0;
        for (int j = 0; j < nopen; j++)
            if (bottom(open[j]) >= y) open[keep++] = open[j];
        nopen = keep;
        const dpoint a = P[e], b = P[e + 1 < m ? e + 1 : 0];
        for (int j = 0; j < nopen; j++) {
            const int o = open[j];
            if (o == (e + 1) % m || e == (o + 1) % m) continue;  // neighbours share their corner
            if (meet(a, b, P[o], P[o + 1 < m ? o + 1 : 0])) return true;
        }
        open[nopen++] = e;
    }
    return false;
}

}  // namespace

bool roomforcorners(polyroom* R, int n)
{
    if (R->corners && R->ncorners_ >= n) return true;
    const int want = std::max(n, 2 * R->ncorners_);
    std::free(R->corners);
    R->corners = (const xy**)std::malloc((size_t)want * sizeof(const xy*));
    R->ncorners_ = R->corners ? want : 0;
    return R->corners != nullptr;
}

void freepolyroom(polyroom* R)
{
    std::free(R->corners);
    std::free(R->work);
    *R = polyroom{};
}

int polygonshape(const xy* const* c, int n, int width, int height, polyroom* R)
{
    const float w = (float)width, h = (float)height;
    for (int k = 0; k < n; k++)
        if (!finite(scaled(c[k], w, h))) return POLY_NONFINITE;
    if (n < 3) return POLY_CONVEX;
    // The edge into corner 0 comes from the last corner apart from it; a
    // corner repeated in turn makes no edge.
    const point p0 = scaled(c[0], w, h);
    int j = n - 1;
    point q = scaled(c[j], w, h);
    for (; j > 0 && q.x == p0.x && q.y == p0.y; q = scaled(c[--j], w, h)) {}
    if (j == 0) return POLY_CONVEX;  // one point
    double ex = (double)p0.x - q.x, ey = (double)p0.y - q.y;
    int left = 0, right = 0, m = 0;
    bool back = false;
    flips fx, fy;
    point a = p0;
    for (int k = 0; k < n; k++) {
        const point b = scaled(c[k + 1 < n ? k + 1 : 0], w, h);
        const double dx = (double)b.x - a.x, dy = (double)b.y - a.y;
        if (dx == 0 && dy == 0) continue;
        const double t = ex * dy - ey * dx;
        left += t > 0;
        right += t < 0;
        back |= t == 0 && ex * dx + ey * dy < 0;
        fx.add(dx);
        fy.add(dy);
        ex = dx, ey = dy, a = b, m++;
    }
    if (!left || !right) {
        // One way round: convex when it winds once, each component of the
        // edges changing sign twice. All in a line is left to the fan.
        if (!left && !right) return POLY_CONVEX;
        return !back && fx.total() <= 2 && fy.total() <= 2 ? POLY_CONVEX : POLY_CROSSING;
    }
    if (back) return POLY_CROSSING;  // an edge runs back over the one before
    if (!R) return POLY_CONCAVE;

    // The m corners that start an edge, then the edges paired up.
    char* room = (char*)takeroom(R, (size_t)m * (sizeof(dpoint) + 2 * sizeof(int)));
    if (!room) return -1;
    dpoint* P = (dpoint*)room;
    int* order = (int*)(P + m);
    int* open = order + m;
    int i = 0;
    a = scaled(c[n - 1], w, h);
    for (int k = 0; k < n; k++) {
        const point b = scaled(c[k], w, h);
        if (b.x != a.x || b.y != a.y) P[i++] = dpoint{b.x, b.y};
        a = b;
    }
    return selfmeeting(P, i, order, open) ? POLY_CROSSING : POLY_CONCAVE;
}

#if FILL_SSE2
// The same turns two at a time: (x0, x1) * (y0', y1') - (y0, y1) * (x0', x1')
// of edges k and k + 1 of each pair.
bool convexquad(const xy* a, const xy* b, const xy* c, const xy* d, int width, int height)
{
    const __m128 wh = _mm_setr_ps((float)width, (float)height, (float)width, (float)height);
    auto pair = [](const xy* p, const xy* q) {  // (p.x, p.y, q.x, q.y)
        return _mm_loadh_pi(_mm_castsi128_ps(_mm_loadl_epi64((const __m128i*)p)), (const __m64*)q);
    };
    const __m128 ab = _mm_mul_ps(pair(a, b), wh), cd = _mm_mul_ps(pair(c, d), wh);
    const __m128d A = _mm_cvtps_pd(ab), B = _mm_cvtps_pd(_mm_movehl_ps(ab, ab));
    const __m128d C = _mm_cvtps_pd(cd), D = _mm_cvtps_pd(_mm_movehl_ps(cd, cd));
    const __m128d e0 = _mm_sub_pd(B, A), e1 = _mm_sub_pd(C, B), e2 = _mm_sub_pd(D, C), e3 = _mm_sub_pd(A, D);
    const __m128d t01 = _mm_sub_pd(_mm_mul_pd(_mm_unpacklo_pd(e3, e0), _mm_unpackhi_pd(e0, e1)),
                                   _mm_mul_pd(_mm_unpackhi_pd(e3, e0), _mm_unpacklo_pd(e0, e1)));
    const __m128d t23 = _mm_sub_pd(_mm_mul_pd(_mm_unpacklo_pd(e1, e2), _mm_unpackhi_pd(e2, e3)),
                                   _mm_mul_pd(_mm_unpackhi_pd(e1, e2), _mm_unpacklo_pd(e2, e3)));
    const __m128d zero = _mm_setzero_pd();
    const int left = _mm_movemask_pd(_mm_cmpgt_pd(t01, zero)) | _mm_movemask_pd(_mm_cmpgt_pd(t23, zero)) << 2;
    const int right = _mm_movemask_pd(_mm_cmplt_pd(t01, zero)) | _mm_movemask_pd(_mm_cmplt_pd(t23, zero)) << 2;
    return left == 15 || right == 15;
}
#else
bool convexquad(const xy* a, const xy* b, const xy* c, const xy* d, int width, int height)
{
    const float w = (float)width, h = (float)height;
    const point p = scaled(a, w, h), q = scaled(b, w, h), r = scaled(c, w, h), s = scaled(d, w, h);
    const double e0x = (double)q.x - p.x, e0y = (double)q.y - p.y, e1x = (double)r.x - q.x, e1y = (double)r.y - q.y;
    const double e2x = (double)s.x - r.x, e2y = (double)s.y - r.y, e3x = (double)p.x - s.x, e3y = (double)p.y - s.y;
    const double t0 = e3x * e0y - e3y * e0x, t1 = e0x * e1y - e0y * e1x;
    const double t2 = e1x * e2y - e1y * e2x, t3 = e2x * e3y - e2y * e3x;
    return ((t0 > 0) & (t1 > 0) & (t2 > 0) & (t3 > 0)) | ((t0 < 0) & (t1 < 0) & (t2 < 0) & (t3 < 0));
}
#endif

bool fillpolygon(image* I, unsigned char* flags, const xy* const* c, int n, pal3 col, int from, int to, polyroom* R)
{
    const int H = I->Y;
    if (from < 0) from = 0;
    if (to > H - 1) to = H - 1;
    if (n < 1 || from > to || !I->P) return true;
    const float w = (float)I->X, h = (float)I->Y;
    float top = INFINITY, bottom = -INFINITY;
    for (int k = 0; k < n; k++) {
        const point p = scaled(c[k], w, h);
        if (!finite(p)) return true;
        top = std::min(top, p.y);
        bottom = std::max(bottom, p.y);
    }
    if (top == bottom) return true;  // no height: nothing, as for a triangle

    // The edges that cross rows of the band, and the span of rows they
    // start on, over which they are sorted.
    int ne = 0, lo = to + 1, hi = from - 1;
    point a = scaled(c[n - 1], w, h);
    for (int k = 0; k < n; k++) {
        const point b = scaled(c[k], w, h);
        if (a.y != b.y) {
            const int first = std::max(ceilcut(std::min(a.y, b.y), H), from);
            if (first <= std::min(ceilcut(std::max(a.y, b.y), H) - 1, to)) {
                ne++;
                lo = std::min(lo, first);
                hi = std::max(hi, first);
            }
        }
        a = b;
    }
    const size_t rows = ne ? (size_t)(hi - lo + 2) : 0;
    char* room = nullptr;
    if (ne) {
        room = (char*)takeroom(R, (size_t)ne * (sizeof(edge) + sizeof(double) + 2 * sizeof(int)) + rows * sizeof(int));
        if (!room) return false;
    }
    edge* E = (edge*)room;
    double* xs = (double*)(E + ne);  // crossings of the row, beside act
    int* order = (int*)(xs + ne);    // edges by first row
    int* act = order + ne;           // edges crossing the row, left to right
    int* count = act + ne;

    // Level edges and the rows through lower ends are painted here; the
    // rest go to the list.
    int m = 0;
    a = scaled(c[n - 1], w, h);
    for (int k = 0; k < n; k++) {
        const point b0 = scaled(c[k], w, h);
        point p = a, q = b0;
        a = b0;
        if (p.y == q.y) {
            if (p.y >= from && p.y <= to && whole(p.y)) spanplain(I, flags, p.x, q.x, (int)p.y, col);
            continue;
        }
        const int dir = p.y < q.y ? 1 : -1;
        if (dir < 0) std::swap(p, q);
        if (q.y >= from && q.y <= to && whole(q.y)) {
            const int y = (int)q.y;
            spanplain(I, flags, cross(p.x, p.y, q.x, q.y, y), q.x, y, col);
        }
        const int first = std::max(ceilcut(p.y, H), from), last = std::min(ceilcut(q.y, H) - 1, to);
        if (first <= last) E[m++] = edge{p.x, p.y, q.x, q.y, first, last, dir};
    }

    if (!ne) return true;

    // Sorted by first row, by counting.
    std::memset(count, 0, rows * sizeof(int));
    for (int e = 0; e < ne; e++) count[E[e].first - lo + 1]++;
    for (size_t r = 1; r < rows; r++) count[r] += count[r - 1];
    for (int e = 0; e < ne; e++) order[count[E[e].first - lo]++] = e;

    int na = 0, next = 0;
    for (int y = lo; next < ne || na > 0; y++) {
        if (na == 0) y = E[order[next]].first;  // no edge between: skip the rows
        while (next < ne && E[order[next]].first == y) act[na++] = order[next++];
        for (int k = 0; k < na; k++) {
            const edge& e = E[act[k]];
            xs[k] = cross(e.px, e.py, e.qx, e.qy, y);
        }
        // Edges keep their order from row to row but where they cross, so
        // sorting by insertion costs little.
        for (int k = 1; k < na; k++) {
            const double x = xs[k];
            const int e = act[k];
            int i = k;
            for (; i > 0 && xs[i - 1] > x; i--) {
                xs[i] = xs[i - 1];
                act[i] = act[i - 1];
            }
            xs[i] = x;
            act[i] = e;
        }
        int wind = 0;
        double start = 0;
        for (int k = 0; k < na; k++) {
            if (wind == 0) start = xs[k];
            wind += E[act[k]].dir;
            if (wind == 0) spanplain(I, flags, start, xs[k], y, col);
        }
        int keep = 0;
        for (int k = 0; k < na; k++)
            if (E[act[k]].last > y) act[keep++] = act[k];
        na = keep;
    }
    return true;
}
