// Triangle filling: the fast painter against the plain rule, edges and bands.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "raster/fill_plain.h"
#include "raster/image.h"

namespace {
const pal3 RED(255, 0, 0), BLUE(0, 0, 255), COL(10, 20, 30);
const int GUARD = 64;  // flag bytes past the end that nothing may touch

// An image with its flags, cleared to black, able to tell whether anything
// was written outside the pixels and flags of the image.
struct canvas {
    image I;
    std::vector<unsigned char> flags;

    canvas(int x, int y)
    {
        I.reset(x, y);
        std::memset(I.P, 0, I.pixelbytes() + 7);
        flags.assign((size_t)x * y + GUARD, 0);
    }
    bool painted(int i, int y) const { return flags[(size_t)y * I.X + i] == 1; }
    int count() const
    {
        int n = 0;
        for (size_t k = 0; k < (size_t)I.X * I.Y; k++) n += flags[k];
        return n;
    }
    // Pixels match their flags (col where painted, black elsewhere), and
    // row fill, spare bytes and the guard are untouched.
    void check(pal3 col)
    {
        for (int y = 0; y < I.Y; y++)
            for (int i = 0; i < I.X; i++) {
                const pal3 p = I.Row(y)[i];
                const pal3 want = painted(i, y) ? col : pal3();
                ASSERT_TRUE(p.blue == want.blue && p.green == want.green && p.red == want.red)
                    << "pixel " << i << "," << y;
                ASSERT_LE(flags[(size_t)y * I.X + i], 1);
            }
        const size_t ll = I.LL, data = 3 * (size_t)I.X;
        for (size_t r = 0; r < (size_t)I.Y; r++)
            for (size_t k = data; k < ll; k++) ASSERT_EQ(I.P[r * ll + k], 0) << "fill of row " << r;
        for (size_t k = 0; k < 7; k++) ASSERT_EQ(I.P[ll * I.Y + k], 0) << "spare byte";
        for (int k = 0; k < GUARD; k++) ASSERT_EQ(flags[(size_t)I.X * I.Y + k], 0) << "past the flags";
    }
};

// Paints on C with C's own flags.
void tri(canvas& C, xy a, xy b, xy c, pal3 col)
{
    C.I.filltriangle(&a, &b, &c, col, C.flags.data());
}
void span(canvas& C, double x1, double x2, int y, pal3 col)
{
    spanplain(&C.I, C.flags.data(), x1, x2, y, col);
}

// The plain rule, row after row: ceil of the smaller crossing, floor of the
// larger, clipped to the row. Bounds stay in double until they are inside
// the image, so far or non-finite crossings paint what the rule says (NaN:
// nothing).
void refspan(image& I, unsigned char* flags, double x1, double x2, double y, pal3 col)
{
    if (!(y >= 0 && y < I.Y)) return;
    if (x1 > x2) std::swap(x1, x2);
    const double first = std::max(std::ceil(x1), 0.0), last = std::min(std::floor(x2), I.X - 1.0);
    for (double i = first; i <= last; i++) {
        I.Row((int)y)[(long)i] = col;
        flags[(long)y * I.X + (long)i] = 1;
    }
}

// Every row from the top corner to the bottom one, those outside the image
// skipped, each crossing computed afresh by the rule.
void reftri(image& I, unsigned char* flags, xy a, xy b, xy c, pal3 col)
{
    if (a.y > b.y) std::swap(a, b);
    if (b.y > c.y) std::swap(b, c);
    if (a.y > b.y) std::swap(a, b);
    const float w = (float)I.X, h = (float)I.Y;
    a.x *= w, a.y *= h, b.x *= w, b.y *= h, c.x *= w, c.y *= h;
    if (c.y == a.y) return;
    const double ax = a.x, ay = a.y, bx = b.x, by = b.y, cx = c.x, cy = c.y;
    const double top = 0, bottom = I.Y - 1.0;
    if (by != ay)
        for (double y = std::max(std::ceil(ay), top); y <= std::min(std::floor(by), bottom); y++)
            refspan(I, flags, ax + (bx - ax) * (y - ay) / (by - ay), ax + (cx - ax) * (y - ay) / (cy - ay), y, col);
    if (cy != by)
        for (double y = std::max(std::ceil(by), top); y <= std::min(std::floor(cy), bottom); y++)
            refspan(I, flags, bx + (cx - bx) * (y - by) / (cy - by), ax + (cx - ax) * (y - ay) / (cy - ay), y, col);
}

// Both canvases hold the same bytes, pixels and flags alike.
void expectsame(const canvas& A, const canvas& B)
{
    ASSERT_EQ(std::memcmp(A.I.P, B.I.P, A.I.pixelbytes() + 7), 0);
    ASSERT_TRUE(A.flags == B.flags);
}

// A canvas, its reference twin and one for the plain painter, all starting
// from the same noise in pixels, row fill, spare bytes and flags (0 to 3),
// painted with triangles in turn; any byte that differs fails.
struct twins {
    canvas C, R, Q;

