#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "raster/png.h"
#include "tests/support/support.h"

typedef std::vector<unsigned char> bytes;

namespace {
// Several bands in every layout, the last one short; colour rows longer
// than the 5552 bytes Adler-32 sums before it reduces.
const int BIGX = 2001, BIGY = 601;
// Rows of 259 pixels end runs of zeros with 0, 1, 2 and 3 bytes beyond
// copies of 258, in one layout each.
const int ODDX = 259;

// A red "F" on blue, the top right pixel green and every seventh row
// speckled (greys alike): a swapped channel, a flipped row, a wrong row fill
// or a row taken for the one above shows. Noise is what deflate can only store.
const char* const F[5] = {"..###..", "..#....", "..##...", "..#....", "..#...."};
pal3 colourat(int x, int y, int X, int Y, bool grey, bool noise)
{
    unsigned h = (unsigned)(y * X + x) * 2654435761u;
    h = (h ^ h >> 15) * 2246822519u;
    h ^= h >> 13;
    pal3 c = F[y * 5 / Y][x * 7 / X] == '#' ? pal3(255, 0, 0) : pal3(0, 0, 255);
    if (x == X - 1 && y == 0) c = pal3(0, 255, 0);
    if (y % 7 == 3) c.green = (unsigned char)(x * x + y);
    if (noise) c = pal3(h >> 24, h >> 16, h >> 8);
    const unsigned char g = (unsigned char)(c.red / 2 + c.green / 4 + c.blue / 5);
    return grey ? pal3(g, g, g) : c;
}
// Top half in whole columns, so rows repeat; below, every value, changing
// on every row.
unsigned char alphaat(int x, int y, int Y)
{
    if (y < Y / 2) return x % 3 ? 200 : 0;
    return (x + 2 * y) % 5 == 0 ? 0 : (unsigned char)(1 + (x * 31 + y) % 255);
}

struct picture {
    image I;
    bytes alpha;
    picture(int X, int Y, bool grey, bool noise = false) : alpha((size_t)X * Y)
    {
        I.reset(X, Y);
        for (int y = 0; y < Y; y++)
            for (int x = 0; x < X; x++) {
                I.Row(y)[x] = colourat(x, y, X, Y, grey, noise);
                alpha[(size_t)y * X + x] = alphaat(x, y, Y);
            }
    }
};

int collect(void* ctx, const unsigned char* p, size_t n)
{
    ((bytes*)ctx)->insert(((bytes*)ctx)->end(), p, p + n);
    return 1;
}
// The file; empty when pngencode failed.
bytes encode(const image& I, bool grey, const unsigned char* alpha, int threads)
{
    bytes b;
    if (!pngencode(I, grey ? PNG_GREY : PNG_RGB, alpha, threads, bytesink{&b, collect})) b.clear();
    return b;
}
}  // namespace

TEST(Png, PngcheckPassesAndImageMagickReadsEveryPixelAndAlpha)
{
    tempdir dir;
    const std::string f = dir.at("map.png");
    const struct { int X, Y; bool noise; } sizes[] = {
        {1, 1, false}, {5, 3, false}, {ODDX, 40, false}, {640, 640, false}, {BIGX, BIGY, false}, {700, 500, true}};
    for (const auto& s : sizes)
        for (bool grey : {false, true})
            for (bool withalpha : {false, true}) {
                SCOPED_TRACE(std::to_string(s.X) + (s.noise ? " noise" : "") + (grey ? " grey" : "") + (withalpha ? " alpha" : ""));
                picture pic(s.X, s.Y, grey, s.noise);
                pic.I.XDPM = 2835 + s.X;  // pHYs: across, down (as made), per metre
                const bytes b = encode(pic.I, grey, withalpha ? pic.alpha.data() : nullptr, 2);
                ASSERT_FALSE(b.empty());
                const size_t at = std::string(b.begin(), b.end()).find("pHYs") + 4;
                ASSERT_GT(at, 4u);
                const bytes phys = {0, 0, (unsigned char)((2835 + s.X) >> 8), (unsigned char)(2835 + s.X), 0, 0, 0x2e, 0xe0, 1};
                EXPECT_TRUE(std::equal(phys.begin(), phys.end(), b.begin() + at));
                writefile(f, std::string(b.begin(), b.end()));
                EXPECT_EQ(std::system((std::string(PNGCHECK) + " -q '" + f + "'").c_str()), 0);
                FILE* p = popen((std::string(CONVERT) + " '" + f + "' -depth 8 rgba:-").c_str(), "r");
                ASSERT_NE(p, nullptr);
                bytes px(4 * (size_t)s.X * s.Y + 1);  // one more, which must stay unread
                const size_t got = std::fread(px.data(), 1, px.size(), p);
                EXPECT_EQ(pclose(p), 0);
                ASSERT_EQ(got, px.size() - 1);
                for (int y = 0; y < s.Y; y++)
                    for (int x = 0; x < s.X; x++) {
                        const pal3 c = colourat(x, y, s.X, s.Y, grey, s.noise);
                        const int a = withalpha && !alphaat(x, y, s.Y) ? 0 : 255;
                        const bytes want = {c.red, c.green, c.blue, (unsigned char)a};
                        const unsigned char* q = &px[4 * ((size_t)y * s.X + x)];
                        ASSERT_TRUE(std::equal(want.begin(), want.end(), q)) << "pixel " << x << "," << y;
                    }
            }
}

