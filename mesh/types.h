// Small value types shared by every part of uvpaint: texture and vertex
// points, and 24-bit pixels.
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

#pragma pack(pop)

static_assert(sizeof(xy) == 8 && sizeof(xyz) == 12, "packed points");
static_assert(sizeof(pal3) == 3, "packed colours");
