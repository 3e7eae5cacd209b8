// Test helpers: temporary folders, whole files, .BMP files read back.
#include "support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

tempdir::tempdir()
{
    char name[] = "/tmp/uvtestXXXXXX";
    if (!mkdtemp(name)) std::abort();  // no fixtures, no tests
    path = name;
}

tempdir::~tempdir()
{
    std::error_code e;
    std::filesystem::remove_all(path, e);
}

std::string tempdir::put(const std::string& name, const std::string& text) const
{
    std::string p = at(name);
    writefile(p, text);
    return p;
}

std::set<std::string> tempdir::files(const std::string& sub) const
{
    std::set<std::string> s;
    for (const auto& e : std::filesystem::directory_iterator(sub.empty() ? path : at(sub)))
        s.insert(e.path().filename().string());
    return s;
}

bool exists(const std::string& path) { return std::filesystem::exists(path); }

std::string readfile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<unsigned char> readbytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writefile(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

std::string slurp(FILE* f)
{
    std::string s;
    std::rewind(f);
    char buf[4096];
    size_t k;
    while ((k = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, k);
    std::fclose(f);
    return s;
}

namespace {
unsigned le32(const std::vector<unsigned char>& b, size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | (unsigned)b[at + 3] << 24;
}
}  // namespace

bmpfile readbmp(const std::string& path)
{
    bmpfile f;
    f.bytes = readbytes(path);
    if (f.bytes.size() < 54 || f.bytes[0] != 'B' || f.bytes[1] != 'M') return f;
    f.width = (int)le32(f.bytes, 18);
    f.height = (int)le32(f.bytes, 22);
    size_t row = ((size_t)f.width * 3 + 3) & ~(size_t)3;
    f.ok = le32(f.bytes, 10) == 54 && (f.bytes[28] | f.bytes[29] << 8) == 24 &&
           f.bytes.size() == 54 + row * f.height && le32(f.bytes, 2) == f.bytes.size();
    return f;
}

unsigned bmpfile::pixel(int y, int x) const
{
    size_t row = ((size_t)width * 3 + 3) & ~(size_t)3;
    size_t at = 54 + (size_t)(height - 1 - y) * row + (size_t)x * 3;
    return bytes[at + 2] << 16 | bytes[at + 1] << 8 | bytes[at];
}

int bmpfile::count(unsigned rgb) const
{
    int c = 0;
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++) c += pixel(y, x) == rgb;
    return c;
}
