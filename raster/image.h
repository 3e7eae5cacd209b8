// The map image, held in .BMP layout: the info header as the file has it,
// and the pixel block as the file's pixel data (24 bits, rows bottom-up, each
// padded to a multiple of 4 bytes).
#pragma once
#include <cstddef>
#include <cstdint>
#include "mesh/types.h"

enum { MAXSIDE = 32768 };  // largest width and height an image takes

#pragma pack(push, 1)
struct image {
    unsigned char* P;       // pixel block, LL * Y + 7 bytes, or null
    int32_t LL;             // bytes from one stored row to the next
    // .BMP info header, written as it stands
    int32_t size;           // 40
    int32_t X, Y;           // width and height in pixels
    int16_t planes;         // 1
    int16_t bpp;            // 24
    int32_t compression;    // 0
    int32_t imagesize;      // 0
    int32_t XDPM, YDPM;     // 12000
    int32_t ncolors;        // 0: no colour table
    int32_t ncolorimportant;

    image();                // the empty image: 0 x 0, no pixels
    ~image();
    image(const image&) = delete;
    image& operator=(const image&) = delete;

    // Makes an x by y image with a new, uncleared block; returns P, null for
    // an empty size or when the block cannot be had.
    unsigned char* reset(long x, long y);

    // Picture row y, counted from the top of the written map. Unchecked.
    pal3* Row(int y) { return (pal3*)(P + (size_t)(Y - 1 - y) * (size_t)LL); }
    const pal3* Row(int y) const { return (const pal3*)(P + (size_t)(Y - 1 - y) * (size_t)LL); }

    size_t pixelbytes() const { return (size_t)LL * (size_t)(Y > 0 ? Y : 0); }

    // Fills the triangle A, B, C (texture units) with col, setting to 1 the
    // byte of flags (row * X + column) of each painted pixel; nothing when a
    // corner is null. Only rows from to `to` are painted: threads painting
    // different rows share the image.
    void filltriangle(const xy* A, const xy* B, const xy* C, pal3 col, unsigned char* flags, int from = 0,
                      int to = MAXSIDE);
};
#pragma pack(pop)

static_assert(offsetof(image, ncolorimportant) + 4 - offsetof(image, size) == 40, "BMP info header layout");
