#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "raster/polyfill.h"

namespace {
const pal3 COL(10, 20, 30);
const float NaN = std::numeric_limits<float>::quiet_NaN(), INF = std::numeric_limits<float>::infinity();

// An image and its flags (64 more past them) from noise, flags 0 to 3, so
// that a stray write shows; seed 0: all zero.
struct canvas {
    image I;
    std::vector<unsigned char> flags;
    canvas(int w, int h, unsigned seed) : flags((size_t)w * h + 64)
    {
        I.reset(w, h);
        std::mt19937 rng(seed);
        for (size_t k = 0; k < I.pixelbytes() + 7; k++) I.P[k] = seed ? (unsigned char)rng() : 0;
        for (size_t k = 0; seed && k < (size_t)w * h; k++) flags[k] = (unsigned char)(rng() & 3);
    }
    bool painted(int i, int y) const { return flags[(size_t)y * I.X + i] == 1; }
    bool operator==(const canvas& o) const { return !std::memcmp(I.P, o.I.P, I.pixelbytes() + 7) && flags == o.flags; }
};

struct poly {  // corners, and the pointers the painters take
    std::vector<xy> t;
    std::vector<const xy*> c;
    poly(std::vector<xy> p) : t(std::move(p))
    {
        for (const xy& q : t) c.push_back(&q);
    }
    poly(const poly& o) : poly(o.t) {}
};

// P painted on C by the polygon painter, rows from to `to`, or as a fan.
void paint(canvas& C, const poly& P, bool fan = false, int from = 0, int to = MAXSIDE)
{
    polyroom R = {};
    unsigned char* const flags = C.flags.data();
    for (size_t k = 2; fan && k < P.c.size(); k++) C.I.filltriangle(P.c[0], P.c[k - 1], P.c[k], COL, flags);
    if (!fan) {
        EXPECT_TRUE(fillpolygon(&C.I, flags, P.c.data(), (int)P.c.size(), COL, from, to, &R));
    }
    freepolyroom(&R);
}

// The u nearest pixel position v whose float product with the side lies on
// a grid of 2^-16 pixel (v / side itself on a side of a power of two).
float unscale(double v, int side)
{
    float up = (float)(v / side), down = up, best = NaN;
    for (int k = 0; k < 256; k++, up = std::nextafter(up, INF), down = std::nextafter(down, -INF))
        for (float u : {down, up}) {
            const float s = u * (float)side;
            if (s * 65536 == std::floor(s * 65536) && !(std::fabs(best * side - v) <= std::fabs(s - v))) best = u;
        }
    EXPECT_LT(std::fabs(best * (float)side - v), 1e-3) << v << " on " << side;
    return best;
}

// Pixel (i, j) lies on an edge of P, or the edges wind round it: in exact
// integers, the corners scaled as the painter scales them, in 2^-16 pixel.
bool covers(const poly& P, int w, int h, int i, int j)
{
    const int64_t X = (int64_t)i << 16, Y = (int64_t)j << 16, n = (int64_t)P.t.size();
    int wind = 0;
    for (int64_t k = 0; k < n; k++) {
        const xy &a = P.t[k], &b = P.t[(k + 1) % n];
        const int64_t ax = (int64_t)(a.x * (float)w * 65536), ay = (int64_t)(a.y * (float)h * 65536);
        const int64_t bx = (int64_t)(b.x * (float)w * 65536), by = (int64_t)(b.y * (float)h * 65536);
        const int64_t side = (bx - ax) * (Y - ay) - (by - ay) * (X - ax);
        if (!side && std::min(ax, bx) <= X && X <= std::max(ax, bx) && std::min(ay, by) <= Y && Y <= std::max(ay, by))
            return true;
        wind += (ay <= Y && by > Y && side > 0) - (ay > Y && by <= Y && side < 0);
    }
    return wind != 0;
}
}  // namespace

