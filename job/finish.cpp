// The margin, white edges and inversion of a painted map, on every core.
#include "job/finish.h"
#include "port/threads.h"
#include "port/tuning.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

// The margin and white edges look at the flags packed one bit per pixel, 64
// to a word (bit b of word w is column 64w + b), a few rows at a time in a
// ring. A handful of word operations finds, for 64 pixels at once, the empty
// ones next to flagged ones (the targets); only targets are then visited one
// by one. Pixels are addressed in bytes: a stored row of LL bytes need not
// hold a whole number of pixels.

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "flags are read eight to a word, byte 0 first");


namespace {

enum {
    AHEAD = MARGINPASSES + 1,  // rows the margin packs ahead of its first pass
    RING = 16,                 // packed rows the margin keeps
};
// The passes run two rows apart: at step s the last fills row
// s - 2 * MARGINPASSES + 1 while the first asks for row s + AHEAD + 1.
static_assert(RING >= 3 * MARGINPASSES + 2 && (RING & (RING - 1)) == 0, "margin ring too small");

const uint64_t ONES = 0x0101010101010101ull;
const uint64_t LOW7 = 0x7f7f7f7f7f7f7f7full;

// Bytes of 0 or 1 gathered into the low eight bits: byte k lands on bit
// 56 + k, the other products fall past bit 63 or below bit 56 without a
// carry into it.
inline uint64_t gather(uint64_t x) { return (x * 0x0102040810204080ull) >> 56; }

// 1 in each byte of x that counts as flagged: bit 0 set for the margin, as a
// pixel filled in the current pass spreads nothing; any bit set for the
// white edges.
inline uint64_t flagged(uint64_t x, bool anybit)
{
    if (anybit) return ((((x & LOW7) + LOW7) | x) >> 7) & ONES;
    return x & ONES;
}

// The 64 flags at f packed into one word.
#ifdef __SSE2__
inline uint64_t pack64(const unsigned char* f, bool anybit)
{
    uint64_t bits = 0;
    for (int k = 0; k < 64; k += 16) {
        __m128i x = _mm_loadu_si128((const __m128i*)(f + k));
        unsigned m = anybit ? ~_mm_movemask_epi8(_mm_cmpeq_epi8(x, _mm_setzero_si128())) & 0xffff
                            : _mm_movemask_epi8(_mm_slli_epi64(x, 7));  // bit 0 up to bit 7
        bits |= (uint64_t)m << k;
    }
    return bits;
}
#else
inline uint64_t pack64(const unsigned char* f, bool anybit)
{
    uint64_t bits = 0;
    for (int k = 0; k < 64; k += 8) {
        uint64_t x;
        std::memcpy(&x, f + k, 8);
        bits |= gather(flagged(x, anybit)) << k;
    }
    return bits;
}
#endif

// Packs the n flags at f into (n + 63) / 64 words; bits past the row are 0.
void pack(const unsigned char* f, int n, bool anybit, uint64_t* out)
{
    int j0 = 0;
    for (; j0 + 64 <= n; j0 += 64) *out++ = pack64(f + j0, anybit);
    if (j0 == n) return;
    uint64_t bits = 0;
    for (int k = 0; k < n - j0; k += 8) {
        uint64_t x = 0;
        std::memcpy(&x, f + j0 + k, (size_t)std::min(8, n - j0 - k));
        bits |= gather(flagged(x, anybit)) << k;
    }
    *out = bits;
}

// Packed rows: a ring of slots, each a row of words with a 0 word either
// side, and the empty row that stands for rows beyond the map.
struct rows {
    uint64_t* ring;
    int mask;               // slots - 1
    const uint64_t* none;
    int words;              // per row
    int h;                  // rows of the map
    uint64_t last;          // the bits of the last word that are columns
    uint64_t* at(int i) { return ring + (size_t)(i & mask) * (words + 2) + 1; }
    const uint64_t* get(int i) { return i < 0 || i >= h ? none : at(i); }
    uint64_t columns(int w) const { return w + 1 < words ? ~0ull : last; }
    uint64_t* end() { return ring + (size_t)(mask + 1) * (words + 2); }
};

// The work begins with the empty row of an n x n map, pads included.
const uint64_t* emptyrow(void* work, int n)
{
    uint64_t* e = (uint64_t*)work;
    std::fill(e, e + (n + 63) / 64 + 2, 0);
    return e + 1;
}

// Rows of n columns, h of them in the map, in `slots` slots from `at` on,
// all empty.
rows takerows(uint64_t* at, int slots, const uint64_t* none, int n, int h)
{
    const int words = (n + 63) / 64;
    std::fill(at, at + (size_t)slots * (words + 2), 0);
    return rows{at, slots - 1, none, words, h, n % 64 ? (1ull << (n % 64)) - 1 : ~0ull};
}

// Rows 0 to h - 1 of n pixels and their flags, taken from a map or a copy
// of a few of its rows: pixel rows are stored bottom-up, LL bytes apart.
struct strip {
    unsigned char* top;     // row 0
    ptrdiff_t LL;
    unsigned char* flags;   // row 0's, n per row
    int n, h;
    unsigned char* row(int i) const { return top - (ptrdiff_t)i * LL; }
};

strip wholemap(image* J, unsigned char* flags, int n)
{
    return strip{(unsigned char*)J->Row(0), J->LL, flags, n, n};
}

// Word w of row C moved so that bit b holds the pixel at b + 1 (right) or
// b - 1 (left).
inline uint64_t fromright(const uint64_t* C, int w) { return (C[w] >> 1) | (C[w + 1] << 63); }
inline uint64_t fromleft(const uint64_t* C, int w) { return (C[w] << 1) | (C[w - 1] >> 63); }

// Nonzero when word w of row i holds a pixel whose flag differs from a
// neighbour's: only within four pixels of one can anything change.
inline uint64_t edge(rows& F, int i, int w)
{
    const uint64_t *U = F.get(i - 1), *C = F.get(i), *D = F.get(i + 1);
    return ((C[w] ^ U[w]) | (C[w] ^ D[w]) | (C[w] ^ fromleft(C, w)) | (C[w] ^ fromright(C, w))) & F.columns(w);
}

// Asks for the pixels of word w of row K, so that they come in together
// rather than one miss at a time when the row is worked.
inline void prefetch(const unsigned char* K, int w, int n)
{
    const unsigned char* k = K + 192L * w;
    const unsigned char* last = K + 3L * std::min(n, 64 * w + 64) - 1;
    for (; k < last; k += 64) __builtin_prefetch(k, 1);
    __builtin_prefetch(last, 1);
}

// Notes row i as the last with a boundary near each word that holds one or
// whose neighbour does: the margin reaches four columns.
void marknear(rows& F, int i, int* lastnear)
{
    int was = 0, is = edge(F, i, 0) != 0;
    for (int w = 0; w < F.words; w++) {
        int next = w + 1 < F.words && edge(F, i, w + 1) != 0;
        if (was | is | next) lastnear[w] = i;
        was = is, is = next;
    }
}

// The margin targets of one word. Each copies its right neighbour, else its
// left, else the one below, else the one above (the last copy of the
// step-by-step sweeps wins); below and above set bit 1 of the choice (hi),
// left and above bit 0 (lo).
struct targets {
    uint64_t T, hi, lo;
    int w;
};

// The targets of row i, found before the pass fills rows i - 1 to i + 1.
// Returns how many words hold some.
int findtargets(rows& F, int i, targets* out)
{
    const uint64_t *U = F.get(i - 1), *C = F.get(i), *D = F.get(i + 1);
    int found = 0;
    for (int w = 0; w < F.words; w++) {
        uint64_t r = fromright(C, w), l = fromleft(C, w) & F.columns(w);
        uint64_t T = ~C[w] & (r | l | D[w] | U[w]);
        if (!T) continue;
        uint64_t rl = r | l, up = T & ~(rl | D[w]);
        out[found++] = targets{T, (T & D[w] & ~rl) | up, (T & l & ~r) | up, w};
    }
    return found;
}

// Colours and flags the targets of row i.
void filltargets(const strip& S, rows& F, int i, const targets* t, int count)
{
    unsigned char* K = S.row(i);
    unsigned char* f = S.flags + (size_t)i * S.n;
    const ptrdiff_t LL = S.LL;  // the row below lies one row length lower
    const ptrdiff_t offset[4] = {3, -3, -LL, LL};
    uint64_t* C = F.at(i);
    for (int e = 0; e < count; e++) {
        const targets& x = t[e];
        C[x.w] |= x.T;
        unsigned char* k = K + 192L * x.w;
        unsigned char* g = f + 64 * x.w;
        const uint64_t hi = x.hi, lo = x.lo;  // locals: the byte stores could alias x
        for (uint64_t m = x.T; m; m &= m - 1) {
            const long b = __builtin_ctzll(m);
            std::memcpy(k + 3 * b, k + 3 * b + offset[((hi >> b) & 1) * 2 + ((lo >> b) & 1)], 3);
            g[b] = 1;
        }
    }
}

inline int brightness(const unsigned char* p) { return p[0] + p[1] + p[2]; }

// The flagged pixels of row i darker than WHITEEDGE that have an empty
// neighbour (or stand on the border): the only ones that can make a rim.
void finddark(image* J, rows& F, int i, uint64_t* dark)
{
    const uint64_t *U = F.get(i - 1), *C = F.get(i), *D = F.get(i + 1);
    const unsigned char* K = (const unsigned char*)J->Row(i);
    for (int w = 0; w < F.words; w++) {
        uint64_t d = 0;
        for (uint64_t m = C[w] & ~(U[w] & D[w] & fromright(C, w) & fromleft(C, w)); m; m &= m - 1) {
            const long b = __builtin_ctzll(m);
            d |= (uint64_t)(brightness(K + 192L * w + 3 * b) < WHITEEDGE) << b;
        }
        dark[w] = d;
    }
}

// Whitens the empty pixels of row i next to a dark pixel.
void whiten(image* J, rows& F, rows& dark, int i)
{
    const uint64_t *U = dark.get(i - 1), *C = dark.get(i), *D = dark.get(i + 1), *E = F.get(i);
    unsigned char* K = (unsigned char*)J->Row(i);
    for (int w = 0; w < F.words; w++) {
        uint64_t m = ~E[w] & (U[w] | D[w] | fromright(C, w) | fromleft(C, w)) & F.columns(w);
        for (; m; m &= m - 1) std::memset(K + 192L * w + 3 * __builtin_ctzll(m), 255, 3);
    }
}

// White pixels keep flag 0 and flagged pixels never turn white, so the rims
// can be found from the dark pixels of rows i - 1 to i + 1 while row i is
// whitened, and bands of rows can be whitened at once by several threads:
// each writes only empty pixels of its own rows, and reads only flags and
// flagged pixels of the rows beside them. Rows y0 to y1 - 1 here, with
// eight packed rows at ring; the pixels of row i + 1 near a boundary are
// asked for at step i.
void whiteband(image* J, const unsigned char* flags, int n, int y0, int y1, uint64_t* ring, const uint64_t* none)
{
    rows F = takerows(ring, 4, none, n, n);
    rows dark = takerows(F.end(), 4, none, n, n);
    const int a = y0 > 0 ? y0 - 1 : 0;  // the first row whose dark pixels count
    for (int i = a > 0 ? a - 1 : 0; i <= a + 1 && i < n; i++) pack(flags + (size_t)i * n, n, true, F.at(i));
    for (int s = a; s <= y1; s++) {
        if (s + 2 < n) pack(flags + (size_t)(s + 2) * n, n, true, F.at(s + 2));
        if (s + 1 < y1) {
            const unsigned char* K = (const unsigned char*)J->Row(s + 1);
            for (int w = 0; w < F.words; w++)
                if (edge(F, s + 1, w)) prefetch(K, w, n);
        }
        if (s < n) finddark(J, F, s, dark.at(s));
        if (s > y0) whiten(J, F, dark, s - 1);
    }
}

// Scratch of one margin run over a strip: its ring of packed rows, the
// targets of two rows per pass, and lastnear; the empty row comes apart.
size_t stripwork(int n)
{
    const size_t words = ((size_t)n + 63) / 64;
    const size_t b = RING * (words + 2) * sizeof(uint64_t) + MARGINPASSES * 2 * words * sizeof(targets) +
                     words * sizeof(int);
    return (b + 7) & ~(size_t)7;
}

// Pass v works on row r (finding its targets, then filling row r - 1) once
// pass v - 1 has filled rows up to r + 1, so the four passes run together
// two rows apart and each row comes from memory once for all of them.
// Within a pass, row r - 1 is filled after the last look at its flags (from
// rows r - 2, r - 1 and r), so its new pixels take flag 1 at once and are no
// sources in this pass. The flags are packed AHEAD rows early, so that the
// pixels within four rows and columns of a boundary are asked for one row
// before the first pass reaches them; lastnear[w] is the last row packed
// with a boundary near word w. Rows beyond the strip count as empty.
void marginstrip(const strip& S, const uint64_t* none, void* work)
{
    const int n = S.n, h = S.h, words = (n + 63) / 64;
    rows F = takerows((uint64_t*)work, RING, none, n, h);
    targets* t = (targets*)F.end();
    int* lastnear = (int*)(t + MARGINPASSES * 2 * words);
    std::fill(lastnear, lastnear + words, INT_MIN / 2);
    int count[MARGINPASSES][2] = {};
    for (int i = 0; i <= AHEAD && i < h; i++) pack(S.flags + (size_t)i * n, n, false, F.at(i));
    for (int i = 0; i < AHEAD && i < h; i++) marknear(F, i, lastnear);
    for (int s = 0; s <= h + 2 * (MARGINPASSES - 1); s++) {
        if (s + AHEAD + 1 < h) pack(S.flags + (size_t)(s + AHEAD + 1) * n, n, false, F.at(s + AHEAD + 1));
        if (s + AHEAD < h) marknear(F, s + AHEAD, lastnear);
        if (s + 1 < h) {
            const unsigned char* K = S.row(s + 1);
            for (int w = 0; w < words; w++)
                if (lastnear[w] >= s + 1 - MARGINPASSES) prefetch(K, w, n);
        }
        for (int v = 0; v < MARGINPASSES; v++) {
            int r = s - 2 * v;
            if (r < 0 || r > h) continue;
            targets* pass = t + (size_t)v * 2 * words;
            if (r < h) count[v][r & 1] = findtargets(F, r, pass + (r & 1) * words);
            if (r > 0) {
                int q = (r - 1) & 1;
                filltargets(S, F, r - 1, pass + q * words, count[v][q]);
            }
        }
    }
}

// Rows from which a pixel's margin can take its colour and flag: it is
// settled by the map within MARGINPASSES rows, so a strip settles all but
// its MARGINPASSES rows nearest each cut edge.
const int REACH = MARGINPASSES;

// Bands of rows to share a map of n rows out in, at most most: one per core
// on big maps; bands of 2 x REACH rows at least.
int bandsfor(int n, int most)
{
    int nb = knobs.finish_bands > 0 ? knobs.finish_bands : n < 1024 ? 1 : corecount();
    nb = std::min(std::min(nb, most), std::min((int)MAXTHREADS, n / (2 * REACH)));
    return nb < 1 ? 1 : nb;
}

}  // namespace

