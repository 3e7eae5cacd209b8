#include "fixture.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

tempdir::tempdir()
{
    char name[] = "/tmp/uvjobXXXXXX";
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
    std::ofstream(p, std::ios::binary) << text;
    return p;
}

bool exists(const std::string& path) { return std::filesystem::exists(path); }

namespace {
unsigned le32(const std::vector<unsigned char>& b, size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | (unsigned)b[at + 3] << 24;
}
}  // namespace

bmpfile readbmp(const std::string& path)
{
    bmpfile f;
    std::ifstream in(path, std::ios::binary);
    f.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
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
