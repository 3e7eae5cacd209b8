#include "mesh/mesh.h"

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
    T* b = (T*)std::realloc(a, (std::size_t)x * sizeof(T));
    if (!b) return 0;  // the old array and capacity stay
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

// Keeps the first 31 characters and fills the rest of the 32 bytes with NULs.
void rename32(char* name, const char* s)
{
    int i = 0;
    if (s)
        for (; i < 31 && s[i]; i++) name[i] = s[i];
    std::memset(name + i, 0, (size_t)(32 - i));
}

}  // namespace

void Face::setprops(mesh* m)
{
    mat = m->currentmat < 0 ? 0 : m->currentmat;
    g = m->currentgroup < 0 ? 0 : m->currentgroup;
    for (int i = 0; i < n; i++) {
        q[i].p = q[i].d = nullptr;
        q[i].t = nullptr;
    }
    m->mat[mat].nf++;
}

void Mat::rename(const char* s) { rename32(name, s); }
void Group::rename(const char* s) { rename32(name, s); }

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
}

void mesh::delarrays()
{
    std::free(fac);
    std::free(point);
    std::free(pts);
    std::free(mat);
    std::free(t);
    std::free(group);
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
    if (np == np_ && (np == INT_MAX || !setnp_(np + 1, 0))) return 0;
    point[np] = p;
    return np++;
}

int mesh::addt(xy p)
{
    if (nt == nt_ && (nt == INT_MAX || !setnt_(nt + 1, 0))) return 0;
    t[nt] = p;
    return nt++;
}

int mesh::addgroup(const char* s)
{
    if (ng == ng_ && (ng == INT_MAX || !setng_(ng + 1, 0))) return 0;
    std::memset(&group[ng], 0, sizeof(Group));
    group[ng].rename(s);
    return ng++;
}

int mesh::addmat(const char* s)
{
    if (nmat > 0 && mat[nmat - 1].nf == 0) nmat--;  // nothing uses it: reuse its slot
    if (nmat == nmat_ && (nmat == INT_MAX || !setnmat_(nmat + 1, 0))) return 0;
    Mat& m = mat[nmat];
    m.rename(s);
    m.col = pal3(0, 0, 0);
    m.cf = 0;
    m.nf = 0;
    return nmat++;
}

int mesh::findaddgroup(const char* s)
{
    if (s)
        for (int i = 0; i < ng; i++)
            if (std::strcmp(group[i].name, s) == 0) return i;
    return addgroup(s);
}

int mesh::findaddmat(const char* s)
{
    if (s)
        for (int i = 0; i < nmat; i++)
            if (std::strcmp(mat[i].name, s) == 0) return i;
    return addmat(s);
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