    twins(int w, int h, std::mt19937& rng) : C(w, h), R(w, h), Q(w, h)
    {
        for (size_t k = 0; k < C.I.pixelbytes() + 7; k++) C.I.P[k] = (unsigned char)rng();
        for (auto& f : C.flags) f = (unsigned char)(rng() & 3);
        for (canvas* T : {&R, &Q}) {
            std::memcpy(T->I.P, C.I.P, C.I.pixelbytes() + 7);
            T->flags = C.flags;
        }
    }
    void paint(const xy& a, const xy& b, const xy& c, pal3 col)
    {
        tri(C, a, b, c, col);
        reftri(R.I, R.flags.data(), a, b, c, col);
        fillplain(&Q.I, Q.flags.data(), a, b, c, col);
    }
    // Compares after each triangle on small canvases, at the end on big ones.
    void paintall(const std::vector<xy>& p, std::mt19937& rng, bool each)
    {
        for (size_t k = 0; k + 2 < p.size() && !testing::Test::HasFatalFailure(); k += 3) {
            paint(p[k], p[k + 1], p[k + 2], pal3((unsigned char)rng(), (unsigned char)rng(), (unsigned char)rng()));
            if (each) {
                SCOPED_TRACE(testing::Message() << "triangle " << k / 3 << ": (" << p[k].x << ", " << p[k].y
                                                << ") (" << p[k + 1].x << ", " << p[k + 1].y << ") (" << p[k + 2].x
                                                << ", " << p[k + 2].y << ") on " << (int)C.I.X << "x" << (int)C.I.Y);
                same();
            }
        }
        same();
    }
    void same() const
    {
        expectsame(C, R);
        expectsame(Q, R);  // the plain painter, on its own
    }
};

// Corners u = i / d, v = j / e, with i and j drawn from lo .. hi.
std::vector<xy> gridcorners(std::mt19937& rng, int count, double d, double e, int lo, int hi, int reach)
{
    std::uniform_int_distribution<int> at(lo, hi), step(-reach, reach);
    std::vector<xy> p;
    for (int t = 0; t < count; t++) {
        const int i = at(rng), j = at(rng);  // first corner, the others near it
        p.push_back(xy(i / d, j / e));
        for (int k = 0; k < 2; k++) p.push_back(xy((i + step(rng)) / d, (j + step(rng)) / e));
    }
    return p;
}
}

TEST(Fill, HalfSquareOnFourByFourPaintsThirteenPixels)
{
    canvas C(4, 4);
    tri(C, xy(0, 0), xy(1, 0), xy(0, 1), COL);
    const char* want[4] = {"####", "####", "###.", "##.."};
    for (int y = 0; y < 4; y++)
        for (int i = 0; i < 4; i++) EXPECT_EQ(C.painted(i, y), want[y][i] == '#') << i << "," << y;
    EXPECT_EQ(C.count(), 13);
    C.check(COL);
    // Bytes of a pixel are blue, green, red; row 0 is the last stored row.
    const unsigned char* top = C.I.P + 3 * C.I.LL;
    EXPECT_EQ(top[0], 30);
    EXPECT_EQ(top[1], 20);
    EXPECT_EQ(top[2], 10);
}