// Concave shapes (a star of 24 corners, an L, a U, a comb, a spiral arm)
// and crossing ones, corners between pixels or on them, on several maps:
// every pixel the polygon holds is painted, edges included, and no byte
// else changes. Crossing faces fill by non-zero winding: a bow-tie's two
// triangles, a pentagram's middle, a square gone round twice; where squares
// gone round opposite ways overlap, nothing.
TEST(PolygonFill, ShapesPaintExactlyWhatTheyHold)
{
    // u, v pairs: star, L, U, comb, spiral, pentagram, bow-tie, twice round,
    // both ways round; the empty ones and the comb's teeth made below.
    std::vector<std::vector<double>> shapes = {
        {},
        {0.1, 0.1, 0.4, 0.1, 0.4, 0.6, 0.85, 0.6, 0.85, 0.9, 0.1, 0.9},
        {0.1, 0.1, 0.3, 0.1, 0.3, 0.7, 0.7, 0.7, 0.7, 0.1, 0.9, 0.1, 0.9, 0.9, 0.1, 0.9},
        {0.05, 0.9, 0.95, 0.9, 0.95, 0.6},
        {},
        {},
        {0.1, 0.1, 0.9, 0.9, 0.9, 0.1, 0.1, 0.9},
        {0.1, 0.1, 0.9, 0.1, 0.9, 0.9, 0.1, 0.9, 0.1, 0.3, 0.6, 0.3, 0.6, 0.7, 0.1, 0.7},
        {0.1, 0.1, 0.7, 0.1, 0.7, 0.7, 0.1, 0.7, 0.1, 0.1, 0.3, 0.3, 0.3, 0.9, 0.9, 0.9, 0.9, 0.3}};
    for (int k = 0; k < 24; k++)
        shapes[0].insert(shapes[0].end(), {0.5 + (k % 2 ? 0.2 : 0.45) * std::cos(0.1 + M_PI * k / 12),
                                           0.5 + (k % 2 ? 0.2 : 0.45) * std::sin(0.1 + M_PI * k / 12)});
    for (int k = 8; k >= 0; k--)  // the comb's slanted teeth
        shapes[3].insert(shapes[3].end(),
                         {0.14 + k * 0.1, 0.6, 0.12 + k * 0.1, 0.05, 0.07 + k * 0.1, 0.1, 0.05 + k * 0.1, 0.6});
    for (int k = 80; k >= 0; k--) {  // an arm winding out twice, then back along its inner side
        const double a = 4 * M_PI * std::abs(k - 40) / 40, r = 0.04 + 0.03 * a + (k < 41 ? 0.05 : 0);
        shapes[4].insert(shapes[4].end(), {0.5 + r * std::cos(a), 0.5 + r * std::sin(a)});
    }
    for (int k = 0; k < 5; k++)
        shapes[5].insert(shapes[5].end(),
                         {0.5 + 0.45 * std::cos(0.8 * M_PI * k), 0.5 + 0.45 * std::sin(0.8 * M_PI * k)});
    for (size_t s = 0; s < shapes.size(); s++)
        for (int w : {16, 37, 101, 256, 1024})
            for (bool whole : {false, true}) {
                if (w == 1024 && (s || whole)) continue;  // the star alone, to set beside its fan
                const int h = w * 2 / 3;
                std::vector<xy> p;
                for (size_t k = 0; k < shapes[s].size(); k += 2) {
                    const double x = shapes[s][k] * w, y = shapes[s][k + 1] * h;
                    p.emplace_back(unscale(whole ? std::round(x) : x, w), unscale(whole ? std::round(y) : y, h));
                }
                canvas C(w, h, 7), R(w, h, 7), F(w, h, 0), G(w, h, 0);
                paint(C, p);
                for (int y = 0; y < h; y++)
                    for (int i = 0; i < w; i++)
                        if (covers(p, w, h, i, y)) R.I.Row(y)[i] = COL, R.flags[(size_t)y * w + i] = 1;
                ASSERT_TRUE(C == R) << "shape " << s << " on " << w << "x" << h << (whole ? ", whole" : "");
                if (w < 1024) continue;
                paint(F, p, true);  // which paints much outside it
                paint(G, p);
                EXPECT_GT(std::count(F.flags.begin(), F.flags.end(), 1),
                          3 * std::count(G.flags.begin(), G.flags.end(), 1) / 2);
            }
}

