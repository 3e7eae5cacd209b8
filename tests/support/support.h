// Helpers of the test binaries: a temporary folder for fixture files, whole
// files read and written, and a .BMP file read back pixel by pixel.
#pragma once
#include <cstdio>
#include <set>
#include <string>
#include <vector>

// A fresh folder under /tmp, removed with all it holds when it goes.
struct tempdir {
    std::string path;
    tempdir();
    ~tempdir();
    tempdir(const tempdir&) = delete;  // one owner, one removal
    tempdir& operator=(const tempdir&) = delete;
    // Writes text to the file name in the folder; returns its full path.
    std::string put(const std::string& name, const std::string& text) const;
    // Full path of name in the folder, made or not.
    std::string at(const std::string& name) const { return path + "/" + name; }
    // Names of what the folder, or its folder sub, holds; not recursive.
    std::set<std::string> files(const std::string& sub = "") const;
};

// True when there is a file, folder or device at path.
bool exists(const std::string& path);
// The whole file as text; empty when it can't be read.
std::string readfile(const std::string& path);
// The whole file as bytes, for headers read field by field.
std::vector<unsigned char> readbytes(const std::string& path);
// Writes text as the whole file, replacing what it held.
void writefile(const std::string& path, const std::string& text);
// What was written to the temporary file f, which it closes.
std::string slurp(FILE* f);

struct bmpfile {
    bool ok = false;            // a 24-bit file whose size fits its header
    int width = 0, height = 0;
    std::vector<unsigned char> bytes;
    // 0xRRGGBB of the pixel in picture row y (from the top), column x.
    unsigned pixel(int y, int x) const;
    // Pixels of the given colour.
    int count(unsigned rgb) const;
};

// The file read back; ok tells whether it is a 24-bit map to look into.
bmpfile readbmp(const std::string& path);
