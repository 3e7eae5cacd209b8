// Scan-line filling: a pixel (i, y) is painted when the point (i, y) lies in
// the triangle or on an edge. Corners are scaled to pixels in float; row y
// crosses the edge p-q at
//     x = p.x + (q.x - p.x) * (y - p.y) / (q.y - p.y)   in double,
// and paints columns ceil(min x) to floor(max x). Rows and columns walked are
// limited to the image, so far-out corners cost nothing.
//
// A big mesh gives millions of triangles of a few rows and spans of a few
// pixels. Ordinary triangles step their crossings by the slope and take the
// exact expression only on rows where the two could give different columns;
// far-out or non-finite corners take the exact expression on every row.
#include "raster/image.h"

#include <emmintrin.h>

#include <cassert>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {
// The image as the painter sees it. Locals, not members: the byte stores
// could alias the members.
struct target {
    unsigned char* pixels;  // the pixel block
    unsigned char* flags;   // `used`
    size_t ll, w0;          // bytes per stored row, flags per row
    int W, H;
    int lim;                // last first column of a short span painted in place
    __m128i pat, pat16;     // the colour as pixel bytes 0-15 and 16-23 of a span
};

target targetof(const image& I, pal3 col)
{
    // Blue, green, red repeated: three copies of the pixel give bytes 0-7,
    // bytes 8-15 are bytes 2-9 and bytes 16-23 bytes 1-8.
    uint32_t v = 0;
    std::memcpy(&v, &col, 3);
    const uint64_t lo = v * 0x0001000001000001ull, mid = lo >> 16, hi = mid | mid << 48;
    // A short span reads and writes back 24 pixel bytes and 8 flags from its
    // first column on, all inside its own row up to column X - 8.
    return target{I.P, used, (size_t)I.LL, (size_t)I.X, I.X, I.Y, I.X - 8,
                  _mm_set_epi64x((long long)hi, (long long)lo), _mm_set_epi64x(0, (long long)(lo >> 8 | hi << 56))};
}

unsigned char* rowof(const target& T, int y) { return T.pixels + (size_t)(T.H - 1 - y) * T.ll; }
unsigned char* flagsof(const target& T, int y) { return T.flags + (size_t)y * T.w0; }

// Masks of a span of n pixels, n = 0 to 8: bytes 0-23 are 0xff on its 3n
// pixel bytes, 32-39 0xff on the flags past it, 48-55 1 on its n flags.
enum { SHORT = 8 };
struct masks {
    unsigned char m[SHORT + 1][64];
};
constexpr masks makemasks()
{
    masks k{};
    for (int n = 0; n <= SHORT; n++) {
        for (int i = 0; i < 3 * n; i++) k.m[n][i] = 0xff;
        for (int i = 0; i < 8; i++) k.m[n][32 + i] = i < n ? 0 : 0xff;
        for (int i = 0; i < n; i++) k.m[n][48 + i] = 1;
    }
    return k;
}
alignas(16) constexpr masks MASKS = makemasks();

// Paints and flags n pixels from column first <= T.lim in read-modify-writes
// of 16 pixel bytes (n <= 5), or 24 (WIDE, n <= 8), and 8 flags: the same
// whatever the length, so spans of varying length cost no mispredicted
// branch. The bytes past the span are written back as they were.
template <bool WIDE>
inline __attribute__((always_inline)) void shortspan(unsigned char* row, unsigned char* flags, unsigned first,
                                                     unsigned n, __m128i pat, __m128i pat16)
{
    const unsigned char* m = MASKS.m[n];
    unsigned char* const p = row + 3 * (size_t)first;
    unsigned char* const f = flags + first;
    const __m128i old = _mm_loadu_si128((const __m128i*)p);
    const __m128i mix = _mm_and_si128(_mm_xor_si128(old, pat), _mm_load_si128((const __m128i*)m));
    _mm_storeu_si128((__m128i*)p, _mm_xor_si128(old, mix));
    if (WIDE) {
        const __m128i old16 = _mm_loadl_epi64((const __m128i*)(p + 16));
        const __m128i mix16 = _mm_and_si128(_mm_xor_si128(old16, pat16), _mm_load_si128((const __m128i*)(m + 16)));
        _mm_storel_epi64((__m128i*)(p + 16), _mm_xor_si128(old16, mix16));
    }
    const __m128i fold = _mm_and_si128(_mm_loadl_epi64((const __m128i*)f), _mm_load_si128((const __m128i*)(m + 32)));
    _mm_storel_epi64((__m128i*)f, _mm_or_si128(fold, _mm_load_si128((const __m128i*)(m + 48))));
}