TEST(Fill, MissingCornerOrNoHeightPaintsNothing)
{
    canvas C(8, 8);
    xy a(0, 0), b(1, 0), c(0, 1);
    C.I.filltriangle(nullptr, &b, &c, COL, C.flags.data());
    C.I.filltriangle(&a, nullptr, &c, COL, C.flags.data());
    C.I.filltriangle(&a, &b, nullptr, COL, C.flags.data());
    tri(C, xy(-5, 0.5), xy(5, 0.5), xy(0.25, 0.5), COL);  // one row, no height
    tri(C, xy(0, 0.25), xy(1, 0.25), xy(0.5, 0.25), COL);
    EXPECT_EQ(C.count(), 0);
    C.check(COL);
}

TEST(Fill, WholeSquarePaintsEveryPixel)
{
    for (int w : {1, 2, 7, 64})
        for (int h : {1, 5, 64}) {
            SCOPED_TRACE(testing::Message() << w << "x" << h);
            canvas C(w, h);
            tri(C, xy(0, 0), xy(1, 0), xy(1, 1), COL);
            tri(C, xy(0, 0), xy(1, 1), xy(0, 1), COL);
            EXPECT_EQ(C.count(), w * h);
            C.check(COL);
        }
}

TEST(Fill, CornersOnWholePixelsArePainted)
{
    canvas C(8, 8);
    // Corners (1,1), (6,2), (2,6) in pixels; any order of the arguments.
    tri(C, xy(6 / 8.0, 2 / 8.0), xy(2 / 8.0, 6 / 8.0), xy(1 / 8.0, 1 / 8.0), COL);
    EXPECT_TRUE(C.painted(1, 1));
    EXPECT_TRUE(C.painted(6, 2));
    EXPECT_TRUE(C.painted(2, 6));
    EXPECT_FALSE(C.painted(0, 0));
    EXPECT_FALSE(C.painted(7, 2));
    EXPECT_FALSE(C.painted(2, 7));
    C.check(COL);
}

TEST(Fill, ThinTriangleBetweenSamplesPaintsNothing)
{
    canvas C(8, 8);
    // Between columns 2 and 3 on every row, and between rows 3 and 4.
    tri(C, xy(2.25 / 8, -1), xy(2.75 / 8, -1), xy(2.5 / 8, 2), COL);
    tri(C, xy(-1, 3.25 / 8), xy(2, 3.5 / 8), xy(-1, 3.75 / 8), COL);
    EXPECT_EQ(C.count(), 0);
    // The same strip one sample wide paints exactly one column.
    tri(C, xy(2.75 / 8, -1), xy(3.25 / 8, -1), xy(3 / 8.0, 2), COL);
    for (int y = 0; y < 8; y++) EXPECT_TRUE(C.painted(3, y));
    EXPECT_EQ(C.count(), 8);
    C.check(COL);
}

TEST(Fill, SharedEdgeIsPaintedByBothAndTheLaterWins)
{
    canvas A(9, 9), B(9, 9);
    tri(A, xy(0, 0), xy(1, 0), xy(1, 1), RED);
    tri(B, xy(0, 0), xy(1, 1), xy(0, 1), BLUE);
    canvas C(9, 9);
    tri(C, xy(0, 0), xy(1, 0), xy(1, 1), RED);
    tri(C, xy(0, 0), xy(1, 1), xy(0, 1), BLUE);
    for (int k = 0; k < 9; k++) {
        EXPECT_TRUE(A.painted(k, k));
        EXPECT_TRUE(B.painted(k, k));
        EXPECT_EQ(C.I.Row(k)[k].blue, 255);
        EXPECT_EQ(C.I.Row(k)[k].red, 0);
    }
    EXPECT_EQ(C.I.Row(0)[8].red, 255);
    EXPECT_EQ(C.count(), 81);
}