size_t finishworksize(int n)
{
    return (((size_t)n + 63) / 64 + 2) * sizeof(uint64_t) + stripwork(n);
}

// On big maps every core takes a band of rows, a strip of its own. Rows
// within REACH of a cut are settled afterwards from a copy of the 2 x REACH
// rows either side of the cut, taken before the bands began.
void addmargin(image* J, unsigned char* flags, int n, void* work)
{
    const uint64_t* none = emptyrow(work, n);
    const strip whole = wholemap(J, flags, n);
    const int nb = bandsfor(n, MAXTHREADS);
    const size_t each = stripwork(n), ll = (size_t)J->LL, copyrows = 4 * REACH;
    const size_t copy = copyrows * (ll + (size_t)n);
    unsigned char* extra = nb > 1 ? (unsigned char*)std::malloc(nb * each + (nb - 1) * copy) : nullptr;
    if (!extra) {  // one core, or no room to share the work out
        marginstrip(whole, none, (uint64_t*)work + (n + 63) / 64 + 2);
        return;
    }
    int cut[MAXTHREADS + 1];
    for (int k = 0; k <= nb; k++) cut[k] = (int)((long long)n * k / nb);
    // Cut c's copy: rows c - 2 REACH to c + 2 REACH - 1, within the map.
    auto copied = [=](int k) {
        const int c = cut[k + 1], a = std::max(c - 2 * REACH, 0), b = std::min(c + 2 * REACH, n);
        unsigned char* at = extra + nb * each + (size_t)k * copy;
        return strip{at + (size_t)(b - a - 1) * ll, (ptrdiff_t)ll, at + copyrows * ll, n, b - a};
    };
    for (int k = 0; k + 1 < nb; k++) {
        const strip C = copied(k);
        const int a = std::max(cut[k + 1] - 2 * REACH, 0);
        for (int i = 0; i < C.h; i++) std::memcpy(C.row(i), whole.row(a + i), ll);
        std::memcpy(C.flags, flags + (size_t)a * n, (size_t)C.h * n);
    }
    onthreads(nb, [=](int k) {
        const strip band = {whole.row(cut[k]), (ptrdiff_t)ll, flags + (size_t)cut[k] * n, n, cut[k + 1] - cut[k]};
        marginstrip(band, none, extra + k * each);
    });
    onthreads(nb - 1, [=](int k) {
        const strip C = copied(k);
        marginstrip(C, none, extra + k * each);
        // Rows REACH and more from the copy's cut edges are settled.
        const int a = std::max(cut[k + 1] - 2 * REACH, 0);
        for (int y = std::max(cut[k + 1] - REACH, 0); y < std::min(cut[k + 1] + REACH, n); y++) {
            std::memcpy(whole.row(y), C.row(y - a), (size_t)3 * n);
            std::memcpy(flags + (size_t)y * n, C.flags + (size_t)(y - a) * n, (size_t)n);
        }
    });
    std::free(extra);
}