// Paints and flags n >= 1 pixels from column first: spans too long or too
// near the end of the row for shortspan.
__attribute__((noinline)) void longspan(unsigned char* row, unsigned char* flags, int first, int n, __m128i pat)
{
    unsigned char* p = row + 3 * (size_t)first;
    const size_t len = 3 * (size_t)n;
    if (len >= 16) {
        // Bytes 16k on take the pattern moved on by k bytes (16 = 3 * 5 + 1);
        // the pattern repeats every 15 bytes, as byte 15 is byte 0 again.
        __m128i v = pat;
        unsigned char* const e = p + len - 16;
        for (; p < e; p += 16) {
            _mm_storeu_si128((__m128i*)p, v);
            v = _mm_or_si128(_mm_srli_si128(v, 1), _mm_slli_si128(v, 14));
        }
        // 3n - 16 is 2 past a whole pixel: the pattern moved on by 2.
        _mm_storeu_si128((__m128i*)e, _mm_or_si128(_mm_srli_si128(pat, 2), _mm_slli_si128(pat, 13)));
    } else {
        unsigned char c[16];
        _mm_storeu_si128((__m128i*)c, pat);
        std::memcpy(p, c, len);
    }
    std::memset(flags + first, 1, (size_t)n);
}

// ceil(v), held to 0 .. n (n: past the end; NaN gives n too). v is bounded
// before it becomes an int, where truncation and one compare give the ceil.
inline int ceilcut(double v, int n)
{
    if (v > 0) {
        if (v > n) return n;
        const int t = (int)v;
        return t + (t < v);
    }
    return v <= 0 ? 0 : n;
}

// floor(v), held to -1 .. n - 1 (-1: before the start; NaN gives -1 too).
inline int floorcut(double v, int n)
{
    if (v >= n - 1) return n - 1;
    if (v >= 0) return (int)v;
    return -1;
}

// Paints picture row y between the crossings x1, x2 as the rule has it: "if
// x1 > x2, exchange", ceil of the one, floor of the other, clipped.
void exactspan(const target& T, int y, double x1, double x2)
{
    if (x1 > x2) {
        const double t = x1;
        x1 = x2;
        x2 = t;
    }
    const int first = ceilcut(x1, T.W), last = floorcut(x2, T.W);
    if (first > last) return;
    const int n = last - first + 1;
    if (n <= SHORT && first <= T.lim) shortspan<true>(rowof(T, y), flagsof(T, y), first, n, T.pat, T.pat16);
    else longspan(rowof(T, y), flagsof(T, y), first, n, T.pat);
}

// Edges p1-q1 and p2-q2 (lanes 0 and 1) as the exact expression takes them,
// from corners converted to double: every step below is rounded as a lone
// double would be.
struct edges {
    __m128d px, py, dx, dy;
    edges(__m128d p1, __m128d q1, __m128d p2, __m128d q2)  // each (x, y)
    {
        const __m128d d1 = _mm_sub_pd(q1, p1), d2 = _mm_sub_pd(q2, p2);
        px = _mm_unpacklo_pd(p1, p2);
        py = _mm_unpackhi_pd(p1, p2);
        dx = _mm_unpacklo_pd(d1, d2);
        dy = _mm_unpackhi_pd(d1, d2);
    }
    // The crossings of row y.
    void at(int y, double* x1, double* x2) const
    {
        const __m128d x = _mm_add_pd(px, _mm_div_pd(_mm_mul_pd(dx, _mm_sub_pd(_mm_set1_pd(y), py)), dy));
        *x1 = _mm_cvtsd_f64(x);
        *x2 = _mm_cvtsd_f64(_mm_unpackhi_pd(x, x));
    }
};

// Corners within +-2^18 pixels take the stepped crossings.
const float NEAR = 262144.0f;