TEST(Fill, CornersAreScaledInSinglePrecision)
{
    // 0.1f * 640 is 64.00000095 in double but exactly 64 in float, so row
    // 64 is the triangle's first row.
    canvas C(640, 640);
    tri(C, xy(0.1, 0.1), xy(0.5, 0.1), xy(0.1, 0.5), COL);
    EXPECT_TRUE(C.painted(64, 64));
    EXPECT_TRUE(C.painted(320, 64));
    EXPECT_FALSE(C.painted(64, 63));
    EXPECT_FALSE(C.painted(321, 64));
}

TEST(Fill, CornersOutsideAreClippedRowByRowAndColumnByColumn)
{
    const xy cases[][3] = {
        {xy(-0.5, -0.5), xy(1.5, 0.25), xy(0.25, 1.5)},  // covers a corner region
        {xy(-3, 0.5), xy(4, 0.5), xy(0.5, 3)},           // wide
        {xy(0.5, -200), xy(0.6, 300), xy(0.4, 0.5)},    // tall, thin
        {xy(-1000, -1000), xy(1000, -1000), xy(0, 1000)},  // contains the image
        {xy(-3000, -1), xy(4000, 0.5), xy(0.5, 5000)},
    };
    for (const auto& t : cases) {
        canvas C(13, 11), R(13, 11);
        tri(C, t[0], t[1], t[2], COL);
        reftri(R.I, R.flags.data(), t[0], t[1], t[2], COL);
        expectsame(C, R);
        C.check(COL);
        EXPECT_GT(C.count(), 0);
    }
    canvas C(13, 11);
    tri(C, xy(-0.9, 0), xy(-0.1, 0.5), xy(-0.5, 1), COL);  // left
    tri(C, xy(1.01, 0), xy(1.9, 0.5), xy(1.5, 1), COL);    // right
    tri(C, xy(0, -0.9), xy(1, -0.5), xy(0.5, -0.01), COL);  // above
    tri(C, xy(0, 1.01), xy(1, 1.5), xy(0.5, 1.9), COL);    // below, from row Y on
    tri(C, xy(0, 1), xy(1, 1), xy(0.5, 1.5), COL);
    EXPECT_EQ(C.count(), 0);
    C.check(COL);
}

TEST(Fill, FarCornersEndAtOnceAndStayInside)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float far[] = {1e30f, -1e30f, 3e38f, -3e38f, 1e9f, -1e9f, inf, -inf, nan, 0.5f};
    canvas C(16, 16);
    // Every pairing of far values on every coordinate: each call must return
    // at once (the test's time limit catches a walk over 1e30 rows).
    for (float u : far)
        for (float v : far) {
            tri(C, xy(u, v), xy(0.5, 0.5), xy(0.25, 0.75), COL);
            tri(C, xy(u, 0.25), xy(0.75, v), xy(-u, -v), COL);
            tri(C, xy(-1e30, v), xy(1e30, v), xy(u, 0.5), COL);
            tri(C, xy(0.25, -1e30), xy(0.75, 1e30), xy(u, v), COL);
            span(C, u, v, 3, COL);
            span(C, v, u, 100000, COL);
            span(C, -1e300, 1e300, -7, COL);
        }
    C.check(COL);
}

TEST(Fill, SpansClipAndFlagWhatTheyPaint)
{
    canvas C(10, 3);
    span(C, 7.5, 2.5, 1, COL);   // ends in either order
    span(C, -4, 1e12, 0, COL);
    span(C, 8.2, 8.9, 2, COL);   // no whole column inside
    span(C, 9, 9, 2, COL);
    span(C, -3, -0.5, 2, COL);
    for (int i = 0; i < 10; i++) {
        EXPECT_EQ(C.painted(i, 1), i >= 3 && i <= 7);
        EXPECT_TRUE(C.painted(i, 0));
        EXPECT_EQ(C.painted(i, 2), i == 9);
    }
    C.check(COL);
}

