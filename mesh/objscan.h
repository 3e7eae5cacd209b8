// The inline scanning both .OBJ readers share: line ends, separators and
// tokens, the keys, and the parsing of "v", "vt" and face corner tokens. A
// line ends at a line feed or a carriage return, bytes 0 to 32 separate
// tokens, and the first token is the key.
#pragma once
#include "mesh/mesh.h"
#include "mesh/numparse.h"
#include "mesh/words.h"

#include <climits>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

inline bool isbreak(char c) { return c == '\n' || c == '\r'; }
inline bool istoken(char c) { return (unsigned char)c > 32; }

// Finds line ends in one run of lines. The next carriage return is looked
// up once and kept, so files without them cost one memchr per line.
struct lineends {
    char* cr;   // the first '\r' at or after the last look-up, or end
    char* end;  // end of the run; the byte before it is a line break

    char* find(char* p)  // the line break that ends the line at p
    {
        if (cr < p) {
            cr = (char*)std::memchr(p, '\r', (size_t)(end - p));
            if (!cr) cr = end;
        }
        char* lf = (char*)std::memchr(p, '\n', (size_t)(cr - p));
        return lf ? lf : cr;
    }
};

inline lineends startlines(char* b, char* e)
{
    lineends l;
    l.end = e;
    l.cr = (char*)std::memchr(b, '\r', (size_t)(e - b));
    if (!l.cr) l.cr = e;
    return l;
}

// Skips separators up to the next token or the line break.
inline char* skipsep(char* p)
{
    if (*p == ' ' && istoken(p[1])) return p + 1;  // the common one space
    while (!istoken(*p) && !isbreak(*p)) p++;
    return p;
}

inline char* skiptoken(char* p)
{
    if (!istoken(*p)) return p;  // at its end already, as after a number
    for (;; p += 8) {  // the line break ends every token
        int n = words::before(~words::tokens(words::load(p)) & words::HIGH);
        if (n < 8) return p + n;
    }
}

// The tokens that begin in [p, end), where p begins one: a token starts at
// each token byte after a separator. Bytes from end on are masked off.
inline int counttokens(const char* p, const char* end)
{
    uint64_t prev = 0;  // as if a separator came before p
    long long n = 0;
    for (; p < end; p += 8) {
        uint64_t tok = words::tokens(words::load(p));
        if (end - p < 8) tok &= (1ULL << (8 * (end - p))) - 1;
        n += words::count(tok & ~((tok << 8) | (prev >> 56)));
        prev = tok;
    }
    return n > INT_MAX ? INT_MAX : (int)n;
}

enum objkey { K_OTHER, K_V, K_VT, K_F, K_G, K_USEMTL, K_MTLLIB };

inline objkey keyof(const char* k, size_t n)
{
    if (n == 1) {
        switch (*k | 0x20) {
        case 'v': return K_V;
        case 'f': return K_F;
        case 'g': return K_G;
        }
    } else if (n == 2) {
        if ((k[0] | 0x20) == 'v' && (k[1] | 0x20) == 't') return K_VT;
    } else if (n == 6) {
        const char* key = (k[0] | 0x20) == 'u' ? "usemtl" : "mtllib";
        for (int i = 0; i < 6; i++)
            if ((k[i] | 0x20) != key[i]) return K_OTHER;
        return key[0] == 'u' ? K_USEMTL : K_MTLLIB;
    }
    return K_OTHER;
}

// Whether a line whose first byte is c, a token byte, may have a key.
inline bool keystart(char c)
{
    c |= 0x20;
    return c == 'v' || c == 'f' || c == 'g' || c == 'u' || c == 'm';
}

// The common line starts, "v ", "vt " and "f " at the first byte followed
// by a token, taken without the general scan: the key, with p moved to that
// token; K_OTHER (p unchanged) for every other line, the general scan's.
// p is at a line start, so the bytes read are within its line.
inline objkey quickkey(char** p)
{
    const char* s = *p;
    if (s[0] == 'v') {
        if (s[1] == ' ' && istoken(s[2])) {
            *p += 2;
            return K_V;
        }
        if (s[1] == 't' && s[2] == ' ' && istoken(s[3])) {
            *p += 3;
            return K_VT;
        }
    } else if (s[0] == 'f' && s[1] == ' ' && istoken(s[2])) {
        *p += 2;
        return K_F;
    }
    return K_OTHER;
}

// Steps to the next line of the run [*pp, e) that has a known key and a token
// after it: sets key and leaves *pp at that token. Blank lines are passed
// over; lines of other keys and lone keys are passed over too, but counted
// in *lines, as the bad-line message counts them. False at the end of the run.
// Inlined: called once a line, it costs its calling more than its work.
__attribute__((always_inline)) inline bool nextkeyed(char** pp, char* e, lineends* ends,
                                                   long long* lines, objkey* key)
{
    char* p = *pp;
    while (p < e) {
        objkey k = quickkey(&p);
        if (k == K_OTHER && ((p[0] == 'v' && p[1] == 'n') || (istoken(p[0]) && !keystart(p[0])))) {
            ++*lines;  // a key of no interest, as "vn" or "#"
            p = ends->find(p) + 1;
            continue;
        }
        if (k == K_OTHER) {
            p = skipsep(p);
            if (isbreak(*p)) {  // blank: not counted
                p++;
                continue;
            }
            char* t = p;
            p = skiptoken(p);
            k = keyof(t, (size_t)(p - t));
            ++*lines;
            if (k == K_OTHER) {
                p = ends->find(p) + 1;
                continue;
            }
            p = skipsep(p);
            if (isbreak(*p)) {  // the key alone
                p++;
                continue;
            }
        } else {
            ++*lines;
        }
        *pp = p;
        *key = k;
        return true;
    }
    *pp = p;
    return false;
}

