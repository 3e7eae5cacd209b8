// Reading a material library: its lines as they come, only those of the
// keys that matter kept, each material's colour or grey worked out as the
// lines of its block come.
#include "job/mtl.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "port/input.h"
#include "port/names.h"

namespace {

enum { BLOCK = 65536 };
const unsigned long long LINELIMIT = 1ULL << 30;  // longer lines are bad

enum linestate {
    LINE_KEY,    // its key is still coming
    LINE_KEEP,   // a key that matters: the line is kept
    LINE_PASS,   // any other: passed over to its end
};

struct mtlreader {
    MaterialList* L;
    cr2key key;
    int tb;
    int k;                 // the current material, -1 before the first
    bool hasd;             // it has a d line
    long long line;        // the line being read, from 1
    char* s;               // its bytes from the key on, separators made spaces
    size_t len, cap;       // (a NUL fits after them)
    unsigned long long linelen;  // its bytes, all of them
    linestate state;
    bool cr;               // the last byte was a carriage return
    bool bad;              // a bad line: the reading stops
    bool nomemory;
};

bool iskey(const char* s, size_t n, const char* key)
{
    if (std::strlen(key) != n) return false;
    for (size_t i = 0; i < n; i++)
        if ((s[i] | 0x20) != (key[i] | 0x20)) return false;
    return true;
}

// Whether the line whose key is the n bytes at s matters to this map.
bool matters(const mtlreader* r, const char* s, size_t n)
{
    if (iskey(s, n, "newmtl")) return true;
    if (r->key == KEY_KDCOLOR) return iskey(s, n, "Kd");
    return iskey(s, n, "d") || iskey(s, n, "Tr");
}

// The numbers of the tokens at p, at most `most` (nan and inf among them);
// -1 when a token is no number.
int numbers(const char* p, double* v, int most)
{
    int n = 0;
    for (;;) {
        while (*p == ' ') p++;
        if (!*p) return n;
        if (n == most) return -1;
        int used = 0;
        // sscanf as the .CR2 reader reads KdColor: the same numbers, the same bytes
        if (std::sscanf(p, "%lf%n", &v[n], &used) != 1 || (p[used] != ' ' && p[used] != 0)) return -1;
        p += used;
        n++;
    }
}

// Gives the current material the grey of transparency t.
void setgrey(mtlreader* r, double t)
{
    if (r->tb) t = 1 - t;
    const unsigned char g = colourbyte(t);
    r->L->m[r->k].col = pal3(g, g, g);
}

// One kept line, its key first: a material starts, or its colour or
// transparency is given.
void examine(mtlreader* r)
{
    char* s = r->s;
    s[r->len] = 0;
    size_t n = 0;
    while (s[n] && s[n] != ' ') n++;
    char* rest = s + n;
    while (*rest == ' ') rest++;
    if (iskey(s, n, "newmtl")) {
        const size_t name = std::strcspn(rest, " ");
        const bool transparency = r->key == KEY_TMAX;
        r->k = addmaterial(r->L, rest, name, pal3(255, 255, 255));
        if (r->k < 0) {
            r->nomemory = true;
            return;
        }
        r->hasd = false;
        if (transparency) setgrey(r, 0);  // opaque until told
        return;
    }
    if (r->k < 0) return;  // before any material
    double v[3];
    if (iskey(s, n, "Kd")) {
        // spectral curves and CIE XYZ give no colour of ours: passed over
        if (iskey(rest, std::strcspn(rest, " "), "spectral") || iskey(rest, std::strcspn(rest, " "), "xyz")) return;
        const int got = numbers(rest, v, 3);
        if (got == 1) v[1] = v[2] = v[0];  // one number is a grey
        else if (got != 3) r->bad = true;
        if (!r->bad) r->L->m[r->k].col = pal3(colourbyte(v[0]), colourbyte(v[1]), colourbyte(v[2]));
        return;
    }
    const bool d = iskey(s, n, "d");
    if (d && iskey(rest, std::strcspn(rest, " "), "-halo")) rest += 5;
    if (numbers(rest, v, 1) != 1) {
        r->bad = true;
        return;
    }
    if (d) {
        r->hasd = true;
        setgrey(r, 1 - v[0]);
    } else if (!r->hasd) {  // d wins over Tr
        setgrey(r, v[0]);
    }
}

bool keep(mtlreader* r, char c)
{
    if (r->len + 1 >= r->cap) {
        size_t cap = r->cap * 2;
        char* s = (char*)std::realloc(r->s, cap);
        if (!s) {
            r->nomemory = true;
            return false;
        }
        r->s = s;
        r->cap = cap;
    }
    r->s[r->len++] = c;
    return true;
}

void endline(mtlreader* r)
{
    if (r->state == LINE_KEY && r->len > 0 && matters(r, r->s, r->len)) r->state = LINE_KEEP;
    if (r->state == LINE_KEEP) examine(r);
    r->len = 0;
    r->linelen = 0;
    r->state = LINE_KEY;
}

// Takes the n bytes at p; false when the reading must stop.
bool take(mtlreader* r, const char* p, size_t n)
{
    for (size_t i = 0; i < n && !r->bad && !r->nomemory; i++) {
        const char c = p[i];
        if (c == '\n' || c == '\r') {
            const bool crlf = c == '\n' && r->cr;
            r->cr = c == '\r';
            if (crlf) continue;
            endline(r);
            if (r->bad || r->nomemory) break;
            r->line++;
            continue;
        }
        r->cr = false;
        if (++r->linelen > LINELIMIT) r->bad = true;
        if (r->state == LINE_PASS) continue;
        if ((unsigned char)c <= 32) {
            if (r->len == 0 || r->s[r->len - 1] == ' ') continue;
            if (r->state == LINE_KEY) {
                r->state = matters(r, r->s, r->len) ? LINE_KEEP : LINE_PASS;
                if (r->state == LINE_PASS) continue;
            }
            keep(r, ' ');
            continue;
        }
        if (r->state == LINE_KEY && r->len == 6) {  // no key is longer
            r->state = LINE_PASS;
            continue;
        }
        keep(r, c);
    }
    return !r->bad && !r->nomemory;
}

// Takes back the materials of a library that could not be read whole.
int dropfrom(MaterialList* L, int nm, size_t ntext)
{
    L->nm = nm;
    L->ntext = ntext;
    if (L->names.counted > nm) L->names.counted = nm;  // their cells go stale
    return 0;
}

}  // namespace

