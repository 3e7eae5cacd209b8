// The two-pass .OBJ reader. Both passes read the file in large blocks and
// parse each line in place: a line ends at a line feed or a carriage return,
// bytes 0 to 32 separate tokens, and the first token is the key.
#include "mesh/mesh.h"
#include "mesh/numparse.h"
#include "mesh/words.h"
#include "shell/prompts.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const size_t BLOCK = 1 << 20;  // bytes per read
const size_t PAD = 8;          // word reads pass the end of the text

// An .OBJ file handed out as runs of whole lines.
struct objtext {
    FILE* f;
    char* buf;    // cap bytes, then one for a line feed ending a last line, then PAD
    size_t cap;
    size_t len;   // bytes held
    size_t used;  // bytes already handed out
    bool eof;
    bool err;     // a read error, or no memory for a long line
};

int opentext(objtext* x, const char* file)
{
    x->buf = nullptr;
    x->cap = x->len = x->used = 0;
    x->eof = x->err = false;
    x->f = std::fopen(file, "rb");
    if (!x->f) return warn(nullptr, file, "I can't open this file");
    return 1;
}

void closetext(objtext* x)
{
    if (x->f) std::fclose(x->f);
    x->f = nullptr;
    std::free(x->buf);
    x->buf = nullptr;
}

inline bool isbreak(char c) { return c == '\n' || c == '\r'; }

