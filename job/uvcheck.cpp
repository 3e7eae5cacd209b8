// The UV check's analysis: each face on its own (degenerate, flipped, stray,
// texel density), the islands, the pixel pass tile by tile, and the counts
// for the whole mesh and each material.
#include "job/uvcheck.h"
#include "job/uvpixels.h"
#include "port/threads.h"
#include "mesh/facelines.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

const int MINFACES = 20000;  // below this one thread does it sooner
const double FAR = 1e30;     // texture coordinates beyond it cannot be scaled to pixels
const unsigned NOTILE = 0xffffffffu;

unsigned bit(int k) { return 1u << k; }

// A face's tiles: columns c0..c1 and rows r0..r1 packed, or NOTILE.
unsigned packtiles(int c0, int c1, int r0, int r1) { return (unsigned)c0 | (unsigned)c1 << 4 | (unsigned)r0 << 8 | (unsigned)r1 << 16; }
int tilec0(unsigned t) { return (int)(t & 15); }
int tilec1(unsigned t) { return (int)(t >> 4 & 15); }
int tiler0(unsigned t) { return (int)(t >> 8 & 255); }
int tiler1(unsigned t) { return (int)(t >> 16 & 255); }

// floor and ceil by a cut toward zero: libm's are calls where the processor
// has no rounding instruction. Doubles from 2^52 on are whole already.
double floorof(double v)
{
    if (!(std::fabs(v) < 0x1p52)) return v;
    const double t = (double)(long long)v;
    return t > v ? t - 1 : t;
}
double ceilof(double v)
{
    if (!(std::fabs(v) < 0x1p52)) return v;
    const double t = (double)(long long)v;
    return t < v ? t + 1 : t;
}

bool usable(const xy* t) { return std::fabs(t->x) <= FAR && std::fabs(t->y) <= FAR; }  // false for NaN too

// What one face is, on its own.
struct facefacts {
    unsigned char kinds;  // bits of UV_DEGENERATE to UV_OFFUDIM
    unsigned char why;    // uvwhy
    double density;       // texture pixels per unit of mesh length; 0: left out
    unsigned tiles;       // tiles it reaches into, or NOTILE
};

// Where a face lies: the kinds its corners' extent gives (UV_STRAY,
// UV_CROSSING, UV_OFFUDIM), and the tiles it reaches into, or NOTILE.
// Corners without a usable texture coordinate are passed over.
unsigned placeface(const Face& f, unsigned char* kinds)
{
    double umin = INFINITY, umax = -INFINITY, vmin = INFINITY, vmax = -INFINITY;
    for (int c = 0; f.q && c < f.n; c++) {
        const xy* t = f.q[c].t;
        if (!t || !usable(t)) continue;
        umin = std::min(umin, (double)t->x);
        umax = std::max(umax, (double)t->x);
        vmin = std::min(vmin, (double)t->y);
        vmax = std::max(vmax, (double)t->y);
    }
    if (!(umin <= umax)) return NOTILE;
    const double c = floorof(umin), w = floorof(vmin);
    if (umin < 0 || umax > 1 || vmin < 0 || vmax > 1) *kinds |= bit(UV_STRAY);
    // A face keeps to the tile of its lowest u and v, far borders included.
    if (umax > c + 1 || vmax > w + 1) *kinds |= bit(UV_CROSSING);
    if (umin < 0 || vmin < 0 || umax > UV_TILECOLUMNS || vmax > UV_TILEROWS || umin >= UV_TILECOLUMNS ||
        vmin >= UV_TILEROWS)
        *kinds |= bit(UV_OFFUDIM);
    const double c0 = std::max(c, 0.0), r0 = std::max(w, 0.0);
    const double c1 = std::min(std::max(c, ceilof(umax) - 1), UV_TILECOLUMNS - 1.0);
    const double r1 = std::min(std::max(w, ceilof(vmax) - 1), UV_TILEROWS - 1.0);
    if (c0 > c1 || r0 > r1) return NOTILE;
    return packtiles((int)c0, (int)c1, (int)r0, (int)r1);
}

bool intile(unsigned t, int column, int row)
{
    return t != NOTILE && column >= tilec0(t) && column <= tilec1(t) && row >= tiler0(t) && row <= tiler1(t);
}

