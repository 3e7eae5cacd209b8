#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

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
        I.reset(x, y, 24, -1);
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
    used = C.flags.data();
    C.I.filltriangle(&a, &b, &c, col);
}
void span(canvas& C, double x1, double x2, int y, pal3 col)
{
    used = C.flags.data();
    C.I.horizline(x1, x2, y, col);
}

// The plain rule, row after row with nothing skipped: every row from the
// top corner to the bottom one, clipped only inside the span painter.
void refspan(image& I, unsigned char* flags, double x1, double x2, long y, pal3 col)
{
    if (y < 0 || y >= I.Y) return;
    if (x1 > x2) std::swap(x1, x2);
    long first = (long)std::ceil(x1), last = (long)std::floor(x2);
    if (first < 0) first = 0;
    if (last > I.X - 1) last = I.X - 1;
    for (long i = first; i <= last; i++) {
        I.Row((int)y)[i] = col;
        flags[y * I.X + i] = 1;
    }
}

void reftri(image& I, unsigned char* flags, xy a, xy b, xy c, pal3 col)
{
    if (a.y > b.y) std::swap(a, b);
    if (b.y > c.y) std::swap(b, c);
    if (a.y > b.y) std::swap(a, b);
    const float w = (float)I.X, h = (float)I.Y;
    a.x *= w, a.y *= h, b.x *= w, b.y *= h, c.x *= w, c.y *= h;
    if (c.y == a.y) return;
    const double ax = a.x, ay = a.y, bx = b.x, by = b.y, cx = c.x, cy = c.y;
    if (by != ay)
        for (long y = (long)std::ceil(ay); y <= (long)std::floor(by); y++)
            refspan(I, flags, ax + (bx - ax) * (y - ay) / (by - ay), ax + (cx - ax) * (y - ay) / (cy - ay), y, col);
    if (cy != by)
        for (long y = (long)std::ceil(by); y <= (long)std::floor(cy); y++)
            refspan(I, flags, bx + (cx - bx) * (y - by) / (cy - by), ax + (cx - ax) * (y - ay) / (cy - ay), y, col);
}

// Both canvases hold the same bytes, pixels and flags alike.
void expectsame(const canvas& A, const canvas& B)
{
    ASSERT_EQ(std::memcmp(A.I.P, B.I.P, A.I.pixelbytes() + 7), 0);
    ASSERT_TRUE(A.flags == B.flags);
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
    used = C.flags.data();
    C.I.filltriangle(nullptr, &b, &c, COL);
    C.I.filltriangle(&a, nullptr, &c, COL);
    C.I.filltriangle(&a, &b, nullptr, COL);
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
            used = C.flags.data();
            C.I.filltriangle(&p[k % 3], &p[(k + 1) % 3], &p[(k + 2) % 3], col);
            reftri(R.I, R.flags.data(), p[k % 3], p[(k + 1) % 3], p[(k + 2) % 3], col);
        }
        SCOPED_TRACE(testing::Message() << "triangle " << n);
        expectsame(C, R);
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
