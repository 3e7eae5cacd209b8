// What both .OBJ readers (one pass over the file, or chunks in parallel)
// share: the file handed out as runs of whole lines, the line and token
// scanning, and the parsing of "v", "vt" and face corner tokens. A line ends
// at a line feed or a carriage return, bytes 0 to 32 separate tokens, and
// the first token is the key.
#pragma once
#include "mesh/mesh.h"
#include "mesh/numparse.h"
#include "mesh/words.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// A byte range of an .OBJ file handed out as runs of whole lines.
struct objtext {
    FILE* f;
    char* mem;    // the block: room bytes from its first aligned byte, then 1 + 16
    size_t room;
    char* buf;    // the bytes held start here, within the room
    size_t len;   // bytes held
    size_t used;  // bytes already handed out
    unsigned long long left;  // bytes of the range not yet read
    bool eof;
    bool err;     // a read error, or no memory for a long line
    bool bounded;    // the range ends before the end of the file
    bool shortread;  // the file ended before a bounded range did
};

// Opens file for reading from byte start for len bytes (ULLONG_MAX: to its
// end). warnmissing: show "I can't open this file" when it cannot be opened.
// 0 when it cannot be opened or the start cannot be reached.
int opentext(objtext* x, const char* file, long start, unsigned long long len, bool warnmissing);
void closetext(objtext* x);  // null-safe after opentext, whatever it returned

// The next run of whole lines [*b, *e), each ended by its line break; a last
// line without one gets a line feed. 0 at the end of the range or on error.
int nextlines(objtext* x, char** b, char** e);

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

enum objkey { K_OTHER, K_V, K_VT, K_F, K_G, K_USEMTL };

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
        for (int i = 0; i < 6; i++)
            if ((k[i] | 0x20) != "usemtl"[i]) return K_OTHER;
        return K_USEMTL;
    }
    return K_OTHER;
}

// Whether a line whose first byte is c, a token byte, may have a key.
inline bool keystart(char c)
{
    c |= 0x20;
    return c == 'v' || c == 'f' || c == 'g' || c == 'u';
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

// The pre-count of one run of lines: what countOBJ adds to its counters.
struct objcounts {
    long long nf, nq, np, nt, ng, nmat;
};

// Adds the counts of the run of lines [p, e) to *c, 64 bytes at a time.
void countlines(const char* p, const char* e, objcounts* c);

// The marks of the 64 bytes at p: bit i of *tok set when p[i] is a token
// byte, of *brk when it is a line break. marks64 is marks64words where the
// processor has no vector instructions that do it faster.
void marks64(const char* p, uint64_t* tok, uint64_t* brk);
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

// After a read, every array sized to its count, in the reader's order.
inline void trimarrays(mesh* m)
{
    m->setnf_(m->nf, 1);
    m->setnq_(m->nq, 1);
    m->setnp_(m->np, 1);
    m->setnt_(m->nt, 1);
    m->setng_(m->ng, 1);
    m->setnmat_(m->nmat, 1);
}

// Whether a group or material is named s already.
inline bool hasgroup(const mesh* m, const char* s) { return m->findgroup(s) >= 0; }
inline bool hasmat(const mesh* m, const char* s) { return m->findmat(s) >= 0; }

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
// read so far, dnp and dnt of them before this file: *v its vertex number
// (1 to np), *t its texture number (0 for none). Returns the end of the
// token, or null when the corner is bad.
inline char* readcorner(char* p, long long np, long long nt, long long dnp, long long dnt,
                        long long* v, long long* t)
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
    if (vv == 0) return nullptr;  // vertex 0 is bad even when appending

    vv = vv < 0 ? vv + np + 1 : vv + dnp;
    if (vv < 1 || vv > np) return nullptr;
    if (tt != 0) {  // 0 stays "no texture coordinate", even when appending
        tt = tt < 0 ? tt + nt + 1 : tt + dnt;
        if (tt < 0 || tt > nt) tt = 1;
        if (tt > nt) tt = 0;  // no texture coordinates at all
    }
    *v = vv;
    *t = tt;
    return p;
}

// Reading in parallel (objread_par.cpp). Not when appending: 1 when the
// file has been read into the emptied mesh exactly as the one-pass reader
// would read it, which then only trims; 0 when the mesh must be emptied
// and the file read by the one-pass reader (a bad line, a read error, a
// file that changed, a limit met), which also shows every warning.
int readparallel(mesh* m, const char* file);

// The pre-count of countOBJ, in parallel: 1 with the file's counts in
// *all; 0 when the file cannot be opened or read, which the one-pass count
// then finds again and reports.
int countparallel(const char* file, objcounts* all);

// The one-pass reader behind mesh::readOBJ, the reference and fallback of
// readparallel.
int readsequential(mesh* m, const char* file, int append);

// Test hooks: readparallel and countparallel are used when
// objread_parallel is true; objread_chunkbytes > 0 cuts the file into
// chunks of that many bytes (0: the reader's own choice).
extern bool objread_parallel;
extern long objread_chunkbytes;
// Test hook: called by the one-pass reader between its pre-count and its
// reading pass, with the file's name, when not null.
extern void (*objread_betweenpasses)(const char* file);
