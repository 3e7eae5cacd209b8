// The .PNG encoder: rows filtered Up, cut into bands of a fixed number of
// rows that the threads deflate independently; the pieces, each ended on a
// byte boundary, join into one zlib stream, written in order as they come.
#include "raster/png.h"

#include <zlib.h>

#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "port/files.h"
#include "port/threads.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {
// Filtered bytes a band aims at. Bands are the unit of work and of memory;
// their rows depend on the image alone, so the bytes never depend on the
// threads. Smaller bands compress hardly worse and share out better.
const size_t BANDBYTES = (size_t)1 << 19;
// Room past deflateBound for the empty stored block of a full flush.
const size_t FLUSHROOM = 16;
// Level 1 with the default strategy: on Up-filtered maps of flat colours and
// outlines it was as fast as Z_RLE and up to four times smaller. A smaller
// hash than the default stays in the cache: up to a third faster, under 1 %
// bigger.
const int LEVEL = 1, MEMLEVEL = 5;

// The row above the top one, as Up sees it.
const unsigned char zeros[3 * MAXSIDE] = {};

struct piece {          // one band's IDAT chunk, made by a thread, written in order
    unsigned char* buf; // 8 bytes of length and type, the data, room for Adler-32 and CRC
    size_t len;         // data bytes so far
    uLong crc;          // of the type and the data so far
    uLong adler;        // of the band's filtered bytes
    size_t raw;         // filtered bytes of the band
    bool ready;         // made, waiting to be written
};

struct encoder {
    // The picture
    const unsigned char* P;
    size_t LL;
    int X, Y;
    pngkind kind;
    const unsigned char* alpha;
    int chans;          // bytes per pixel: 1 to 4
    size_t rowlen;      // filtered row: filter byte and pixels
    int bandrows, nbands;
    int wbits;          // deflate window: no wider than the data needs
    bytesink out;

    // Each thread's stream and filtered row
    int nthreads;
    z_stream z[MAXTHREADS];
    unsigned char* row[MAXTHREADS];

    // Pieces in the making: band b goes to slot b % nslots once band
    // b - nslots is written.
    int nslots;
    piece slot[2 * MAXTHREADS];
    size_t slotcap;     // bytes of each slot's buffer

    std::mutex m;       // guards what follows
    std::condition_variable cv;
    int taken;          // bands handed out
    int written;        // bands whose chunks went out
    bool writing;       // a thread is writing band `written`
    bool failed;
    uLong adler;        // of the stream so far; the writing thread's
};

void be32(unsigned char* p, uint32_t v)
{
    p[0] = (unsigned char)(v >> 24);
    p[1] = (unsigned char)(v >> 16);
    p[2] = (unsigned char)(v >> 8);
    p[3] = (unsigned char)v;
}

// Puts a whole chunk of n data bytes at p: length, type, data, CRC; returns
// the bytes used.
size_t chunk(unsigned char* p, const char* type, const unsigned char* data, size_t n)
{
    be32(p, (uint32_t)n);
    std::memcpy(p + 4, type, 4);
    if (n) std::memcpy(p + 8, data, n);
    be32(p + 8 + n, (uint32_t)crc32(0, p + 4, (uInt)(4 + n)));
    return 12 + n;
}

#if defined(__SSE2__)
uint32_t lanesum(__m128i v)
{
    v = _mm_add_epi32(v, _mm_shuffle_epi32(v, 0x4e));
    v = _mm_add_epi32(v, _mm_shuffle_epi32(v, 0xb1));
    return (uint32_t)_mm_cvtsi128_si32(v);
}
#endif