// Rows y0 to y1 (inside the image) of the edges e.
//
// Stepping: the crossing of row y0 + k is x'_k = x'_(k-1) + s, from
// x'_0 = p.x + (y0 - p.y) * s and s = (q.x - p.x) / (q.y - p.y), each
// operation rounded to double (u = 2^-53), where the rule computes x_k with
// a product and a quotient. With S = |p.x| + |q.x - p.x|:
//   x_k and x'_0 are each within about 4u S of the true crossing;
//   the k rounded sums add at most k u S;
//   k steps of the rounded slope add k u |s| <= 1.01 u |q.x - p.x|, as
//   k <= q.y - p.y (k >= 1 needs a height of at least 1).
// So |x'_k - x_k| <= (10 + k) u S. Corners within 2^18 give S < 2^20, and
// k < 2^15, so the two differ by less than 2^-18.
//
// x' is held to -0.5 .. lim, which keeps ceil and floor as the clipped row
// needs them on the left, then 1 + 1.5 * 2^36 is added: that rounds x' + 1
// to a multiple of 2^-16, whose low 32 bits are x' + 1 in 16.16 fixed point,
// F. When F is more than 2 units from a whole number, x lies within
// 2^-17 + 2^-18 of F / 2^16 - 1, so on the same side of every whole number:
// ceil(x) = floor(x + 1) is the top half of F + 2, and floor(x) one less.
// Nearer than that, and so at lim, a whole number, the row takes the exact
// expression.
template <bool WIDE>
inline __attribute__((always_inline)) void walk(const target& T, const edges& e, __m128d s, int y0, int y1)
{
    // 2^-15 more gives F + 2 at once: the rounding is the same, 2^-15 being
    // a multiple of 2^-16.
    const __m128d lo = _mm_set1_pd(-0.5), hi = _mm_set1_pd(T.lim), magic = _mm_set1_pd(1 + 0x1p-15 + 0x1.8p36);
    const __m128i four = _mm_set1_epi16(4), zero = _mm_setzero_si128();
    const __m128i pat = T.pat, pat16 = T.pat16;
    const size_t ll = T.ll, w0 = T.w0;
    __m128d x = _mm_add_pd(e.px, _mm_mul_pd(_mm_sub_pd(_mm_set1_pd(y0), e.py), s));
    unsigned char* row = rowof(T, y0);
    unsigned char* flags = flagsof(T, y0);
    unsigned char* const end = flags + (size_t)(y1 - y0 + 1) * w0;
    for (; flags != end; row -= ll, flags += w0, x = _mm_add_pd(x, s)) {
        const __m128i up = _mm_castpd_si128(_mm_add_pd(_mm_min_pd(_mm_max_pd(x, lo), hi), magic));
        // Low halves of F + 2 at most 4: F is a whole number +-2.
        if (__builtin_expect(_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_subs_epu16(up, four), zero)) & 0x0101, 0)) {
            const int y = (int)((size_t)(flags - T.flags) / w0);
            double x1, x2;
            e.at(y, &x1, &x2);
            exactspan(T, y, x1, x2);
            continue;
        }
        const unsigned c0 = _mm_extract_epi16(up, 1), c1 = _mm_extract_epi16(up, 5);
        const unsigned first = c0 < c1 ? c0 : c1, n = (c0 < c1 ? c1 : c0) - first;
        if (__builtin_expect(n <= (WIDE ? 8 : 5), 1)) shortspan<WIDE>(row, flags, first, n, pat, pat16);
        else longspan(row, flags, first, n, pat);
    }
}

// The rows top to upper of edges a-b and a-c, and lower to bottom of b-c
// and a-c, all inside the image.
template <bool WIDE>
__attribute__((noinline)) void stepfill(const target& T, __m128d pa, __m128d pb, __m128d pc, int top, int upper,
                                        int lower, int bottom)
{
    if (top <= upper) {
        const edges e(pa, pb, pa, pc);
        walk<WIDE>(T, e, _mm_div_pd(e.dx, e.dy), top, upper);
    }
    if (lower <= bottom) {
        const edges e(pb, pc, pa, pc);
        walk<WIDE>(T, e, _mm_div_pd(e.dx, e.dy), lower, bottom);
    }
}

// Far-out or non-finite corners: every row by the exact expression.
__attribute__((noinline)) void farfill(const target& T, __m128d pa, __m128d pb, __m128d pc)
{
    const double ay = _mm_cvtsd_f64(_mm_unpackhi_pd(pa, pa)), by = _mm_cvtsd_f64(_mm_unpackhi_pd(pb, pb)),
                 cy = _mm_cvtsd_f64(_mm_unpackhi_pd(pc, pc));
    // A NaN would make the row walk meaningless; nothing to paint then.
    if (std::isnan(ay) || std::isnan(by) || std::isnan(cy)) return;
    double x1, x2;
    if (by != ay) {
        const edges e(pa, pb, pa, pc);
        for (int y = ceilcut(ay, T.H), upper = floorcut(by, T.H); y <= upper; y++) {
            e.at(y, &x1, &x2);
            exactspan(T, y, x1, x2);
        }
    }
    if (cy != by) {
        const edges e(pb, pc, pa, pc);
        for (int y = ceilcut(by, T.H), bottom = floorcut(cy, T.H); y <= bottom; y++) {
            e.at(y, &x1, &x2);
            exactspan(T, y, x1, x2);
        }
    }
}

