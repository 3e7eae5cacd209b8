// uvbench: times each stage of a texture-map run on one mesh at one or more
// map sizes, with plain file baselines measured in the same rounds.
//
//   uvbench --obj MESH.obj --cr2 FIGURE.cr2 [--sizes 640,4096] [--runs K] [--dir DIR]
//   uvbench --exec LABEL PROGRAM [ARGS...]
//   uvbench --read MESH
//
// A round runs every stage once, in the order of a real run, so that all
// stages share the machine's load alike; each figure is the median of K
// rounds. Wall and CPU time are both kept: on a shared machine the wall time
// includes the waits for a core. --exec times one run of a program for
// bench/run.sh and prints "LABEL WALL_S CPU_S PEAK_KB STATUS". --read reads
// a mesh once, as the program does (compressed or from a pipe too), and
// prints "arrays BYTES", the bytes of its six arrays: bench/inputs.sh times
// it as a process.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/resource.h>

#include "bench/clock.h"
#include "job/cr2.h"
#include "job/finish.h"
#include "job/match.h"
#include "job/paint.h"
#include "job/state.h"
#include "raster/bmp.h"
#include "port/bigmem.h"

namespace {

enum { MAXRUNS = 99, MAXSIZES = 8 };

const double MB = 1e6;

// The targets: both passes of the read at 900 MB/s; margin and white edges of
// a 4096 map in 0.06 s; a million small triangles painted into it in 0.05 s.
const double READRATE = 900 * MB;
const double FINISH4096 = 0.06;
const double PAINT4096 = 0.05;

struct options {
    const char* obj;
    const char* cr2;
    const char* dir;        // where the written maps go
    int sizes[MAXSIZES];
    int nsizes;
    int runs;
};

struct times {              // one stage, round by round
    double wall[MAXRUNS];
    double cpu[MAXRUNS];
};

struct stamp {              // the start of a timed stage
    double wall, cpu;
};

struct meshfacts {
    char name[64];          // the file's name without folder and ending
    double bytes;           // of the file
    long long tris;         // after fanning every face
    double arrays;          // bytes of the mesh's six arrays
};

int K;                      // rounds

stamp start() { return stamp{seconds(), cpuseconds()}; }

void stop(times* s, int r, stamp a)
{
    s->wall[r] = seconds() - a.wall;
    s->cpu[r] = cpuseconds() - a.cpu;
}

void sum(times* s, int r, const times& a, const times& b)
{
    s->wall[r] = a.wall[r] + b.wall[r];
    s->cpu[r] = a.cpu[r] + b.cpu[r];
}

int fail(const char* what, const char* detail)
{
    std::fprintf(stderr, "uvbench: %s: %s\n", what, detail);
    return 0;
}

void header()
{
    std::printf("%-10s %5s  %-24s %9s %9s %9s %14s %9s %7s %6s %6s\n", "mesh", "map", "stage",
                "median ms", "min ms", "cpu ms", "rate", "target ms", "xtarget", "xcpu", "xbase");
}

// One row: the median and least wall time and the median CPU time of a
// stage. The rate (amount per second in unit) and the ratios go by the
// median wall time, xcpu by the CPU time; each is left out when its amount,
// target or baseline is 0.
void rowof(const char* mesh, int map, const char* stage, double med, double lo, double cpu,
           double amount, const char* unit, double target, double base)
{
    char mapcol[16] = "-", rate[32] = "", tcol[16] = "", xt[16] = "", xu[16] = "", xb[16] = "";
    if (map) std::snprintf(mapcol, sizeof mapcol, "%d", map);
    if (amount > 0 && med > 0) {
        double v = amount / med;
        std::snprintf(rate, sizeof rate, v < 100 ? "%.1f %s" : "%.0f %s", v, unit);
    }
    if (target > 0) {
        std::snprintf(tcol, sizeof tcol, "%.1f", 1e3 * target);
        std::snprintf(xt, sizeof xt, "%.2f", med / target);
        std::snprintf(xu, sizeof xu, "%.2f", cpu / target);
    }
    if (base > 0) std::snprintf(xb, sizeof xb, "%.2f", med / base);
    std::printf("%-10s %5s  %-24s %9.2f %9.2f %9.2f %14s %9s %7s %6s %6s\n", mesh, mapcol, stage,
                1e3 * med, 1e3 * lo, 1e3 * cpu, rate, tcol, xt, xu, xb);
}

double least(const double* v) { return *std::min_element(v, v + K); }

void row(const char* mesh, int map, const char* stage, const times& s, double amount,
         const char* unit, double target, double base)
{
    rowof(mesh, map, stage, median(s.wall, K), least(s.wall), median(s.cpu, K), amount, unit,
          target, base);
}

// Reads the whole file in 4 MB blocks and drops it: the bytes alone.
bool slurp(const char* f, double* bytes)
{
    static char buf[4 << 20];
    FILE* in = std::fopen(f, "rb");
    if (!in) return fail(f, "can't open");
    double n = 0;
    size_t k;
    while ((k = std::fread(buf, 1, sizeof buf, in)) > 0) n += (double)k;
    bool ok = !std::ferror(in);
    std::fclose(in);
    *bytes = n;
    return ok || fail(f, "read error");
}

// Writes a 54-byte head and n bytes of p to the file f, replacing it: the
// bytes of a .BMP file alone.
bool rawwrite(const char* f, const unsigned char* p, size_t n)
{
    const unsigned char head[54] = {'B', 'M'};
    FILE* o = std::fopen(f, "wb");
    if (!o) return fail(f, "can't open");
    bool ok = std::fwrite(head, 1, sizeof head, o) == sizeof head && std::fwrite(p, 1, n, o) == n;
    ok = std::fclose(o) == 0 && ok;
    return ok || fail(f, "write error");
}

// One run of a baseline program into round r of s.
bool proc(times* s, int r, const char* a, const char* b, const char* c)
{
    char* argv[] = {(char*)a, (char*)b, (char*)c, nullptr};
    childrun run = runchild(argv);
    s->wall[r] = run.secs;
    s->cpu[r] = run.cpu;
    return run.status == 0 || fail(a, "did not run to a clean exit");
}

// The read must be complete and agree with the pre-count, and every corner
// must carry a texture coordinate: figures of a wrong read mean nothing.
bool checkmesh(const mesh& m, const int* c, meshfacts* f)
{
    // The pre-count counts each face's key as one of its corners.
    if (c[0] != m.nf || c[1] != m.nq + m.nf || c[2] != m.np || c[3] != m.nt)
        return fail(f->name, "the pre-count and the read disagree");
    if (m.nf == 0 || m.nt == 0) return fail(f->name, "no faces or no texture coordinates");
    f->tris = 0;
    for (int i = 0; i < m.nf; i++) {
        const Face& fc = m.fac[i];
        for (int k = 0; k < fc.n; k++)
            if (!fc.q[k].t) return fail(f->name, "a corner without texture coordinate");
        if (fc.n > 2) f->tris += fc.n - 2;
    }
    f->arrays = (double)m.np * sizeof(xyz) + (double)m.nt * sizeof(xy) +
                (double)m.nq * sizeof(fcinfo) + (double)m.nf * sizeof(Face) +
                (double)m.ng * sizeof(Group) + (double)m.nmat * sizeof(Mat) + (double)m.nnames;
    return true;
}

// Rounds of: cat and wc -l of the file as processes, the file read in
// blocks, the pre-count, and the whole read (pre-count and reading pass).
// Leaves the mesh of the last read in m.
bool readstages(const options& o, mesh* m, meshfacts* f)
{
    times cat, wc, raw, count, read;
    double bytes = 0;
    if (!slurp(o.obj, &bytes)) return false;  // into the page cache
    int c[6];
    for (int r = 0; r < K; r++) {
        if (!proc(&cat, r, "cat", o.obj, nullptr) || !proc(&wc, r, "wc", "-l", o.obj)) return false;
        stamp t = start();
        if (!slurp(o.obj, &bytes)) return false;
        stop(&raw, r, t);
        std::memset(c, 0, sizeof c);
        t = start();
        if (!countOBJ(o.obj, &c[0], &c[1], &c[2], &c[3], &c[4], &c[5], nullptr)) return fail(o.obj, "count failed");
        stop(&count, r, t);
        m->initialize(1);  // releasing the last round's mesh is not the read's cost
        t = start();
        int ok = m->readOBJ(o.obj, nullptr);
        stop(&read, r, t);
        if (!ok) return fail(o.obj, "read failed");
    }
    f->bytes = bytes;
    if (!checkmesh(*m, c, f)) return false;
    std::printf("# %s: %.1f MB, %d faces (%lld triangles), %d corners, %d v, %d vt, %d groups, "
                "%d materials; mesh arrays %.1f MB\n",
                f->name, bytes / MB, m->nf, f->tris, m->nq, m->np, m->nt, m->ng, m->nmat,
                f->arrays / MB);
    double catm = median(cat.wall, K), mb = bytes / MB;
    row(f->name, 0, "cat FILE (process)", cat, mb, "MB/s", 0, 0);
    row(f->name, 0, "wc -l FILE (process)", wc, mb, "MB/s", 0, catm);
    row(f->name, 0, "fread 4 MB blocks", raw, mb, "MB/s", 0, catm);
    row(f->name, 0, "pre-count (countOBJ)", count, mb, "MB/s", 0, catm);
    rowof(f->name, 0, "read minus pre-count", median(read.wall, K) - median(count.wall, K),
          least(read.wall) - least(count.wall), median(read.cpu, K) - median(count.cpu, K), mb,
          "MB/s", 0, catm);
    row(f->name, 0, "read, both passes", read, mb, "MB/s", bytes / READRATE, catm);
    return true;
}

double share(const unsigned char* flags, int n)  // flagged pixels, 0 to 1
{
    size_t k = 0, all = (size_t)n * (size_t)n;
    for (size_t i = 0; i < all; i++) k += flags[i] != 0;
    return (double)k / (double)all;
}

// Round islands 53 pixels across on a 64-pixel grid, alternately dark and
// light: far more rim than the sphere's unbroken texture space, as in the
// UV layout of a figure.
void islands(image* J, unsigned char* flags, int n)
{
    const pal3 dark(40, 25, 10), light(220, 190, 160), none;
    for (int y = 0; y < n; y++) {
        pal3* px = J->Row(y);
        unsigned char* fl = flags + (size_t)y * (size_t)n;
        for (int x = 0; x < n; x++) {
            int dx = x % 64 - 32, dy = y % 64 - 32;
            bool in = dx * dx + dy * dy <= 26 * 26;
            px[x] = !in ? none : (x / 64 + y / 64) % 2 ? light : dark;
            fl[x] = in;
        }
    }
}

// Rounds of one map of size n: clear, paint filled, margin, white edges,
// inversion and writing, as a coloured run does them; then clear and the
// outline of a mesh map; then margin and white edges on the islands.
bool mapstages(const options& o, const mesh& m, const meshfacts& f, int n)
{
    static TextureJob T;
    startjob(&T, nullptr, o.obj);
    T.n = n;
    T.OB = const_cast<mesh*>(&m);  // painted, never changed
    unsigned char*& used = T.used;
    used = (unsigned char*)bigmem_alloc((size_t)n * (size_t)n);  // as the job has them
    size_t worksize = finishworksize(n);
    void* work = std::malloc(worksize ? worksize : 1);
    if (!used || !work || !setupmap(&T)) {
        std::free(used);
        std::free(work);
        used = nullptr;
        return fail("map", "out of memory");
    }
    char path[PATHSIZE], raw[PATHSIZE];
    std::snprintf(path, sizeof path, "%s/uvbench_%d.bmp", o.dir, n);
    std::snprintf(raw, sizeof raw, "%s/uvbench_%d.raw", o.dir, n);
    times clear, paint, margin, white, finish, invert, write, fwr, outline, imargin, iwhite, ifinish;
    double painted = 0, grown = 0;
    bool ok = true;
    for (int r = 0; r < K && ok; r++) {
        stamp t = start();
        clearmap(&T);
        stop(&clear, r, t);
        t = start();
        paintfilled(&T);
        stop(&paint, r, t);
        if (r == 0) painted = share(used, n);
        t = start();
        addmargin(&T.J, used, n, work);
        stop(&margin, r, t);
        if (r == 0) grown = share(used, n);
        t = start();
        addwhiteedges(&T.J, used, n, work);
        stop(&white, r, t);
        sum(&finish, r, margin, white);
        t = start();
        invertmap(&T.J, n);
        stop(&invert, r, t);
        t = start();
        ok = bmpwrite(path, T.J, nullptr) == 1;
        stop(&write, r, t);
        t = start();
        ok = ok && rawwrite(raw, T.J.P, T.J.pixelbytes());
        stop(&fwr, r, t);

        clearmap(&T);
        t = start();
        paintoutline(&T);
        stop(&outline, r, t);

        islands(&T.J, used, n);
        t = start();
        addmargin(&T.J, used, n, work);
        stop(&imargin, r, t);
        t = start();
        addwhiteedges(&T.J, used, n, work);
        stop(&iwhite, r, t);
        sum(&ifinish, r, imargin, iwhite);
    }
    double px = (double)n * n / MB, map = (double)T.J.pixelbytes() + 7;
    double file = (54 + (double)T.J.pixelbytes()) / MB;
    if (ok) {
        bool million = f.tris >= 900000 && f.tris <= 1100000;
        double tf = n == 4096 ? FINISH4096 : 0;
        row(f.name, n, "clear", clear, px, "Mpx/s", 0, 0);
        row(f.name, n, "paint filled", paint, (double)f.tris / MB, "Mtri/s",
            n == 4096 && million ? PAINT4096 : 0, 0);
        row(f.name, n, "margin", margin, px, "Mpx/s", 0, 0);
        row(f.name, n, "white edges", white, px, "Mpx/s", 0, 0);
        row(f.name, n, "margin + white edges", finish, px, "Mpx/s", tf, 0);
        row(f.name, n, "invert", invert, px, "Mpx/s", 0, 0);
        row(f.name, n, "fwrite same bytes", fwr, file, "MB/s", 0, 0);
        row(f.name, n, "write BMP", write, file, "MB/s", 0, median(fwr.wall, K));
        row(f.name, n, "paint outline (mesh map)", outline, m.nq / MB, "Medge/s", 0, 0);
        row(f.name, n, "margin, islands", imargin, px, "Mpx/s", 0, 0);
        row(f.name, n, "white edges, islands", iwhite, px, "Mpx/s", 0, 0);
        row(f.name, n, "margin + white, islands", ifinish, px, "Mpx/s", tf, 0);
        double need = f.arrays + map + (double)n * n;
        std::printf("# %s at %d: painted %.1f %% of the map, %.1f %% after the margin; mesh arrays "
                    "%.1f MB + map %.1f MB + flags %.1f MB = %.1f MB, x1.25 = %.1f MB; finishing "
                    "work %.1f MB\n",
                    f.name, n, 100 * painted, 100 * grown, f.arrays / MB, map / MB, px, need / MB,
                    1.25 * need / MB, (double)worksize / MB);
        std::printf("@budget %s %d %.0f\n", f.name, n, need);
    }
    std::remove(path);
    std::remove(raw);
    std::free(work);
    std::free(used);
    used = nullptr;
    T.OB = nullptr;
    T.J.reset(0, 0);
    return ok || fail(path, "the map was not written");
}

// The .CR2 colours on the mesh's materials, as a coloured run pairs them.
bool colour(const options& o, mesh* m)
{
    MaterialList L = nomaterials();
    if (readCR2(nullptr, &L, o.cr2, KEY_KDCOLOR, 0) != CR2_READ) {
        freematerials(&L);
        return fail(o.cr2, "not read");
    }
    int unpaired = matchmaterials(nullptr, m, &L);
    freematerials(&L);
    return unpaired == 0 || fail(o.cr2, "names the mesh's materials differently");
}

int readmode(const char* file)
{
    static mesh m;
    m.initialize(0);
    failure why;
    if (!m.readOBJ(file, &why)) return fail(file, why.title[0] ? why.title : why.text) + 1;
    std::printf("arrays %.0f\n", (double)m.np * sizeof(xyz) + (double)m.nt * sizeof(xy) +
                                      (double)m.nq * sizeof(fcinfo) + (double)m.nf * sizeof(Face) +
                                      (double)m.ng * sizeof(Group) + (double)m.nmat * sizeof(Mat));
    return 0;
}

int execmode(int argc, char** argv)
{
    if (argc < 4) return 2;
    childrun r = runchild(argv + 3);
    std::printf("%s %.6f %.6f %ld %d\n", argv[2], r.secs, r.cpu, r.kb, r.status);
    return r.status == 0 ? 0 : 1;
}

bool parse(int argc, char** argv, options* o)
{
    *o = options();
    o->dir = "/tmp";
    o->runs = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        const char* a = argv[i];
        const char* v = argv[i + 1];
        if (!std::strcmp(a, "--obj")) o->obj = v;
        else if (!std::strcmp(a, "--cr2")) o->cr2 = v;
        else if (!std::strcmp(a, "--dir")) o->dir = v;
        else if (!std::strcmp(a, "--runs")) o->runs = std::atoi(v);
        else if (!std::strcmp(a, "--sizes")) {
            for (char* p = (char*)v; *p && o->nsizes < MAXSIZES;) {
                long s = std::strtol(p, &p, 10);
                if (s < 1 || s > MAXSIDE) return false;
                o->sizes[o->nsizes++] = (int)s;
                if (*p == ',') p++;
                else if (*p) return false;
            }
        } else return false;
    }
    if (argc % 2 == 0 || !o->obj || !o->cr2 || o->runs < 1 || o->runs > MAXRUNS) return false;
    if (!o->nsizes) o->sizes[o->nsizes++] = 640;
    return true;
}