facefacts examine(const Face& f, int n)
{
    facefacts r = {0, UVD_NONE, 0, NOTILE};
    const int k = f.q ? f.n : 0;
    bool missing = false, bad = false;
    for (int c = 0; c < k; c++) {
        const xy* t = f.q[c].t;
        if (!t) missing = true;
        else if (!usable(t)) bad = true;
    }
    r.why = k < 3 ? UVD_CORNERS : missing ? UVD_NOTEXTURE : bad ? UVD_NONFINITE : UVD_NONE;
    double area = 0;  // in texture space, u right and v up
    if (r.why == UVD_NONE) {
        const xy a = *f.q[0].t;
        double u0 = a.x, u1 = a.x, v0 = a.y, v1 = a.y;
        for (int c = 1; c < k; c++) {
            const xy b = *f.q[c].t;
            u0 = std::min(u0, (double)b.x), u1 = std::max(u1, (double)b.x);
            v0 = std::min(v0, (double)b.y), v1 = std::max(v1, (double)b.y);
            if (c < 2) continue;
            const xy e = *f.q[c - 1].t;
            area += ((double)e.x - a.x) * ((double)b.y - a.y) - ((double)b.x - a.x) * ((double)e.y - a.y);
        }
        area /= 2;
        // Corners meant to lie on a line seldom do once stored as floats: an
        // area under a millionth of the square of the face's extent is none.
        const double extent = std::max(u1 - u0, v1 - v0);
        if (std::fabs(area) <= 0x1p-20 * extent * extent) r.why = UVD_ZEROAREA;
        else if (area < 0) r.kinds |= bit(UV_FLIPPED);
    }
    if (r.why != UVD_NONE) r.kinds |= bit(UV_DEGENERATE);
    r.tiles = placeface(f, &r.kinds);

    if (r.why == UVD_NONE) {  // the face's area in 3-D, its vector area
        double x = 0, y = 0, z = 0;
        const xyz* a = f.q[0].p;
        for (int c = 2; a && c < k; c++) {
            const xyz* b = f.q[c - 1].p;
            const xyz* d = f.q[c].p;
            if (!b || !d) {
                a = nullptr;
                break;
            }
            const double bx = (double)b->x - a->x, by = (double)b->y - a->y, bz = (double)b->z - a->z;
            const double dx = (double)d->x - a->x, dy = (double)d->y - a->y, dz = (double)d->z - a->z;
            x += by * dz - bz * dy;
            y += bz * dx - bx * dz;
            z += bx * dy - by * dx;
        }
        const double a3 = std::sqrt(x * x + y * y + z * z) / 2;
        const double px = std::fabs(area) * n * n;
        if (a && a3 > 0 && std::isfinite(a3)) r.density = std::sqrt(px / a3);
    }
    return r;
}

int findroot(int* parent, int x)
{
    while (parent[x] != x) {
        parent[x] = parent[parent[x]];
        x = parent[x];
    }
    return x;
}

// Islands: texture coordinates joined by the faces that share them. Gives
// each face its island, numbered in the order first met; the count.
int findislands(const mesh* m, int* island)
{
    const int nt = m->nt;
    int* parent = (int*)std::malloc((size_t)(nt ? nt : 1) * sizeof(int));
    if (!parent) return -1;
    for (int i = 0; i < nt; i++) parent[i] = i;
    // The root is the smallest index, so a root's parent is never above it.
    auto join = [&](int a, int b) {
        a = findroot(parent, a);
        b = findroot(parent, b);
        if (a < b) parent[b] = a;
        else if (b < a) parent[a] = b;
    };
    for (int i = 0; i < m->nf; i++) {
        const Face& f = m->fac[i];
        int first = -1;
        for (int c = 0; f.q && c < f.n; c++) {
            const xy* t = f.q[c].t;
            if (!t) continue;
            const int j = (int)(t - m->t);
            if (first < 0) first = j;
            else join(first, j);
        }
        island[i] = first;  // a texture coordinate for now
    }
    // Every parent lies below its child: one pass in order finds all roots.
    for (int i = 0; i < nt; i++) parent[i] = parent[parent[i]];
    // Roots become island numbers; parent[root] is free to hold it, as
    // ~number, since nothing is looked up through a root any more.
    int count = 0;
    for (int i = 0; i < m->nf; i++) {
        if (island[i] < 0) continue;
        const int j = island[i], root = parent[j] < 0 ? j : parent[j];
        if (parent[root] >= 0) parent[root] = ~count++;
        island[i] = ~parent[root];
    }
    std::free(parent);
    return count;
}