// Adler-32 of n more bytes at p: zlib's, but 16 bytes a step with SSE2,
// about five times faster.
uLong adlerof(uLong adler, const unsigned char* p, size_t n)
{
#if defined(__SSE2__)
    const uint64_t BASE = 65521;
    uint64_t s1 = adler & 0xffff, s2 = adler >> 16;
    const __m128i zero = _mm_setzero_si128();
    const __m128i wlo = _mm_setr_epi16(16, 15, 14, 13, 12, 11, 10, 9), whi = _mm_setr_epi16(8, 7, 6, 5, 4, 3, 2, 1);
    while (n >= 16) {
        // Over k steps of 16 bytes s2 gains 16 k s1, 16 times the sum of
        // the bytes before each step (vs) and each step's bytes weighted 16
        // down to 1 (vw). 347 steps, zlib's 5552 bytes, keep every lane
        // within 32 bits.
        const size_t k = n / 16 < 347 ? n / 16 : 347;
        n -= 16 * k;
        __m128i vsum = zero, vs = zero, vw = zero;
        for (size_t j = 0; j < k; j++, p += 16) {
            const __m128i v = _mm_loadu_si128((const __m128i*)p);
            vs = _mm_add_epi32(vs, vsum);
            vsum = _mm_add_epi32(vsum, _mm_sad_epu8(v, zero));
            vw = _mm_add_epi32(vw, _mm_madd_epi16(_mm_unpacklo_epi8(v, zero), wlo));
            vw = _mm_add_epi32(vw, _mm_madd_epi16(_mm_unpackhi_epi8(v, zero), whi));
        }
        s2 = (s2 + 16 * k * s1 + 16 * (uint64_t)lanesum(vs) + lanesum(vw)) % BASE;
        s1 = (s1 + lanesum(vsum)) % BASE;
    }
    for (; n; n--) {
        s1 += *p++;
        s2 += s1;
    }
    return (uLong)((s2 % BASE) << 16 | s1 % BASE);
#else
    return adler32(adler, p, (uInt)n);
#endif
}

// Adler-32 of n more zero bytes, without reading them.
uLong adlerzeros(uLong adler, size_t n)
{
    const uLong BASE = 65521, s1 = adler & 0xffff, s2 = adler >> 16;
    return (s2 + (uLong)(n % BASE) * s1) % BASE << 16 | s1;
}

// n pixels of row c less those of row p above it, blue-green-red in,
// red-green-blue out.
void upbgr(const unsigned char* c, const unsigned char* p, unsigned char* o, int n)
{
    int x = 0;
#if defined(__SSE2__)
    // Five pixels a step, red and blue swapped by shifts and masks. Loads
    // and stores take a byte more, within the row: the next step or the
    // tail writes over it.
    const __m128i mid = _mm_setr_epi8(0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0);
    const __m128i red = _mm_srli_si128(mid, 1), blue = _mm_slli_si128(mid, 1);
    for (; 3 * x + 16 <= 3 * n; x += 5) {
        const __m128i d = _mm_sub_epi8(_mm_loadu_si128((const __m128i*)(c + 3 * x)),
                                       _mm_loadu_si128((const __m128i*)(p + 3 * x)));
        const __m128i r = _mm_or_si128(_mm_and_si128(d, mid),
                                       _mm_or_si128(_mm_and_si128(_mm_srli_si128(d, 2), red),
                                                    _mm_and_si128(_mm_slli_si128(d, 2), blue)));
        _mm_storeu_si128((__m128i*)(o + 3 * x), r);
    }
#endif
    for (; x < n; x++) {
        o[3 * x] = (unsigned char)(c[3 * x + 2] - p[3 * x + 2]);
        o[3 * x + 1] = (unsigned char)(c[3 * x + 1] - p[3 * x + 1]);
        o[3 * x + 2] = (unsigned char)(c[3 * x] - p[3 * x]);
    }
}

// Whether picture row y is the one above it again, alpha and all: most rows
// of a map of flat colours are.
bool samerow(const encoder& e, int y)
{
    const unsigned char* c = e.P + (size_t)(e.Y - 1 - y) * e.LL;
    const size_t n = (size_t)e.X;
    return y > 0 && std::memcmp(c, c + e.LL, 3 * n) == 0 &&
           (!e.alpha || std::memcmp(e.alpha + y * n, e.alpha + (y - 1) * n, n) == 0);
}

// Picture row y, filtered Up into row (the top one against zeros, which is
// what a decoder takes for the row above it); returns adler with the row's
// bytes added. Up on every row: on coloured maps as small as a filter chosen
// row by row, smaller than Sub; choosing would make the encoding four
// times slower.
uLong filterrow(const encoder& e, int y, unsigned char* row, uLong adler)
{
    const unsigned char* c = e.P + (size_t)(e.Y - 1 - y) * e.LL;
    const unsigned char* p = y > 0 ? c + e.LL : zeros;
    const unsigned char* a = e.alpha ? e.alpha + (size_t)y * (size_t)e.X : nullptr;
    const unsigned char* pa = a && y > 0 ? a - e.X : zeros;
    const int n = e.X;
    row[0] = 2;
    unsigned char* o = row + 1;
    // Alpha 0 stays 0, anything else is 255: -(a != 0) as a byte.
    if (e.kind == PNG_GREY) {
        // Grey from the green byte; the maps of greys have all three equal.
        if (!a) {
            for (int x = 0; x < n; x++) o[x] = (unsigned char)(c[3 * x + 1] - p[3 * x + 1]);
        } else {
            for (int x = 0; x < n; x++) {
                o[2 * x] = (unsigned char)(c[3 * x + 1] - p[3 * x + 1]);
                o[2 * x + 1] = (unsigned char)((pa[x] != 0) - (a[x] != 0));
            }
        }
    } else if (!a) {
        upbgr(c, p, o, n);
    } else {
        for (int x = 0; x < n; x++) {
            o[4 * x] = (unsigned char)(c[3 * x + 2] - p[3 * x + 2]);
            o[4 * x + 1] = (unsigned char)(c[3 * x + 1] - p[3 * x + 1]);
            o[4 * x + 2] = (unsigned char)(c[3 * x] - p[3 * x]);
            o[4 * x + 3] = (unsigned char)((pa[x] != 0) - (a[x] != 0));
        }
    }
    return adlerof(adler, row, e.rowlen);
}

