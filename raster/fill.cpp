// Scan-line filling: a pixel (i, y) is painted when the point (i, y) lies in
// the triangle or on an edge. Corners are scaled to pixels in float; row y
// crosses the edge p-q at
//     x = p.x + (q.x - p.x) * (y - p.y) / (q.y - p.y)   in double,
// and paints columns ceil(min x) to floor(max x). Rows and columns walked are
// limited to the image, so far-out corners cost nothing.
//
// A big mesh gives millions of triangles of a few rows and spans of a few
// pixels. Ordinary triangles step their crossings by the slope; a row where
// stepping and the exact expression could give different columns, and
// triangles with far-out or non-finite corners, go to the plain painter.
// Spans are written with plain stores that never reach past them: a
// read-modify-write of a wider block would wait for the stores of the
// triangle before, which shares its rows.
#include "raster/fill_plain.h"

#if FILL_SSE2
#include <emmintrin.h>

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {
// A colour as the bytes of a span: blue, green, red repeated.
struct colour {
    uint64_t q0, q1, q2;  // pixel bytes 0-7, 1-8 and 2-9
    __m128i pat;          // pixel bytes 0-15
};

colour colourof(pal3 col)
{
    const uint32_t v = (uint32_t)col.blue | (uint32_t)col.green << 8 | (uint32_t)col.red << 16;
    // Three copies of the pixel give bytes 0-7; the pattern repeats every 3
    // bytes, so shifted copies fill the gaps.
    const uint64_t q0 = v * 0x0001000001000001ull, q1 = q0 >> 8 | q0 << 16, q2 = q0 >> 16 | q0 << 8;
    return colour{q0, q1, q2, _mm_set_epi64x((long long)q2, (long long)q0)};  // bytes 8-15 are bytes 2-9
}

inline void put64(unsigned char* p, uint64_t v) { std::memcpy(p, &v, 8); }
inline void put32(unsigned char* p, uint32_t v) { std::memcpy(p, &v, 4); }
inline void put16(unsigned char* p, uint16_t v) { std::memcpy(p, &v, 2); }

enum { SHORT = 5, WIDE = 8 };

// Paints and flags n > SHORT pixels from p and f.
__attribute__((noinline)) void longspan(unsigned char* p, unsigned char* f, unsigned n, const colour& k)
{
    const size_t len = 3 * (size_t)n;
    if (n <= WIDE) {
        put64(p, k.q0);
        put64(p + 8, k.q2);
        put64(p + len - 8, k.q1);  // 3n - 8 is 1 past a whole pixel
        put32(f, 0x01010101);
        put32(f + n - 4, 0x01010101);
        return;
    }
    // Bytes 16k on take the pattern moved on by k bytes (16 = 3 * 5 + 1);
    // the pattern repeats every 15 bytes, as byte 15 is byte 0 again.
    __m128i v = k.pat;
    unsigned char* const e = p + len - 16;
    for (; p < e; p += 16) {
        _mm_storeu_si128((__m128i*)p, v);
        v = _mm_or_si128(_mm_srli_si128(v, 1), _mm_slli_si128(v, 14));
    }
    // 3n - 16 is 2 past a whole pixel: the pattern moved on by 2.
    _mm_storeu_si128((__m128i*)e, _mm_or_si128(_mm_srli_si128(k.pat, 2), _mm_slli_si128(k.pat, 13)));
    std::memset(f, 1, n);
}

// Paints and flags n pixels from p and f; the short spans of a few pixels,
// which most rows of a big mesh have, inline.
inline __attribute__((always_inline)) void putspan(unsigned char* p, unsigned char* f, unsigned n, const colour& k)
{
    if (n >= 3) {
        if (__builtin_expect(n > SHORT, 0)) return longspan(p, f, n, k);
        put64(p, k.q0);
        put64(p + 3 * n - 8, k.q1);  // 3n - 8 is 1 past a whole pixel
        put16(f, 0x0101);  // 3 to 5 flags in pairs that overlap as needed
        put16(f + n / 2 - 1, 0x0101);
        put16(f + n - 2, 0x0101);
    } else if (n == 2) {
        put32(p, (uint32_t)k.q0);
        put32(p + 2, (uint32_t)k.q2);
        put16(f, 0x0101);
    } else if (n == 1) {
        put16(p, (uint16_t)k.q0);
        put16(p + 1, (uint16_t)k.q1);
        f[0] = 1;
    }
}

// Corners within +-2^18 pixels take the stepped crossings.
const float NEAR = 262144.0f;

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
}

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
// x' is held to -0.5 .. X - 0.5, which keeps ceil and floor as the clipped
// row needs them, then 1 + 1.5 * 2^36 is added: that rounds x' + 1 to a
// multiple of 2^-16, whose low 32 bits are x' + 1 in 16.16 fixed point, F.
// When F is more than 2 units from a whole number, x lies within
// 2^-17 + 2^-18 of F / 2^16 - 1, so on the same side of every whole number:
// ceil(x) = floor(x + 1) is the top half of F + 2, and floor(x) one less.
// Nearer than that, the row goes to the plain painter.
//
// Each part of the triangle puts the crossing it takes for the left end in
// lane 0, judged by the slopes: the span is ceil(lane 0) up to ceil(lane 1)
// less one. Where rounding puts the lanes the other way round, the two
// ceils are equal and the rule paints nothing either (no whole number lies
// between them, or the row would have gone to the plain painter), or lane
// 0's is the greater, and the row goes to the plain painter.
void image::filltriangle(const xy* A, const xy* B, const xy* C, pal3 col, unsigned char* marks, int from, int to)
{
    if (!A || !B || !C || !P) return;
    assert(bpp == 24 && marks);
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
    const __m128 ab = _mm_unpacklo_ps(a, b), cc = _mm_unpacklo_ps(c, c);  // (ax, bx, ay, by), (cx, cx, cy, cy)
    const __m128 ys = _mm_movehl_ps(cc, ab), xs = _mm_movelh_ps(ab, cc);  // (ay, by, cy, cy), (ax, bx, cx, cx)
    const float ay = _mm_cvtss_f32(ys), by = _mm_cvtss_f32(_mm_shuffle_ps(ys, ys, 1)),
                cy = _mm_cvtss_f32(_mm_movehl_ps(ys, ys));
    if (cy == ay) return;
    const __m128 abs = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    const __m128 inside = _mm_cmple_ps(_mm_max_ps(_mm_and_ps(xs, abs), _mm_and_ps(ys, abs)), _mm_set1_ps(NEAR));
    if (_mm_movemask_ps(inside) != 15) return fillplain(this, marks, *A, *B, *C, col, from, to);

    // ceil and floor of ay, by, cy at once, exact within 2^18: truncated,
    // then moved by one where the truncation went the wrong way.
    const __m128i t = _mm_cvttps_epi32(ys);
    const __m128 back = _mm_cvtepi32_ps(t);
    const __m128i ceils = _mm_sub_epi32(t, _mm_castps_si128(_mm_cmplt_ps(back, ys)));
    const __m128i floors = _mm_add_epi32(t, _mm_castps_si128(_mm_cmpgt_ps(back, ys)));
    const int H = Y;
    int top = _mm_cvtsi128_si32(ceils), bottom = _mm_cvtsi128_si32(_mm_shuffle_epi32(floors, 2));
    const int rowfirst = from > 0 ? from : 0, rowlast = to < H - 1 ? to : H - 1;
    if (top < rowfirst) top = rowfirst;
    if (bottom > rowlast) bottom = rowlast;
    if (top > bottom) return;  // between two rows, or off the image
    // Row b.y, when whole, belongs to both parts.
    int upper = by != ay ? _mm_cvtsi128_si32(_mm_shuffle_epi32(floors, 1)) : top - 1;
    int lower = cy != by ? _mm_cvtsi128_si32(_mm_shuffle_epi32(ceils, 1)) : bottom + 1;
    if (upper > bottom) upper = bottom;
    if (lower < top) lower = top;

    const colour k = colourof(col);
    unsigned char* const flags0 = marks;
    const size_t ll = (size_t)LL, w0 = (size_t)X;
    const __m128d lo = _mm_set1_pd(-0.5), hi = _mm_set1_pd(X - 0.5), magic = _mm_set1_pd(1 + 0x1p-15 + 0x1.8p36);
    const __m128i four = _mm_set1_epi16(4), zero = _mm_setzero_si128();

    // Rows top to upper of edges a-b and a-c (the upper part), then lower
    // to bottom of b-c and a-c (the lower part): lane 0's edge runs d from
    // p, lane 1's dac from a.
    const __m128d pa = _mm_cvtps_pd(a), pb = _mm_cvtps_pd(b), pc = _mm_cvtps_pd(c);
    const __m128d dac = _mm_sub_pd(pc, pa);
    bool below = top > upper;
    int y0 = below ? lower : top, y1 = below ? bottom : upper;
    __m128d p = below ? pb : pa, d = below ? _mm_sub_pd(pc, pb) : _mm_sub_pd(pb, pa);
    for (;;) {
        // Slopes as the rule rounds them, and the first crossings.
        __m128d s = _mm_div_pd(_mm_unpacklo_pd(d, dac), _mm_unpackhi_pd(d, dac));
        __m128d x = _mm_add_pd(_mm_unpacklo_pd(p, pa),
                               _mm_mul_pd(_mm_sub_pd(_mm_set1_pd(y0), _mm_unpackhi_pd(p, pa)), s));
        // The left end into lane 0: a-b is left of a-c when its slope is
        // the smaller, b-c when its slope is the greater.
        const __m128d sw = _mm_shuffle_pd(s, s, 1);
        if (_mm_movemask_pd(_mm_cmplt_pd(s, sw)) >> !below & 1) {
            s = sw;
            x = _mm_shuffle_pd(x, x, 1);
        }
        unsigned char* row = P + (size_t)(H - 1 - y0) * ll;
        unsigned char* flags = flags0 + (size_t)y0 * w0;
        unsigned char* const end = flags + (size_t)(y1 - y0 + 1) * w0;
        for (; flags != end; row -= ll, flags += w0, x = _mm_add_pd(x, s)) {
            const __m128i up = _mm_castpd_si128(_mm_add_pd(_mm_min_pd(_mm_max_pd(x, lo), hi), magic));
            const unsigned first = (unsigned)_mm_extract_epi16(up, 1), n = (unsigned)_mm_extract_epi16(up, 5) - first;
            // Low halves of F + 2 at most 4: F is a whole number +-2. A
            // negative n: the lanes the other way round.
            if (__builtin_expect(_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_subs_epu16(up, four), zero)) & 0x0101, 0) ||
                __builtin_expect((int)n < 0, 0))
                rowplain(this, flags0, *A, *B, *C, (int)((size_t)(flags - flags0) / w0), below, col);
            else putspan(row + 3 * (size_t)first, flags + first, n, k);
        }
        if (below || lower > bottom) return;
        below = true;
        y0 = lower;
        y1 = bottom;
        p = pb;
        d = _mm_sub_pd(pc, pb);
    }
}

#else  // no SSE2: the plain painter

void image::filltriangle(const xy* A, const xy* B, const xy* C, pal3 col, unsigned char* marks, int from, int to)
{
    if (!A || !B || !C || !P) return;
    fillplain(this, marks, *A, *B, *C, col, from, to);
}

#endif