// The nearest-rank statistics of the k values at v, which it reorders: the
// ceil(p k / 100)-th smallest for p = 5, 50, 95. The median is placed first;
// the other two, the least and the greatest are then looked for on its side.
void densitystats(float* v, int k, int skipped, uvdensity* d)
{
    *d = uvdensity{k, skipped, 0, 0, 0, 0, 0, 0};
    if (k == 0) return;
    auto rank = [&](int percent) { return (int)(((long long)percent * k + 99) / 100 - 1); };
    const int i5 = rank(5), i50 = rank(50), i95 = rank(95);
    std::nth_element(v, v + i50, v + k);
    std::nth_element(v, v + i5, v + i50);
    if (i95 > i50) std::nth_element(v + i50 + 1, v + i95, v + k);
    d->min = *std::min_element(v, v + i5 + 1);
    d->p5 = v[i5];
    d->median = v[i50];
    d->p95 = v[i95];
    d->max = *std::max_element(v + i95, v + k);
    d->spread = d->p95 / d->p5;
}

void emptyreport(uvreport* r)
{
    std::memset((void*)r, 0, sizeof *r);
}

// The scratch of one analysis, released in one place.
struct work {
    unsigned char* marks;
    float* density;
    unsigned* tiles;
    int* order;      // faces, material by material, file order within
    int* matstart;   // material j's faces: order[matstart[j]] to order[matstart[j + 1] - 1]
    int* tilestart;  // likewise for tile lists, NTILES + 1
    int* tilefaces;
    float* values;     // measured densities, material by material
    float* allvalues;  // and all together
    int* stamp;
    pixelcounts* pix;

    ~work()
    {
        std::free(marks);
        std::free(density);
        std::free(tiles);
        std::free(order);
        std::free(matstart);
        std::free(tilestart);
        std::free(tilefaces);
        std::free(values);
        std::free(allvalues);
        std::free(stamp);
        std::free(pix);
    }
};

template <class T>
T* take(size_t count)
{
    return (T*)std::calloc(count ? count : 1, sizeof(T));
}

void addkinds(uvblock* b, unsigned k)
{
    b->degenerate += (k & bit(UV_DEGENERATE)) != 0;
    b->flipped += (k & bit(UV_FLIPPED)) != 0;
    b->stray += (k & bit(UV_STRAY)) != 0;
    b->crossing += (k & bit(UV_CROSSING)) != 0;
    b->offudim += (k & bit(UV_OFFUDIM)) != 0;
}

}  // namespace

void freeuvreport(uvreport* r)
{
    if (!r) return;
    std::free(r->mats);
    std::free(r->tiles);
    std::free(r->kinds);
    std::free(r->island);
    emptyreport(r);
}

