// Small value types shared by every part of uvpaint: texture and vertex
// points, 24-bit pixels and 32-bit colour-table entries.
#pragma once

#pragma pack(push, 1)

struct xy {            // a point of texture space: x = u, y = v
    float x, y;
    xy() : x(0), y(0) {}
    xy(double u, double v) : x((float)u), y((float)v) {}
};

struct xyz {           // a vertex position
    float x, y, z;
    xyz() : x(0), y(0), z(0) {}
    xyz(double a, double b, double c) : x((float)a), y((float)b), z((float)c) {}
};

struct pal3 {          // a 24-bit pixel in .BMP byte order
    unsigned char blue, green, red;
    pal3() : blue(0), green(0), red(0) {}
    pal3(unsigned char r, unsigned char g, unsigned char b) : blue(b), green(g), red(r) {}
};

struct pal4 {          // a .BMP colour-table entry
    unsigned char blue, green, red, rsv;
    pal4() : blue(0), green(0), red(0), rsv(0) {}
    pal4(const pal3& c) : blue(c.blue), green(c.green), red(c.red), rsv(0) {}
    pal4(unsigned char b, unsigned char g, unsigned char r, unsigned char s)
        : blue(b), green(g), red(r), rsv(s) {}
};

#pragma pack(pop)

static_assert(sizeof(xy) == 8 && sizeof(xyz) == 12, "packed points");
static_assert(sizeof(pal3) == 3 && sizeof(pal4) == 4, "packed colours");

// The 16 standard colours, blue-green-red, entry i at byte 3*i.
extern const unsigned char STDCOLS[48];
