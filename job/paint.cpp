// Painting a map on every core: the faces filled or outlined, band by band.
#include "job/paint.h"
#include "job/tiles.h"
#include "port/threads.h"
#include "port/tuning.h"
#include "raster/polyfill.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>


namespace {

// Whole pixel position of a texture coordinate: n x u in double, cut toward
// zero. Held to +-2^30 so the cut is defined and the edge sums stay exact.
long long pixelof(float u, int n)
{
    double p = (double)n * (double)u;
    if (!(p > -1073741824.0)) return p != p ? 0 : -1073741824LL;
    if (p > 1073741824.0) return 1073741824LL;
    return (long long)p;
}

// The texture point t as the map of T's tile sees it: t itself for tile
// 1001 (so its maps stay exactly as without tiles), else moved into *room.
// Null stays null. Whole tile numbers are taken off u and v in [k, k + 1]
// exactly.
const xy* shift(const xy* t, const TextureJob* T, xy* room)
{
    if (!t || (T->tu == 0 && T->tv == 0)) return t;
    room->x = t->x - T->tu;
    room->y = t->y - T->tv;
    return room;
}

// Reports the share of faces done, once per whole percent.
struct progress {
    window wn;
    int nf, next, step;
};

void tick(progress* p, int i)
{
    if (i < p->next) return;
    Progress(p->wn, (int)((long long)i * 100 / p->nf));
    p->next = i + p->step;
}

// Painting runs on one thread per core, each painting bands of rows taken
// in turn, every face of a band in file order, so that a pixel several
// faces cover keeps the colour of the last, as on one thread. There are a
// few bands per thread, so one that costs more holds up no thread for long.
// Faces come in blocks whose row ranges are found first, so a band passes
// over the blocks that lie outside it without looking at their faces.
const int BANDSPERTHREAD = 4;
const int MAXBANDS = MAXTHREADS * BANDSPERTHREAD;
const int MINCORNERS = 20000;  // below this a thread costs more than it saves
const int MINROWS = 64;      // rows per band at least, unless the test hook says
const int BLOCK = 256;       // faces per block

// Scaled v (v x n in float, as the painting scales it) of a block's corners
// on the map; lo > hi: none. A NaN makes the range everything.
struct rowrange {
    float lo, hi;
};

// Bands to cut the map of T into; 1: paint on this thread alone.
int bandcount(const TextureJob* T, const mesh* m)
{
    int n = corecount() * BANDSPERTHREAD;
    if (n > T->n / MINROWS) n = T->n / MINROWS;
    if (m->nq < MINCORNERS || corecount() == 1) n = 1;
    if (knobs.paint_bands > 0) n = knobs.paint_bands < T->n ? knobs.paint_bands : T->n;
    if (n > MAXBANDS) n = MAXBANDS;
    return n < 1 ? 1 : n;
}

void findrows(const TextureJob* T, const mesh* m, int block, rowrange* r)
{
    float lo = INFINITY, hi = -INFINITY, sum = 0;  // a NaN among them makes sum NaN
    const int end = std::min(m->nf, (block + 1) * BLOCK);
    for (int i = block * BLOCK; i < end; i++) {
        const Face& f = m->fac[i];
        if (!onmap(T, f)) continue;
        for (int k = 0; k < f.n; k++) {
            const xy* t = f.q[k].t;
            if (!t) continue;
            const float y = t->y - T->tv;
            lo = y < lo ? y : lo;
            hi = y > hi ? y : hi;
            sum += y;
        }
    }
    const float n = (float)T->n;
    *r = sum != sum ? rowrange{-INFINITY, INFINITY} : lo > hi ? rowrange{INFINITY, -INFINITY} : rowrange{lo * n, hi * n};
}

// Cuts rows 0 to n - 1 into nb bands, cut[b] to cut[b + 1] - 1, holding
// about as many blocks each, judged by the middles of their row ranges.
void cutbands(int n, const rowrange* r, int nblocks, int nb, int* cut)
{
    cut[0] = 0;
    cut[nb] = n;
    float* mid = (float*)std::malloc((size_t)nblocks * sizeof(float));
    int ns = 0;
    for (int i = 0; mid && i < nblocks; i++)
        if (r[i].lo <= r[i].hi) mid[ns++] = std::max(-1.0f, std::min((float)n, (r[i].lo + r[i].hi) / 2));
    if (ns) std::sort(mid, mid + ns);
    // Fewer blocks than bands (a few faces of many corners): the rows they
    // cover are cut evenly.
    float top = (float)n, bottom = 0;
    for (int i = 0; i < nblocks; i++)
        if (r[i].lo <= r[i].hi) {
            top = std::min(top, std::max(0.0f, r[i].lo));
            bottom = std::max(bottom, std::min((float)n, r[i].hi));
        }
    const int least = n / nb / 4 + 1;  // every band keeps a share of the rows
    for (int b = 1; b < nb; b++) {
        int c = ns >= nb ? (int)std::ceil(mid[(size_t)ns * b / nb])
                : ns     ? (int)(top + (bottom - top) * b / nb)
                         : (int)((long long)n * b / nb);
        if (c < cut[b - 1] + least) c = cut[b - 1] + least;
        if (c > n - (nb - b) * least) c = n - (nb - b) * least;
        cut[b] = c;
    }
    std::free(mid);
}

// Paints the faces of map M with paint(first, end, from, to, p): faces
// first to end - 1, rows from to `to` only, ticking p when not null. The
// marks of a face lie within `reach` rows of its scaled corners, give or
// take the rounding of their float scaling, which is allowed for.
template <class F>
void inbands(const TextureJob* T, const mesh* m, progress* p, float reach, F paint)
{
    const int nb = bandcount(T, m), nblocks = (m->nf + BLOCK - 1) / BLOCK;
    rowrange* r = nb > 1 ? (rowrange*)std::malloc((size_t)nblocks * sizeof(rowrange)) : nullptr;
    if (!r) {  // one band, or no room to share the work out
        paint(0, m->nf, 0, T->n - 1, p);
        return;
    }
    const int nt = std::min(nb, corecount());
    onthreads(nt, [=](int k) {
        for (int i = nblocks * k / nt; i < nblocks * (k + 1) / nt; i++) findrows(T, m, i, &r[i]);
    });
    int cut[MAXBANDS + 1];
    cutbands(T->n, r, nblocks, nb, cut);
    // The bands are taken in turn; this thread reports each band done.
    std::atomic<int> next(0), done(0);
    onthreads(nt, [=, &next, &done](int k) {
        for (int b; (b = next++) < nb;) {
            const int from = cut[b], to = cut[b + 1] - 1;
            for (int i = 0; i < nblocks; i++)
                if (!(r[i].hi + (reach + std::fabs(r[i].hi) * 0x1p-20f) < (float)from ||
                      r[i].lo - (reach + std::fabs(r[i].lo) * 0x1p-20f) > (float)to))
                    paint(i * BLOCK, std::min(m->nf, (i + 1) * BLOCK), from, to, nullptr);
            const int d = ++done;
            if (k == 0) Progress(p->wn, d * 100 / nb);
        }
    });
    std::free(r);
}

// Convex faces of more corners than this are painted as polygons: each
// triangle of a fan walks the rows from the first corner to its own, most
// of the face's. Up to it they keep the fan, which the scan matches but for
// a rare boundary pixel (see paintpolygon).
const int FANMAX = 256;

// Room for the corners of a face moved into a tile, grown as faces need.
struct pointroom {
    xy* p;
    int cap;
};

// Paints face f as the polygon it is where a fan of triangles would not do:
// a face of 4 or more corners that is concave, crosses itself, or is convex
// with more than FANMAX corners. The scan paints every pixel whose point
// lies in the face or on an edge; a fan adds pixels outside a concave face.
// On a convex face the two differ only where a point lies on an edge and
// the edge's crossing is rounded past it: the fan paints it when the
// crossing of a diagonal through the same point (corners in a line) is
// rounded the other way, the scan paints a lowest corner on a whole pixel
// that the fan's edges into it can miss. False, painting nothing, to leave
// the face to the fan: a corner without a texture point or at infinity, a
// convex face of few corners, or no room.
// With points (a tile other than 1001), the corners are moved into its room.
bool paintpolygon(TextureJob* T, const Face& f, pal3 col, int from, int to, polyroom* room, pointroom* points)
{
    if (f.n < 4 || !roomforcorners(room, f.n)) return false;
    if (points && points->cap < f.n) {
        xy* p = (xy*)std::realloc(points->p, sizeof(xy) * (size_t)f.n);
        if (!p) return false;
        points->p = p;
        points->cap = f.n;
    }
    for (int k = 0; k < f.n; k++)
        if (!(room->corners[k] = points ? shift(f.q[k].t, T, &points->p[k]) : f.q[k].t)) return false;
    const int shape = polygonshape(room->corners, f.n, T->n, T->n, nullptr);
    if (shape == POLY_NONFINITE || (shape == POLY_CONVEX && f.n <= FANMAX)) return false;
    return fillpolygon(&T->J, T->used, room->corners, f.n, col, from, to, room);
}

// A quad, the usual face, with all its corners and convex: a fan, found
// without the general test.
inline bool fanquad(const Face& f, int n)
{
    const fcinfo* q = f.q;
    return f.n == 4 && q[0].t && q[1].t && q[2].t && q[3].t && convexquad(q[0].t, q[1].t, q[2].t, q[3].t, n, n);
}

}  // namespace