TEST(Fill, RandomTrianglesMatchTheRowByRowRule)
{
    std::mt19937 rng(20240611);
    std::uniform_real_distribution<double> near(-0.6, 1.6);
    std::uniform_int_distribution<int> side(1, 40), grid(-8, 48);
    for (int n = 0; n < 3000; n++) {
        const int w = side(rng), h = side(rng);
        canvas C(w, h), R(w, h);
        xy p[3];
        for (auto& q : p) {
            // Half on the pixel grid, where edges pass through samples.
            if (n % 2) q = xy(grid(rng) / (double)w, grid(rng) / (double)h);
            else q = xy(near(rng), near(rng));
        }
        if (n % 7 == 0) p[1].y = p[0].y;  // flat top or bottom
        for (int k = 0; k < 4; k++) {  // overlapping triangles in two colours
            pal3 col = k % 2 ? RED : BLUE;
            C.I.filltriangle(&p[k % 3], &p[(k + 1) % 3], &p[(k + 2) % 3], col, C.flags.data());
            reftri(R.I, R.flags.data(), p[k % 3], p[(k + 1) % 3], p[(k + 2) % 3], col);
        }
        SCOPED_TRACE(testing::Message() << "triangle " << n);
        expectsame(C, R);
    }
}

// Corners on grids of k/64, k/640 and k/4096, on images whose sides make
// many corners and crossings whole numbers or land a few hundredths beside
// them: the rows where a cheaper crossing could round the other way.
TEST(Fill, CornersOnFineGridsMatchTheRule)
{
    std::mt19937 rng(4096);
    struct setup { double d; int w, h, reach; };
    const setup cases[] = {
        {64, 64, 64, 6},     {64, 64, 64, 40},   {640, 640, 640, 12}, {640, 64, 64, 40},
        {640, 37, 53, 90},   {4096, 4096, 48, 24}, {4096, 640, 640, 60}, {64, 640, 640, 3},
        {4096, 64, 40, 300}, {640, 20, 17, 200},
    };
    for (const setup& s : cases) {
        SCOPED_TRACE(testing::Message() << "k/" << s.d << " on " << s.w << "x" << s.h);
        twins T(s.w, s.h, rng);
        const int lo = -(int)s.d / 8, hi = (int)s.d + (int)s.d / 8;
        const bool small = s.w * s.h <= 64 * 64;
        T.paintall(gridcorners(rng, small ? 6000 : 3000, s.d, s.d, lo, hi, s.reach), rng, small);
        if (HasFatalFailure()) return;
    }
}

// Corners a few units of 2^-16 of a pixel, or a few float steps, beside
// whole pixels: crossings at and around the margin where the fast
// crossings must give way to the exact ones.
TEST(Fill, CrossingsBesideWholeNumbersMatchTheRule)
{
    std::mt19937 rng(65536);
    const double offs[] = {0, 0x1p-24, -0x1p-24, 0x1p-20, -0x1p-20, 0x1p-17, -0x1p-17, 0x1p-16, -0x1p-16,
                           0x3p-17, -0x3p-17, 0x1p-15, -0x1p-15, 0x5p-17, -0x5p-17, 0x1p-14, 0x1p-10, 0.5};
    std::uniform_int_distribution<int> at(-3, 40), step(-9, 9), pick(0, sizeof offs / sizeof offs[0] - 1);
    for (int w : {37, 40, 41}) {
        twins T(w, 36, rng);
        std::vector<xy> p;
        for (int t = 0; t < 6000; t++) {
            const int i = at(rng), j = at(rng);
            for (int k = 0; k < 3; k++) {
                const int di = k ? step(rng) : 0, dj = k ? step(rng) : 0;
                p.push_back(xy((i + di + offs[pick(rng)]) / w, (j + dj + offs[pick(rng)]) / 36));
            }
        }
        T.paintall(p, rng, true);
        if (HasFatalFailure()) return;
    }
}

