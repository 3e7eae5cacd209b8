// The mesh container: its six arrays, sized to exactly what is asked and
// rebased when they move, the pool of names, and the name tables of groups
// and materials.
#include "mesh/mesh.h"
#include "port/bigmem.h"
#include "port/names.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// Sizes array a of capacity cap to exactly x elements (see mesh.h for the
// rule). Returns the old block's address when the array moved, else 0, in
// *moved; the caller rebases its pointers from that address.
template <class T>
int resize(T*& a, int& cap, int x, int k, std::uintptr_t* moved)
{
    *moved = 0;
    if (k ? x == cap : x <= cap) return 1;
    if (x < 0 || (std::size_t)x > SIZE_MAX / sizeof(T)) return 0;
    if (x == 0) {
        std::free(a);
        a = nullptr;
        cap = 0;
        return 0;
    }
    // Presized arrays are filled at once: a new one, and the new part of a
    // grown one, may take large pages.
    T* b = (T*)(a ? std::realloc(a, (std::size_t)x * sizeof(T)) : bigmem_alloc((std::size_t)x * sizeof(T)));
    if (!b) return 0;  // the old array and capacity stay
    if (a && x > cap) bigmem_advise(b + cap, (std::size_t)(x - cap) * sizeof(T));
    if (a && b != a) *moved = (std::uintptr_t)a;
    a = b;
    cap = x;
    return 1;
}

// The element of array b with the index that p had in the old block at old.
template <class T>
T* rebase(T* p, std::uintptr_t old, T* b)
{
    return b + ((std::uintptr_t)p - old) / sizeof(T);
}

// Moves name pointers of a[0..n) that pointed into the old pool block of
// cap bytes at old into the pool at b.
template <class T>
void rebasenames(T* a, int n, std::uintptr_t old, size_t cap, const char* b)
{
    for (int i = 0; i < n; i++) {
        std::uintptr_t p = (std::uintptr_t)a[i].name;
        if (p - old < cap) a[i].name = b + (p - old);
    }
}

}  // namespace

namespace {

template <class T>
const char* nameof(const void* a, int k)
{
    return ((const T*)a)[k].name;
}

}  // namespace

void Face::setprops(mesh* m)
{
    mat = m->currentmat < 0 ? 0 : m->currentmat;
    g = m->currentgroup < 0 ? 0 : m->currentgroup;
    for (int i = 0; i < n; i++) {
        q[i].p = nullptr;
        q[i].t = nullptr;
    }
    m->mat[mat].nf++;
}

// A copy of s (null: "") at the end of the pool, or null when the pool
// cannot grow. The pool grows by doubling: names are not pre-counted. s may
// be a name of the pool itself.
const char* mesh::keepname(const char* s)
{
    if (!s) s = "";
    const size_t n = std::strlen(s) + 1;
    const std::uintptr_t at = (std::uintptr_t)s - (std::uintptr_t)names;
    if (n > nnames_ - nnames) {
        if (n > SIZE_MAX / 2 - nnames) return nullptr;
        size_t cap = nnames_ ? nnames_ : 256;
        while (cap - nnames < n) cap *= 2;
        const bool inpool = names && at < nnames_;
        if (!setnnames_(cap, 1)) return nullptr;
        if (inpool) s = names + at;
    }
    char* c = names + nnames;
    std::memmove(c, s, n);
    nnames += n;
    return c;
}

int mesh::setnnames_(size_t x, int k)
{
    if (k ? x == nnames_ : x <= nnames_) return 1;
    if (x == 0) {
        std::free(names);
        names = nullptr;
        nnames_ = 0;
        return 0;
    }
    char* b = (char*)std::realloc(names, x);
    if (!b) return 0;  // the old pool and capacity stay
    if (names && b != names) {
        rebasenames(mat, nmat, (std::uintptr_t)names, nnames_, b);
        rebasenames(group, ng, (std::uintptr_t)names, nnames_, b);
    }
    names = b;
    nnames_ = x;
    return 1;
}

void mesh::initialize(int j)
{
    if (j) delarrays();
    point = nullptr; np = np_ = 0;
    pts = nullptr;   nq = nq_ = 0;
    fac = nullptr;   nf = nf_ = 0;
    group = nullptr; ng = ng_ = 0;
    currentgroup = 0;
    mat = nullptr;   nmat = nmat_ = 0;
    currentmat = 0;
    t = nullptr;     nt = nt_ = 0;
    names = nullptr; nnames = nnames_ = 0;
    lib = nullptr;   nlibtext = nlibtext_ = nlib = 0;
    groupnames = matnames = nameindex{};
}

void mesh::delarrays()
{
    std::free(fac);
    std::free(point);
    std::free(pts);
    std::free(mat);
    std::free(t);
    std::free(group);
    std::free(names);
    std::free(lib);
    freenames(&groupnames);
    freenames(&matnames);
}

