// The image: its header fields, row layout and block.
#include <gtest/gtest.h>

#include <cstring>

#include "raster/image.h"

// image is byte-packed: checks take its fields as +I.X, a copy, since a
// reference to a misaligned field is undefined.

TEST(Image, NewImageIsEmpty)
{
    image I;
    EXPECT_EQ(I.P, nullptr);
    EXPECT_EQ(+I.X, 0);
    EXPECT_EQ(+I.Y, 0);
    EXPECT_EQ(+I.bpp, 24);
    EXPECT_EQ(+I.ncolors, 0);
    EXPECT_EQ(+I.LL, 0);
    EXPECT_EQ(+I.size, 40);
    EXPECT_EQ(+I.planes, 1);
}

TEST(Image, ResetSetsHeaderAndRowLength)
{
    struct { long x, y; int LL; } cases[] = {
        {640, 640, 1920}, {641, 641, 1924}, {2048, 2048, 6144}, {7, 5, 24}, {1, 1, 4}, {2, 3, 8},
    };
    image I;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << "x" << c.y);
        unsigned char* p = I.reset(c.x, c.y);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p, I.P);
        EXPECT_EQ(+I.X, c.x);
        EXPECT_EQ(+I.Y, c.y);
        EXPECT_EQ(+I.bpp, 24);
        EXPECT_EQ(+I.LL, c.LL);
        EXPECT_EQ(I.pixelbytes(), (size_t)c.LL * c.y);
        EXPECT_EQ(+I.ncolors, 0);
        EXPECT_EQ(+I.ncolorimportant, 0);
        EXPECT_EQ(+I.size, 40);
        EXPECT_EQ(+I.planes, 1);
        EXPECT_EQ(+I.compression, 0);
        EXPECT_EQ(+I.imagesize, 0);
        EXPECT_EQ(+I.XDPM, 12000);
        EXPECT_EQ(+I.YDPM, 12000);
        // The whole block, spare bytes included, must be ours to touch.
        std::memset(I.P, 0x5a, I.pixelbytes() + 7);
    }
    EXPECT_EQ(I.reset(0, 0), nullptr);
    EXPECT_EQ(I.P, nullptr);
}

TEST(Image, SizesWithoutPixelsGiveNoBlock)
{
    image I;
    EXPECT_EQ(I.reset(0, 100), nullptr);
    EXPECT_EQ(+I.Y, 100);
    EXPECT_EQ(+I.ncolors, 0);
    EXPECT_EQ(I.pixelbytes(), 0u);
    EXPECT_EQ(I.reset(100, -1), nullptr);
    EXPECT_EQ(+I.X, 100);
    EXPECT_EQ(+I.Y, -1);
    EXPECT_EQ(+I.LL, 300);
    EXPECT_EQ(I.pixelbytes(), 0u);
    EXPECT_EQ(+I.XDPM, 12000);
}

TEST(Image, SidesAboveMaxsideAreRefused)
{
    image I;
    EXPECT_EQ(I.reset(MAXSIDE + 1, 10), nullptr);
    EXPECT_EQ(I.reset(10, MAXSIDE + 1), nullptr);
    // A side past 32 bits must not wrap round to a small one.
    if (sizeof(long) > 4) {
        EXPECT_EQ(I.reset((long)((1ull << 32) + 5), 5), nullptr);
        EXPECT_EQ(I.reset(5, (long)((1ull << 32) + 5)), nullptr);
        EXPECT_EQ(I.reset((long)-((1ll << 32) - 5), 5), nullptr);
    }
    EXPECT_NE(I.reset(4, 4), nullptr);
}

TEST(Image, LargestSideNeedsNoWideningByTheCaller)
{
    image I;
    unsigned char* p = I.reset(MAXSIDE, MAXSIDE);
    EXPECT_EQ(+I.LL, 98304);
    EXPECT_EQ((unsigned long long)I.pixelbytes(), 3221225472ull);
    if (p) {  // 3 GiB: the heap may refuse it, and then P is simply null
        EXPECT_EQ((unsigned char*)I.Row(0), p + (size_t)32767 * 98304);
        EXPECT_EQ((unsigned char*)I.Row(MAXSIDE - 1), p);
        I.Row(0)[MAXSIDE - 1] = pal3(1, 2, 3);
        EXPECT_EQ(p[3221225471ull], 1);
    }
    I.reset(0, 0);
    EXPECT_EQ(I.P, nullptr);
}

TEST(Image, RowZeroIsTheTopOfThePicture)
{
    image I;
    I.reset(640, 640);
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
            ASSERT_NE(I.reset(x, 5), nullptr);
            size_t data = 3 * (size_t)x, ll = (size_t)I.LL;
            for (size_t r = 0; r < 5; r++)
                for (size_t k = data; k < ll; k++) ASSERT_EQ(I.P[r * ll + k], 0) << "row " << r;
            for (size_t k = 0; k < 7; k++) ASSERT_EQ(I.P[5 * ll + k], 0);
            std::memset(I.P, 0xa5, I.pixelbytes() + 7);
        }
    }
}
