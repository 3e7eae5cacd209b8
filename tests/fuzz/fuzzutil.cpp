// What the fuzz targets share: a scratch folder, silent prompts, failing loudly.
#include "tests/fuzz/fuzzutil.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "port/prompts.h"

int boxesshown;

namespace {
std::string dir;

void removedir()
{
    cleardir();
    rmdir(dir.c_str());
}

void box(window, message, const char*, const char*, int, const char*, int) { boxesshown++; }
int no(question, const char*) { return 0; }
int cancel(question, const char*) { return ANSWER_CANCEL; }
int nofile(window, question, char*, const char*, const char*, int) { return 0; }
int keep(window, question, const char*, char*, int) { return 1; }
void notitle(window, stage, const char*) {}
void notext(window, const char*, const char*) {}
const promptops silent = {box, no, cancel, nofile, keep, notitle, nullptr, nullptr, notext};
}  // namespace

const std::string& fuzzdir()
{
    if (dir.empty()) {
        const char* t = std::getenv("TMPDIR");
        std::string d = std::string(t && *t ? t : "/tmp") + "/uvpaint-fuzz-XXXXXX";
        if (!mkdtemp(&d[0])) fail("cannot make %s", d.c_str());
        dir = d;
        std::atexit(removedir);
    }
    return dir;
}

std::string putfile(const char* name, const uint8_t* data, size_t n)
{
    std::string path = fuzzdir() + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(data, 1, n, f) != n || std::fclose(f) != 0)
        fail("cannot write %s", path.c_str());
    return path;
}

std::vector<std::string> listdir()
{
    std::vector<std::string> names;
    DIR* d = opendir(fuzzdir().c_str());
    if (!d) fail("cannot list %s", fuzzdir().c_str());
    while (dirent* e = readdir(d))
        if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
            names.push_back(e->d_name);
    closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

void cleardir()
{
    for (const std::string& n : listdir()) unlink((fuzzdir() + "/" + n).c_str());
}

void silentprompts() { setprompts(&silent); }

void fail(const char* fmt, ...)
{
    va_list a;
    va_start(a, fmt);
    std::fputs("fuzz check failed: ", stderr);
    std::vfprintf(stderr, fmt, a);
    std::fputc('\n', stderr);
    va_end(a);
    std::abort();
}