// Convex polygons as fans: the right edge crossing row 49 at 1 exactly as
// the triangles reckon it (other orders of the arithmetic give a hair
// less); random ones of up to 300 corners, big, small and far, on whole
// pixels (and halfway along edges) or rows, or repeated: the same bytes.
TEST(PolygonFill, ConvexPolygonsPaintAsTheFanDoes)
{
    const poly E({xy(0, 0), xy(2 / 128.0, 98 / 128.0), xy(-50 / 128.0, 50 / 128.0)});
    canvas ES(128, 128, 0), EF(128, 128, 0);
    paint(ES, E);
    paint(EF, E, true);
    ASSERT_TRUE(ES == EF && ES.painted(1, 49));
    std::mt19937 rng(12);
    std::uniform_real_distribution<double> unit(0, 1);
    for (int t = 0; t < 1500; t++) {
        const int kind = t % 5, w = kind == 1 ? 64 << rng() % 4 : 5 + (int)(rng() % 150);  // whole pixels: 2^k
        const int h = kind == 1 ? 64 << rng() % 4 : 5 + (int)(rng() % 150);
        const double r = kind == 4 ? 30 * unit(rng) : kind == 3 ? 2.0 / w : 0.6 * unit(rng) + 0.01;
        const double cu = unit(rng), cv = unit(rng), ru = r * (0.3 + unit(rng)), rv = r * (0.3 + unit(rng));
        std::vector<double> a(3 + rng() % (t % 10 ? 12 : 300));
        for (double& x : a) x = 2 * M_PI * unit(rng);
        std::sort(a.begin(), a.end());
        std::vector<xy> p;
        for (double ang : a) {
            double u = cu + ru * std::cos(ang), v = cv + rv * std::sin(ang);
            if (kind == 1) u = std::round(u * w) / w;
            if (kind == 1 || kind == 2) v = std::round(v * h) / h;
            const xy q(u, v), e = p.empty() ? q : p.back();
            const double mu = ((double)e.x + u) * w / 2, mv = ((double)e.y + v) * h / 2;
            if (kind == 1 && mu == std::floor(mu) && mv == std::floor(mv)) p.push_back(xy(mu / w, mv / h));
            if (p.empty() || q.x != e.x || q.y != e.y || rng() % 4 == 0) p.push_back(q);
        }
        std::rotate(p.begin(), p.begin() + rng() % p.size(), p.end());
        if (t % 2) std::reverse(p.begin(), p.end());
        const poly P(p);
        if (p.size() < 3 || polygonshape(P.c.data(), (int)p.size(), w, h, nullptr) != POLY_CONVEX) continue;
        canvas S(w, h, t), F(w, h, t);
        paint(S, P);
        paint(F, P, true);
        ASSERT_TRUE(S == F) << "polygon " << t << " of " << p.size() << " corners on " << w << "x" << h;
        if (a.size() == 4 && p.size() == 4 && kind != 1 && kind != 2) {  // turning strictly: the quick test's
            ASSERT_TRUE(convexquad(P.c[0], P.c[1], P.c[2], P.c[3], w, h)) << t;
        }
    }
}

// Random polygons painted in bands of rows at random cuts, some past the
// image, in any order: the bytes of painting them whole; a band alone
// changes no row outside it. Corners at infinity or NaN paint nothing, far
// ones only inside the image.
TEST(PolygonFill, BandsAddUpAndFarCornersStayInside)
{
    std::mt19937 rng(31);
    std::uniform_real_distribution<double> unit(-0.2, 1.2);
    for (int side : {9, 64, 130}) {
        canvas W(side, side, 5), B(side, side, 5), O(side, side, 9), Z(side, side, 9);
        for (int t = 0; t < 200; t++) {
            std::vector<xy> p(4 + rng() % 30);
            for (xy& q : p) q = xy(unit(rng), unit(rng));
            paint(W, p);
            const int a = (int)(rng() % side), b = a + (int)(rng() % (side - a + 1)), cut[4] = {-5, a, b, side + 3};
            for (int k : {2, 0, 1}) paint(B, p, false, cut[k], cut[k + 1] - 1);
            ASSERT_TRUE(W == B) << "polygon " << t << " on " << side;
        }
        paint(O, poly({xy(-0.5, -0.5), xy(1.5, -0.5), xy(1.5, 1.5), xy(0.5, 1.2), xy(-0.5, 1.5)}), false, 3, 5);
        for (size_t k = 0; k < O.flags.size(); k++)  // rows 3 to 5 all painted, the rest as they were
            ASSERT_EQ(O.flags[k], k >= 3u * side && k < 6u * side ? 1 : Z.flags[k]) << k;
    }
    canvas C(17, 13, 4), K(17, 13, 4), A(17, 13, 0);
    for (float bad : {INF, -INF, NaN}) paint(C, poly({xy(0.1, 0.1), xy(bad, 0.5), xy(0.9, 0.9), xy(0.5, 0.6)}));
    EXPECT_TRUE(C == K);
    for (float u : {1e30f, -3e38f, 1e9f, 0.5f})
        for (float v : {-1e30f, 3e38f, -1e9f, 0.5f}) paint(C, poly({xy(u, v), xy(0.5, 0.5), xy(-u, v), xy(0.2, 0.7)}));
    for (int y = 0; y < 13; y++)
        for (int i = 0; i < 17; i++) {  // painted, or left as it was
            const size_t k = (size_t)y * 17 + i;
            const bool kept = C.flags[k] == K.flags[k] && !std::memcmp(&C.I.Row(y)[i], &K.I.Row(y)[i], 3);
            ASSERT_TRUE(kept || (C.flags[k] == 1 && !std::memcmp(&C.I.Row(y)[i], &COL, 3))) << i << "," << y;
        }
    ASSERT_TRUE(std::equal(C.flags.end() - 64, C.flags.end(), K.flags.end() - 64));
    ASSERT_EQ(std::memcmp(C.I.P + C.I.pixelbytes(), K.I.P + K.I.pixelbytes(), 7), 0);
    paint(A, poly({xy(-1e30, -1e30), xy(1e30, -1e30), xy(1e30, 1e30), xy(0.5, 2), xy(-1e30, 1e30)}));
    EXPECT_EQ(std::count(A.flags.begin(), A.flags.end(), 1), 17 * 13);
}