// Big, tiny and far triangles, long spans, narrow images and the last
// columns of a row, where the painting changes its way of writing.
TEST(Fill, BigTinyAndFarTrianglesMatchTheRule)
{
    std::mt19937 rng(1000000000u);
    const float inf = std::numeric_limits<float>::infinity();
    std::uniform_real_distribution<double> unit(0, 1);
    // Scales of the corners' spread, in image widths: some beyond the
    // reach of the fast crossings (2^18 pixels), some non-finite.
    const double spread[] = {1e-4, 0.01, 0.2, 1, 3, 60, 300, 1e4, 1e7, 1e30, 3e38};
    for (int w : {1, 2, 5, 7, 8, 9, 15, 16, 17, 24, 70})
        for (int h : {1, 3, 9, 70}) {
            twins T(w, h, rng);
            std::vector<xy> p;
            for (int t = 0; t < 60; t++) {
                const double s = spread[t % 11], cu = unit(rng), cv = unit(rng);
                for (int k = 0; k < 3; k++) {
                    double u = cu + s * (unit(rng) - 0.5), v = cv + s * (unit(rng) - 0.5);
                    if (t % 23 == 22) u = k ? u : -inf;  // non-finite corners
                    if (t % 29 == 28) v = k == 1 ? inf : v;
                    if (t % 17 == 16) u = 1 - unit(rng) * 10 / w;  // the last columns
                    p.push_back(xy(u, v));
                }
            }
            SCOPED_TRACE(testing::Message() << w << "x" << h);
            T.paintall(p, rng, true);
            if (HasFatalFailure()) return;
        }
}

// Long edges through whole pixels, with corners from a few pixels to 2^40
// pixels away: every row they cross meets them on a whole number or a hair
// beside it, after hundreds of rows of stepping.
TEST(Fill, LongEdgesThroughWholePixelsMatchTheRule)
{
    std::mt19937 rng(512);
    const int side = 512;  // a power of two: u = x / 512 is exact in float
    std::uniform_int_distribution<int> at(0, side - 1), dir(-6, 6), sign(0, 1);
    const double reach[] = {1, 3, 37, 300, 4096, 65536, 131075, 1048576, 0x1p30, 0x1p40};
    twins T(side, side, rng);
    std::vector<xy> p;
    for (int t = 0; t < 400; t++) {
        const double m = reach[t % 10], k = at(rng), j = at(rng);
        const int dx = dir(rng), dy = dir(rng) | 1;  // never flat
        p.push_back(xy((k - m * dx) / side, (j - m * dy) / side));
        p.push_back(xy((k + m * dx) / side, (j + m * dy) / side));
        // The third corner on another such edge, or anywhere near.
        const double m2 = reach[(t / 10) % 10] * (sign(rng) ? 1 : -1);
        if (t % 3) p.push_back(xy((k + m2 * dir(rng)) / side, (j + m2) / side));
        else p.push_back(xy(at(rng) / (double)side, at(rng) / (double)side));
    }
    T.paintall(p, rng, true);
}

