// The map image, held in .BMP layout: the block from `size` to `pal` is the
// file's info header and colour table, the pixel block is the file's pixel
// data (rows bottom-up, each padded to a multiple of 4 bytes).
#pragma once
#include <cstddef>
#include <cstdint>
#include "mesh/types.h"

// Painted-pixel flags, one byte per pixel, index row * width + column:
// 0 empty, 1 painted, 2 filled in the current margin pass. Owned by the job.
extern unsigned char* used;

enum { MAXSIDE = 32768 };  // largest width and height an image takes

#pragma pack(push, 1)
struct image {
    unsigned char* P;       // pixel block, LL * Y + 7 bytes, or null
    char packing[16];
    short rbpp;
    pal4 bkgd, frgd;
    int32_t LL;             // bytes from one stored row to the next
    // .BMP info header, written as it stands
    int32_t size;           // 40
    int32_t X, Y;           // width and height in pixels
    int16_t planes;         // 1
    int16_t bpp;            // 1, 4, 8, 16 or 24
    int32_t compression;    // 0
    int32_t imagesize;      // 0
    int32_t XDPM, YDPM;     // 12000
    int32_t ncolors;        // 2^bpp up to 8 bits, else 0
    int32_t ncolorimportant;
    pal4 pal[256];          // colour table

    image();                // the empty image: 0 x 0, 1 bit, no pixels
    ~image();
    image(const image&) = delete;
    image& operator=(const image&) = delete;

    // Makes an x by y image of Bpp bits with a new, uncleared block; returns
    // P, null for an empty size or when the block cannot be had.
    unsigned char* reset(long x, long y, short Bpp, short Rbpp);
    unsigned char* makeP(); // block for the current X, Y, bpp
    void setLL();           // row length from X and bpp

    // Picture row y, counted from the top of the written map. Unchecked.
    pal3* Row(int y) { return (pal3*)(P + (size_t)(Y - 1 - y) * (size_t)LL); }

    size_t pixelbytes() const { return (size_t)LL * (size_t)(Y > 0 ? Y : 0); }

    // Fills the triangle A, B, C (texture units) with col, flagging each
    // painted pixel in `used`; nothing when a corner is null. Only rows from
    // to `to` are painted: threads painting different rows share the image.
    void filltriangle(const xy* A, const xy* B, const xy* C, pal3 col, int from = 0, int to = MAXSIDE);
    // Paints row y from column x1 to x2, clipped to the image, and flags it.
    void horizline(double x1, double x2, int y, pal3 col);
};
#pragma pack(pop)

static_assert(offsetof(image, pal) - offsetof(image, size) == 40, "BMP info header layout");