bool setupmap(TextureJob* T)
{
    return T->J.reset(T->n, T->n) != nullptr;
}

void clearmap(TextureJob* T)
{
    // A big map is cleared by all cores, each its own rows: the first touch
    // of new pages costs more than the zeros.
    const int n = T->n;
    const int nb = n < 1024 ? 1 : corecount();
    image& J = T->J;
    unsigned char* flags = T->used;
    onthreads(nb, [=, &J](int k) {
        const int y0 = (int)((long long)n * k / nb), y1 = (int)((long long)n * (k + 1) / nb);
        if (y0 == y1) return;
        // Rows are stored bottom-up and whole: y1 - 1 comes first. Their
        // fill bytes are 0 already and stay so.
        std::memset((void*)J.Row(y1 - 1), 0, (size_t)(y1 - y0) * (size_t)J.LL);
        std::memset(flags + (size_t)y0 * (size_t)n, 0, (size_t)(y1 - y0) * (size_t)n);
    });
}

bool onmap(const TextureJob* T, const Face& f)
{
    if (!f.q || (T->nmat >= 2 && f.mat != T->M)) return false;
    if (T->tile < 0) return true;
    tilespan s;
    const int u = T->tile % TILEROW, v = T->tile / TILEROW;
    return facetiles(f, &s) && s.u0 <= u && u <= s.u1 && s.v0 <= v && v <= s.v1;
}

