#include <gtest/gtest.h>

#include <cstring>

#include "raster/image.h"

// image is byte-packed: checks take its fields as +I.X, a copy, since a
// reference to a misaligned field is undefined.
namespace {
// The 16 standard colours as red, green, blue.
const int standard[16][3] = {
    {0, 0, 0},       {0, 0, 170},   {0, 170, 0},   {0, 170, 170},
    {170, 0, 0},     {170, 0, 170}, {170, 170, 0}, {170, 170, 170},
    {85, 85, 85},    {0, 0, 255},   {0, 255, 0},   {0, 255, 255},
    {255, 0, 0},     {255, 0, 255}, {255, 255, 0}, {255, 255, 255},
};

void expectentry(const pal4& e, int r, int g, int b, int rsv)
{
    EXPECT_EQ(e.red, r);
    EXPECT_EQ(e.green, g);
    EXPECT_EQ(e.blue, b);
    EXPECT_EQ(e.rsv, rsv);
}
}

TEST(Image, NewImageIsEmptyWithStandardColours)
{
    image I;
    EXPECT_EQ(I.P, nullptr);
    EXPECT_EQ(+I.X, 0);
    EXPECT_EQ(+I.Y, 0);
    EXPECT_EQ(+I.bpp, 1);
    EXPECT_EQ(+I.rbpp, 1);
    EXPECT_EQ(+I.ncolors, 2);
    EXPECT_EQ(+I.ncolorimportant, 2);
    EXPECT_EQ(+I.LL, 0);
    EXPECT_EQ(+I.size, 40);
    EXPECT_EQ(+I.planes, 1);
    expectentry(I.bkgd, 255, 255, 255, 255);
    expectentry(I.frgd, 255, 255, 255, 255);
    for (int i = 0; i < 16; i++) {
        SCOPED_TRACE(i);
        expectentry(I.pal[i], standard[i][0], standard[i][1], standard[i][2], 0);
    }
    for (int i = 16; i < 256; i++) expectentry(I.pal[i], 0, 0, 0, 0);
}

TEST(Image, ResetSetsHeaderAndRowLength)
{
    struct { long x, y; short bpp, rbpp; int LL, ncolors, rbppafter; } cases[] = {
        {640, 640, 24, -1, 1920, 0, 24},
        {641, 641, 24, -1, 1924, 0, 24},
        {2048, 2048, 24, -1, 6144, 0, 24},
        {7, 5, 24, -1, 24, 0, 24},
        {3, 2, 16, -1, 8, 0, 16},
        {5, 5, 4, -1, 4, 16, 4},
        {3, 3, 8, 4, 4, 256, 4},
        {10, 1, 1, -1, 4, 2, 1},
        {33, 1, 1, -1, 8, 2, 1},
    };
    image I;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << "x" << c.y << " at " << c.bpp);
        unsigned char* p = I.reset(c.x, c.y, c.bpp, c.rbpp);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p, I.P);
        EXPECT_EQ(+I.X, c.x);
        EXPECT_EQ(+I.Y, c.y);
        EXPECT_EQ(+I.bpp, c.bpp);
        EXPECT_EQ(+I.rbpp, c.rbppafter);
        EXPECT_EQ(+I.LL, c.LL);
        EXPECT_EQ(I.pixelbytes(), (size_t)c.LL * c.y);
        EXPECT_EQ(+I.ncolors, c.ncolors);
        EXPECT_EQ(+I.ncolorimportant, c.ncolors);
        EXPECT_EQ(+I.size, 40);
        EXPECT_EQ(+I.planes, 1);
        EXPECT_EQ(+I.compression, 0);
        EXPECT_EQ(+I.imagesize, 0);
        EXPECT_EQ(+I.XDPM, 12000);
        EXPECT_EQ(+I.YDPM, 12000);
        expectentry(I.bkgd, 255, 255, 255, 255);
        expectentry(I.pal[15], 255, 255, 255, 0);
        // The whole block, spare bytes included, must be ours to touch.
        std::memset(I.P, 0x5a, I.pixelbytes() + 7);
    }
    EXPECT_EQ(I.reset(0, 0, 1, -1), nullptr);
    EXPECT_EQ(I.P, nullptr);
}

