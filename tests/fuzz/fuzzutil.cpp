// What the fuzz targets share: a scratch folder, silent prompts, failing loudly.
#include "tests/fuzz/fuzzutil.h"

#include <dirent.h>
#include <unistd.h>
#include <zlib.h>

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

// Every target starts with the prompts silent.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    setprompts(&silent);
    return 0;
}

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

std::string gzipbytes(const uint8_t* data, size_t n)
{
    z_stream z = {};
    if (deflateInit2(&z, 1, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) fail("deflateInit2");
    std::string out(deflateBound(&z, (uLong)n) + 64, '\0');
    z.next_in = (Bytef*)data;
    z.avail_in = (uInt)n;
    z.next_out = (Bytef*)&out[0];
    z.avail_out = (uInt)out.size();
    if (deflate(&z, Z_FINISH) != Z_STREAM_END) fail("deflate");
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

int gunzipbytes(const uint8_t* data, size_t n, size_t most, std::string* out)
{
    out->clear();
    size_t at = 0;
    while (at < n) {
        if (at > 0) {  // after a member: zeros to the end, or another member
            size_t k = at;
            while (k < n && data[k] == 0) k++;
            if (k == n) break;
            if (k > at) return 0;
        }
        z_stream z = {};
        if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK) fail("inflateInit2");
        z.next_in = (Bytef*)data + at;
        z.avail_in = (uInt)(n - at);
        int r;
        do {
            char buf[65536];
            z.next_out = (Bytef*)buf;
            z.avail_out = sizeof buf;
            r = inflate(&z, Z_NO_FLUSH);
            out->append(buf, sizeof buf - z.avail_out);
        } while (r == Z_OK && out->size() <= most);
        at = n - z.avail_in;
        inflateEnd(&z);
        if (out->size() > most) return -1;
        if (r != Z_STREAM_END) return 0;
    }
    return 1;
}