void paintfilled(TextureJob* T)
{
    const window wn = T->wn;
    const mesh* m = T->OB;
    unsigned char* const flags = T->used;
    const bool shifted = T->tu != 0 || T->tv != 0;
    SetTitle(wn, STAGE_PAINT);
    progress p = {wn, m->nf, 0, m->nf / 100 + 1};
    // A triangle or a polygon paints rows ceil(top corner) to floor(bottom
    // corner).
    inbands(T, m, &p, 0, [=](int first, int end, int from, int to, progress* tk) {
        polyroom room = {};
        pointroom points = {nullptr, 0};
        for (int i = first; i < end; i++) {
            if (tk) tick(tk, i);
            const Face& f = m->fac[i];
            if (!onmap(T, f)) continue;
            pal3 col = m->mat[f.mat].col;
            if (f.n > 3 && !fanquad(f, T->n) && paintpolygon(T, f, col, from, to, &room, shifted ? &points : nullptr))
                continue;
            if (!shifted) {
                for (int k = 2; k < f.n; k++) T->J.filltriangle(f.q[0].t, f.q[k - 1].t, f.q[k].t, col, flags, from, to);
                continue;
            }
            xy a, b, c;  // the corners within the map's tile
            for (int k = 2; k < f.n; k++)
                T->J.filltriangle(shift(f.q[0].t, T, &a), shift(f.q[k - 1].t, T, &b), shift(f.q[k].t, T, &c), col, flags,
                                  from, to);
        }
        freepolyroom(&room);
        std::free(points.p);
    });
    Progress(wn, 100);
}