// Bits of a deflate stream, first bit lowest.
struct bitout {
    unsigned char* o;
    uint64_t acc;
    int n;
    void put(uint32_t v, int len)
    {
        acc |= (uint64_t)v << n;
        for (n += len; n >= 8; n -= 8, acc >>= 8) *o++ = (unsigned char)acc;
    }
    // A Huffman code of up to 8 bits, which goes out first bit highest.
    void code(uint32_t c, int len)
    {
        const uint32_t r = (uint32_t)(((c * 0x0202020202ull) & 0x010884422010ull) % 1023);
        put(r >> (8 - len), len);
    }
};

// A copy of len bytes (3 to 258) from the byte before, in fixed codes.
void copylast(bitout& w, int len)
{
    static const short base[29] = {3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27,
                                   31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
    int i = 28;
    while (base[i] > len) i--;
    if (i < 23) w.code(i + 1, 7);  // length symbols 257 to 279
    else w.code(0xc0 + i - 23, 8);  // 280 to 285
    w.put(len - base[i], i < 8 || i == 28 ? 0 : (i - 4) / 4);
    w.code(0, 5);  // distance 1
}

// n rows of the filter byte Up and len - 1 zeros (rows equal to the ones
// above them), as one deflate block of fixed codes at o: per row a literal
// 2, a literal 0 and copies of the byte before, a fraction of a bit a byte
// and nothing for deflate to search. The block ends on a byte boundary,
// the stream's last or followed by the empty stored block of a full flush.
// Null when it would pass end.
unsigned char* zerorows(unsigned char* o, const unsigned char* end, int n, size_t len, bool last)
{
    const size_t rowbits = 16 + 18 * ((len - 2) / 258 + 1) + 16;
    if ((size_t)(end - o) < (20 + (size_t)n * rowbits) / 8 + 6) return nullptr;
    bitout w{o, 0, 0};
    w.put(last ? 3 : 2, 3);  // final or not, fixed codes
    for (int i = 0; i < n; i++) {
        w.code(0x30 + 2, 8);
        w.code(0x30, 8);
        size_t m = len - 2;
        for (; m >= 258; m -= 258) copylast(w, 258);
        if (m >= 3) copylast(w, (int)m);
        for (; m && m < 3; m--) w.code(0x30, 8);
    }
    w.code(0, 7);  // end of block
    if (!last) w.put(0, 3);
    if (w.n) w.put(0, 8 - w.n);
    if (!last) {
        static const unsigned char open[4] = {0, 0, 0xff, 0xff};
        std::memcpy(w.o, open, 4);
        w.o += 4;
    }
    return w.o;
}

// Filters and deflates band b with thread k's stream into s. False only
// when deflate failed, which its bound should rule out.
bool makeband(encoder& e, int k, int b, piece& s)
{
    z_stream& z = e.z[k];
    unsigned char* row = e.row[k];
    if (deflateReset(&z) != Z_OK) return false;
    std::memcpy(s.buf + 4, "IDAT", 4);
    unsigned char* d = s.buf + 8;
    size_t head = 0;
    if (b == 0) {
        // CMF: deflate with this window; FLG: fastest level, check bits.
        d[0] = (unsigned char)((e.wbits - 8) << 4 | 8);
        d[1] = (unsigned char)(31 - (d[0] << 8) % 31);
        head = 2;
    }
    unsigned char* o = d + head;
    unsigned char* const end = s.buf + e.slotcap - 8;  // Adler-32 and CRC after
    // Runs deflate on n bytes at in, its output going on at o.
    auto run = [&](const unsigned char* in, size_t n, int flush) {
        z.next_in = (Bytef*)in;
        z.avail_in = (uInt)n;
        z.next_out = o;
        z.avail_out = (uInt)(end - o);
        const int r = deflate(&z, flush);
        o = z.next_out;
        return r == (flush == Z_FINISH ? Z_STREAM_END : Z_OK) && !z.avail_in && z.avail_out;
    };
    const int y0 = b * e.bandrows, y1 = y0 + e.bandrows < e.Y ? y0 + e.bandrows : e.Y;
    const bool last = b + 1 == e.nbands;
    // Rows equal to the ones above them, where they are long enough for a
    // block of their own to pay, go round deflate: a full flush ends its
    // output on a byte boundary with nothing left to refer back to, their
    // block follows, and deflate carries on after it.
    const bool skip = e.rowlen >= 256;
    static const unsigned char up = 2;
    int same = 0;      // such rows waiting
    bool fed = false;  // deflate has rows since its start
    uLong adler = adler32(0, nullptr, 0);
    for (int y = y0; y < y1; y++) {
        if (skip && samerow(e, y)) {
            adler = adlerzeros(adlerof(adler, &up, 1), e.rowlen - 1);
            same++;
            continue;
        }
        if (same) {
            if (fed && !run(nullptr, 0, Z_FULL_FLUSH)) return false;
            if (!(o = zerorows(o, end, same, e.rowlen, false))) return false;
            same = 0;
            fed = false;
        }
        adler = filterrow(e, y, row, adler);
        if (!run(row, e.rowlen, Z_NO_FLUSH)) return false;
        fed = true;
    }
    // Pieces but the last end byte-aligned on an empty stored block that
    // leaves the stream open, so that the next piece carries straight on.
    if (same) {
        if (fed && !run(nullptr, 0, Z_FULL_FLUSH)) return false;
        if (!(o = zerorows(o, end, same, e.rowlen, last))) return false;
    } else if (!run(nullptr, 0, last ? Z_FINISH : Z_FULL_FLUSH)) {
        return false;
    }
    s.len = (size_t)(o - d);
    s.crc = crc32(0, s.buf + 4, (uInt)(4 + s.len));
    s.adler = adler;
    s.raw = (size_t)(y1 - y0) * e.rowlen;
    return true;
}

// Writes band b's chunk, the last one closing the stream with the Adler-32
// of the whole. Only one thread at a time, in band order.
bool writeband(encoder& e, int b, piece& s)
{
    e.adler = adler32_combine(e.adler, s.adler, (z_off_t)s.raw);
    unsigned char* d = s.buf + 8;
    if (b + 1 == e.nbands) {
        be32(d + s.len, (uint32_t)e.adler);
        s.crc = crc32(s.crc, d + s.len, 4);
        s.len += 4;
    }
    be32(s.buf, (uint32_t)s.len);
    be32(d + s.len, (uint32_t)s.crc);
    return e.out.put(e.out.ctx, s.buf, 8 + s.len + 4) == 1;
}

// Thread k's share: writes the next band when it is made and no one else
// is writing, else makes the next band when its slot is free, else waits.
void work(encoder& e, int k)
{
    std::unique_lock<std::mutex> lock(e.m);
    while (!e.failed && e.written < e.nbands) {
        piece& w = e.slot[e.written % e.nslots];
        if (!e.writing && w.ready) {
            const int b = e.written;
            e.writing = true;
            lock.unlock();
            const bool ok = writeband(e, b, w);
            lock.lock();
            e.writing = false;
            w.ready = false;
            if (ok) e.written++;
            else e.failed = true;
            e.cv.notify_all();
        } else if (e.taken < e.nbands && e.taken - e.written < e.nslots) {
            const int b = e.taken++;
            piece& s = e.slot[b % e.nslots];
            lock.unlock();
            const bool ok = makeband(e, k, b, s);
            lock.lock();
            if (ok) s.ready = true;
            else e.failed = true;
            e.cv.notify_all();
        } else {
            e.cv.wait(lock);
        }
    }
}

// Signature, IHDR and pHYs, in one write.
bool writehead(const encoder& e, const image& I)
{
    unsigned char b[8 + 25 + 21], f[13];
    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    std::memcpy(b, signature, 8);
    be32(f, (uint32_t)e.X);
    be32(f + 4, (uint32_t)e.Y);
    f[8] = 8;  // bits per sample
    f[9] = (unsigned char)((e.kind == PNG_GREY ? 0 : 2) | (e.alpha ? 4 : 0));
    f[10] = f[11] = f[12] = 0;  // deflate, adaptive filters, not interlaced
    size_t n = 8 + chunk(b + 8, "IHDR", f, 13);
    be32(f, (uint32_t)I.XDPM);
    be32(f + 4, (uint32_t)I.YDPM);
    f[8] = 1;  // pixels per metre
    n += chunk(b + n, "pHYs", f, 9);
    return e.out.put(e.out.ctx, b, n) == 1;
}

void endstreams(encoder& e)
{
    for (int k = 0; k < e.nthreads; k++) deflateEnd(&e.z[k]);
}
}

