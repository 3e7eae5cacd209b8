// Reading an .OBJ file in parallel. The file is cut into chunks at line
// breaks; one thread per core pre-counts chunks, then parses them, each
// writing the vertices, texture coordinates, faces and corners of its chunk
// into its own slice of the presized arrays: the counts of the chunks before
// it tell where its slices start, and how many vertices and texture
// coordinates precede each of its lines. Groups and materials are named
// afterwards, in file order, through the mesh's own look-ups, so faces,
// materials and their face counts come out as the one-pass reader leaves
// them. Anything unusual (a bad line, a read error, a file that changed
// between the passes, the 16-bit limits) gives up, and the one-pass reader
// reads the file again, with its warnings.
#include "port/threads.h"
#include "mesh/objread_text.h"
#include "port/files.h"
#include "port/tuning.h"

#include <atomic>
#include <cstdlib>

namespace {

// Face lines cost more per byte than vertex lines and come last, so equal
// byte ranges are not equal work: each thread takes chunks from a queue,
// several chunks per thread.
const long MINCHUNK = 1L << 20;  // below this a chunk costs more than it gains
const int CHUNKSPERTHREAD = 8;

struct namedline {    // a "g" or "usemtl" line of a chunk, or a name of an "mtllib" line
    long long face;   // faces of the chunk before it
    size_t name;      // its NUL-ended name, at this offset in the chunk's names
    objkey key;       // K_G, K_USEMTL or K_MTLLIB
};

struct chunk {
    long start;              // byte range of whole lines
    unsigned long long len;  // ULLONG_MAX: to the end of the file
    objcounts counted;       // the pre-count of its lines
    long long f0, q0, p0, t0;  // its first face, corner, vertex and texture coordinate
    long long nf, nq, np, nt;  // read so far
    namedline* lines; size_t nlines; size_t nlines_;
    char* names;      size_t nnames; size_t nnames_;
    size_t nlibs;     // of the lines, the names of "mtllib" lines
    bool ok;
};

// Runs work(c) for every chunk c, on up to nthreads threads, each taking
// the next chunk not yet taken; a thread that cannot be started leaves its
// chunks to the others.
template <class F>
void forchunks(int nchunks, int nthreads, F work)
{
    std::atomic<int> next(0);
    onthreads(nthreads < nchunks ? nthreads : nchunks, [&](int) {
        for (int c; (c = next++) < nchunks;) work(c);
    });
}

// The start of the first line that begins at or after byte at: just past
// the first line break at or after at - 1, or the end of the file.
long linestart(FILE* f, long at, long size)
{
    if (std::fseek(f, at - 1, SEEK_SET) != 0) return -1;
    char b[4096];
    for (long pos = at - 1;;) {
        size_t n = std::fread(b, 1, sizeof b, f);
        for (size_t i = 0; i < n; i++)
            if (isbreak(b[i])) return pos + (long)i + 1;
        if (n < sizeof b) return std::ferror(f) ? -1 : size;
        pos += (long)n;
    }
}

// Cuts the file into chunks; the number of chunks, or 0 when the file
// cannot be opened or measured (the one-pass reader then reports it).
int cutchunks(const char* file, int nthreads, chunk** out)
{
    FILE* f = openread(file);
    if (!f) return 0;
    long size = std::fseek(f, 0, SEEK_END) == 0 ? std::ftell(f) : -1;
    long n;  // chunks of MINCHUNK bytes at least
    const long most = nthreads > 1 ? (long)nthreads * CHUNKSPERTHREAD : 1;
    if (size < 0) n = 0;
    else if (knobs.objread_chunkbytes > 0) n = size / knobs.objread_chunkbytes + (size % knobs.objread_chunkbytes != 0);
    else n = size / MINCHUNK < most ? size / MINCHUNK : most;
    if (size == 0 || (size > 0 && n == 0)) n = 1;
    chunk* cs = n > 0 && n < 1000000 ? (chunk*)std::calloc((size_t)n, sizeof(chunk)) : nullptr;
    long start = 0;
    for (long c = 0; cs && c < n; c++) {
        long at = (long)((double)size * (c + 1) / n);
        // a line that reaches past at leaves this chunk empty
        long end = c + 1 == n ? size : at <= start ? start : linestart(f, at, size);
        if (end < start) end = -1;  // a read error, or a file that changed
        if (end < 0) {
            std::free(cs);
            cs = nullptr;
            break;
        }
        cs[c].start = start;
        // the last chunk reads to the end of the file, whatever ftell said
        cs[c].len = c + 1 == n ? ULLONG_MAX : (unsigned long long)(end - start);
        start = end;
    }
    std::fclose(f);
    *out = cs;
    return cs ? (int)n : 0;
}

void countchunk(const char* file, chunk* c)
{
    objtext x;
    c->ok = opentext(&x, file, c->start, c->len, nullptr);
    char *p, *e;
    while (c->ok && nextlines(&x, &p, &e)) countlines(p, e, &c->counted);
    c->ok = c->ok && !x.err && !x.shortread;
    closetext(&x);
}

// Keeps a "g" or "usemtl" line's name, or a library's, for the naming
// after the reading.
bool keepname(chunk* c, const char* p, const char* end, objkey key)
{
    size_t n = (size_t)(end - p);
    if (c->nlines == c->nlines_) {
        size_t cap = c->nlines_ ? 2 * c->nlines_ : 16;
        namedline* l = (namedline*)std::realloc(c->lines, cap * sizeof(namedline));
        if (!l) return false;
        c->lines = l;
        c->nlines_ = cap;
    }
    if (c->nnames_ - c->nnames <= n) {
        size_t cap = 2 * (c->nnames + n + 1);
        char* s = (char*)std::realloc(c->names, cap);
        if (!s) return false;
        c->names = s;
        c->nnames_ = cap;
    }
    std::memcpy(c->names + c->nnames, p, n);
    c->names[c->nnames + n] = 0;
    c->lines[c->nlines++] = {c->nf, c->nnames, key};
    c->nnames += n + 1;
    c->nlibs += key == K_MTLLIB;
    return true;
}

// Parses one run of lines of chunk c into its slices of the arrays of m;
// false at a bad line or when the chunk holds more than was counted.
bool readlines(mesh* m, chunk* c, char* p, char* e)
{
    const long long cornerroom = c->counted.nq - c->counted.nf;  // less the keys
    lineends ends = startlines(p, e);
    long long lines = 0;
    objkey key;
    while (nextkeyed(&p, e, &ends, &lines, &key)) {
        if (key == K_V) {
            if (c->np == c->counted.np) return false;
            p = readv(p, &m->point[c->p0 + c->np]);
            if (!p) return false;
            c->np++;
        } else if (key == K_VT) {
            if (c->nt == c->counted.nt) return false;
            p = readvt(p, &m->t[c->t0 + c->nt]);
            c->nt++;
        } else if (key == K_F) {
            if (c->nf == c->counted.nf) return false;
            const long long np = c->p0 + c->np, nt = c->t0 + c->nt;
            fcinfo* q = &m->pts[c->q0 + c->nq];
            long long room = cornerroom - c->nq;
            int n = 0;
            for (;; p = skipsep(p)) {
                if (isbreak(*p)) break;
                if (n == MAXINDEX || n == room) return false;
                long long v, t;
                p = readcorner(p, np, nt, &v, &t);
                if (!p) return false;
                q[n].p = &m->point[v - 1];
                q[n].t = t ? &m->t[t - 1] : nullptr;
                n++;
            }
            Face* f = &m->fac[c->f0 + c->nf];
            f->q = q;
            f->n = (short)n;
            f->mat = f->g = 0;  // named afterwards
            c->nf++;
            c->nq += n;
        } else if (key == K_MTLLIB) {
            p = readlibs(p, [c](char* s, int n) { return keepname(c, s, s + n, K_MTLLIB); });
            if (!p) return false;
        } else {  // "g" or "usemtl"
            char* end = skiptoken(p);
            if (!keepname(c, p, end, key)) return false;
            p = end;
        }
        p = isbreak(*p) ? p + 1 : ends.find(p) + 1;
    }
    return true;
}

void readchunk(mesh* m, const char* file, chunk* c)
{
    objtext x;
    c->ok = opentext(&x, file, c->start, c->len, nullptr);
    char *p, *e;
    while (c->ok && nextlines(&x, &p, &e)) c->ok = readlines(m, c, p, e);
    const objcounts& n = c->counted;
    c->ok = c->ok && !x.err && !x.shortread && c->nf == n.nf && c->nq == n.nq - n.nf &&
            c->np == n.np && c->nt == n.nt && (long long)(c->nlines - c->nlibs) == n.ng + n.nmat;
    closetext(&x);
}

// Gives faces [a, b) the current group and material, as mesh::addface does
// for each of them; false when the defaults cannot be added.
bool namefaces(mesh* m, long long a, long long b)
{
    if (a == b) return true;
    if (m->currentgroup < 0 || m->currentgroup >= m->ng) m->currentgroup = 0;
    if (m->ng == 0) m->addgroup("default");
    if (m->currentmat < 0 || m->currentmat >= m->nmat) m->currentmat = 0;
    if (m->nmat == 0) m->addmat("default");
    if (m->ng == 0 || m->nmat == 0) return false;
    for (long long i = a; i < b; i++) {
        m->fac[i].mat = m->currentmat;
        m->fac[i].g = m->currentgroup;
    }
    m->mat[m->currentmat].nf += (int)(b - a);
    return true;
}

// Applies the chunks' "g", "usemtl" and "mtllib" lines in file order;
// false where the one-pass reader would stop at a 16-bit limit.
bool namelines(mesh* m, chunk* cs, int nchunks)
{
    long long done = 0;  // faces named
    for (int c = 0; c < nchunks; c++)
        for (size_t i = 0; i < cs[c].nlines; i++) {
            const namedline& l = cs[c].lines[i];
            const char* s = cs[c].names + l.name;
            if (l.key == K_MTLLIB) {
                if (!m->addlib(s, (int)std::strlen(s))) return false;
                continue;
            }
            if (!namefaces(m, done, cs[c].f0 + l.face)) return false;
            done = cs[c].f0 + l.face;
            if (!namefits(m, l.key == K_G, s)) return false;
            if (l.key == K_G)
                m->currentgroup = (short)m->findaddgroup(s);
            else
                m->currentmat = (short)m->findaddmat(s);
        }
    return namefaces(m, done, m->nf);
}

// Cuts the file into chunks and pre-counts each; the number of chunks, or
// 0 when that failed (nothing to release then).
int countchunks(const char* file, int nthreads, chunk** out)
{
    int n = cutchunks(file, nthreads, out);
    chunk* cs = *out;
    if (n) forchunks(n, nthreads, [=](int c) { countchunk(file, &cs[c]); });
    bool ok = n > 0;
    for (int c = 0; c < n; c++) ok = ok && cs[c].ok;
    if (n && !ok) {
        std::free(cs);
        *out = nullptr;
    }
    return ok ? n : 0;
}

}  // namespace

