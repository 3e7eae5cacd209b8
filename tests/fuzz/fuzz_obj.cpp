// The .OBJ reader on the fuzzer's bytes: the pre-count, the one-pass read,
// an appending read on top of it, and the parallel read cut into small
// chunks, which must give the one-pass reader's mesh exactly.
#include <cstring>

#include "mesh/mesh.h"
#include "mesh/objread_text.h"
#include "port/tuning.h"
#include "tests/fuzz/fuzzutil.h"

namespace {

// Checks that every pointer and index of m stays inside its arrays. After a
// bad line (complete false) the last face keeps the corners after the bad
// one empty.
void checkmesh(const mesh& m, bool complete)
{
    if (m.np < 0 || m.np > m.np_ || m.nt < 0 || m.nt > m.nt_ || m.nq < 0 || m.nq > m.nq_ ||
        m.nf < 0 || m.nf > m.nf_ || m.ng < 0 || m.ng > m.ng_ || m.nmat < 0 || m.nmat > m.nmat_)
        fail("count beyond capacity");
    long long corners = 0;
    std::vector<int> permat(m.nmat, 0);
    for (int i = 0; i < m.nf; i++) {
        const Face& f = m.fac[i];
        if (f.n < 1 || f.q != m.pts + corners || corners + f.n > m.nq)
            fail("face %d: %d corners at %td", i, f.n, f.q - m.pts);
        corners += f.n;
        if (f.mat < 0 || f.mat >= m.nmat || f.g < 0 || f.g >= m.ng)
            fail("face %d: material %d of %d, group %d of %d", i, f.mat, m.nmat, f.g, m.ng);
        permat[f.mat]++;
        for (int j = 0; j < f.n; j++) {
            const fcinfo& c = f.q[j];
            if (!complete && i == m.nf - 1 && !c.p && !c.t) continue;
            if (c.p < m.point || c.p >= m.point + m.np || (c.t && (c.t < m.t || c.t >= m.t + m.nt)))
                fail("face %d corner %d points outside the arrays", i, j);
        }
    }
    if (corners != m.nq) fail("faces hold %lld corners of %d", corners, m.nq);
    // every name is found again by the reader's look-ups
    for (int k = 0; k < m.nmat; k++) {
        if (m.mat[k].nf != permat[k]) fail("material %d counts %d faces of %d", k, m.mat[k].nf, permat[k]);
        if (m.mat[k].name < m.names || m.mat[k].name >= m.names + m.nnames) fail("material %d: name outside the pool", k);
        if (!hasmat(&m, m.mat[k].name)) fail("material %d: name not found", k);
    }
    for (int k = 0; k < m.ng; k++) {
        if (m.group[k].name < m.names || m.group[k].name >= m.names + m.nnames) fail("group %d: name outside the pool", k);
        if (!hasgroup(&m, m.group[k].name)) fail("group %d: name not found", k);
    }
}

template <class T>
long long offset(const T* p, const T* base)  // -1 for none
{
    return p ? p - base : -1;
}

void checksame(const mesh& a, const mesh& b)
{
    if (a.np != b.np || a.nt != b.nt || a.nq != b.nq || a.nf != b.nf || a.ng != b.ng || a.nmat != b.nmat)
        fail("parallel read: counts differ (%d/%d points, %d/%d faces)", a.np, b.np, a.nf, b.nf);
    if ((a.np && std::memcmp(a.point, b.point, a.np * sizeof(xyz))) ||
        (a.nt && std::memcmp(a.t, b.t, a.nt * sizeof(xy))))
        fail("parallel read: coordinates differ");
    for (int i = 0; i < a.nf; i++) {
        const Face &f = a.fac[i], &g = b.fac[i];
        if (f.n != g.n || f.mat != g.mat || f.g != g.g || f.q - a.pts != g.q - b.pts)
            fail("parallel read: face %d differs", i);
        for (int j = 0; j < f.n; j++)
            if (offset(f.q[j].p, a.point) != offset(g.q[j].p, b.point) ||
                offset(f.q[j].t, a.t) != offset(g.q[j].t, b.t))
                fail("parallel read: face %d corner %d differs", i, j);
    }
    for (int k = 0; k < a.nmat; k++)
        if (std::strcmp(a.mat[k].name, b.mat[k].name) || a.mat[k].nf != b.mat[k].nf)
            fail("parallel read: material %d differs", k);
    for (int k = 0; k < a.ng; k++)
        if (std::strcmp(a.group[k].name, b.group[k].name)) fail("parallel read: group %d differs", k);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silentprompts();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string file = putfile("m.obj", data, size);

    int NF = 0, NQ = 0, NP = 0, NT = 0, NG = 0, NMAT = 0;
    knobs.objread_parallel = false;
    if (!countOBJ(file.c_str(), &NF, &NQ, &NP, &NT, &NG, &NMAT, nullptr)) fail("countOBJ failed");

    mesh one;
    one.initialize(0);
    int ok = one.readOBJ(file.c_str(), nullptr);
    checkmesh(one, ok);
    if (ok && (one.nf != NF || one.np != NP || one.nt != NT || one.nq != NQ - NF ||
               one.ng > NG + 1 || one.nmat > NMAT + 1))
        fail("read does not match the pre-count");

    // Up to 4 chunks, cut where the first byte says.
    knobs.objread_parallel = true;
    knobs.objread_chunkbytes = 1 + (long)size / (1 + (size ? data[0] % 4 : 0));
    mesh par;
    par.initialize(0);
    int okpar = par.readOBJ(file.c_str(), nullptr);
    knobs.objread_chunkbytes = 0;
    if (okpar != ok) fail("parallel read returns %d, one-pass read %d", okpar, ok);
    checksame(one, par);
    par.delarrays();

    one.delarrays();
    cleardir();
    return 0;
}
