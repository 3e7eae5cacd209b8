// An .OBJ file, or a byte range of it, read in large blocks and handed out
// as runs of whole lines.
#include "mesh/objread_text.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>

#include "port/files.h"

namespace {
const size_t BLOCK = 1 << 20;  // bytes per read
const size_t PAD = 16;         // word and vector reads pass the end of the text
// Reads land on a page boundary: the system copies into an unaligned place
// several times slower on some processors. The unfinished line carried over
// goes just before it.
const size_t PAGE = 4096;

char* aligned(char* p) { return (char*)(((uintptr_t)p + PAGE - 1) & ~(uintptr_t)(PAGE - 1)); }

// A block of room bytes from an aligned start, with the text's len bytes at
// p moved to end at PAGE when they fit before it; false without memory.
bool takeblock(objtext* x, size_t room, const char* p, size_t len)
{
    char* mem = (char*)std::malloc(room + PAGE + 1 + PAD);
    if (!mem) return false;
    char* at = aligned(mem);
    char* to = len <= PAGE && room >= PAGE + len ? at + PAGE - len : at;
    if (len) std::memcpy(to, p, len);
    std::free(x->mem);
    x->mem = mem;
    x->room = room;
    x->buf = to;
    return true;
}
}  // namespace

int opentext(objtext* x, const char* file, long start, unsigned long long len, failure* why)
{
    x->mem = x->buf = nullptr;
    x->room = x->len = x->used = 0;
    x->left = len;
    x->eof = x->err = x->shortread = x->nomemory = false;
    x->errnum = 0;
    x->bounded = len != ULLONG_MAX;
    x->f = nullptr;
    x->f = openread(file);  // a folder gives EISDIR; names are UTF-8 everywhere
    if (!x->f) return fail(why, file, "I can't open this file", file, errno);
    std::setvbuf(x->f, nullptr, _IONBF, 0);  // the blocks go straight to their place
    if (start > 0 && std::fseek(x->f, start, SEEK_SET) != 0) {
        x->err = true;
        return 0;
    }
    if (start == 0) {  // a UTF-8 byte-order mark is no part of the first line
        unsigned char bom[3];
        size_t n = std::fread(bom, 1, x->left < 3 ? (size_t)x->left : 3, x->f);
        if (n == 3 && bom[0] == 0xEF && bom[1] == 0xBB && bom[2] == 0xBF) {
            if (x->bounded) x->left -= 3;
        } else if (std::fseek(x->f, 0, SEEK_SET) != 0) {
            x->err = true;
            return 0;
        }
    }
    return 1;
}

void closetext(objtext* x)
{
    if (x->f) std::fclose(x->f);
    x->f = nullptr;
    std::free(x->mem);
    x->mem = x->buf = nullptr;
}

// A line longer than the buffer makes it grow.
int nextlines(objtext* x, char** b, char** e)
{
    size_t tail = x->len - x->used;  // the start of a line not yet complete
    if (x->mem) {
        char* at = aligned(x->mem);
        char* to = tail <= PAGE ? at + PAGE - tail : at;
        if (tail) std::memmove(to, x->buf + x->used, tail);
        x->buf = to;
    }
    x->len = tail;
    x->used = 0;
    size_t scanned = 0;  // bytes known to hold no line break
    for (;;) {
        if (!x->eof) {
            size_t cap = x->mem ? (size_t)(aligned(x->mem) + x->room - x->buf) : 0;
            if (x->len == cap) {
                size_t room = x->room ? x->room * 2 : (x->left < BLOCK ? (size_t)x->left + 64 : BLOCK) + PAGE;
                if (room <= x->room || !takeblock(x, room, x->buf, x->len)) {
                    x->err = x->nomemory = true;
                    return 0;
                }
                cap = (size_t)(aligned(x->mem) + x->room - x->buf);
            }
            size_t want = cap - x->len;
            if (want > x->left) want = (size_t)x->left;
            size_t n = want ? std::fread(x->buf + x->len, 1, want, x->f) : 0;
            x->len += n;
            x->left -= n;
            std::memset(x->buf + x->len, 0, 1 + PAD);  // word reads past the text see no garbage
            if (n < want) {
                if (std::ferror(x->f)) {
                    x->err = true;
                    x->errnum = errno;
                    return 0;
                }
                x->eof = true;
                x->shortread = x->bounded;
            } else if (x->left == 0) {
                x->eof = true;
            }
        }
        char* q = x->buf + x->len;
        char* stop = x->buf + scanned;
        while (q > stop && !isbreak(q[-1])) q--;
        if (q > stop) {
            *b = x->buf;
            *e = q;
            x->used = (size_t)(q - x->buf);
            return 1;
        }
        scanned = x->len;
        if (x->eof) {
            if (x->len == 0) return 0;
            x->buf[x->len] = '\n';
            *b = x->buf;
            *e = x->buf + x->len + 1;
            x->used = x->len;
            return 1;
        }
    }
}