TEST(Image, SizesWithoutPixelsGiveNoBlock)
{
    image I;
    EXPECT_EQ(I.reset(0, 100, 24, -1), nullptr);
    EXPECT_EQ(+I.Y, 100);
    EXPECT_EQ(+I.ncolors, 0);
    EXPECT_EQ(I.pixelbytes(), 0u);
    EXPECT_EQ(I.reset(100, -1, 24, -1), nullptr);
    EXPECT_EQ(+I.X, 100);
    EXPECT_EQ(+I.Y, -1);
    EXPECT_EQ(+I.LL, 300);
    EXPECT_EQ(I.pixelbytes(), 0u);
    EXPECT_EQ(+I.XDPM, 12000);
}

TEST(Image, SidesAboveMaxsideAreRefused)
{
    image I;
    EXPECT_EQ(I.reset(MAXSIDE + 1, 10, 24, -1), nullptr);
    EXPECT_EQ(I.reset(10, MAXSIDE + 1, 24, -1), nullptr);
    // A side past 32 bits must not wrap round to a small one.
    if (sizeof(long) > 4) {
        EXPECT_EQ(I.reset((long)((1ull << 32) + 5), 5, 24, -1), nullptr);
        EXPECT_EQ(I.reset(5, (long)((1ull << 32) + 5), 24, -1), nullptr);
        EXPECT_EQ(I.reset((long)-((1ll << 32) - 5), 5, 24, -1), nullptr);
    }
    EXPECT_NE(I.reset(4, 4, 24, -1), nullptr);
}

TEST(Image, LargestSideNeedsNoWideningByTheCaller)
{
    image I;
    unsigned char* p = I.reset(MAXSIDE, MAXSIDE, 24, -1);
    EXPECT_EQ(+I.LL, 98304);
    EXPECT_EQ((unsigned long long)I.pixelbytes(), 3221225472ull);
    if (p) {  // 3 GiB: the heap may refuse it, and then P is simply null
        EXPECT_EQ((unsigned char*)I.Row(0), p + (size_t)32767 * 98304);
        EXPECT_EQ((unsigned char*)I.Row(MAXSIDE - 1), p);
        I.Row(0)[MAXSIDE - 1] = pal3(1, 2, 3);
        EXPECT_EQ(p[3221225471ull], 1);
    }
    I.reset(0, 0, 1, -1);
    EXPECT_EQ(I.P, nullptr);
}

TEST(Image, RowZeroIsTheTopOfThePicture)
{
    image I;
    I.reset(640, 640, 24, -1);
    EXPECT_EQ((unsigned char*)I.Row(0), I.P + 639 * 1920);
    EXPECT_EQ((unsigned char*)I.Row(639), I.P);
    EXPECT_EQ((unsigned char*)&I.Row(3)[2], I.P + 636 * 1920 + 6);
}

TEST(Image, RowFillAndSpareBytesAreZero)
{
    image I;
    // Dirty a block, give it back and take one of the same size: the heap
    // tends to hand the same bytes back, so fill left uncleared shows.
    for (int pass = 0; pass < 3; pass++) {
        for (long x : {7L, 641L, 1L, 2L}) {
            SCOPED_TRACE(x);
            ASSERT_NE(I.reset(x, 5, 24, -1), nullptr);
            size_t data = 3 * (size_t)x, ll = (size_t)I.LL;
            for (size_t r = 0; r < 5; r++)
                for (size_t k = data; k < ll; k++) ASSERT_EQ(I.P[r * ll + k], 0) << "row " << r;
            for (size_t k = 0; k < 7; k++) ASSERT_EQ(I.P[5 * ll + k], 0);
            std::memset(I.P, 0xa5, I.pixelbytes() + 7);
        }
    }
    ASSERT_NE(I.reset(10, 3, 1, -1), nullptr);  // 2 data bytes, 2 fill bytes
    for (size_t r = 0; r < 3; r++) EXPECT_EQ(I.P[r * 4 + 2] | I.P[r * 4 + 3], 0);
}