// Painted pixels take the colour and painted flags become 1 whatever they
// held; every other byte keeps what it held, noise included.
TEST(Fill, PaintingSetsItsPixelsAndFlagsAndNothingElse)
{
    std::mt19937 rng(3);
    canvas C(23, 19);
    for (size_t k = 0; k < C.I.pixelbytes() + 7; k++) C.I.P[k] = (unsigned char)rng();
    for (auto& f : C.flags) f = 2 + (unsigned char)(rng() % 250);
    const std::vector<unsigned char> before(C.I.P, C.I.P + C.I.pixelbytes() + 7), flagsbefore = C.flags;
    tri(C, xy(0.1, 0.1), xy(0.9, 0.3), xy(0.4, 0.95), COL);
    span(C, 0.5, 6.5, 0, RED);
    const size_t ll = C.I.LL;
    int painted = 0;
    for (int y = 0; y < 19; y++)
        for (int i = 0; i < 23; i++) {
            const unsigned char f = C.flags[(size_t)y * 23 + i];
            const unsigned char* p = C.I.P + (size_t)(18 - y) * ll + 3 * i;
            const unsigned char* q = before.data() + (size_t)(18 - y) * ll + 3 * i;
            if (f == 1) {
                painted++;
                const pal3 want = y == 0 && i >= 1 && i <= 6 ? RED : COL;
                EXPECT_TRUE(p[0] == want.blue && p[1] == want.green && p[2] == want.red) << i << "," << y;
            } else {
                EXPECT_EQ(f, flagsbefore[(size_t)y * 23 + i]) << i << "," << y;
                EXPECT_EQ(std::memcmp(p, q, 3), 0) << i << "," << y;
            }
        }
    EXPECT_GT(painted, 100);
    for (size_t r = 0; r < 19; r++)
        EXPECT_EQ(std::memcmp(C.I.P + r * ll + 69, before.data() + r * ll + 69, ll - 69), 0) << "fill of row " << r;
    EXPECT_EQ(std::memcmp(C.I.P + 19 * ll, before.data() + 19 * ll, 7), 0);
    EXPECT_TRUE(std::equal(C.flags.end() - GUARD, C.flags.end(), flagsbefore.end() - GUARD));
}

// Spans of every length from every column, clipped or not, by both
// painters: the short ones are written in overlapping pieces that must
// neither miss a pixel nor touch one past the span.
TEST(Fill, RandomSpansMatchTheRule)
{
    std::mt19937 rng(17);
    std::uniform_real_distribution<double> x(-30, 60), frac(0, 1);
    std::uniform_int_distribution<int> y(-2, 12), whole(-3, 50);
    const double far[] = {1e300, -1e300, std::numeric_limits<double>::infinity(), std::nan("")};
    for (int w : {1, 7, 8, 9, 33, 64}) {
        twins T(w, 10, rng);
        for (int n = 0; n < 4000; n++) {
            double x1 = n % 3 ? x(rng) : whole(rng), x2 = n % 5 ? x(rng) : whole(rng);
            if (n % 97 == 0) x1 = far[n % 4];
            if (n % 4 == 1) x2 = x1 + n % 23 - frac(rng);  // lengths 0 to 22 everywhere
            const int row = y(rng);
            span(T.C, x1, x2, row, COL);
            refspan(T.R.I, T.R.flags.data(), x1, x2, row, COL);
            spanplain(&T.Q.I, T.Q.flags.data(), x1, x2, row, COL);
        }
        T.same();
    }
}

// Corners nearly in a line: the two crossings of a row come within a hair
// of each other, and rounding may put them the other way round.
TEST(Fill, SliversMatchTheRule)
{
    std::mt19937 rng(271828);
    std::uniform_real_distribution<double> unit(-0.1, 1.1), along(-0.2, 1.2);
    const double off[] = {0, 1e-9, -1e-9, 1e-7, -1e-7, 1e-5, -1e-5, 0x1p-20, -0x1p-20, 1e-3};
    for (int w : {40, 97}) {
        twins T(w, 53, rng);
        std::vector<xy> p;
        for (int t = 0; t < 6000; t++) {
            const double ax = unit(rng), ay = unit(rng), cx = unit(rng), cy = unit(rng), k = along(rng);
            p.push_back(xy(ax, ay));
            p.push_back(xy(ax + k * (cx - ax) + off[t % 10], ay + k * (cy - ay) - off[(t / 10) % 10]));
            p.push_back(xy(cx, cy));
        }
        T.paintall(p, rng, true);
        if (HasFatalFailure()) return;
    }
}

