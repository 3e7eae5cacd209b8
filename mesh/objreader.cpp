// The two-pass .OBJ reader: the pre-count, the one-pass reading that is
// the reference, and the choice of the parallel reading or the reading of a
// file as it comes.
#include "mesh/objread_text.h"
#include "port/input.h"
#include "port/tuning.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>


namespace {

// Counters that cannot overflow; stored saturated at INT_MAX.
void addcount(int* c, long long n)
{
    long long s = *c + n;
    *c = s > INT_MAX ? INT_MAX : (int)s;
}

struct corner {  // a face corner parsed before its face is added
    xyz* p;
    xy* t;
};

// Reads the corners of the face line at p, its first corner, into cs and
// adds the face; returns where reading stopped. A bad corner sets *bad and
// the face is still added, filled up to that corner.
char* readface(mesh* m, char* p, lineends* ends, corner* cs, bool* bad)
{
    int n = 0;     // corners read
    char* tk = p;  // the corner being read
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

// What stopped the reading of x: a read error or no memory. Returns 0.
int textfailure(const objtext& x, const char* file, failure* why)
{
    if (x.nomemory) return fail(why, "out of memory", "", nullptr, ENOMEM);
    return fail(why, file, "I can't read this file", file, x.errnum);
}

}  // namespace

void trimarrays(mesh* m)
{
    m->setnf_(m->nf, 1);
    m->setnq_(m->nq, 1);
    m->setnp_(m->np, 1);
    m->setnt_(m->nt, 1);
    m->setng_(m->ng, 1);
    m->setnmat_(m->nmat, 1);
    m->setnnames_(m->nnames, 1);
    if (m->nlibtext < m->nlibtext_) {  // released when empty, as the arrays are
        char* b = m->nlibtext ? (char*)std::realloc(m->lib, (size_t)m->nlibtext) : nullptr;
        if (b || !m->nlibtext) {
            if (!b) std::free(m->lib);
            m->lib = b;
            m->nlibtext_ = m->nlibtext;
        }
    }
}

bool hasgroup(const mesh* m, const char* s) { return m->findgroup(s) >= 0; }
bool hasmat(const mesh* m, const char* s) { return m->findmat(s) >= 0; }

bool namefits(const mesh* m, bool group, const char* s)
{
    if (group) return m->ng < MAXINDEX || hasgroup(m, s);
    return m->nmat < MAXINDEX || m->mat[m->nmat - 1].nf == 0 || hasmat(m, s);
}

int countOBJ(const char* file, int* NF, int* NQ, int* NP, int* NT, int* NG, int* NMAT, failure* why)
{
    objcounts c = {0, 0, 0, 0, 0, 0};
    if (!knobs.objread_parallel || !countparallel(file, &c)) {
        objtext x;
        if (!opentext(&x, file, 0, ULLONG_MAX, why)) return 0;
        c = {0, 0, 0, 0, 0, 0};
        char *p, *e;
        while (nextlines(&x, &p, &e)) countlines(p, e, &c);
        const bool ok = !x.err;
        closetext(&x);
        if (!ok) return textfailure(x, file, why);
    }
    addcount(NF, c.nf);
    addcount(NQ, c.nq);
    addcount(NP, c.np);
    addcount(NT, c.nt);
    addcount(NG, c.ng);
    addcount(NMAT, c.nmat);
    return 1;
}

// A plain file is read by name, in parallel where it can be; anything that
// can be read only once, or must be inflated, is read as it comes.
int mesh::readOBJ(const char* file, failure* why)
{
    if (why) nofailure(why);
    input in;
    if (!inopen(&in, file, why)) {
        initialize(1);
        return 0;
    }
    if (in.regular && !in.compressed) {
        inclose(&in);
        if (knobs.objread_parallel && readparallel(this, file)) return 1;
        return readsequential(this, file, why);
    }
    int r = readstream(this, &in, why);
    inclose(&in);
    return r;
}

int readsequential(mesh* m, const char* file, failure* why)
{
    m->initialize(1);
    int NF = 0, NQ = 0, NP = 0, NT = 0, NG = 0, NMAT = 0;
    if (!countOBJ(file, &NF, &NQ, &NP, &NT, &NG, &NMAT, why)) return 0;
    if (knobs.objread_betweenpasses) knobs.objread_betweenpasses(file);
    objtext x;
    if (!opentext(&x, file, 0, ULLONG_MAX, why)) {
        closetext(&x);
        return 0;
    }
    // Room for the corners of the longest face allowed; pages never touched
    // cost nothing.
    corner* cs = (corner*)std::malloc(MAXINDEX * sizeof(corner));
    if (!cs || !m->setnf_(NF, 0) || !m->setnq_(NQ, 0) || !m->setnp_(NP, 0) || !m->setnt_(NT, 0) ||
        !m->setng_(NG, 0) || !m->setnmat_(NMAT, 0)) {
        std::free(cs);
        closetext(&x);
        m->initialize(1);  // a good mesh too big for memory is no bad mesh
        return fail(why, "out of memory", "", nullptr, ENOMEM);
    }

    long long line = 0;
    bool bad = false, nomemory = false;
    char *p, *e;
    while (!bad && !nomemory && nextlines(&x, &p, &e)) {
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
                m->addpoint(v);
            } else if (key == K_VT) {
                xy t;
                p = readvt(p, &t);
                m->addt(t);
            } else if (key == K_F) {
                p = readface(m, p, &ends, cs, &bad);
                if (bad) break;
            } else if (key == K_G || key == K_USEMTL) {
                tokenname name(p);
                if (!namefits(m, key == K_G, p)) {
                    bad = true;
                    break;
                }
                if (key == K_G)
                    m->currentgroup = (short)m->findaddgroup(p);
                else
                    m->currentmat = (short)m->findaddmat(p);
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
    bool ok = !bad && !nomemory && !x.err;
    std::free(cs);
    closetext(&x);
    if (bad) {
        char text[48];
        std::snprintf(text, sizeof text, "line %lld is bad", line);
        fail(why, text, file);
    } else if (nomemory) {
        fail(why, "out of memory", "", nullptr, ENOMEM);
    } else if (x.err) {
        textfailure(x, file, why);
    }
    trimarrays(m);
    return ok ? 1 : 0;
}
