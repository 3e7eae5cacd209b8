// uvcheckrun: the UV check as one process, for timing it beside a whole
// coloured run, and stage by stage.
//
//   uvcheckrun --obj MESH.obj [--size N] [--json FILE] [--text FILE]
//              [--picture FILE.bmp [--material M] [--tile T]] [--runs K]
//              [--threads T]
//
// Reads the mesh, analyses it at map size N (default 4096), finds the lines
// of the listed faces and writes the reports ("-": standard output). With
// --picture it paints the check picture of tile T (1001) for material M
// (-1, all) and writes it. --runs K repeats the stages in process K times
// and prints the median and least of each on standard error; --threads T
// runs the pixel pass on T threads. Exit status: 0 when
// nothing was found, 1 when something was, 2 when the run failed.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bench/clock.h"
#include "job/uvcheck.h"
#include "port/tuning.h"
#include "raster/bmp.h"

namespace {

int putfile(void* ctx, const unsigned char* p, size_t n) { return std::fwrite(p, 1, n, (FILE*)ctx) == n; }

// Writes a report to file ("-": standard output); false when it failed.
bool report(int (*write)(const uvreport*, const mesh*, const char*, bytesink*), const char* file,
            const uvreport& r, const mesh& m, const char* name)
{
    const bool out = std::strcmp(file, "-") == 0;
    FILE* f = out ? stdout : std::fopen(file, "wb");
    if (!f) return false;
    bytesink s = {f, putfile};
    bool ok = write(&r, &m, name, &s) == 1;
    ok = (out ? std::fflush(f) == 0 : std::fclose(f) == 0) && ok;
    return ok;
}

int usage()
{
    std::fprintf(stderr, "usage: uvcheckrun --obj MESH.obj [--size N] [--json FILE] [--text FILE] "
                         "[--picture FILE.bmp [--material M] [--tile T]] [--runs K]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    const char *obj = nullptr, *json = nullptr, *text = nullptr, *picture = nullptr;
    int n = 4096, runs = 0, material = -1, tile = 1001;
    for (int i = 1; i < argc; i++) {
        const char* a = argv[i];
        if (i + 1 >= argc) return usage();
        const char* v = argv[++i];
        if (!std::strcmp(a, "--obj")) obj = v;
        else if (!std::strcmp(a, "--size")) n = std::atoi(v);
        else if (!std::strcmp(a, "--json")) json = v;
        else if (!std::strcmp(a, "--text")) text = v;
        else if (!std::strcmp(a, "--picture")) picture = v;
        else if (!std::strcmp(a, "--material")) material = std::atoi(v);
        else if (!std::strcmp(a, "--tile")) tile = std::atoi(v);
        else if (!std::strcmp(a, "--runs")) runs = std::atoi(v);
        else if (!std::strcmp(a, "--threads")) knobs.uvcheck_threads = std::atoi(v);
        else return usage();
    }
    if (!obj || n < 1 || n > MAXSIDE || runs < 0 || runs > 99) return usage();

    mesh m;
    m.initialize(0);
    uvreport r = {};
    double t[4][99];
    for (int k = 0; k < (runs ? runs : 1); k++) {
        double a = seconds();
        if (!m.readOBJ(obj, nullptr)) return 2;
        double b = seconds();
        freeuvreport(&r);
        if (!uvcheck(&m, n, &r)) return 2;
        double c = seconds();
        uvlines(&r, obj);
        double d = seconds();
        t[0][k] = b - a;
        t[1][k] = c - b;
        t[2][k] = d - c;
        t[3][k] = d - a;
    }
    if (runs) {
        const char* names[] = {"read", "analysis", "lines", "all three"};
        for (int s = 0; s < 4; s++) {
            double least = t[s][0];
            for (int k = 1; k < runs; k++) least = t[s][k] < least ? t[s][k] : least;
            std::fprintf(stderr, "%-10s %8.2f ms median, %8.2f least\n", names[s], 1e3 * median(t[s], runs), 1e3 * least);
        }
    }
    if (json && !report(writejsonreport, json, r, m, obj)) return 2;
    if (text && !report(writetextreport, text, r, m, obj)) return 2;
    if (picture) {
        image J;
        unsigned char* flags = (unsigned char*)std::calloc((size_t)n * (size_t)n, 1);
        if (!J.reset(n, n) || !flags) return 2;
        std::memset(J.P, 0, J.pixelbytes());
        if (!paintcheck(&J, flags, &m, n, &r, material, tile) || !bmpwrite(picture, J, nullptr)) return 2;
        std::free(flags);
    }
    const int status = uvstatus(&r, 0, 0);
    freeuvreport(&r);
    m.delarrays();
    return status;
}