int pngencode(const image& I, pngkind kind, const unsigned char* alpha, int threads, bytesink out)
{
    if (!I.P || I.bpp != 24 || I.X < 1 || I.Y < 1 || I.X > MAXSIDE || I.Y > MAXSIDE) return 0;
    encoder e;
    e.P = I.P;
    e.LL = (size_t)I.LL;
    e.X = I.X;
    e.Y = I.Y;
    e.kind = kind;
    e.alpha = alpha;
    e.chans = (kind == PNG_GREY ? 1 : 3) + (alpha ? 1 : 0);
    e.rowlen = 1 + (size_t)e.X * (size_t)e.chans;
    e.bandrows = BANDBYTES / e.rowlen > 1 ? (int)(BANDBYTES / e.rowlen) : 1;
    e.nbands = (int)(((size_t)e.Y + (size_t)e.bandrows - 1) / (size_t)e.bandrows);
    const uint64_t total = (uint64_t)e.rowlen * (uint64_t)e.Y;
    e.wbits = 9;
    while (e.wbits < 15 && ((uint64_t)1 << e.wbits) < total) e.wbits++;
    e.out = out;
    e.taken = e.written = 0;
    e.writing = e.failed = false;
    e.adler = adler32(0, nullptr, 0);

    int want = threads < 1 ? 1 : threads > MAXTHREADS ? (int)MAXTHREADS : threads;
    if (want > e.nbands) want = e.nbands;
    // A stream that cannot be had costs a thread, not the map.
    e.nthreads = 0;
    while (e.nthreads < want) {
        z_stream& z = e.z[e.nthreads];
        std::memset(&z, 0, sizeof z);
        if (deflateInit2(&z, LEVEL, Z_DEFLATED, -e.wbits, MEMLEVEL, Z_DEFAULT_STRATEGY) != Z_OK) break;
        e.nthreads++;
    }
    if (e.nthreads == 0) return 0;
    e.nslots = 2 * e.nthreads < e.nbands ? 2 * e.nthreads : e.nbands;

    // Everything in one block: each thread's row, each slot's chunk.
    const size_t bandraw = (size_t)e.bandrows * e.rowlen;
    e.slotcap = 8 + 2 + (size_t)deflateBound(&e.z[0], (uLong)bandraw) + FLUSHROOM + 4 + 4;
    const size_t rowcap = (e.rowlen + 15) & ~(size_t)15;
    unsigned char* block = (unsigned char*)std::malloc(e.nthreads * rowcap + e.nslots * e.slotcap);
    if (!block) {
        endstreams(e);
        return 0;
    }
    for (int k = 0; k < e.nthreads; k++) e.row[k] = block + k * rowcap;
    for (int i = 0; i < e.nslots; i++) {
        e.slot[i].buf = block + e.nthreads * rowcap + i * e.slotcap;
        e.slot[i].ready = false;
    }

    bool ok = writehead(e, I);
    if (ok) {
        onthreads(e.nthreads, [&e](int k) { work(e, k); });
        ok = !e.failed;
    }
    if (ok) {
        unsigned char end[12];
        ok = e.out.put(e.out.ctx, end, chunk(end, "IEND", nullptr, 0)) == 1;
    }
    std::free(block);
    endstreams(e);
    return ok ? 1 : 0;
}

namespace {
int tofile(void* ctx, const unsigned char* p, size_t n) { return outwrite((outfile*)ctx, p, n); }
}  // namespace

int pngwrite(const char* f, const image& I, pngkind kind, const unsigned char* alpha, failure* why, bool replace)
{
    // A positive size without pixels (refused or failed allocation) has no
    // picture to give.
    if (!I.P) return fail(why, "I can't write this file", f, f);
    outfile o;
    if (!outopen(&o, f, why, replace)) return 0;
    if (!pngencode(I, kind, alpha, corecount(), bytesink{&o, tofile}) && !o.failed) {
        // The encoder ran out of memory: the half-written file goes, and the
        // file of that name stays as it was.
        o.failed = true;
        outclose(&o, nullptr);
        return fail(why, "out of memory", "");
    }
    return outclose(&o, why);
}