bool islibraryname(const char* name) { return hasext(name, ".mtl") || hasext(name, ".mtl.gz"); }

int readMTL(MaterialList* L, const char* file, cr2key key, int tb, failure* why)
{
    const int nm = L->nm;
    const size_t ntext = L->ntext;
    input in;
    if (!inopen(&in, file, why)) return 0;
    mtlreader r = {};
    r.L = L;
    r.key = key;
    r.tb = tb;
    r.k = -1;
    r.line = 1;
    r.cap = 256;
    r.s = (char*)std::malloc(r.cap);
    char* block = (char*)std::malloc(BLOCK);
    bool ok = r.s && block;
    r.nomemory = !ok;
    bool first = true;
    size_t got;
    while (ok && (got = inread(&in, block, BLOCK)) > 0) {
        const char* p = block;
        // a UTF-8 byte-order mark is no part of the first line
        if (first && got >= 3 && std::memcmp(p, "\xEF\xBB\xBF", 3) == 0) p += 3, got -= 3;
        first = false;
        ok = take(&r, p, got);
    }
    if (ok && in.fault == IN_FINE) endline(&r);  // the last line, without a line break
    std::free(block);
    std::free(r.s);
    ok = !r.bad && !r.nomemory;
    if (ok && in.fault != IN_FINE) {
        infailure(&in, why);
        inclose(&in);
        return dropfrom(L, nm, ntext);
    }
    inclose(&in);
    if (r.nomemory) {
        fail(why, "out of memory", "", nullptr, ENOMEM);
        return dropfrom(L, nm, ntext);
    }
    if (r.bad) {
        char text[48];
        std::snprintf(text, sizeof text, "line %lld is bad", r.line);
        fail(why, text, file);
        return dropfrom(L, nm, ntext);
    }
    return 1;
}