void addwhiteedges(image* J, const unsigned char* flags, int n, void* work)
{
    // One band per core on big maps, as many as the work has rings for.
    const size_t row = ((size_t)n + 63) / 64 + 2;
    const int rings = (int)((finishworksize(n) / sizeof(uint64_t) / row - 1) / 8);
    const int nb = bandsfor(n, rings);
    const uint64_t* none = emptyrow(work, n);
    uint64_t* ring = (uint64_t*)work + row;
    onthreads(nb, [=](int k) {
        whiteband(J, flags, n, (int)((long long)n * k / nb), (int)((long long)n * (k + 1) / nb), ring + (size_t)k * 8 * row, none);
    });
}

// Rows are swapped a piece at a time through a small buffer, with block
// copies; on big maps the pairs of rows are shared out among the cores.
void invertmap(image* J, int n)
{
    const int nb = bandsfor(n, MAXTHREADS), pairs = n / 2;
    onthreads(nb, [=](int t) {
        unsigned char pw[4096];
        const size_t bytes = (size_t)n * sizeof(pal3);
        for (int i = (int)((long long)pairs * t / nb); i < (int)((long long)pairs * (t + 1) / nb); i++) {
            unsigned char* a = (unsigned char*)J->Row(i);
            unsigned char* b = (unsigned char*)J->Row(n - 1 - i);
            for (size_t at = 0; at < bytes; at += sizeof pw) {
                size_t m = std::min(sizeof pw, bytes - at);
                std::memcpy(pw, a + at, m);
                std::memcpy(a + at, b + at, m);
                std::memcpy(b + at, pw, m);
            }
        }
    });
}

void makealpha(const image* J, unsigned char* flags, int n, bool inverted)
{
    // A turned map's flags lie the other way up: put them the same way first.
    const size_t w = (size_t)n;
    if (inverted) onthreads(n < 1024 ? 1 : corecount(), [=](int k) {
            const int nb = n < 1024 ? 1 : corecount(), pairs = n / 2;
            for (int i = pairs * k / nb; i < pairs * (k + 1) / nb; i++)
                std::swap_ranges(flags + (size_t)i * w, flags + (size_t)(i + 1) * w, flags + (size_t)(n - 1 - i) * w);
        });
    onthreads(n < 1024 ? 1 : corecount(), [=](int k) {
        const int nb = n < 1024 ? 1 : corecount();
        for (int y = (int)((long long)n * k / nb); y < (int)((long long)n * (k + 1) / nb); y++) {
            const pal3* row = J->Row(y);
            unsigned char* f = flags + (size_t)y * w;
            for (int x = 0; x < n; x++)
                f[x] = f[x] || row[x].blue || row[x].green || row[x].red ? 255 : 0;
        }
    });
}