int countparallel(const char* file, objcounts* all)
{
    chunk* cs = nullptr;
    int n = countchunks(file, corecount(), &cs);
    if (!n) return 0;
    *all = {0, 0, 0, 0, 0, 0};
    for (int c = 0; c < n; c++) {
        all->nf += cs[c].counted.nf;
        all->nq += cs[c].counted.nq;
        all->np += cs[c].counted.np;
        all->nt += cs[c].counted.nt;
        all->ng += cs[c].counted.ng;
        all->nmat += cs[c].counted.nmat;
    }
    std::free(cs);
    return 1;
}

int readparallel(mesh* m, const char* file)
{
    m->initialize(1);
    const int nthreads = corecount();
    chunk* cs = nullptr;
    int n = countchunks(file, nthreads, &cs);
    if (!n) return 0;

    bool ok = true;
    objcounts all = {0, 0, 0, 0, 0, 0};
    for (int c = 0; c < n; c++) {
        cs[c].f0 = all.nf;
        cs[c].q0 = all.nq - all.nf;  // the keys take no corner
        cs[c].p0 = all.np;
        cs[c].t0 = all.nt;
        all.nf += cs[c].counted.nf;
        all.nq += cs[c].counted.nq;
        all.np += cs[c].counted.np;
        all.nt += cs[c].counted.nt;
        all.ng += cs[c].counted.ng;
        all.nmat += cs[c].counted.nmat;
    }
    ok = ok && all.nf <= INT_MAX && all.nq <= INT_MAX && all.np <= INT_MAX && all.nt <= INT_MAX &&
         all.ng <= INT_MAX && all.nmat <= INT_MAX;
    // the one-pass reader's presizing, in its order
    ok = ok && m->setnf_((int)all.nf, 0) && m->setnq_((int)all.nq, 0) &&
         m->setnp_((int)all.np, 0) && m->setnt_((int)all.nt, 0) && m->setng_((int)all.ng, 0) &&
         m->setnmat_((int)all.nmat, 0);
    if (ok) {
        forchunks(n, nthreads, [=](int c) { readchunk(m, file, &cs[c]); });
        for (int c = 0; c < n; c++) ok = ok && cs[c].ok;
    }
    if (ok) {
        m->nf = (int)all.nf;
        m->nq = (int)(all.nq - all.nf);
        m->np = (int)all.np;
        m->nt = (int)all.nt;
        ok = namelines(m, cs, n);
    }
    for (int c = 0; c < n; c++) {
        std::free(cs[c].lines);
        std::free(cs[c].names);
    }
    std::free(cs);
    if (!ok) {
        m->initialize(1);
        return 0;
    }
    trimarrays(m);
    return 1;
}
