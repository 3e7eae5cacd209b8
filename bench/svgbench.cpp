// svgbench: times the SVG mesh map against the bitmap mesh map of the same
// mesh, in the same rounds.
//
//   svgbench MESH.obj DIR [--size N] [--runs K] [--uvpaint PROGRAM]
//
// Each round: the program's whole bitmap run (`uvpaint --obj MESH --out
// DIR/map.bmp --size N --overwrite`, which waits for the file to reach the
// disk), then in this process the read of the mesh, the SVG formatted alone
// (bytes counted, not kept), and the SVG written to DIR/map.svg and synced
// before it is closed. Figures are medians of K rounds.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "bench/clock.h"
#include "job/svg.h"

namespace {

enum { MAXRUNS = 99 };

int tofile(void* ctx, const unsigned char* p, size_t n)
{
    return std::fwrite(p, 1, n, (FILE*)ctx) == n;
}

int tocount(void* ctx, const unsigned char*, size_t n)
{
    *(size_t*)ctx += n;
    return 1;
}

// The SVG of m at size n to path, on the disk when it returns; false on any failure.
bool writesvg(const mesh* m, int n, const char* path)
{
    FILE* f = std::fopen(path, "wb");
    if (!f) return false;
    bool ok = svgencode(m, n, 0, -1, bytesink{f, tofile}) == 1;
    ok = std::fflush(f) == 0 && ok;
    ok = fsync(fileno(f)) == 0 && ok;
    return std::fclose(f) == 0 && ok;
}

// Median and least wall time, and the median CPU time when given (all
// threads': on a shared machine the wall time counts waits for a core).
void row(const char* what, const double* v, const double* cpu, int k)
{
    double least = v[0];
    for (int i = 1; i < k; i++) least = v[i] < least ? v[i] : least;
    std::printf("%-40s %7.1f ms  (min %6.1f)", what, 1000 * median(v, k), 1000 * least);
    if (cpu) std::printf("  cpu %6.1f ms", 1000 * median(cpu, k));
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv)
{
    const char* obj = nullptr;
    const char* dir = nullptr;
    const char* uvpaint = "build/shell/uvpaint";
    int n = 4096, runs = 5;
    for (int i = 1; i < argc; i++) {
        if (!std::strcmp(argv[i], "--size") && i + 1 < argc) n = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--runs") && i + 1 < argc) runs = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--uvpaint") && i + 1 < argc) uvpaint = argv[++i];
        else if (!obj) obj = argv[i];
        else if (!dir) dir = argv[i];
    }
    if (!obj || !dir || n < 1 || runs < 1 || runs > MAXRUNS) {
        std::fprintf(stderr, "usage: svgbench MESH.obj DIR [--size N] [--runs K] [--uvpaint PROGRAM]\n");
        return 2;
    }
    char bmp[4096], svg[4096], size[16];
    std::snprintf(bmp, sizeof bmp, "%s/map.bmp", dir);
    std::snprintf(svg, sizeof svg, "%s/map.svg", dir);
    std::snprintf(size, sizeof size, "%d", n);
    char* child[] = {(char*)uvpaint, (char*)"--obj", (char*)obj, (char*)"--out", bmp,
                     (char*)"--size", size, (char*)"--overwrite", nullptr};

    double run[MAXRUNS], read[MAXRUNS], format[MAXRUNS], write[MAXRUNS];
    double runcpu[MAXRUNS], readcpu[MAXRUNS], formatcpu[MAXRUNS], writecpu[MAXRUNS];
    size_t bytes = 0;
    mesh* m = new mesh;
    m->initialize(0);
    for (int r = 0; r < runs; r++) {
        childrun c = runchild(child);
        if (c.status != 0) {
            std::fprintf(stderr, "svgbench: %s failed\n", uvpaint);
            return 1;
        }
        run[r] = c.secs;
        runcpu[r] = c.cpu;
        m->initialize(1);
        double t = seconds(), tc = cpuseconds();
        if (!m->readOBJ(obj, 0)) {
            std::fprintf(stderr, "svgbench: can't read %s\n", obj);
            return 1;
        }
        read[r] = seconds() - t;
        readcpu[r] = cpuseconds() - tc;
        bytes = 0;
        t = seconds();
        tc = cpuseconds();
        svgencode(m, n, 0, -1, bytesink{&bytes, tocount});
        format[r] = seconds() - t;
        formatcpu[r] = cpuseconds() - tc;
        t = seconds();
        tc = cpuseconds();
        if (!writesvg(m, n, svg)) {
            std::fprintf(stderr, "svgbench: can't write %s\n", svg);
            return 1;
        }
        write[r] = seconds() - t;
        writecpu[r] = cpuseconds() - tc;
    }
    double whole[MAXRUNS], wholecpu[MAXRUNS];
    for (int r = 0; r < runs; r++) {
        whole[r] = read[r] + write[r];
        wholecpu[r] = readcpu[r] + writecpu[r];
    }
    std::printf("# %s: %d faces; map %d; SVG %.1f MB; %d rounds\n", obj, m->nf, n, bytes / 1e6, runs);
    row("bitmap mesh map, whole run (process)", run, runcpu, runs);
    row("read the mesh", read, readcpu, runs);
    row("SVG formatted, bytes counted", format, formatcpu, runs);
    row("SVG written to a file and synced", write, writecpu, runs);
    row("read + SVG written", whole, wholecpu, runs);
    std::printf("%-40s %7.2f\n", "read + SVG written / bitmap run", median(whole, runs) / median(run, runs));
    std::printf("%-40s %7.2f\n", "SVG written / bitmap run", median(write, runs) / median(run, runs));
    m->initialize(1);
    delete m;
    return 0;
}