void stem(const char* path, char* name, size_t room)
{
    const char* b = std::strrchr(path, '/');
    b = b ? b + 1 : path;
    std::snprintf(name, room, "%s", b);
    char* dot = std::strrchr(name, '.');
    if (dot && dot != name) *dot = 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && !std::strcmp(argv[1], "--exec")) return execmode(argc, argv);
    if (argc == 3 && !std::strcmp(argv[1], "--read")) return readmode(argv[2]);
    options o;
    if (!parse(argc, argv, &o)) {
        std::fprintf(stderr, "usage: uvbench --obj MESH.obj --cr2 FIGURE.cr2 [--sizes 640,4096] "
                             "[--runs K] [--dir DIR]\n"
                             "       uvbench --exec LABEL PROGRAM [ARGS...]\n"
                             "       uvbench --read MESH\n");
        return 2;
    }
    K = o.runs;
    static mesh m;
    m.initialize(0);
    meshfacts f;
    stem(o.obj, f.name, sizeof f.name);
    std::printf("# %d rounds, medians; MB = 10^6 bytes, Mpx = 10^6 pixels; xcpu: CPU time to the\n"
                "# target; xbase: to cat of the file (reading) or fwrite of the same bytes (writing)\n",
                K);
    header();
    bool ok = readstages(o, &m, &f) && colour(o, &m);
    for (int i = 0; ok && i < o.nsizes; i++) ok = mapstages(o, m, f, o.sizes[i]);
    m.initialize(1);
    struct rusage ru;
    getrusage(RUSAGE_SELF, &ru);
    std::printf("# uvbench peak resident memory %.1f MB\n", ru.ru_maxrss * 1024.0 / MB);
    return ok ? 0 : 1;
}
