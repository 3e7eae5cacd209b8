// Painting a map on every core: the faces filled or outlined, band by band.
#include "job/paint.h"
#include "job/tiles.h"
#include "port/threads.h"
#include "port/tuning.h"

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
const int MINFACES = 20000;  // below this a thread costs more than it saves
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
    if (m->nf < MINFACES || corecount() == 1) n = 1;
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
    const int least = n / nb / 4 + 1;  // every band keeps a share of the rows
    for (int b = 1; b < nb; b++) {
        int c = ns ? (int)std::ceil(mid[(size_t)ns * b / nb]) : (int)((long long)n * b / nb);
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
    // A triangle paints rows ceil(top corner) to floor(bottom corner).
    inbands(T, m, &p, 0, [=](int first, int end, int from, int to, progress* tk) {
        for (int i = first; i < end; i++) {
            if (tk) tick(tk, i);
            const Face& f = m->fac[i];
            if (!onmap(T, f)) continue;
            pal3 col = m->mat[f.mat].col;
            if (!shifted) {
                for (int k = 2; k < f.n; k++) T->J.filltriangle(f.q[0].t, f.q[k - 1].t, f.q[k].t, col, flags, from, to);
                continue;
            }
            xy a, b, c;  // the corners within the map's tile
            for (int k = 2; k < f.n; k++)
                T->J.filltriangle(shift(f.q[0].t, T, &a), shift(f.q[k - 1].t, T, &b), shift(f.q[k].t, T, &c), col, flags,
                                  from, to);
        }
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
    if (dy * dy >= dx * dx) {  // steep, a single point included
        double r = (dx == 0 && dy == 0) ? 1 : (double)dx / (double)dy;
        long long last = ty < to ? ty : to;
        for (long long i = sy > from ? sy : from; i <= last; i++) {
            double w = (double)(i - sy) * r + (double)sx;
            if (w >= 0 && w < n) J->Row((int)i)[(int)w] = colour;
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
        long long last = tx < n - 1 ? tx : n - 1;
        for (long long i = sx > 0 ? sx : 0; i <= last; i++) {
            double w = (double)(i - sx) * r + (double)sy;
            if (w >= from && w < to + 1) J->Row((int)w)[(int)i] = colour;
        }
    }
}