// The next run of whole lines [*b, *e), each ended by its line break; a last
// line without one gets a line feed. 0 at the end of the file or on error.
// A line longer than the buffer makes it grow.
int nextlines(objtext* x, char** b, char** e)
{
    size_t tail = x->len - x->used;  // the start of a line not yet complete
    if (tail) std::memmove(x->buf, x->buf + x->used, tail);
    x->len = tail;
    x->used = 0;
    size_t scanned = 0;  // bytes known to hold no line break
    for (;;) {
        if (!x->eof) {
            if (x->len == x->cap) {
                size_t cap = x->cap ? x->cap * 2 : BLOCK;
                char* nb = cap > x->cap ? (char*)std::realloc(x->buf, cap + 1 + PAD) : nullptr;
                if (!nb) {
                    x->err = true;
                    return 0;
                }
                std::memset(nb + x->len, 0, cap + 1 + PAD - x->len);  // no word reads garbage
                x->buf = nb;
                x->cap = cap;
            }
            size_t want = x->cap - x->len;
            size_t n = std::fread(x->buf + x->len, 1, want, x->f);
            x->len += n;
            if (n < want) {
                if (std::ferror(x->f)) {
                    x->err = true;
                    return 0;
                }
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

lineends startlines(char* b, char* e)
{
    lineends l;
    l.end = e;
    l.cr = (char*)std::memchr(b, '\r', (size_t)(e - b));
    if (!l.cr) l.cr = e;
    return l;
}

inline bool istoken(char c) { return (unsigned char)c > 32; }

// Skips separators up to the next token or the line break.
inline char* skipsep(char* p)
{
    while (!istoken(*p) && !isbreak(*p)) p++;
    return p;
}

inline char* skiptoken(char* p)
{
    for (;; p += 8) {  // the line break ends every token
        int n = words::before(~words::tokens(words::load(p)) & words::HIGH);
        if (n < 8) return p + n;
    }
}

// The tokens that begin in [p, end), where p begins one: a token starts at
// each token byte after a separator. Bytes from end on are masked off.
int counttokens(const char* p, const char* end)
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

// Counters that cannot overflow; stored saturated at INT_MAX.
void addcount(int* c, long long n)
{
    long long s = *c + n;
    *c = s > INT_MAX ? INT_MAX : (int)s;
}

// The token at p as a C string for a name look-up: ended in place, and
// restored when the look-up is over.
struct tokenname {
    char* end;
    char kept;
    explicit tokenname(char* p) : end(skiptoken(p)), kept(*end) { *end = 0; }
    ~tokenname() { *end = kept; }
};

bool hasgroup(const mesh* m, const char* s)
{
    for (int i = 0; i < m->ng; i++)
        if (std::strcmp(m->group[i].name, s) == 0) return true;
    return false;
}

bool hasmat(const mesh* m, const char* s)
{
    for (int i = 0; i < m->nmat; i++)
        if (std::strcmp(m->mat[i].name, s) == 0) return true;
    return false;
}

struct corner {  // a face corner parsed before its face is added
    xyz* p;
    xy* t;
};

// Reads the corners of the face line at p, its first corner, into cs and
// adds the face; returns where reading stopped. A bad corner sets *bad and
// the face is still added, filled up to that corner. dnp and dnt are the
// vertices and texture coordinates the mesh held before this file.
char* readface(mesh* m, char* p, lineends* ends, corner* cs, long long dnp, long long dnt,
               bool* bad)
{
    int n = 0;     // corners read
    char* tk = p;  // the corner being read
    *bad = false;
    for (;; p = skipsep(p)) {
        if (isbreak(*p)) break;
        tk = p;
        long long v, t = 0;
        // vertex 0 is bad even when appending
        const char* q = n < MAXINDEX ? parseint(p, &v) : nullptr;
        if (!q || v == 0) {
            *bad = true;
            break;
        }
        p = (char*)q;
        while (istoken(*p) && *p != '/') p++;
        if (*p == '/') {
            q = parseint(p + 1, &t);
            p = q ? (char*)q : p + 1;
        }
        p = skiptoken(p);  // the normal number is not used

        v = v < 0 ? v + m->np + 1 : v + dnp;
        if (v < 1 || v > m->np) {
            *bad = true;
            break;
        }
        if (t != 0) {  // 0 stays "no texture coordinate", even when appending
            t = t < 0 ? t + m->nt + 1 : t + dnt;
            if (t < 0 || t > m->nt) t = 1;
            if (t > m->nt) t = 0;  // no texture coordinates at all
        }
        cs[n].p = &m->point[v - 1];
        cs[n].t = t ? &m->t[t - 1] : nullptr;
        n++;
    }
    int count = *bad ? n + counttokens(tk, ends->find(tk)) : n;
    if (count > MAXINDEX) return p;  // Face::n is 16 bits: bad, and no face
    Face* f = m->addface(count);
    if (f)  // else no memory: the line is skipped
        for (int j = 0; j < n; j++) {
            f->q[j].p = cs[j].p;
            f->q[j].t = cs[j].t;
        }
    return p;
}

}  // namespace

int countOBJ(const char* file, int* NF, int* NQ, int* NP, int* NT, int* NG, int* NMAT)
{
    objtext x;
    if (!opentext(&x, file)) return 0;
    long long nf = 0, nq = 0, np = 0, nt = 0, ng = 0, nmat = 0;
    char *p, *e;
    while (nextlines(&x, &p, &e)) {
        lineends ends = startlines(p, e);
        while (p < e) {
            p = skipsep(p);
            if (isbreak(*p)) {  // blank
                p++;
                continue;
            }
            char* k = p;
            p = skiptoken(p);
            objkey key = keyof(k, (size_t)(p - k));
            if (key != K_OTHER) {
                p = skipsep(p);
                if (isbreak(*p)) {  // the key alone
                    p++;
                    continue;
                }
            }
            char* eol = ends.find(p);
            switch (key) {
            case K_V: np++; break;
            case K_VT: nt++; break;
            case K_G: ng++; break;
            case K_USEMTL: nmat++; break;
            case K_F:
                nf++;
                nq += 1 + counttokens(p, eol);  // the key too
                break;
            case K_OTHER: break;
            }
            p = eol + 1;
        }
    }
    bool ok = !x.err;
    closetext(&x);
    if (!ok) return 0;  // the caller reports the failed read
    addcount(NF, nf);
    addcount(NQ, nq);
    addcount(NP, np);
    addcount(NT, nt);
    addcount(NG, ng);
    addcount(NMAT, nmat);
    return 1;
}

int mesh::readOBJ(const char* file, int append)
{
    if (!append) initialize(1);
    int NF = nf, NQ = nq, NP = np, NT = nt, NG = ng, NMAT = nmat;
    if (!countOBJ(file, &NF, &NQ, &NP, &NT, &NG, &NMAT)) return 0;
    objtext x;
    if (!opentext(&x, file)) return 0;
    const long long dnp = np, dnt = nt;
    // Room for the corners of the longest face allowed; pages never touched
    // cost nothing.
    corner* cs = (corner*)std::malloc(MAXINDEX * sizeof(corner));
    if (!cs || !setnf_(NF, 0) || !setnq_(NQ, 0) || !setnp_(NP, 0) || !setnt_(NT, 0) ||
        !setng_(NG, 0) || !setnmat_(NMAT, 0)) {
        std::free(cs);
        closetext(&x);
        return 0;
    }

    long long line = 0;
    bool bad = false;
    char *p, *e;
    while (!bad && nextlines(&x, &p, &e)) {
        lineends ends = startlines(p, e);
        while (p < e) {
            p = skipsep(p);
            if (isbreak(*p)) {  // blank: not counted
                p++;
                continue;
            }
            line++;
            char* k = p;
            p = skiptoken(p);
            objkey key = keyof(k, (size_t)(p - k));
            if (key == K_OTHER) {
                p = ends.find(p) + 1;
                continue;
            }
            p = skipsep(p);
            if (isbreak(*p)) {  // the key alone
                p++;
                continue;
            }

            if (key == K_V) {
                double c[3];
                int i = 0;
                for (;;) {
                    p = skiptoken((char*)parsedouble(p, &c[i]));
                    if (++i == 3) break;
                    p = skipsep(p);
                    if (isbreak(*p)) break;
                }
                if (i < 3) {  // fewer than 3 numbers
                    bad = true;
                    break;
                }
                addpoint(xyz(tofloat(c[0]), tofloat(c[1]), tofloat(c[2])));
            } else if (key == K_VT) {
                double u, v = 0;
                p = skipsep(skiptoken((char*)parsedouble(p, &u)));
                if (!isbreak(*p)) p = skiptoken((char*)parsedouble(p, &v));
                addt(xy(tofloat(u), tofloat(v)));
            } else if (key == K_F) {
                p = readface(this, p, &ends, cs, dnp, dnt, &bad);
                if (bad) break;
            } else if (key == K_G) {
                tokenname name(p);
                if (ng >= MAXINDEX && !hasgroup(this, p)) {  // indices are 16 bits
                    bad = true;
                    break;
                }
                currentgroup = (short)findaddgroup(p);
            } else if (key == K_USEMTL) {
                tokenname name(p);  // a faceless last material would make room
                if (nmat >= MAXINDEX && mat[nmat - 1].nf != 0 && !hasmat(this, p)) {
                    bad = true;
                    break;
                }
                currentmat = (short)findaddmat(p);
            }
            p = isbreak(*p) ? p + 1 : ends.find(p) + 1;
        }
    }
    bool ok = !bad && !x.err;
    std::free(cs);
    closetext(&x);
    if (bad) {
        char text[48];
        std::snprintf(text, sizeof text, "line %lld is bad", line);
        warn(nullptr, text, file);
    }
    setnf_(nf, 1);
    setnq_(nq, 1);
    setnp_(np, 1);
    setnt_(nt, 1);
    setng_(ng, 1);
    setnmat_(nmat, 1);
    return ok ? 1 : 0;
}