// The marks of the 64 bytes at p, a word at a time: bit i of *tok set when
// p[i] is a token byte, of *brk when it is a line break.
inline void marks64words(const char* p, uint64_t* tok, uint64_t* brk)
{
    uint64_t t = 0, b = 0;
    for (int k = 0; k < 8; k++) {
        uint64_t w = words::load(p + 8 * k);
        t |= (uint64_t)words::gather(words::tokens(w)) << (8 * k);
        b |= (uint64_t)words::gather(words::equal(w, '\n') | words::equal(w, '\r')) << (8 * k);
    }
    *tok = t;
    *brk = b;
}

// The numbers of a "v" line at p, its first token after the key; null when
// it has fewer than 3. Tokens after the third are left unread.
inline char* readv(char* p, xyz* out)
{
    double c[3];
    int i = 0;
    for (;;) {
        p = skiptoken((char*)parsedouble(p, &c[i]));
        if (++i == 3) break;
        p = skipsep(p);
        if (isbreak(*p)) return nullptr;
    }
    *out = xyz(tofloat(c[0]), tofloat(c[1]), tofloat(c[2]));
    return p;
}

// The numbers of a "vt" line at p: u, and v when there is a second token.
inline char* readvt(char* p, xy* out)
{
    double u, v = 0;
    p = skipsep(skiptoken((char*)parsedouble(p, &u)));
    if (!isbreak(*p)) p = skiptoken((char*)parsedouble(p, &v));
    *out = xy(tofloat(u), tofloat(v));
    return p;
}

// The numbers of the common corner tokens, "V", "V/T", "V/T/N" and "V//N"
// with unsigned V and T of up to 8 digits, found in the 16 bytes at p at
// once: *v, *t (0 for none) and the token's end, as the general parse in
// readcorner gives them; null for every other token, left to it. Reads 17
// bytes from p.
inline const char* quickcorner(const char* p, long long* v, long long* t)
{
#if defined(__SSE2__)
    const __m128i x = _mm_loadu_si128((const __m128i*)p);
    const unsigned dig = (unsigned)_mm_movemask_epi8(
        _mm_and_si128(_mm_cmpgt_epi8(x, _mm_set1_epi8('0' - 1)), _mm_cmplt_epi8(x, _mm_set1_epi8('9' + 1))));
    const int n1 = __builtin_ctz(~dig);  // bits 16 and up are clear
    if (n1 == 0 || n1 > 8) return nullptr;
    *v = words::leadingdigits(words::load(p), n1);
    *t = 0;
    if (!istoken(p[n1])) return p + n1;
    if (p[n1] != '/') return nullptr;  // the general parse looks on for a '/'
    const int a = n1 + 1;
    const int n2 = __builtin_ctz(~(dig >> a));
    if (n2 > 8 || a + n2 == 16) return nullptr;  // digits may go on past the 16
    if (n2 > 0) *t = words::leadingdigits(words::load(p + a), n2);
    else if (p[a] == '-' || p[a] == '+') return nullptr;  // a signed number
    return skiptoken((char*)p + a + n2);  // the normal number is not used
#else
    (void)p;
    (void)v;
    (void)t;
    return nullptr;
#endif
}

// The face corner token at p, with np vertices and nt texture coordinates
// read so far: *v its vertex number
// (1 to np), *t its texture number (0 for none). Returns the end of the
// token, or null when the corner is bad.
inline char* readcorner(char* p, long long np, long long nt, long long* v, long long* t)
{
    long long vv, tt = 0;
    const char* q = quickcorner(p, &vv, &tt);
    if (q) {
        p = (char*)q;
    } else {
        q = parseint(p, &vv);
        if (!q) return nullptr;
        p = (char*)q;
        while (istoken(*p) && *p != '/') p++;
        if (*p == '/') {
            q = parseint(p + 1, &tt);
            p = q ? (char*)q : p + 1;
        }
        p = skiptoken(p);  // the normal number is not used
    }
    if (vv == 0) return nullptr;  // vertex 0 is bad

    if (vv < 0) vv += np + 1;
    if (vv < 1 || vv > np) return nullptr;
    if (tt != 0) {  // 0 stays "no texture coordinate"
        if (tt < 0) tt += nt + 1;
        if (tt < 0 || tt > nt) tt = 1;
        if (tt > nt) tt = 0;  // no texture coordinates at all
    }
    *v = vv;
    *t = tt;
    return p;
}