TEST(Png, SameBytesWhateverTheThreads)
{
    for (bool grey : {false, true}) {
        const picture pic(BIGX, BIGY, grey);
        for (const unsigned char* alpha : {(const unsigned char*)nullptr, pic.alpha.data()}) {
            const bytes one = encode(pic.I, grey, alpha, 1);
            ASSERT_FALSE(one.empty());
            for (int t : {2, 3, 8}) EXPECT_TRUE(encode(pic.I, grey, alpha, t) == one) << t << " threads";
        }
    }
}

namespace {
// Takes bytes up to its budget, then refuses every call, counting them.
struct refuser {
    size_t budget, got = 0;
    int refusals = 0;
};
int refuse(void* ctx, const unsigned char*, size_t n)
{
    refuser* r = (refuser*)ctx;
    if (r->refusals || r->got + n > r->budget) {
        r->refusals++;
        return 0;
    }
    r->got += n;
    return 1;
}
}  // namespace

TEST(Png, RefusingSinkStopsTheEncoder)
{
    const picture pic(BIGX, BIGY, false);
    const size_t total = encode(pic.I, false, pic.alpha.data(), 1).size();
    // The header cut, the first piece, a middle one, the end.
    for (size_t budget : {(size_t)40, (size_t)60, total / 2, total - 12, total - 1})
        for (int t : {1, 3}) {
            refuser r{budget};
            EXPECT_EQ(pngencode(pic.I, PNG_RGB, pic.alpha.data(), t, bytesink{&r, refuse}), 0);
            EXPECT_EQ(r.refusals, 1) << budget << " bytes, " << t << " threads";
        }
    refuser r{total};
    EXPECT_EQ(pngencode(pic.I, PNG_RGB, pic.alpha.data(), 3, bytesink{&r, refuse}), 1);
    EXPECT_EQ(r.got, total);

    // An image without pixels writes nothing.
    refuser none{0};
    image empty, failed;
    EXPECT_EQ(failed.reset(MAXSIDE + 1, 4), nullptr);
    EXPECT_EQ(pngencode(empty, PNG_RGB, nullptr, 2, bytesink{&none, refuse}), 0);
    EXPECT_EQ(pngencode(failed, PNG_GREY, nullptr, 2, bytesink{&none, refuse}), 0);
    EXPECT_EQ(none.refusals, 0);
}

TEST(Png, FlatColoursAndOutlinesTakeFarLessThanTheBmp)
{
    // Discs of a few colours with white rims on black, as a coloured map.
    image I;
    I.reset(1024, 1024);
    const pal3 cols[3] = {pal3(200, 150, 120), pal3(40, 140, 80), pal3(60, 120, 220)};
    for (int y = 0; y < 1024; y++)
        for (int x = 0; x < 1024; x++) {
            const int cx = x % 128 - 64, cy = y % 128 - 64, r2 = cx * cx + cy * cy;
            I.Row(y)[x] = r2 > 56 * 56 ? pal3() : r2 > 54 * 54 ? pal3(255, 255, 255) : cols[(x / 128 + y / 128) % 3];
        }
    const bytes b = encode(I, false, nullptr, 2);
    ASSERT_FALSE(b.empty());
    EXPECT_LT(b.size(), I.pixelbytes() / 20);
}
