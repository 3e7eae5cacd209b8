// Margin, white edges and inversion, against the plain rules and on every core.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "job/finish.h"
#include "port/tuning.h"
#include "reference.h"

namespace {

const pal3 BLACK(0, 0, 0), WHITE(255, 255, 255);

bool same(const pal3& a, const pal3& b)
{
    return a.red == b.red && a.green == b.green && a.blue == b.blue;
}

// An n x n map, all black and empty, pad bytes included.
struct map {
    int n;
    image J;
    std::vector<unsigned char> used;
    std::vector<char> work;
    explicit map(int size) : n(size), used((size_t)size * size), work(finishworksize(size))
    {
        J.reset(n, n);
        std::memset(J.P, 0, J.pixelbytes());
    }
    void paint(int y, int x, pal3 c)
    {
        J.Row(y)[x] = c;
        used[(size_t)y * n + x] = 1;
    }
    pal3 at(int y, int x) { return J.Row(y)[x]; }
    unsigned char flag(int y, int x) { return used[(size_t)y * n + x]; }
};

TEST(Margin, SinglePixelGrowsIntoDiamondOf41ThenWhiteRimOf20)
{
    map m(17);
    const pal3 dark(10, 20, 30);
    m.paint(8, 8, dark);
    addmargin(&m.J, m.used.data(), m.n, m.work.data());
    for (int y = 0; y < 17; y++)
        for (int x = 0; x < 17; x++) {
            int d = std::abs(y - 8) + std::abs(x - 8);
            EXPECT_TRUE(same(m.at(y, x), d <= 4 ? dark : BLACK)) << y << "," << x;
            EXPECT_EQ(m.flag(y, x), d <= 4 ? 1 : 0) << y << "," << x;
        }
    addwhiteedges(&m.J, m.used.data(), m.n, m.work.data());
    int whites = 0;
    for (int y = 0; y < 17; y++)
        for (int x = 0; x < 17; x++) {
            int d = std::abs(y - 8) + std::abs(x - 8);
            whites += same(m.at(y, x), WHITE);
            EXPECT_TRUE(same(m.at(y, x), d <= 4 ? dark : d == 5 ? WHITE : BLACK)) << y << "," << x;
        }
    EXPECT_EQ(whites, 20);
}

TEST(Margin, LastCopyWinsRightThenLeftThenBelowThenAbove)
{
    const pal3 above(1, 0, 0), below(2, 0, 0), left(3, 0, 0), right(4, 0, 0);
    struct { bool a, b, l, r; pal3 want; } cases[] = {
        {true, true, true, true, right},
        {true, true, true, false, left},
        {true, true, false, false, below},
        {true, false, false, false, above},
        {true, false, true, false, left},
        {true, true, false, true, right},
    };
    for (auto& c : cases) {
        map m(3);
        if (c.a) m.paint(0, 1, above);
        if (c.b) m.paint(2, 1, below);
        if (c.l) m.paint(1, 0, left);
        if (c.r) m.paint(1, 2, right);
        addmargin(&m.J, m.used.data(), 3, m.work.data());
        EXPECT_TRUE(same(m.at(1, 1), c.want)) << c.a << c.b << c.l << c.r;
    }
}

TEST(Margin, GapBetweenTwoAreasTakesTheRightOrLowerArea)
{
    const pal3 a(200, 0, 0), b(0, 0, 200);
    map cols(9);
    for (int y = 0; y < 9; y++) {
        for (int x = 0; x < 4; x++) cols.paint(y, x, a);
        for (int x = 5; x < 9; x++) cols.paint(y, x, b);
    }
    addmargin(&cols.J, cols.used.data(), 9, cols.work.data());
    for (int y = 0; y < 9; y++) EXPECT_TRUE(same(cols.at(y, 4), b)) << y;

    map rows(9);
    for (int x = 0; x < 9; x++) {
        for (int y = 0; y < 4; y++) rows.paint(y, x, a);
        for (int y = 5; y < 9; y++) rows.paint(y, x, b);
    }
    addmargin(&rows.J, rows.used.data(), 9, rows.work.data());
    for (int x = 0; x < 9; x++) EXPECT_TRUE(same(rows.at(4, x), b)) << x;
}

TEST(Margin, BorderPixelsGrowInwardsOnlyAndEmptyMapsStayBlack)
{
    map m(12);
    const pal3 c(10, 20, 30);
    m.paint(0, 0, c);
    addmargin(&m.J, m.used.data(), 12, m.work.data());
    addwhiteedges(&m.J, m.used.data(), 12, m.work.data());
    EXPECT_TRUE(same(m.at(4, 0), c));
    EXPECT_TRUE(same(m.at(0, 4), c));
    EXPECT_TRUE(same(m.at(0, 5), WHITE));
    for (int k = 6; k < 12; k++) {
        EXPECT_TRUE(same(m.at(0, k), BLACK)) << k;  // no wrap to the far side
        EXPECT_TRUE(same(m.at(k, 0), BLACK)) << k;
    }
    EXPECT_TRUE(same(m.at(11, 11), BLACK));

    map empty(7);
    addmargin(&empty.J, empty.used.data(), 7, empty.work.data());
    addwhiteedges(&empty.J, empty.used.data(), 7, empty.work.data());
    for (int y = 0; y < 7; y++)
        for (int x = 0; x < 7; x++) EXPECT_TRUE(same(empty.at(y, x), BLACK));
}

TEST(WhiteEdges, GreyOf33GetsARimAndGreyOf34DoesNot)
{
    for (int g : {33, 34}) {
        map m(9);
        m.paint(4, 4, pal3(g, g, g));
        addwhiteedges(&m.J, m.used.data(), 9, m.work.data());
        EXPECT_EQ(same(m.at(3, 4), WHITE), g == 33);
        EXPECT_EQ(same(m.at(4, 5), WHITE), g == 33);
        EXPECT_EQ(m.flag(3, 4), 0);
    }
}

TEST(Invert, SwapsRowsKeepsTheMiddleRowAndTwiceRestores)
{
    map one(1);
    one.paint(0, 0, pal3(1, 2, 3));
    invertmap(&one.J, 1);
    EXPECT_TRUE(same(one.at(0, 0), pal3(1, 2, 3)));

    map m(5);
    for (int y = 0; y < 5; y++)
        for (int x = 0; x < 5; x++) m.J.Row(y)[x] = pal3(y, x, 7);
    std::vector<unsigned char> before(m.J.P, m.J.P + m.J.pixelbytes());
    invertmap(&m.J, 5);
    for (int y = 0; y < 5; y++)
        for (int x = 0; x < 5; x++) EXPECT_TRUE(same(m.at(y, x), pal3(4 - y, x, 7)));
    invertmap(&m.J, 5);
    EXPECT_EQ(std::vector<unsigned char>(m.J.P, m.J.P + m.J.pixelbytes()), before);

    // Rows of 4096 bytes and more, and rows shared out among threads.
    for (int n : {101, 1366, 1025})
        for (int bands : {0, 8}) {
            knobs.finish_bands = bands;
            map b(n);
            for (int y = 0; y < n; y++)
                for (int x = 0; x < n; x++) b.J.Row(y)[x] = pal3(y & 255, y >> 8, x & 255);
            invertmap(&b.J, n);
            for (int y = 0; y < n; y++)
                for (int x = 0; x < n; x += 7)
                    ASSERT_TRUE(same(b.at(y, x), pal3((n - 1 - y) & 255, (n - 1 - y) >> 8, x & 255)))
                        << n << " " << bands << ": " << y << "," << x;
        }
    knobs.finish_bands = 0;
}

// Ways of painting a test map; k sets the density or the scale.
enum pattern { SCATTER, BLOBS, ROWSTRIPES, COLUMNSTRIPES, CHECKERS, FRAME, LINES };

// Paints m in pattern p over random pixel bytes (pad bytes included), each
// painted pixel in a colour of its own: dark, light or either side of the
// white edge threshold.
void paintpattern(map& m, pattern p, int k, std::mt19937& rng)
{
    const int n = m.n;
    auto below = [&](int top) { return (int)(rng() % (unsigned)top); };
    for (size_t b = 0; b < m.J.pixelbytes(); b++) m.J.P[b] = (unsigned char)rng();
    const pal3 palette[] = {pal3(10, 10, 10), pal3(200, 30, 40), pal3(33, 33, 33),
                            pal3(34, 34, 34), pal3(0, 0, 99),   pal3(250, 250, 250)};
    auto paint = [&](int y, int x) {
        if (y < 0 || y >= n || x < 0 || x >= n) return;
        m.paint(y, x, below(2) ? palette[below(6)] : pal3(rng(), rng(), rng()));
    };
    switch (p) {
    case SCATTER:
        for (int y = 0; y < n; y++)
            for (int x = 0; x < n; x++)
                if (below(100) < k) paint(y, x);
        break;
    case BLOBS:  // diamonds, touching and overlapping
        for (int b = 0; b < k / 5 + 1; b++) {
            int cy = below(n), cx = below(n), r = below(n / 4 + 2);
            for (int y = cy - r; y <= cy + r; y++)
                for (int x = cx - r; x <= cx + r; x++)
                    if (std::abs(y - cy) + std::abs(x - cx) <= r) paint(y, x);
        }
        break;
    case ROWSTRIPES:
    case COLUMNSTRIPES:  // runs of 1 to k painted lines, gaps of 1 to k
        for (int a = 0, on = below(2); a < n; on ^= 1)
            for (int run = 1 + below(k); run > 0 && a < n; run--, a++)
                for (int b = 0; b < n && on; b++) p == ROWSTRIPES ? paint(a, b) : paint(b, a);
        break;
    case CHECKERS:
        for (int y = 0; y < n; y++)
            for (int x = 0; x < n; x++)
                if ((y / k + x / k) % 2) paint(y, x);
        break;
    case FRAME:  // a band of width k round the border, or all but that band
        for (int y = 0; y < n; y++)
            for (int x = 0; x < n; x++) {
                bool band = std::min(std::min(y, x), std::min(n - 1 - y, n - 1 - x)) < k;
                if (band == (k % 2 == 1)) paint(y, x);
            }
        break;
    case LINES:  // k one-pixel lines across, down and diagonal
        for (int l = 0; l < k; l++) {
            int y = below(n), x = below(n), dy = below(3) - 1, dx = below(3) - 1;
            for (int s = below(2 * n); s >= 0; s--, y += dy, x += dx) paint(y, x);
        }
        break;
    }
}

// A map through the fast steps and the step-by-step ones: pixels, pad bytes
// and flags must agree byte for byte after each.
void compare(int n, pattern p, int k, std::mt19937& rng)
{
    map fast(n), ref(n);
    paintpattern(fast, p, k, rng);
    std::memcpy(ref.J.P, fast.J.P, fast.J.pixelbytes());
    ref.used = fast.used;
    addmargin(&fast.J, fast.used.data(), n, fast.work.data());
    refmargin(&ref.J, ref.used.data(), n);
    ASSERT_EQ(fast.used, ref.used) << "margin flags, n " << n << " pattern " << p << " k " << k;
    ASSERT_EQ(0, std::memcmp(fast.J.P, ref.J.P, fast.J.pixelbytes()))
        << "margin pixels, n " << n << " pattern " << p << " k " << k;
    addwhiteedges(&fast.J, fast.used.data(), n, fast.work.data());
    refwhiteedges(&ref.J, ref.used.data(), n);
    ASSERT_EQ(fast.used, ref.used);
    ASSERT_EQ(0, std::memcmp(fast.J.P, ref.J.P, fast.J.pixelbytes()))
        << "white edge pixels, n " << n << " pattern " << p << " k " << k;
}

TEST(FastFinish, MatchesTheStepByStepSweepsOnEveryPatternAndSmallSize)
{
    std::mt19937 rng(12345);
    for (int n = 1; n <= 70; n++) {
        knobs.finish_bands = n % 3 == 0 ? 0 : n % 3 == 1 ? 2 : 8;  // one band, or bands as the map allows
        for (int k : {0, 1, 3, 10, 30, 60, 90, 100}) compare(n, SCATTER, k, rng);
        for (int k : {5, 20, 50}) compare(n, BLOBS, k, rng);
        for (int k : {1, 2, 5, 9}) {
            compare(n, ROWSTRIPES, k, rng);
            compare(n, COLUMNSTRIPES, k, rng);
            compare(n, CHECKERS, k, rng);
            compare(n, FRAME, k, rng);
        }
        for (int k : {1, 4, 12}) compare(n, LINES, k, rng);
        if (HasFatalFailure()) break;
    }
    knobs.finish_bands = 0;
}

TEST(FastFinish, MatchesTheStepByStepSweepsOnLargeOddMaps)
{
    std::mt19937 rng(777);
    for (int n : {127, 257, 500, 1031}) {
        knobs.finish_bands = n == 257 ? 5 : n == 500 ? 8 : 0;
        compare(n, SCATTER, 2, rng);
        compare(n, BLOBS, 40, rng);
        compare(n, COLUMNSTRIPES, 7, rng);
        compare(n, LINES, 60, rng);
        if (n < 600 || n > 1024) {  // and where the cores share the rows out
            compare(n, SCATTER, 55, rng);
            compare(n, ROWSTRIPES, 3, rng);
            compare(n, CHECKERS, 6, rng);
            compare(n, FRAME, 5, rng);
        }
        if (HasFatalFailure()) break;
    }
    knobs.finish_bands = 0;
}

}  // namespace
