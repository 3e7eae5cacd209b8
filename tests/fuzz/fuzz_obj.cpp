// The .OBJ reader on the fuzzer's bytes: the pre-count, the one-pass read,
// and the parallel read cut into small chunks and the read of the same
// bytes compressed (as it comes, in small blocks), which must give the
// one-pass reader's mesh exactly. Bytes that begin with the gzip mark are
// inflated: they must read as their inflated text does, or be refused when
// damaged.
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
    if (a.nlib != b.nlib || a.nlibtext != b.nlibtext || (a.nlibtext && std::memcmp(a.lib, b.lib, a.nlibtext)))
        fail("library names differ");
}

// The longest line of the text, in bytes.
size_t longestline(const char* p, size_t n)
{
    size_t most = 0, run = 0;
    for (size_t i = 0; i < n; i++) {
        run = p[i] == '\n' || p[i] == '\r' ? 0 : run + 1;
        if (run > most) most = run;
    }
    return most;
}

// The read as it comes, in blocks of 64 bytes, lines of 4096 at most.
int streamread(mesh* m, const std::string& file, failure* why)
{
    knobs.objread_streamblock = 64;
    knobs.objread_linelimit = 4096;
    nofailure(why);
    int ok = m->readOBJ(file.c_str(), why);
    knobs.objread_streamblock = 0;
    knobs.objread_linelimit = 0;
    return ok;
}

// Bytes with the gzip mark: the mesh of their inflated text, or nothing.
void marked(const uint8_t* data, size_t size, const std::string& file)
{
    std::string text;
    const int whole = gunzipbytes(data, size, 1 << 20, &text);
    if (whole < 0) return;
    mesh m, ref;
    m.initialize(0);
    ref.initialize(0);
    failure why;
    const int ok = streamread(&m, file, &why);
    if (!whole) {
        // Refused, at the damage or at a bad line before it.
        if (ok) fail("damaged data was read");
        if (!std::strstr(why.title, "damaged") && !std::strstr(why.text, "line ")) fail("damaged data, read as %s", why.text);
    } else {
        const std::string plain = putfile("inflated.obj", (const uint8_t*)text.data(), text.size());
        knobs.objread_parallel = false;
        const int want = ref.readOBJ(plain.c_str(), nullptr);
        knobs.objread_parallel = true;
        if (std::strstr(why.text, "longer than") && longestline(text.data(), text.size()) > 4096) {
            // refused by its length, where the one-pass reader reads it
        } else {
            if (ok != want) fail("inflated, it reads %d, not %d", ok, want);
            checkmesh(m, ok);
            checksame(ref, m);
        }
    }
    m.delarrays();
    ref.delarrays();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string file = putfile("m.obj", data, size);
    if (gzipmarked(data, size)) {
        marked(data, size, file);
        cleardir();
        return 0;
    }

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

    // Compressed, read as it comes.
    const std::string packed = gzipbytes(data, size);
    const std::string gz = putfile("m.obz", (const uint8_t*)packed.data(), packed.size());
    mesh str;
    str.initialize(0);
    failure why;
    const int okstr = streamread(&str, gz, &why);
    if (std::strstr(why.text, "longer than")) {
        if (okstr || longestline((const char*)data, size) <= 4096) fail("refused a line of %zu bytes", longestline((const char*)data, size));
    } else {
        if (okstr != ok) fail("compressed read returns %d, one-pass read %d", okstr, ok);
        checkmesh(str, okstr);
        checksame(one, str);
    }
    str.delarrays();

    one.delarrays();
    cleardir();
    return 0;
}
