// The UV check's pixel pass: faces sampled at pixel centres, state kept
// per pixel for one band of rows at a time, bands shared among the cores.
//
// Pixel (i, y) of a triangle is covered when its centre (i + 0.5, y + 0.5)
// lies inside, or on a left edge or a top edge (the top-left rule, with y
// growing downwards). Row by row: rows whose centre lies in [top, bottom),
// then columns whose centre lies in [left crossing, right crossing). An
// edge's crossing is always worked out from its upper end, so two faces
// sharing an edge get the very same number and never share a pixel.
#include "job/uvcheck.h"
#include "port/tuning.h"
#include "job/uvpixels.h"
#include "port/threads.h"

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>


namespace {

const size_t BANDBYTES = 1 << 21;  // scratch per thread: a band stays in the cache
const int MINFACES = 20000;        // below this one thread does it sooner
const int REACH = 3;               // rows an outline or cross strays from its face

const pal3 GREY(128, 128, 128), RED(255, 0, 0), BLUE(0, 0, 255), ORANGE(255, 165, 0),
    YELLOW(255, 255, 0), WHITE(255, 255, 255);

// The state byte of a pixel: faces over it (0, 1, 2 for two or more), and
// whether their islands differ; the same for the faces of the material that
// came last, as each material's faces come together; and whether the first
// of that material is the first face of all, so its own slot is not kept
// until it differs.
enum : unsigned char {
    S_ONE = 1, S_TWO = 2, S_COUNT = 3, S_ISLANDS = 4,
    S_MONE = 8, S_MTWO = 16, S_MCOUNT = 24, S_MISLANDS = 32, S_MFIRST = 64,
};

struct pt {
    double x, y;
};

// ceil(v - 0.5), the first row or column whose centre is at or after v,
// held to lo .. hi before it becomes an int (NaN gives hi).
inline int firstcentre(double v, int lo, int hi)
{
    v -= 0.5;
    if (!(v < hi)) return hi;
    if (v <= lo) return lo;
    const int t = (int)v;  // toward zero: the ceiling is one more only when it cut
    return t + (t < v);
}

// An edge as rows cross it, from its upper end (x0, y0): two faces sharing
// an edge get the very same numbers, so each centre on it goes to one of
// them. The crossing is taken by the slope, a multiply; where that lands
// within a hair of a centre, by the quotient, exact when the corners lie on
// a binary grid (as in the tests), so that a centre on the edge is found on
// it. Far-out crossings are held to the tile before they become ints.
struct edge {
    double x0, y0, dx, dy, slope, hair;
    edge(const pt& p, const pt& q)
    {
        const pt& u = q.y < p.y ? q : p;
        const pt& w = q.y < p.y ? p : q;
        x0 = u.x;
        y0 = u.y;
        dx = w.x - u.x;
        dy = w.y - u.y;
        slope = dx / dy;
        hair = 1e-9 * (1 + std::fabs(dx) + std::fabs(x0));  // far above the slope's rounding
    }
    // The first column whose centre is at or after the crossing of the row
    // whose centre is at yc, held to 0 .. n: ceil(x - 0.5).
    int first(double yc, int n) const
    {
        double t = x0 + slope * (yc - y0) - 0.5;
        if (!(t > 0)) return 0;  // NaN too: nothing is far out once clipped
        if (!(t < n)) return n;
        int i = (int)t;
        if (t - i <= hair || t - i >= 1 - hair) {
            t = x0 + dx * (yc - y0) / dy - 0.5;
            if (!(t > 0)) return 0;
            if (!(t < n)) return n;
            i = (int)t;
        }
        return i + (i < t);
    }
};

// Calls span(y, i0, i1) for each row y in from..to of triangle a, b, c on an
// n-pixel-wide tile, with the columns it covers.
template <class F>
void trianglespans(pt a, pt b, pt c, int n, int from, int to, F span)
{
    pt t;
    if (b.y < a.y) t = a, a = b, b = t;
    if (c.y < b.y) t = b, b = c, c = t;
    if (b.y < a.y) t = a, a = b, b = t;
    if (!(a.y < c.y)) return;  // no height
    const int y0 = firstcentre(a.y, from, to + 1), y1 = firstcentre(c.y, from, to + 1) - 1;
    if (y0 > y1) return;
    const int ym = firstcentre(b.y, y0, y1 + 1);  // the first row below b's
    const edge ac(a, c);
    auto part = [&](const edge& e, int first, int last) {
        for (int y = first; y <= last; y++) {
            const double yc = y + 0.5;
            const int i = ac.first(yc, n), j = e.first(yc, n);
            if (i < j) span(y, i, j - 1);
            else if (j < i) span(y, j, i - 1);
        }
    };
    if (y0 < ym) part(edge(a, b), y0, ym - 1);
    if (ym <= y1) part(edge(b, c), ym, y1);
}

// Corner k of face f scaled to the tile's pixels.
inline pt corner(const Face& f, int k, int n, int column, int row)
{
    const xy* t = f.q[k].t;
    return pt{scaledpx(t->x, n, column), scaledpx(t->y, n, row)};
}

// The spans of face f, a fan of triangles round its first corner.
template <class F>
void facespans(const Face& f, int n, int column, int row, int from, int to, F span)
{
    const pt a = corner(f, 0, n, column, row);
    pt b = corner(f, 1, n, column, row);
    for (int k = 2; k < f.n; k++) {
        const pt c = corner(f, k, n, column, row);
        trianglespans(a, b, c, n, from, to, span);
        b = c;
    }
}

// Whole pixel position of a texture coordinate as the outlines take it:
// n x u in double, cut toward zero, held to +-2^30.
long long pixelof(float u, int n)
{
    double p = (double)n * (double)u;
    if (!(p > -1073741824.0)) return p != p ? 0 : -1073741824LL;
    if (p > 1073741824.0) return 1073741824LL;
    return (long long)p;
}

// The pixels of the outline edge s-t on rows from..to, walked as drawedge
// walks them for the mesh map, each given to plot(y, x): the picture flags
// what it paints, and drawedge does not.
template <class F>
void edgepixels(int n, xy s, xy t, int from, int to, F plot)
{
    if (from < 0) from = 0;
    if (to > n - 1) to = n - 1;
    if (s.y > t.y) {
        const xy w = s;
        s = t;
        t = w;
    }
    long long sx = pixelof(s.x, n), sy = pixelof(s.y, n);
    long long tx = pixelof(t.x, n), ty = pixelof(t.y, n);
    long long dx = tx - sx, dy = ty - sy;
    if (dy * dy >= dx * dx) {
        const double r = (dx == 0 && dy == 0) ? 1 : (double)dx / (double)dy;
        const long long last = ty < to ? ty : to;
        for (long long i = sy > from ? sy : from; i <= last; i++) {
            const double w = (double)(i - sy) * r + (double)sx;
            if (w >= 0 && w < n) plot((int)i, (int)w);
        }
    } else {
        if ((sy > ty ? sy : ty) + 1 < from || (sy < ty ? sy : ty) - 1 > to) return;
        if (sx > tx) {
            const long long ox = sx;
            sx = tx;
            sy = ty;
            tx = ox;
            dx = -dx;
            dy = -dy;
        }
        const double r = (double)dy / (double)dx;
        const long long last = tx < n - 1 ? tx : n - 1;
        for (long long i = sx > 0 ? sx : 0; i <= last; i++) {
            const double w = (double)(i - sx) * r + (double)sy;
            if (w >= from && w < to + 1) plot((int)w, (int)i);
        }
    }
}

inline void mark(unsigned char* marks, int f, unsigned char bits)
{
    if (marks && (__atomic_load_n(&marks[f], __ATOMIC_RELAXED) & bits) != bits)
        __atomic_fetch_or(&marks[f], bits, __ATOMIC_RELAXED);
}

inline bool drawable(unsigned char kinds) { return !(kinds & (1u << UV_DEGENERATE)); }

pal3 facecolour(unsigned char kinds)
{
    if (kinds & (1u << UV_STRAY | 1u << UV_CROSSING | 1u << UV_OFFUDIM)) return ORANGE;
    if (kinds & (1u << UV_FLIPPED)) return BLUE;
    return GREY;
}

// The rows a face's marks may reach, held to the tile; false when none.
bool facerows(const Face& f, int n, int row, int* lo, int* hi)
{
    double top = INFINITY, bottom = -INFINITY;
    if (!f.q) return false;
    for (int k = 0; k < f.n; k++) {
        const xy* t = f.q[k].t;
        if (!t || !std::isfinite(t->y)) continue;
        const double y = scaledpx(t->y, n, row);
        top = y < top ? y : top;
        bottom = y > bottom ? y : bottom;
    }
    if (!(top <= bottom) || bottom < -REACH || top > n + REACH) return false;
    *lo = top < REACH ? 0 : (int)top - REACH;
    *hi = bottom > n - 1 - REACH ? n - 1 : (int)bottom + REACH;
    return true;
}

// The faces of each band: band b holds items[start[b]] to items[start[b + 1] - 1],
// in the order of the pass's faces.
struct bins {
    int* start;
    int* items;
};

bool binfaces(const pixelpass* p, int rows, int nbands, bins* out)
{
    const bool paint = p->J != nullptr;
    int* range = (int*)std::malloc(2 * (size_t)p->nfaces * sizeof(int));
    out->start = (int*)std::calloc((size_t)nbands + 1, sizeof(int));
    out->items = nullptr;
    if (!range || !out->start) {
        std::free(range);
        std::free(out->start);
        out->start = nullptr;
        return false;
    }
    const int nt = p->nfaces < MINFACES ? 1 : corecount();
    onthreads(nt, [&](int k) {
        const int i0 = (int)((long long)p->nfaces * k / nt), i1 = (int)((long long)p->nfaces * (k + 1) / nt);
        for (int i = i0; i < i1; i++) {
            const int f = p->faces[i];
            int lo, hi;
            if ((paint || drawable(p->kinds[f])) && facerows(p->m->fac[f], p->n, p->row, &lo, &hi)) {
                range[2 * i] = lo / rows;
                range[2 * i + 1] = hi / rows;
            } else {
                range[2 * i] = 1;
                range[2 * i + 1] = 0;
            }
        }
    });
    long long total = 0;
    for (int i = 0; i < p->nfaces; i++)
        for (int b = range[2 * i]; b <= range[2 * i + 1]; b++) out->start[b + 1]++, total++;
    if (total > INT32_MAX || !(out->items = (int*)std::malloc((size_t)(total ? total : 1) * sizeof(int)))) {
        std::free(range);
        std::free(out->start);
        out->start = nullptr;
        return false;
    }
    for (int b = 0; b < nbands; b++) out->start[b + 1] += out->start[b];
    int* fill = (int*)std::malloc((size_t)nbands * sizeof(int));
    if (!fill) {
        std::free(range);
        std::free(out->start);
        std::free(out->items);
        out->start = nullptr;
        return false;
    }
    std::memcpy(fill, out->start, (size_t)nbands * sizeof(int));
    for (int i = 0; i < p->nfaces; i++)
        for (int b = range[2 * i]; b <= range[2 * i + 1]; b++) out->items[fill[b]++] = p->faces[i];
    std::free(fill);
    std::free(range);
    return true;
}

// One thread's scratch: the state of a band's pixels, the first face over
// each and the first of the last material's faces, and its own counts.
struct scratch {
    unsigned char* state;
    uint32_t* first;
    uint32_t* firstofmat;
    pixelcounts tile;
    pixelcounts* mats;
};

// Counts face f on the band's pixels. The counts are kept in locals: the
// stores of the state bytes could touch anything, as far as the compiler
// knows.
void countface(const pixelpass* p, scratch* s, int f, int from, int to)
{
    const Face& F = p->m->fac[f];
    const int n = p->n, island = p->island[f], mat = F.mat;
    const Face* fac = p->m->fac;
    const int* islands = p->island;
    unsigned char* marks = p->marks;
    unsigned char* const state = s->state;
    uint32_t* const firsts = s->first;
    uint32_t* const matfirsts = s->firstofmat;
    const uint32_t me = (uint32_t)f;
    long long covered = 0, overlap = 0, between = 0, mcovered = 0, moverlap = 0, mbetween = 0;
    facespans(F, n, p->column, p->row, from, to, [&](int y, int i0, int i1) {
        const size_t at = (size_t)(y - from) * (size_t)n;
        unsigned char* st = state + at;
        uint32_t* first = firsts + at;
        uint32_t* fm = matfirsts + at;
        for (int i = i0; i <= i1; i++) {
            unsigned s0 = st[i];
            if (s0 == 0) {
                st[i] = S_ONE | S_MONE | S_MFIRST;
                first[i] = me;
                covered++;
                continue;
            }
            const uint32_t a = first[i];
            if (a != me) {  // a face seen again on its own pixel is no overlap
                if ((s0 & S_COUNT) == S_ONE) {
                    s0 = (s0 & ~S_COUNT) | S_TWO;
                    overlap++;
                    mark(marks, (int)a, MARK_SHARED);
                }
                mark(marks, f, MARK_SHARED);
                if (!(s0 & S_ISLANDS) && islands[a] != island) {
                    s0 |= S_ISLANDS;
                    between++;
                }
            }
            const uint32_t h = s0 & S_MFIRST ? a : fm[i];
            if (fac[h].mat != mat) {  // the first of this material here
                fm[i] = me;
                s0 = (s0 & ~(S_MCOUNT | S_MISLANDS | S_MFIRST)) | S_MONE;
                mcovered++;
            } else if (h != me) {
                if ((s0 & S_MCOUNT) == S_MONE) {
                    s0 = (s0 & ~S_MCOUNT) | S_MTWO;
                    moverlap++;
                    mark(marks, (int)h, MARK_OWN);
                }
                mark(marks, f, MARK_OWN);
                if (!(s0 & S_MISLANDS) && islands[h] != island) {
                    s0 |= S_MISLANDS;
                    mbetween++;
                }
            }
            st[i] = (unsigned char)s0;
        }
    });
    s->tile.covered += covered;
    s->tile.overlap += overlap;
    s->tile.between += between;
    if (s->mats) {
        pixelcounts& mc = s->mats[mat];
        mc.covered += covered + mcovered;
        mc.overlap += moverlap;
        mc.between += mbetween;
    }
}

// Once a band is counted: whether face f lies on pixels of one island's
// faces, or of several islands'.
void classifyface(const pixelpass* p, const scratch* s, int f, int from, int to)
{
    unsigned char bits = 0;
    const int n = p->n;
    facespans(p->m->fac[f], n, p->column, p->row, from, to, [&](int y, int i0, int i1) {
        const unsigned char* st = s->state + (size_t)(y - from) * (size_t)n;
        for (int i = i0; i <= i1; i++)
            if ((st[i] & S_COUNT) == S_TWO) bits |= st[i] & S_ISLANDS ? MARK_BETWEEN : MARK_FOLD;
    });
    if (bits) mark(p->marks, f, bits);
}

// Paints the band's rows of the check picture.
void paintband(const pixelpass* p, const scratch* s, const int* items, int count, int from, int to)
{
    const int n = p->n;
    image* J = p->J;
    unsigned char* flags = p->flags;
    for (int y = from; y <= to; y++) {
        const unsigned char* st = s->state + (size_t)(y - from) * (size_t)n;
        const uint32_t* first = s->first + (size_t)(y - from) * (size_t)n;
        pal3* row = J->Row(y);
        for (int i = 0; i < n; i++) {
            if (!st[i]) continue;
            row[i] = (st[i] & S_COUNT) == S_TWO ? RED : facecolour(p->kinds[first[i]]);
            if (flags) flags[(size_t)y * (size_t)n + (size_t)i] = 1;
        }
    }
    auto plot = [&](pal3 c) {
        return [=](int y, int x) {
            J->Row(y)[x] = c;
            if (flags) flags[(size_t)y * (size_t)n + (size_t)x] = 1;
        };
    };
    const float cu = (float)p->column, cv = (float)p->row;
    for (int j = 0; j < count; j++) {
        const Face& f = p->m->fac[items[j]];
        for (int k = 0; f.q && k < f.n; k++) {
            const xy* u = f.q[k == 0 ? f.n - 1 : k - 1].t;
            const xy* v = f.q[k].t;
            if (u && v) edgepixels(n, xy(u->x - cu, u->y - cv), xy(v->x - cu, v->y - cv), from, to, plot(WHITE));
        }
    }
    for (int j = 0; j < count; j++) {
        const int fi = items[j];
        if (drawable(p->kinds[fi])) continue;
        const Face& f = p->m->fac[fi];
        double x = 0, y = 0;
        int k = 0;
        for (int c = 0; f.q && c < f.n; c++) {
            const xy* t = f.q[c].t;
            if (!t || !std::isfinite(t->x) || !std::isfinite(t->y)) continue;
            x += scaledpx(t->x, n, p->column);
            y += scaledpx(t->y, n, p->row);
            k++;
        }
        if (!k) continue;
        x = std::floor(x / k);
        y = std::floor(y / k);
        if (!(x > -REACH && x < n + REACH && y > -REACH && y < n + REACH)) continue;
        const int cx = (int)x, cy = (int)y;
        auto put = plot(YELLOW);
        for (int d = -2; d <= 2; d++)
            for (int e = -1; e <= 1; e += 2) {
                const int yy = cy + d, xx = cx + e * d;
                if (yy >= from && yy <= to && xx >= 0 && xx < n) put(yy, xx);
            }
    }
}

void add(pixelcounts* to, const pixelcounts& c)
{
    to->covered += c.covered;
    to->overlap += c.overlap;
    to->between += c.between;
}

}  // namespace