int uvcheck(const mesh* m, int n, uvreport* r)
{
    emptyreport(r);
    const int nf = m->nf, nmat = m->nmat;
    assert(n >= 1 && n <= MAXSIDE);
    for (int i = 0; i < nf; i++)
        if (m->fac[i].mat < 0 || m->fac[i].mat >= nmat) {
            assert(!"a face's material is out of range");
            return 0;
        }
    r->n = n;
    r->nf = nf;
    r->nmat = nmat;
    r->mats = take<uvblock>((size_t)nmat);
    r->kinds = take<unsigned char>((size_t)nf);
    r->island = take<int>((size_t)nf);
    work w = {};
    w.marks = take<unsigned char>((size_t)nf);
    w.density = take<float>((size_t)nf);
    w.tiles = take<unsigned>((size_t)nf);
    w.order = take<int>((size_t)nf);
    w.matstart = take<int>((size_t)nmat + 1);
    w.tilestart = take<int>(NTILES + 1);
    w.values = take<float>((size_t)nf);
    w.allvalues = take<float>((size_t)nf);
    w.pix = take<pixelcounts>((size_t)nmat);
    if (!r->mats || !r->kinds || !r->island || !w.marks || !w.density || !w.tiles || !w.order || !w.matstart ||
        !w.tilestart || !w.values || !w.allvalues || !w.pix) {
        freeuvreport(r);
        return 0;
    }

    // The faces one by one on every core but one, which finds the islands.
    const int ne = nf < MINFACES ? 1 : std::min(corecount(), MAXTHREADS - 1);
    onthreads(ne + 1, [&](int k) {
        if (k == ne) {
            r->nislands = findislands(m, r->island);
            return;
        }
        const int end = (int)((long long)nf * (k + 1) / ne);
        for (int i = (int)((long long)nf * k / ne); i < end; i++) {
            const facefacts f = examine(m->fac[i], n);
            r->kinds[i] = f.kinds;
            const float d = (float)f.density;
            w.density[i] = d < INFINITY ? d : 0;  // too great for a float: left out
            w.tiles[i] = f.why == UVD_NONE ? f.tiles : NOTILE;  // no pixels: no tiles
        }
    });
    if (r->nislands >= 0) w.stamp = take<int>((size_t)r->nislands);
    if (!w.stamp) {
        freeuvreport(r);
        return 0;
    }

    // Faces material by material, for the tile lists and the statistics.
    for (int i = 0; i < nf; i++) w.matstart[m->fac[i].mat + 1]++;
    for (int j = 0; j < nmat; j++) w.matstart[j + 1] += w.matstart[j];
    {
        int* at = take<int>((size_t)nmat);
        if (!at) {
            freeuvreport(r);
            return 0;
        }
        std::memcpy(at, w.matstart, (size_t)nmat * sizeof(int));
        for (int i = 0; i < nf; i++) w.order[at[m->fac[i].mat]++] = i;
        std::free(at);
    }

    // Tile lists, each material's faces together.
    long long entries = 0;
    for (int i = 0; i < nf; i++) {
        const unsigned t = w.tiles[i];
        if (t == NOTILE) continue;
        for (int row = tiler0(t); row <= tiler1(t); row++)
            for (int col = tilec0(t); col <= tilec1(t); col++) w.tilestart[col + UV_TILECOLUMNS * row + 1]++, entries++;
    }
    w.tilefaces = entries <= INT32_MAX ? take<int>((size_t)entries) : nullptr;
    int* at = take<int>(NTILES);
    if (!w.tilefaces || !at) {
        std::free(at);
        freeuvreport(r);
        return 0;
    }
    for (int k = 0; k < NTILES; k++) w.tilestart[k + 1] += w.tilestart[k];
    std::memcpy(at, w.tilestart, NTILES * sizeof(int));
    for (int j = 0; j < nf; j++) {
        const int i = w.order[j];
        const unsigned t = w.tiles[i];
        if (t == NOTILE) continue;
        for (int row = tiler0(t); row <= tiler1(t); row++)
            for (int col = tilec0(t); col <= tilec1(t); col++) w.tilefaces[at[col + UV_TILECOLUMNS * row]++] = i;
    }
    std::free(at);

    for (int k = 0; k < NTILES; k++) r->ntiles += w.tilestart[k + 1] > w.tilestart[k];
    r->tiles = take<uvtile>((size_t)r->ntiles);
    if (!r->tiles) {
        freeuvreport(r);
        return 0;
    }

    // The pixels, tile by tile.
    int nt = 0;
    for (int k = 0; k < NTILES; k++) {
        const int first = w.tilestart[k], count = w.tilestart[k + 1] - first;
        if (!count) continue;
        pixelpass p = {};
        p.m = m;
        p.n = n;
        p.column = k % UV_TILECOLUMNS;
        p.row = k / UV_TILECOLUMNS;
        p.faces = w.tilefaces + first;
        p.nfaces = count;
        p.kinds = r->kinds;
        p.island = r->island;
        p.marks = w.marks;
        p.mats = w.pix;
        if (!runpixels(&p)) {
            freeuvreport(r);
            return 0;
        }
        uvtile& t = r->tiles[nt++];
        t = uvtile{1001 + k, count, p.tile.covered, p.tile.overlap, p.tile.between};
        r->all.covered += p.tile.covered;
        r->all.overlap += p.tile.overlap;
        r->all.between += p.tile.between;
        int last = -1;  // materials on this tile
        for (int j = 0; j < count; j++) {
            const int mat = m->fac[p.faces[j]].mat;
            if (mat != last) r->mats[mat].tiles++;
            last = mat;
        }
        for (int j = 0; j < nmat; j++) {
            r->mats[j].covered += w.pix[j].covered;
            r->mats[j].overlap += w.pix[j].overlap;
            r->mats[j].between += w.pix[j].between;
        }
    }
    r->all.tiles = r->ntiles;

    // Counts per face kind, per material and in all.
    for (int i = 0; i < nf; i++) {
        const unsigned char mk = w.marks[i];
        if (mk & MARK_FOLD) r->kinds[i] |= (unsigned char)bit(UV_FOLDS);
        if (mk & MARK_BETWEEN) r->kinds[i] |= (unsigned char)bit(UV_OVERLAPS);
    }
    for (int j = 0; j < nmat; j++) {
        uvblock& b = r->mats[j];
        int measured = 0;
        for (int x = w.matstart[j]; x < w.matstart[j + 1]; x++) {
            const int i = w.order[x];
            const Face& f = m->fac[i];
            b.faces++;
            if (f.n >= 3) b.triangles += f.n - 2;
            addkinds(&b, r->kinds[i]);
            b.overlapfaces += (w.marks[i] & MARK_OWN) != 0;
            r->all.overlapfaces += (w.marks[i] & MARK_SHARED) != 0;
            if (r->island[i] >= 0 && w.stamp[r->island[i]] != j + 1) {
                w.stamp[r->island[i]] = j + 1;
                b.islands++;
            }
            if (w.density[i] > 0) w.values[w.matstart[j] + measured++] = w.density[i];
        }
        b.density.faces = measured;
        r->all.faces += b.faces;
        r->all.triangles += b.triangles;
        r->all.degenerate += b.degenerate;
        r->all.flipped += b.flipped;
        r->all.stray += b.stray;
        r->all.crossing += b.crossing;
        r->all.offudim += b.offudim;
    }
    r->all.islands = r->nislands;
    int measured = 0;
    for (int i = 0; i < nf; i++)
        if (w.density[i] > 0) w.allvalues[measured++] = w.density[i];
    // The statistics of all faces first, the biggest share, then each
    // material's, taken in turn by every core.
    std::atomic<int> next(0);
    onthreads(nf < MINFACES ? 1 : corecount(), [&](int) {
        for (int j; (j = next++) <= nmat;) {
            if (j == 0) {
                densitystats(w.allvalues, measured, nf - measured, &r->all.density);
            } else {
                uvblock& b = r->mats[j - 1];
                densitystats(w.values + w.matstart[j - 1], b.density.faces, b.faces - b.density.faces, &b.density);
            }
        }
    });

    // The first faces of each kind.
    for (int i = 0; i < nf; i++) {
        const unsigned k = r->kinds[i];
        for (int j = 0; k && j < UV_KINDS; j++) {
            if (!(k & bit(j))) continue;
            uvlist& l = r->lists[j];
            l.count++;
            if (l.nlisted < UV_LISTED) {
                unsigned char why = UVD_NONE;
                if (j == UV_DEGENERATE) why = examine(m->fac[i], n).why;
                l.listed[l.nlisted++] = uvface{i, 0, why};
            }
        }
    }
    return 1;
}