// Shapes by name, with the edges paired up and without (when only the
// crossings the turns give away are found).
TEST(PolygonShape, TellsConvexConcaveAndCrossingFaces)
{
    const struct {
        const char* name;
        std::vector<xy> p;
        int full, quick;
    } rows[] = {
        {"square", {xy(0, 0), xy(1, 0), xy(1, 1), xy(0, 1)}, POLY_CONVEX, POLY_CONVEX},
        {"corners repeated", {xy(0, 0), xy(1, 0), xy(1, 0), xy(1, 1), xy(0, 0)}, POLY_CONVEX, POLY_CONVEX},
        {"corner in line", {xy(0, 0), xy(0.5, 0), xy(1, 0), xy(1, 1)}, POLY_CONVEX, POLY_CONVEX},
        {"all in line", {xy(0, 0), xy(0.5, 0.5), xy(1, 1), xy(0.25, 0.25)}, POLY_CONVEX, POLY_CONVEX},
        {"dart", {xy(0, 0), xy(1, 0.5), xy(0, 1), xy(0.3, 0.5)}, POLY_CONCAVE, POLY_CONCAVE},
        {"bow-tie", {xy(0, 0), xy(1, 1), xy(1, 0), xy(0, 1)}, POLY_CROSSING, POLY_CONCAVE},
        {"touching itself", {xy(0, 0), xy(1, 0), xy(1, 1), xy(0.5, 0), xy(0, 1)}, POLY_CROSSING, POLY_CONCAVE},
        {"pentagram",
         {xy(0.9, 0.5), xy(0.18, 0.74), xy(0.62, 0.12), xy(0.62, 0.88), xy(0.18, 0.26)},
         POLY_CROSSING,
         POLY_CROSSING},
        {"twice round", {xy(0, 0), xy(1, 0), xy(0, 1), xy(0, 0), xy(1, 0), xy(0, 1)}, POLY_CROSSING, POLY_CROSSING},
        {"folding back", {xy(0, 0), xy(1, 0), xy(0.5, 0), xy(0.5, 1)}, POLY_CROSSING, POLY_CROSSING},
        {"NaN corner", {xy(0, 0), xy(1, 0), xy(NaN, 1), xy(0, 1)}, POLY_NONFINITE, POLY_NONFINITE},
        {"beyond float", {xy(0, 0), xy(3e38, 0), xy(1, 1), xy(0, 1)}, POLY_NONFINITE, POLY_NONFINITE},
    };
    polyroom R = {};
    for (const auto& r : rows) {
        const poly P(r.p);
        EXPECT_EQ(polygonshape(P.c.data(), (int)r.p.size(), 640, 480, &R), r.full) << r.name;
        EXPECT_EQ(polygonshape(P.c.data(), (int)r.p.size(), 640, 480, nullptr), r.quick) << r.name;
        if (r.p.size() == 4) {  // of the quads only the square turns strictly one way
            EXPECT_EQ(convexquad(P.c[0], P.c[1], P.c[2], P.c[3], 640, 480), r.name[0] == 's') << r.name;
        }
    }
    freepolyroom(&R);
}