namespace {

#if defined(__SSE2__)
__attribute__((always_inline)) inline void marksof(const char* p, uint64_t* tok, uint64_t* brk)
{
    const __m128i flip = _mm_set1_epi8((char)0x80), sep = _mm_set1_epi8((char)(32 ^ 0x80));
    const __m128i lf = _mm_set1_epi8('\n'), cr = _mm_set1_epi8('\r');
    // bytes above 32, unsigned: a signed compare with the top bits flipped
    auto tokens = [&](int k) {
        __m128i v = _mm_loadu_si128((const __m128i*)(p + 16 * k));
        return (uint64_t)(unsigned)_mm_movemask_epi8(_mm_cmpgt_epi8(_mm_xor_si128(v, flip), sep));
    };
    auto breaks = [&](int k) {
        __m128i v = _mm_loadu_si128((const __m128i*)(p + 16 * k));
        return (uint64_t)(unsigned)_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, cr)));
    };
    uint64_t t[4] = {tokens(0), tokens(1), tokens(2), tokens(3)};
    uint64_t b[4] = {breaks(0), breaks(1), breaks(2), breaks(3)};
    *tok = t[0] | t[1] << 16 | t[2] << 32 | t[3] << 48;
    *brk = b[0] | b[1] << 16 | b[2] << 32 | b[3] << 48;
}
#else
inline void marksof(const char* p, uint64_t* tok, uint64_t* brk) { marks64words(p, tok, brk); }
#endif

// Adds one line of n tokens (n >= 2) at line to *c.
inline void countline(const char* line, long long n, objcounts* c)
{
    const char* t = line;
    while (!istoken(*t)) t++;
    size_t len = !istoken(t[1]) ? 1 : !istoken(t[2]) ? 2 : (size_t)(skiptoken((char*)t) - t);
    switch (keyof(t, len)) {
    case K_V: c->np++; break;
    case K_VT: c->nt++; break;
    case K_G: c->ng++; break;
    case K_USEMTL: c->nmat++; break;
    case K_F:
        c->nf++;
        c->nq += n;  // the corners and the key
        break;
    case K_MTLLIB:
    case K_OTHER: break;
    }
}

// The set bits of b below bit k (0 to 64).
inline int below(uint64_t b, int k) { return words::popcount(k < 64 ? b & ((1ULL << k) - 1) : b); }

}  // namespace

void marks64(const char* p, uint64_t* tok, uint64_t* brk) { marksof(p, tok, brk); }

// A line counts when it has a key and a token after it: the line breaks
// and token starts of each 64 bytes are found at once, and the token starts
// before each line break, less those before the line, give the tokens of
// its line. The common lines are known by their first bytes and need no
// count but the tokens of a face.
void countlines(const char* p, const char* e, objcounts* c)
{
    long long before = 0;  // token starts before the block
    // the token starts before the line: linebefore + below(linestarts, linebit)
    long long linebefore = 0;
    uint64_t linestarts = 0;
    int linebit = 0;
    const char* line = p;
    uint64_t prev = 0;  // 1 when the byte before the block is a token byte
    for (const char* b = p; b < e; b += 64) {
        uint64_t tok, brk;
        if (e - b >= 64) {
            marksof(b, &tok, &brk);
        } else {  // the bytes after e are none of the run's
            char last[64] = {0};
            std::memcpy(last, b, (size_t)(e - b));
            marksof(last, &tok, &brk);
        }
        uint64_t starts = tok & ~((tok << 1) | prev);
        prev = tok >> 63;
        for (uint64_t m = brk; m; m &= m - 1) {
            int i = __builtin_ctzll(m);
            const char* s = line;  // the line is [s, b + i]
            line = b + i + 1;
            long long n;  // its tokens
            if (s[0] == 'v' && s[1] == ' ' && istoken(s[2])) {
                c->np++;
            } else if (s[0] == 'v' && s[1] == 't' && s[2] == ' ' && istoken(s[3])) {
                c->nt++;
            } else if (s[0] == 'f' && s[1] == ' ' && istoken(s[2])) {
                c->nf++;
                c->nq += before + below(starts, i) - linebefore - below(linestarts, linebit);
            } else if ((s[0] == 'v' && s[1] == 'n') || (istoken(s[0]) && !keystart(s[0]))) {
                // no key of ours
            } else if ((n = before + below(starts, i) - linebefore - below(linestarts, linebit)) >= 2) {
                countline(s, n, c);
            }
            linebefore = before;
            linestarts = starts;
            linebit = i + 1;
        }
        before += words::popcount(starts);
    }
}