int runpixels(pixelpass* p)
{
    const int n = p->n, nmat = p->m->nmat;
    p->tile = pixelcounts{0, 0, 0};
    if (p->mats)
        for (int k = 0; k < nmat; k++) p->mats[k] = pixelcounts{0, 0, 0};
    if (p->nfaces == 0 || n < 1) return 1;

    int rows = knobs.uvcheck_bandrows > 0 ? knobs.uvcheck_bandrows : (int)(BANDBYTES / (9 * (size_t)n));
    rows = rows < 8 && knobs.uvcheck_bandrows <= 0 ? 8 : rows > n ? n : rows;
    const int nbands = (n + rows - 1) / rows;
    int nt = knobs.uvcheck_threads > 0 ? knobs.uvcheck_threads : p->nfaces < MINFACES ? 1 : corecount();
    nt = nt > MAXTHREADS ? MAXTHREADS : nt > nbands ? nbands : nt;

    bins b;
    if (!binfaces(p, rows, nbands, &b)) return 0;
    scratch s[MAXTHREADS];
    bool ok = true;
    const size_t px = (size_t)rows * (size_t)n;
    for (int k = 0; k < nt; k++) {
        s[k].state = (unsigned char*)std::malloc(px * 9 + 4);
        s[k].first = s[k].state ? (uint32_t*)(s[k].state + px + (4 - px % 4) % 4) : nullptr;
        s[k].mats = p->mats ? (pixelcounts*)std::calloc((size_t)nmat, sizeof(pixelcounts)) : nullptr;
        s[k].tile = pixelcounts{0, 0, 0};
        ok = ok && s[k].state && (!p->mats || s[k].mats);
    }
    if (ok) {
        // 9 bytes a pixel hold the state, the first face and the material's
        // first, with room for the alignment of the two face arrays.
        for (int k = 0; k < nt; k++) s[k].firstofmat = s[k].first + px;
        std::atomic<int> next(0);
        onthreads(nt, [&](int k) {
            scratch* sk = &s[k];
            for (int band; (band = next++) < nbands;) {
                const int from = band * rows, to = from + rows > n ? n - 1 : from + rows - 1;
                const int* items = b.items + b.start[band];
                const int count = b.start[band + 1] - b.start[band];
                if (!count) continue;  // nothing to count, nothing to paint
                std::memset(sk->state, 0, (size_t)(to - from + 1) * (size_t)n);
                for (int j = 0; j < count; j++)
                    if (drawable(p->kinds[items[j]])) countface(p, sk, items[j], from, to);
                if (p->marks)
                    for (int j = 0; j < count; j++)
                        if (__atomic_load_n(&p->marks[items[j]], __ATOMIC_RELAXED) & MARK_SHARED)
                            classifyface(p, sk, items[j], from, to);
                if (p->J) paintband(p, sk, items, count, from, to);
            }
        });
        for (int k = 0; k < nt; k++) {
            add(&p->tile, s[k].tile);
            if (p->mats)
                for (int j = 0; j < nmat; j++) add(&p->mats[j], s[k].mats[j]);
        }
    }
    for (int k = 0; k < nt; k++) {
        std::free(s[k].state);
        std::free(s[k].mats);
    }
    std::free(b.start);
    std::free(b.items);
    return ok ? 1 : 0;
}
