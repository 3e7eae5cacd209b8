// Reading an .OBJ file that can be read only once, as it comes: standard
// input, a pipe, a compressed file. There is no pre-count, so the arrays
// grow as the lines come and are trimmed at the end. While they grow, the
// corners hold vertex and texture numbers and the faces the number of their
// first corner, so nothing needs rebasing when an array moves; they become
// pointers when the reading is over. Lines are those of the one-pass reader,
// counted alike, with the same bad lines; a line longer than linelimit() is
// refused before it can take the memory.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "mesh/objread_text.h"
#include "port/input.h"
#include "port/tuning.h"

namespace {

const size_t BLOCK = 1 << 20;  // bytes per read
const size_t PAD = 16;         // word and vector reads pass the end of the text

// The text of the input handed out as runs of whole lines, as nextlines
// does for a file. A line that outgrows the block is squeezed: its runs of
// separators become one space (none before its first token), and a line
// whose key is none of the reader's keeps only a stand-in key, the rest of
// it passed over as it comes; what remains makes the block grow.
struct streamtext {
    input* in;
    char* buf;       // room bytes, then 1 + PAD
    size_t room;
    size_t len;      // bytes held
    size_t used;     // bytes already handed out
    unsigned long long linelen;  // bytes of the unfinished line, squeezed ones included
    bool eof;
    bool started;    // the byte-order mark has been looked for
    bool passing;    // the rest of the unfinished line is passed over
    bool toolong;    // the unfinished line passed LINELIMIT
    bool nomemory;
};

inline bool isseparator(char c) { return !istoken(c) && !isbreak(c); }

// Whether the token [t, t + n) is a key the reader reads.
bool ourkey(const char* t, size_t n) { return keyof(t, n) != K_OTHER; }

// Squeezes the unfinished line, which fills [0, len) and holds no line
// break (see streamtext).
void squeeze(streamtext* x)
{
    char* s = x->buf;
    size_t k = 0;
    for (size_t i = 0; i < x->len; i++) {
        if (isseparator(s[i])) {
            if (k > 0 && s[k - 1] != ' ') s[k++] = ' ';
        } else {
            s[k++] = s[i];
        }
    }
    // The key: complete when a separator follows it; no key is longer than 6.
    size_t key = 0;
    while (key < k && s[key] != ' ') key++;
    if ((key < k || key > 6) && !ourkey(s, key)) {
        s[0] = '#';
        k = 1;
        x->passing = true;
    }
    x->len = k;
}

// Reads more of the input after the bytes held; false at its end.
bool readmore(streamtext* x)
{
    size_t n = inread(x->in, x->buf + x->len, x->room - x->len);
    if (x->passing) {  // up to the line break, nothing is kept
        char* from = x->buf + x->len;
        char* brk = from;
        while (brk < from + n && !isbreak(*brk)) brk++;
        x->linelen += (unsigned long long)(brk - from);
        if (brk < from + n) {
            std::memmove(from, brk, (size_t)(from + n - brk));
            n = (size_t)(from + n - brk);
            x->passing = false;
        } else {
            n = 0;
        }
        if (!x->in->ended && n == 0) return true;
    }
    x->len += n;
    std::memset(x->buf + x->len, 0, 1 + PAD);
    if (!x->started && (x->len >= 3 || x->in->ended)) {
        x->started = true;  // a UTF-8 byte-order mark is no part of the first line
        if (x->len >= 3 && (unsigned char)x->buf[0] == 0xEF && (unsigned char)x->buf[1] == 0xBB &&
            (unsigned char)x->buf[2] == 0xBF) {
            std::memmove(x->buf, x->buf + 3, x->len - 3 + 1 + PAD);
            x->len -= 3;
        }
    }
    return !x->in->ended;
}

// The next run of whole lines [*b, *e), each ended by its line break; a
// last line without one gets a line feed. 0 at the end, at a fault of the
// input, a line too long or no memory.
int nextrun(streamtext* x, char** b, char** e)
{
    const size_t tail = x->len - x->used;
    std::memmove(x->buf, x->buf + x->used, tail);
    x->len = tail;
    x->used = 0;
    size_t scanned = 0;  // bytes known to hold no line break
    for (;;) {
        if (!x->eof) {
            if (x->len == x->room) {
                squeeze(x);
                scanned = x->len;
                if (x->len > x->room / 2) {
                    size_t room = 2 * x->room;
                    char* grown = room > x->room ? (char*)std::realloc(x->buf, room + 1 + PAD) : nullptr;
                    if (!grown) {
                        x->nomemory = true;
                        return 0;
                    }
                    x->buf = grown;
                    x->room = room;
                }
            }
            const size_t before = x->len;
            x->eof = !readmore(x);
            if (x->in->fault != IN_FINE) return 0;
            x->linelen += x->len - before;
        }
        char* q = x->buf + x->len;
        char* stop = x->buf + scanned;
        while (q > stop && !isbreak(q[-1])) q--;
        if (q > stop) {
            *b = x->buf;
            *e = q;
            x->used = (size_t)(q - x->buf);
            x->linelen = x->len - x->used;
            return 1;
        }
        scanned = x->len;
        if (x->linelen > linelimit()) {
            x->toolong = true;
            return 0;
        }
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

// Numbers stored where the pointers go while the arrays grow.
template <class T>
T* number(uintptr_t k)
{
    return (T*)k;
}

// Grows array a of capacity cap to hold at least need elements, doubling.
template <class T>
bool growfor(T*& a, int& cap, long long need)
{
    if (need <= cap) return true;
    if (need > INT_MAX) return false;
    long long want = cap < 1024 ? 1024 : 2LL * cap;
    if (want < need) want = need;
    if (want > INT_MAX) want = INT_MAX;
    T* b = (T*)std::realloc(a, (size_t)want * sizeof(T));
    if (!b) return false;
    a = b;
    cap = (int)want;
    return true;
}

struct corner {  // a face corner parsed before its face is added
    int v;       // vertex number, from 1
    int t;       // texture number, from 1; 0 for none
};

// Adds a face of n corners as mesh::addface does, its corners cleared and
// its q the number of its first corner; false when there is no room.
bool addface(mesh* m, int n, int* first)
{
    if (m->currentgroup < 0 || m->currentgroup >= m->ng) m->currentgroup = 0;
    if (m->ng == 0) m->addgroup("default");
    if (m->currentmat < 0 || m->currentmat >= m->nmat) m->currentmat = 0;
    if (m->nmat == 0) m->addmat("default");
    if (m->ng == 0 || m->nmat == 0 || n < 1 || n > MAXINDEX) return false;
    if (!growfor(m->pts, m->nq_, (long long)m->nq + n) || !growfor(m->fac, m->nf_, (long long)m->nf + 1))
        return false;
    Face* f = &m->fac[m->nf++];
    f->q = number<fcinfo>((uintptr_t)m->nq);
    f->n = (short)n;
    f->mat = m->currentmat < 0 ? 0 : m->currentmat;
    f->g = m->currentgroup < 0 ? 0 : m->currentgroup;
    std::memset(&m->pts[m->nq], 0, (size_t)n * sizeof(fcinfo));
    m->mat[f->mat].nf++;
    *first = m->nq;
    m->nq += n;
    return true;
}

// Reads the corners of the face line at p into cs and adds the face, as the
// one-pass reader does; returns where reading stopped, or null when there is
// no room for the face.
char* readface(mesh* m, char* p, lineends* ends, corner* cs, bool* bad)
{
    int n = 0;
    char* tk = p;
    *bad = false;
    for (;; p = skipsep(p)) {
        if (isbreak(*p)) break;
        tk = p;
        long long v, t;
        char* q = n < MAXINDEX ? readcorner(p, m->np, m->nt, &v, &t) : nullptr;
        if (!q) {
            *bad = true;
            break;
        }
        p = q;
        cs[n].v = (int)v;
        cs[n].t = (int)t;
        n++;
    }
    int count = *bad ? n + counttokens(tk, ends->find(tk)) : n;
    if (count > MAXINDEX) return p;  // bad, and no face
    int first;
    if (!addface(m, count, &first)) return nullptr;
    for (int j = 0; j < n; j++) {
        m->pts[first + j].p = number<xyz>((uintptr_t)cs[j].v);
        m->pts[first + j].t = number<xy>((uintptr_t)cs[j].t);
    }
    return p;
}

// Room for one more group or material, so that the mesh's own add never
// grows them one at a time.
bool roomfor(mesh* m, bool group)
{
    if (group) return m->ng < m->ng_ || m->setng_(m->ng_ < 16 ? 16 : 2 * m->ng_, 1);
    return m->nmat < m->nmat_ || m->setnmat_(m->nmat_ < 16 ? 16 : 2 * m->nmat_, 1);
}

// The numbers of the corners and faces made pointers again.
void topointers(mesh* m)
{
    for (int i = 0; i < m->nq; i++) {
        fcinfo& c = m->pts[i];
        const uintptr_t v = (uintptr_t)c.p, t = (uintptr_t)c.t;
        c.p = v ? m->point + (v - 1) : nullptr;
        c.t = t ? m->t + (t - 1) : nullptr;
    }
    for (int i = 0; i < m->nf; i++) m->fac[i].q = m->pts + (uintptr_t)m->fac[i].q;
}

}  // namespace

unsigned long long linelimit() { return knobs.objread_linelimit ? knobs.objread_linelimit : 1ULL << 30; }

int readstream(mesh* m, input* in, failure* why)
{
    m->initialize(1);
    streamtext x = {};
    x.in = in;
    x.room = knobs.objread_streamblock ? knobs.objread_streamblock : BLOCK;
    x.buf = (char*)std::malloc(x.room + 1 + PAD);
    corner* cs = (corner*)std::malloc(MAXINDEX * sizeof(corner));
    if (!x.buf || !cs) {
        std::free(x.buf);
        std::free(cs);
        return fail(why, "out of memory", "", nullptr, ENOMEM);
    }
    long long line = 0;
    bool bad = false, nomemory = false;
    char *p, *e;
    while (!bad && !nomemory && nextrun(&x, &p, &e)) {
        lineends ends = startlines(p, e);
        objkey key;
        while (nextkeyed(&p, e, &ends, &line, &key)) {
            if (key == K_V) {
                xyz v;
                p = readv(p, &v);
                if (!p) {  // fewer than 3 numbers
                    bad = true;
                    break;
                }
                if (!growfor(m->point, m->np_, (long long)m->np + 1)) {
                    nomemory = true;
                    break;
                }
                m->point[m->np++] = v;
            } else if (key == K_VT) {
                xy t;
                p = readvt(p, &t);
                if (!growfor(m->t, m->nt_, (long long)m->nt + 1)) {
                    nomemory = true;
                    break;
                }
                m->t[m->nt++] = t;
            } else if (key == K_F) {
                char* q = readface(m, p, &ends, cs, &bad);
                if (!q) nomemory = true;
                if (!q || bad) break;
                p = q;
            } else if (key == K_G || key == K_USEMTL) {
                const bool group = key == K_G;
                tokenname name(p);
                if (!namefits(m, group, p))
                    bad = true;
                else if (!roomfor(m, group))
                    nomemory = true;
                else if (group)
                    m->currentgroup = (short)m->findaddgroup(p);
                else
                    m->currentmat = (short)m->findaddmat(p);
                if (bad || nomemory) break;
            } else if (key == K_MTLLIB) {
                p = readlibs(p, [m](const char* s, int n) { return m->addlib(s, n); });
                if (!p) {
                    nomemory = true;
                    break;
                }
            }
            p = isbreak(*p) ? p + 1 : ends.find(p) + 1;
        }
    }
    std::free(cs);
    std::free(x.buf);
    nomemory = nomemory || x.nomemory;
    if (nomemory) {
        m->initialize(1);
        return fail(why, "out of memory", "", nullptr, ENOMEM);
    }
    if (in->fault != IN_FINE) {
        m->initialize(1);  // never a part of a mesh as if it were all
        return infailure(in, why);
    }
    topointers(m);
    trimarrays(m);
    char text[80];
    const unsigned long long most = linelimit();
    if (bad) std::snprintf(text, sizeof text, "line %lld is bad", line);
    else if (x.toolong)
        std::snprintf(text, sizeof text, "line %lld is longer than %llu %s", line + 1,
                      most % (1 << 30) == 0 ? most >> 30 : most % (1 << 20) == 0 ? most >> 20 : most,
                      most % (1 << 30) == 0 ? "GiB" : most % (1 << 20) == 0 ? "MiB" : "bytes");
    else return 1;
    return fail(why, text, in->name);
}