// A corner's p is null only on the unfilled corners of a face whose line
// was bad; those stay null rather than being moved to garbage.
int mesh::setnp_(int x, int k)
{
    std::uintptr_t old;
    int r = resize(point, np_, x, k, &old);
    if (old)
        for (int i = 0; i < nq; i++)
            if (pts[i].p) pts[i].p = rebase(pts[i].p, old, point);
    return r;
}

int mesh::setnt_(int x, int k)
{
    std::uintptr_t old;
    int r = resize(t, nt_, x, k, &old);
    if (old)
        for (int i = 0; i < nq; i++)
            if (pts[i].t) pts[i].t = rebase(pts[i].t, old, t);
    return r;
}

int mesh::setnq_(int x, int k)
{
    std::uintptr_t old;
    int r = resize(pts, nq_, x, k, &old);
    if (old)
        for (int i = 0; i < nf; i++)
            if (fac[i].q) fac[i].q = rebase(fac[i].q, old, pts);
    return r;
}

int mesh::setnf_(int x, int k)
{
    std::uintptr_t old;
    return resize(fac, nf_, x, k, &old);
}

int mesh::setng_(int x, int k)
{
    std::uintptr_t old;
    return resize(group, ng_, x, k, &old);
}

int mesh::setnmat_(int x, int k)
{
    std::uintptr_t old;
    return resize(mat, nmat_, x, k, &old);
}

int mesh::addpoint(xyz p)
{
    if (np == np_ && (np == INT_MAX || !setnp_(np + 1, 0))) return -1;
    point[np] = p;
    return np++;
}

int mesh::addt(xy p)
{
    if (nt == nt_ && (nt == INT_MAX || !setnt_(nt + 1, 0))) return -1;
    t[nt] = p;
    return nt++;
}

int mesh::addgroup(const char* s)
{
    if (ng == ng_ && (ng == INT_MAX || !setng_(ng + 1, 0))) return -1;
    const char* name = keepname(s);
    if (!name) return -1;
    group[ng].name = name;
    return ng++;
}

int mesh::addmat(const char* s)
{
    if (nmat > 0 && mat[nmat - 1].nf == 0) {  // nothing uses it: reuse its slot
        nmat--;
        if (matnames.counted > nmat) matnames.counted = nmat;
        // and its name's bytes, when they are the pool's last
        const char* last = mat[nmat].name;
        const size_t n = std::strlen(last) + 1;
        if (last + n == names + nnames) nnames -= n;
    }
    if (nmat == nmat_ && (nmat == INT_MAX || !setnmat_(nmat + 1, 0))) return -1;
    const char* name = keepname(s);
    if (!name) return -1;
    Mat& m = mat[nmat];
    m.name = name;
    m.col = pal3(0, 0, 0);
    m.cf = 0;
    m.nf = 0;
    return nmat++;
}

int mesh::findgroup(const char* s) const
{
    return findname(const_cast<nameindex*>(&groupnames), group, ng, nameof<Group>, s);
}

int mesh::findmat(const char* s) const
{
    return findname(const_cast<nameindex*>(&matnames), mat, nmat, nameof<Mat>, s);
}

int mesh::findaddgroup(const char* s)
{
    int i = s ? findgroup(s) : -1;
    return i >= 0 ? i : addgroup(s);
}

int mesh::findaddmat(const char* s)
{
    int i = s ? findmat(s) : -1;
    return i >= 0 ? i : addmat(s);
}

// A face refused here (corner count outside 1..MAXINDEX, no room) adds
// nothing but may leave the "default" group and material behind.
Face* mesh::addface(int n)
{
    if (currentgroup < 0 || currentgroup >= ng) currentgroup = 0;
    if (ng == 0) addgroup("default");
    if (currentmat < 0 || currentmat >= nmat) currentmat = 0;
    if (nmat == 0) addmat("default");
    if (ng == 0 || nmat == 0 || n < 1 || n > MAXINDEX || n > INT_MAX - nq || nf == INT_MAX)
        return nullptr;
    if (!setnq_(nq + n, 0) || !setnf_(nf + 1, 0)) return nullptr;
    Face* f = &fac[nf++];
    f->q = &pts[nq];
    nq += n;
    f->n = (short)n;
    f->setprops(this);
    return f;
}

int mesh::addlib(const char* s, int n)
{
    if (n < 0 || n >= INT_MAX / 2 - nlibtext) return 0;
    if (nlibtext + n + 1 > nlibtext_) {
        int room = 2 * (nlibtext + n + 1);
        char* b = (char*)std::realloc(lib, (size_t)room);
        if (!b) return 0;
        lib = b;
        nlibtext_ = room;
    }
    std::memcpy(lib + nlibtext, s, (size_t)n);
    lib[nlibtext + n] = 0;
    nlibtext += n + 1;
    nlib++;
    return 1;
}

const char* mesh::nextlib(const char* s) const
{
    if (!s) return nlib ? lib : nullptr;
    s += std::strlen(s) + 1;
    return s < lib + nlibtext ? s : nullptr;
}