TEST(Fill, PaintedExactlyInsideTheTriangle)
{
    // The rule seen from each pixel: clearly inside is painted, clearly
    // outside is not (points within a hair of an edge may go either way).
    std::mt19937 rng(77);
    std::uniform_real_distribution<double> near(-0.3, 1.3);
    for (int n = 0; n < 500; n++) {
        canvas C(24, 17);
        xy p[3] = {xy(near(rng), near(rng)), xy(near(rng), near(rng)), xy(near(rng), near(rng))};
        tri(C, p[0], p[1], p[2], COL);
        double q[3][2];
        for (int k = 0; k < 3; k++) {
            q[k][0] = (float)(p[k].x * 24.0f);
            q[k][1] = (float)(p[k].y * 17.0f);
        }
        const double area2 = (q[1][0] - q[0][0]) * (q[2][1] - q[0][1]) - (q[1][1] - q[0][1]) * (q[2][0] - q[0][0]);
        if (std::fabs(area2) < 1e-3) continue;
        for (int y = 0; y < 17; y++)
            for (int i = 0; i < 24; i++) {
                double lo = 1e9;  // distance to the nearest edge, signed inward
                for (int k = 0; k < 3; k++) {
                    const double* s = q[k];
                    const double* e = q[(k + 1) % 3];
                    double ex = e[0] - s[0], ey = e[1] - s[1];
                    double d = (ex * (y - s[1]) - ey * (i - s[0])) / std::hypot(ex, ey);
                    lo = std::min(lo, area2 > 0 ? d : -d);
                }
                if (lo > 1e-6) {
                    ASSERT_TRUE(C.painted(i, y)) << "inside " << i << "," << y << " n " << n;
                } else if (lo < -1e-6) {
                    ASSERT_FALSE(C.painted(i, y)) << "outside " << i << "," << y << " n " << n;
                }
            }
    }
}

// Painting a triangle band by band, the bands covering the rows with some
// reaching past the image, gives what painting it whole gives; a band
// paints nothing outside its rows. Near, far and non-finite corners, so
// both painters are held to it.
TEST(Fill, BandsOfRowsAddUpToTheWhole)
{
    std::mt19937 rng(77);
    std::uniform_real_distribution<double> unit(0, 1);
    const double spread[] = {0.003, 0.05, 0.4, 2, 1e7};
    for (int side : {9, 64, 130}) {
        canvas W(side, side), B(side, side), F(side, side), G(side, side);
        for (int t = 0; t < 400 && !HasFatalFailure(); t++) {
            const double s = spread[t % 5], cu = unit(rng), cv = unit(rng);
            xy p[3];
            for (xy& q : p) q = xy(cu + s * (unit(rng) - 0.5), cv + s * (unit(rng) - 0.5));
            if (t % 37 == 36) p[1].y = std::numeric_limits<float>::infinity();
            const pal3 col((unsigned char)rng(), (unsigned char)rng(), (unsigned char)rng());
            tri(W, p[0], p[1], p[2], col);
            fillplain(&F.I, F.flags.data(), p[0], p[1], p[2], col);
            // Three bands at random cuts, the first from above the image,
            // the last past its end, painted in a random order.
            int cut[4] = {-5, (int)(rng() % side), 0, side + 3};
            cut[2] = cut[1] + (int)(rng() % (side - cut[1] + 1));
            int order[3] = {0, 1, 2};
            std::shuffle(order, order + 3, rng);
            for (int b : order) {
                B.I.filltriangle(&p[0], &p[1], &p[2], col, B.flags.data(), cut[b], cut[b + 1] - 1);
                fillplain(&G.I, G.flags.data(), p[0], p[1], p[2], col, cut[b], cut[b + 1] - 1);
            }
            SCOPED_TRACE(testing::Message() << "triangle " << t << " on " << side);
            expectsame(W, B);
            expectsame(F, G);
            expectsame(W, F);
        }
        // One band alone leaves every row outside it untouched.
        canvas O(side, side);
        xy a(-0.5, -0.5), b(1.5, -0.5), c(0.5, 2);
        O.I.filltriangle(&a, &b, &c, COL, O.flags.data(), 3, 5);
        for (int y = 0; y < side; y++)
            for (int i = 0; i < side; i++) ASSERT_EQ(O.painted(i, y), y >= 3 && y <= 5) << i << "," << y;
    }
}
