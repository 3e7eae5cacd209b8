// Helpers of the job tests: a temporary folder for fixture files, and a .BMP
// file read back pixel by pixel.
#pragma once
#include <string>
#include <vector>

struct tempdir {
    std::string path;
    tempdir();
    ~tempdir();
    // Writes text to the file name in the folder; returns its full path.
    std::string put(const std::string& name, const std::string& text) const;
    std::string at(const std::string& name) const { return path + "/" + name; }
};

bool exists(const std::string& path);

struct bmpfile {
    bool ok = false;            // a 24-bit file whose size fits its header
    int width = 0, height = 0;
    std::vector<unsigned char> bytes;
    // 0xRRGGBB of the pixel in picture row y (from the top), column x.
    unsigned pixel(int y, int x) const;
    // Pixels of the given colour.
    int count(unsigned rgb) const;
};

bmpfile readbmp(const std::string& path);