int uvlines(uvreport* r, const char* file)
{
    int faces[UV_KINDS * UV_LISTED];
    long long lines[UV_KINDS * UV_LISTED];
    int count = 0;
    for (int j = 0; j < UV_KINDS; j++)
        for (int k = 0; k < r->lists[j].nlisted; k++) faces[count++] = r->lists[j].listed[k].face;
    std::sort(faces, faces + count);
    const int ok = facelines(file, faces, count, lines);
    for (int j = 0; j < UV_KINDS; j++)
        for (int k = 0; k < r->lists[j].nlisted; k++) {
            uvface& f = r->lists[j].listed[k];
            f.line = lines[std::lower_bound(faces, faces + count, f.face) - faces];
        }
    return ok;
}

int paintcheck(image* J, unsigned char* flags, const mesh* m, int n, const uvreport* r, int M, int tile)
{
    assert(J->X == n && J->Y == n && J->bpp == 24 && r->nf == m->nf);
    const int k = tile - 1001;
    if (k < 0 || k >= NTILES) return 1;  // a tile no face can reach
    const int column = k % UV_TILECOLUMNS, row = k / UV_TILECOLUMNS;
    int* faces = (int*)std::malloc((size_t)(m->nf ? m->nf : 1) * sizeof(int));
    if (!faces) return 0;
    int count = 0;
    for (int i = 0; i < m->nf; i++) {
        unsigned char kinds = 0;
        if ((M < 0 || m->fac[i].mat == M) && intile(placeface(m->fac[i], &kinds), column, row)) faces[count++] = i;
    }
    pixelpass p = {};
    p.m = m;
    p.n = n;
    p.column = column;
    p.row = row;
    p.faces = faces;
    p.nfaces = count;
    p.kinds = r->kinds;
    p.island = r->island;
    p.J = J;
    p.flags = flags;
    const int ok = runpixels(&p);
    std::free(faces);
    return ok;
}