void paintoutline(TextureJob* T)
{
    const window wn = T->wn;
    const mesh* m = T->OB;
    SetTitle(wn, STAGE_PAINT);
    progress p = {wn, m->nf, 0, m->nf / 100 + 1};
    // Edges are drawn from corners scaled in double and cut to whole pixels.
    inbands(T, m, &p, 2, [=](int first, int end, int from, int to, progress* tk) {
        for (int i = first; i < end; i++) {
            if (tk) tick(tk, i);
            const Face& f = m->fac[i];
            if (!onmap(T, f)) continue;
            for (int k = 0; k < f.n; k++) {
                xy a, b;
                const xy* u = shift(f.q[k == 0 ? f.n - 1 : k - 1].t, T, &a);
                const xy* v = shift(f.q[k].t, T, &b);
                if (u && v) drawedge(&T->J, T->n, *u, *v, T->white, from, to);
            }
        }
    });
    Progress(wn, 100);
}

void drawedge(image* J, int n, const xy& s0, const xy& t0, pal3 colour, int from, int to)
{
    if (from < 0) from = 0;
    if (to > n - 1) to = n - 1;
    const xy* s = &s0;
    const xy* t = &t0;
    if (s->y > t->y) {  // run downwards; equal v keeps the order
        const xy* ww = s;
        s = t;
        t = ww;
    }
    long long sx = pixelof(s->x, n), sy = pixelof(s->y, n);
    long long tx = pixelof(t->x, n), ty = pixelof(t->y, n);
    long long dx = tx - sx, dy = ty - sy;
    // A corner on u = 1 or v = 1 scales to column or row n, one past the
    // map; the edge's points there are drawn in the last column or row.
    const bool rightend = (sx > tx ? sx : tx) == n, lowend = (sy > ty ? sy : ty) == n && to == n - 1;
    const double colend = rightend ? n + 1 : n, rowend = lowend ? n + 1 : to + 1;
    if (dy * dy >= dx * dx) {  // steep, a single point included
        double r = (dx == 0 && dy == 0) ? 1 : (double)dx / (double)dy;
        long long last = ty < to ? ty : lowend ? n : to;
        for (long long i = sy > from ? sy : from; i <= last; i++) {
            double w = (double)(i - sy) * r + (double)sx;
            if (w >= 0 && w < colend) J->Row(i < n ? (int)i : n - 1)[w < n ? (int)w : n - 1] = colour;
        }
    } else {
        // Rows stay within one of sy and ty (either may be the greater, as
        // NaN corners are not ordered): none of the band, no walk.
        if ((sy > ty ? sy : ty) + 1 < from || (sy < ty ? sy : ty) - 1 > to) return;
        if (sx > tx) {  // run rightwards
            long long ox = sx;
            sx = tx;
            sy = ty;
            tx = ox;
            dx = -dx;
            dy = -dy;
        }
        double r = (double)dy / (double)dx;
        long long last = tx < n - 1 ? tx : rightend ? n : n - 1;
        for (long long i = sx > 0 ? sx : 0; i <= last; i++) {
            double w = (double)(i - sx) * r + (double)sy;
            if (w >= from && w < rowend) J->Row(w < n ? (int)w : n - 1)[i < n ? (int)i : n - 1] = colour;
        }
    }
}