inline __m128 load(const xy* p)  // (x, y, 0, 0)
{
    return _mm_castsi128_ps(_mm_loadl_epi64((const __m128i*)p));
}

// Exchanges p and q when p.y > q.y, without a branch.
inline void order(__m128& p, __m128& q)
{
    const __m128 m = _mm_cmpgt_ps(_mm_shuffle_ps(p, p, 0x55), _mm_shuffle_ps(q, q, 0x55));
    const __m128 d = _mm_and_ps(_mm_xor_ps(p, q), m);
    p = _mm_xor_ps(p, d);
    q = _mm_xor_ps(q, d);
}

inline float yof(__m128 p) { return _mm_cvtss_f32(_mm_shuffle_ps(p, p, 0x55)); }

// ceil and floor of a float within +-2^18.
inline int ceilnear(float v)
{
    const int t = (int)v;
    return t + (t < v);
}
inline int floornear(float v)
{
    const int t = (int)v;
    return t - (t > v);
}
}

void image::filltriangle(const xy* A, const xy* B, const xy* C, pal3 col)
{
    if (!A || !B || !C || !P) return;
    assert(bpp == 24 && used);
    __m128 a = load(A), b = load(B), c = load(C);
    order(a, b);
    order(b, c);
    order(a, b);
    // Scaled in float: 0.1 * 640 must land on 64 exactly. The sides are
    // exact as floats, being at most 2^15.
    const __m128 wh = _mm_setr_ps((float)X, (float)Y, 0, 0);
    a = _mm_mul_ps(a, wh);
    b = _mm_mul_ps(b, wh);
    c = _mm_mul_ps(c, wh);
    const float ay = yof(a), by = yof(b), cy = yof(c);
    if (cy == ay) return;
    const __m128d pa = _mm_cvtps_pd(a), pb = _mm_cvtps_pd(b), pc = _mm_cvtps_pd(c);
    const __m128 abs = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff)), reach = _mm_set1_ps(NEAR);
    const __m128 inab = _mm_cmple_ps(_mm_and_ps(_mm_movelh_ps(a, b), abs), reach);
    const __m128 inc = _mm_cmple_ps(_mm_and_ps(_mm_movelh_ps(c, c), abs), reach);
    if (_mm_movemask_ps(_mm_and_ps(inab, inc)) != 15) {
        farfill(targetof(*this, col), pa, pb, pc);
        return;
    }

    const int H = Y;
    int top = ceilnear(ay), bottom = floornear(cy);
    if (top < 0) top = 0;
    if (bottom > H - 1) bottom = H - 1;
    if (top > bottom) return;  // between two rows, or off the image
    // Row b.y, when whole, belongs to both parts.
    const int fb = floornear(by);
    int upper = by != ay ? fb : top - 1, lower = cy != by ? fb + (fb < by) : bottom + 1;
    if (upper > bottom) upper = bottom;
    if (lower < top) lower = top;
    // Spans of a triangle less than 5 pixels wide are at most 5 pixels long.
    const __m128 xs = _mm_unpacklo_ps(_mm_unpacklo_ps(a, c), _mm_unpacklo_ps(b, b));  // a.x, b.x, c.x, b.x
    const __m128 most = _mm_max_ps(xs, _mm_movehl_ps(xs, xs)), least = _mm_min_ps(xs, _mm_movehl_ps(xs, xs));
    const float width = _mm_cvtss_f32(_mm_max_ss(most, _mm_shuffle_ps(most, most, 1))) -
                        _mm_cvtss_f32(_mm_min_ss(least, _mm_shuffle_ps(least, least, 1)));
    const target T = targetof(*this, col);
    if (width < 4.75f) stepfill<false>(T, pa, pb, pc, top, upper, lower, bottom);
    else stepfill<true>(T, pa, pb, pc, top, upper, lower, bottom);
}

void image::horizline(double x1, double x2, int y, pal3 col)
{
    assert(bpp == 24 && used);
    if (y < 0 || y >= Y || !P) return;
    exactspan(targetof(*this, col), y, x1, x2);
}
