// Painting maps: fans, outlines, edges, and bands of rows on every core.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "job/paint.h"
#include "port/threads.h"
#include "port/tuning.h"
#include "raster/polyfill.h"

namespace {

typedef std::set<std::pair<int, int>> pixels;  // (row, column)

const pal3 WHITE(255, 255, 255);

// The white pixels of an n x n map after drawing the edge both ways round.
pixels edge(int n, xy s, xy t, pixels* reversed = nullptr)
{
    image J;
    J.reset(n, n);
    pixels got[2];
    for (int way = 0; way < 2; way++) {
        std::memset(J.P, 0, J.pixelbytes());
        if (way == 0) drawedge(&J, n, s, t, WHITE);
        else drawedge(&J, n, t, s, WHITE);
        for (int y = 0; y < n; y++)
            for (int x = 0; x < n; x++)
                if (J.Row(y)[x].red == 255) got[way].insert({y, x});
    }
    if (reversed) *reversed = got[1];
    return got[0];
}

TEST(Outline, WorkedEdgesOnAMapOf8)
{
    pixels back;
    EXPECT_EQ(edge(8, xy(0.1, 0.1), xy(0.6, 0.3), &back),
              (pixels{{0, 0}, {0, 1}, {1, 2}, {1, 3}, {2, 4}}));
    EXPECT_EQ(back, (pixels{{0, 0}, {0, 1}, {1, 2}, {1, 3}, {2, 4}}));
    EXPECT_EQ(edge(8, xy(0.1, 0.1), xy(0.3, 0.6), &back),
              (pixels{{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 2}}));
    EXPECT_EQ(back, (pixels{{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 2}}));
}

TEST(Outline, EndsAreCutTowardZeroAndClippedPixelByPixel)
{
    // 1.0 lands on column 8, past the map, and is drawn in column 7.
    EXPECT_EQ(edge(8, xy(0.5, 0.25), xy(1.0, 0.25)),
              (pixels{{2, 4}, {2, 5}, {2, 6}, {2, 7}}));
    // Slightly below 0 cuts to 0 and is drawn.
    EXPECT_EQ(edge(8, xy(-0.1, 0.5), xy(0.25, 0.5)), (pixels{{4, 0}, {4, 1}, {4, 2}}));
    // From u -0.5 only the part inside is drawn.
    EXPECT_EQ(edge(8, xy(-0.5, 0.5), xy(0.5, 0.5)),
              (pixels{{4, 0}, {4, 1}, {4, 2}, {4, 3}, {4, 4}}));
    // One pixel; a diagonal goes by the steep rule; a column.
    EXPECT_EQ(edge(8, xy(0.3, 0.3), xy(0.32, 0.33)), (pixels{{2, 2}}));
    EXPECT_EQ(edge(8, xy(0, 0), xy(0.375, 0.375)), (pixels{{0, 0}, {1, 1}, {2, 2}, {3, 3}}));
    EXPECT_EQ(edge(8, xy(0.5, 0.9), xy(0.5, 0.6)), (pixels{{4, 4}, {5, 4}, {6, 4}, {7, 4}}));
    // Far outside: nothing, and the walk ends.
    EXPECT_EQ(edge(8, xy(-1e30f, 3), xy(1e30f, 5)), pixels{});
    EXPECT_EQ(edge(8, xy(0.5, -1e30f), xy(0.5, 1e30f)),
              (pixels{{0, 4}, {1, 4}, {2, 4}, {3, 4}, {4, 4}, {5, 4}, {6, 4}, {7, 4}}));
}

// A mesh held in local arrays: faces of the given corner counts and
// materials, corners taken in order from the texture list (null for -1).
struct smallmesh {
    std::vector<xy> t;
    std::vector<fcinfo> corners;
    std::vector<Face> faces;
    std::vector<Mat> mats;
    mesh m;
    smallmesh(std::vector<xy> points, std::vector<std::vector<int>> faceidx, std::vector<int> facemat,
              std::vector<pal3> colours)
        : t(points)
    {
        size_t total = 0;
        for (auto& f : faceidx) total += f.size();
        corners.resize(total);
        size_t c = 0;
        for (size_t i = 0; i < faceidx.size(); i++) {
            Face f;
            f.q = faceidx[i].empty() ? nullptr : &corners[c];
            f.n = (short)faceidx[i].size();
            f.mat = (short)facemat[i];
            f.g = 0;
            for (int k : faceidx[i]) corners[c++] = fcinfo{nullptr, k < 0 ? nullptr : &t[k]};
            faces.push_back(f);
        }
        for (pal3 col : colours) {
            Mat mt = {};
            mt.col = col;
            mats.push_back(mt);
        }
        std::memset(&m, 0, sizeof m);
        m.pts = corners.data();
        m.nq = (int)corners.size();
        m.fac = faces.data();
        m.nf = (int)faces.size();
        m.mat = mats.data();
        m.nmat = (int)mats.size();
        m.t = t.data();
        m.nt = (int)t.size();
    }
};

struct job {
    TextureJob T;
    std::vector<unsigned char> flags;
    job(int n, int nmat, int M, mapkind colmap)
    {
        startjob(&T, nullptr, "");
        T.n = n;
        T.nmat = nmat;
        T.M = M;
        T.colmap = colmap;
        flags.resize((size_t)n * n);
        T.used = flags.data();
        EXPECT_TRUE(setupmap(&T));
        clearmap(&T);
    }
    unsigned rgb(int y, int x)
    {
        pal3 p = T.J.Row(y)[x];
        return p.red << 16 | p.green << 8 | p.blue;
    }
};

TEST(Filled, FacesAreFansAndEachMapShowsItsOwnMaterial)
{
    // A quad of material 0 on the left half, a triangle of material 1 over
    // its top right corner, a two-corner face that paints nothing.
    smallmesh s({xy(0, 0), xy(0.5, 0), xy(0.5, 1), xy(0, 1), xy(0.25, 0), xy(1, 0), xy(1, 0.5)},
                {{0, 1, 2, 3}, {4, 5, 6}, {5, 6}}, {0, 1, 1},
                {pal3(200, 0, 0), pal3(0, 0, 200)});
    job one(8, 1, 0, MAP_COLOURED);
    one.T.OB = &s.m;
    paintfilled(&one.T);
    EXPECT_EQ(one.rgb(7, 0), 0xC80000u);  // quad, lower left
    EXPECT_EQ(one.rgb(7, 4), 0xC80000u);  // its right edge, column 4
    EXPECT_EQ(one.rgb(0, 4), 0x0000C8u);  // the later triangle wins the overlap
    EXPECT_EQ(one.rgb(0, 7), 0x0000C8u);
    EXPECT_EQ(one.rgb(7, 7), 0u);
    EXPECT_EQ(one.flags[7 * 8 + 0], 1);
    EXPECT_EQ(one.flags[7 * 8 + 7], 0);

    job second(8, 2, 1, MAP_COLOURED);
    second.T.OB = &s.m;
    paintfilled(&second.T);
    EXPECT_EQ(second.rgb(7, 0), 0u);  // material 0 is absent from map 1
    EXPECT_EQ(second.rgb(0, 4), 0x0000C8u);
    EXPECT_EQ(second.flags[7 * 8 + 0], 0);
}

TEST(Outline, EveryEdgeIncludingTheClosingOneAndNoneAtAMissingCorner)
{
    smallmesh s({xy(0.125, 0.125), xy(0.75, 0.125), xy(0.75, 0.75), xy(0.125, 0.75)},
                {{0, 1, 2, 3}}, {0}, {pal3()});
    job j(8, 1, 0, MAP_MESH);
    j.T.OB = &s.m;
    paintoutline(&j.T);
    int white = 0;
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8; x++) white += j.rgb(y, x) == 0xFFFFFFu;
    EXPECT_EQ(white, 20);  // the rim of the square of rows and columns 1 to 6
    EXPECT_EQ(j.rgb(3, 1), 0xFFFFFFu);  // closing edge, from the last corner to the first
    EXPECT_EQ(j.rgb(3, 3), 0u);
    for (unsigned char f : j.flags) EXPECT_EQ(f, 0);  // outlines flag nothing

    smallmesh gap({xy(0.125, 0.125), xy(0.75, 0.125), xy(0.75, 0.75)}, {{0, -1, 2}}, {0}, {pal3()});
    job g(8, 1, 0, MAP_MESH);
    g.T.OB = &gap.m;
    paintoutline(&g.T);
    EXPECT_EQ(g.rgb(1, 3), 0u);  // edges to the corner without a texture point are dropped
    EXPECT_EQ(g.rgb(3, 3), 0xFFFFFFu);  // the diagonal from the last corner to the first
}

// Paints face f on j alone, whole, as a polygon or as a fan.
void paintface(job& j, const Face& f, pal3 col, bool polygon)
{
    std::vector<const xy*> c;
    for (int k = 0; k < f.n; k++) c.push_back(f.q[k].t);
    polyroom R = {};
    EXPECT_TRUE(!polygon || fillpolygon(&j.T.J, j.T.used, c.data(), f.n, col, 0, MAXSIDE, &R));
    for (int k = 2; !polygon && k < f.n; k++) j.T.J.filltriangle(c[0], c[k - 1], c[k], col, j.T.used);
    freepolyroom(&R);
}

// Corner lists of faces for smallmesh: face k takes the next sizes[k] points.
std::vector<std::vector<int>> runs(const std::vector<int>& sizes)
{
    std::vector<std::vector<int>> f;
    int next = 0;
    for (int n : sizes) {
        f.emplace_back();
        for (int k = 0; k < n; k++) f.back().push_back(next++);
    }
    return f;
}

// n corners round an ellipse, added to p.
void ellipse(std::vector<xy>& p, int n, double cu, double cv, double ru, double rv)
{
    for (int k = 0; k < n; k++)
        p.push_back(xy(cu + ru * std::cos(2 * M_PI * k / n), cv + rv * std::sin(2 * M_PI * k / n)));
}

}  // namespace

// Concave and crossing faces (a star of 24 corners, an L, a bow-tie) are
// painted as polygons, and so is a convex face of 300 corners; convex faces
// of up to 256 corners (on whole pixels, with corners repeated, or
// anywhere), a face missing a texture corner and one with a corner at NaN
// are their fans, byte for byte, as before.
TEST(Filled, EachFaceIsPaintedAsItsShapeAsks)
{
    std::mt19937 rng(99);
    std::uniform_real_distribution<double> unit(0.1, 0.9);
    const int n = 203;
    std::vector<xy> pts, star;
    std::vector<int> sizes;
    for (int k = 0; k < 24; k++) {
        const double r = k % 2 ? 0.2 : 0.45;
        star.push_back(xy(0.5 + r * std::cos(M_PI * k / 12), 0.5 + r * std::sin(M_PI * k / 12)));
    }
    std::vector<std::vector<xy>> shapes = {
        star,
        {xy(0.05, 0.05), xy(0.4, 0.05), xy(0.4, 0.3), xy(0.2, 0.3), xy(0.2, 0.6), xy(0.05, 0.6)},
        {xy(0.6, 0.6), xy(0.95, 0.95), xy(0.95, 0.6), xy(0.6, 0.95)},
        {}};
    ellipse(shapes[3], 300, 0.5, 0.5, 0.3, 0.4);
    for (int k = 0; k < 60; k++) {  // convex faces of 4 to 256 corners, every other on whole pixels
        std::vector<xy> f;
        ellipse(f, k % 20 ? 4 + k % 13 : 256, unit(rng), unit(rng), 0.2 * unit(rng), 0.2 * unit(rng));
        if (k % 2) f = {xy(0.1, 0.2), xy(0.5, 0.1), xy(0.5, 0.1), xy(0.7, 0.6), xy(0.2, 0.4), xy(0.15, 0.3)};
        for (xy& p : f) p = k % 2 ? xy(std::round(p.x * n + k) / n, std::round(p.y * n) / n) : p;
        shapes.push_back(f);
    }
    shapes.push_back(star);  // a corner missing, below
    shapes.push_back({xy(0.1, 0.1), xy(std::nan(""), 0.2), xy(0.9, 0.5), xy(0.5, 0.5), xy(0.3, 0.9)});
    for (const auto& f : shapes) pts.insert(pts.end(), f.begin(), f.end()), sizes.push_back((int)f.size());
    std::vector<std::vector<int>> faces = runs(sizes);
    faces[64][5] = -1;  // the second star: a corner without a texture point
    std::vector<int> mats(sizes.size());
    for (int& m : mats) m = (int)(rng() % 3);
    smallmesh s(pts, faces, mats, {pal3(200, 10, 10), pal3(10, 200, 10), pal3(10, 10, 200)});
    job expected(n, 1, 0, MAP_COLOURED), painted(n, 1, 0, MAP_COLOURED);  // the last made takes `used`
    painted.T.OB = &s.m;
    paintfilled(&painted.T);
    for (int i = 0; i < s.m.nf; i++) paintface(expected, s.m.fac[i], s.m.mat[s.m.fac[i].mat].col, i < 4);
    ASSERT_EQ(std::memcmp(painted.T.J.P, expected.T.J.P, painted.T.J.pixelbytes()), 0);
    ASSERT_TRUE(painted.flags == expected.flags);
}

// A convex face whose fan misses its lowest corner, on the whole pixel
// (106, 176), as both edges into it round their crossings of its row past
// it: with 5 corners (one repeated) it is a fan and misses it; with 300
// (a bulge along its upper edge) a polygon and paints it.
TEST(Filled, ConvexFacesOfManyCornersArePolygons)
{
    const xy a(0.00410256302, 0.000795177941), b(0.0159383435, 0.000439574273), c(0.522167504, 0.866995096),
        d(0.00594008248, 0.0139538348);
    std::vector<xy> few = {a, a, b, c, d}, many = {a};
    for (int k = 1; k < 297; k++) {
        const double t = k / 297.0, bulge = 2e-3 * t * (1 - t);
        many.push_back(xy(a.x + t * (b.x - a.x), a.y + t * (b.y - a.y) - bulge));
    }
    many.insert(many.end(), {b, c, d});
    for (const auto& p : {few, many}) {
        smallmesh s(p, runs({(int)p.size()}), {0}, {pal3(1, 2, 3)});
        job j(203, 1, 0, MAP_COLOURED);
        j.T.OB = &s.m;
        paintfilled(&j.T);
        EXPECT_GT(std::count(j.flags.begin(), j.flags.end(), 1), 150);
        EXPECT_EQ(j.flags[176 * 203 + 106], p.size() > 256) << p.size() << " corners";
    }
}

// A mesh of one face of 32767 corners (a circle) is cut into bands of rows
// on a machine of several cores: the progress comes from the bands as they
// are done (from one band it would sit at 0 until the face was painted),
// and the map is the face painted whole.
TEST(Filled, OneFaceOfManyCornersIsPaintedInBands)
{
    std::vector<xy> pts;
    ellipse(pts, 32767, 0.5, 0.5, 0.45, 0.45);
    smallmesh s(pts, runs({32767}), {0}, {pal3(1, 2, 3)});
    static std::vector<int> seen;
    promptops ops = {};
    ops.settitle = [](window, stage, const char*) {};
    ops.progress = [](window, int percent) { seen.push_back(percent); };
    const promptops* before = currentprompts();
    setprompts(&ops);
    job whole(1024, 1, 0, MAP_COLOURED), j(1024, 1, 0, MAP_COLOURED);
    j.T.OB = &s.m;
    paintfilled(&j.T);
    setprompts(before);
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen.front() > 0, corecount() > 1);  // a band's share, or the one face's tick
    EXPECT_EQ(seen.back(), 100);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    paintface(whole, s.m.fac[0], pal3(1, 2, 3), true);
    EXPECT_EQ(std::memcmp(j.T.J.P, whole.T.J.P, j.T.J.pixelbytes()), 0);
    EXPECT_TRUE(j.flags == whole.flags);
}

// Corners on u = 1 or v = 1 scale to one past the map: their edges are
// drawn in the last column or row, so the unit square shows all four sides
// at every size, in one band or several. Edges that run on past the map
// are cut at its border as before.
TEST(Outline, EdgesOnTheFarBordersAreDrawnInTheLastColumnAndRow)
{
    smallmesh quad({xy(0, 0), xy(1, 0), xy(1, 1), xy(0, 1)}, {{0, 1, 2, 3}}, {0}, {pal3()});
    for (int n : {1, 2, 8})
        for (int bands : {1, 3}) {
            knobs.paint_bands = n > 1 ? bands : 0;
            job j(n, 1, 0, MAP_MESH);
            j.T.OB = &quad.m;
            paintoutline(&j.T);
            for (int y = 0; y < n; y++)
                for (int x = 0; x < n; x++)
                    EXPECT_EQ(j.rgb(y, x) == 0xFFFFFFu, x == 0 || y == 0 || x == n - 1 || y == n - 1)
                        << n << ": " << x << "," << y;
        }
    knobs.paint_bands = 0;
    EXPECT_EQ(edge(8, xy(1, 0.25), xy(1, 0.75)), (pixels{{2, 7}, {3, 7}, {4, 7}, {5, 7}, {6, 7}}));
    EXPECT_EQ(edge(8, xy(0.25, 1), xy(0.625, 1)), (pixels{{7, 2}, {7, 3}, {7, 4}, {7, 5}}));
    EXPECT_EQ(edge(8, xy(0.5, 0.5), xy(1, 1)), (pixels{{4, 4}, {5, 5}, {6, 6}, {7, 7}}));
    EXPECT_EQ(edge(8, xy(0, 0.25), xy(1, 0.5)),
              (pixels{{2, 0}, {2, 1}, {2, 2}, {2, 3}, {3, 4}, {3, 5}, {3, 6}, {3, 7}, {4, 7}}));
    EXPECT_EQ(edge(8, xy(0.5, 0.5), xy(1.5, 1)), (pixels{{4, 4}, {4, 5}, {5, 6}, {5, 7}}));
    EXPECT_EQ(edge(8, xy(0.5, 0.5), xy(1, 1.5)), (pixels{{4, 4}, {5, 4}, {6, 5}, {7, 5}}));
}

// Many overlapping faces of several materials, enough for the painting to
// share the rows out among threads: the map and its flags are byte for byte
// those of painting every triangle (or drawing every edge) in turn on one
// thread, on maps of sizes that cut into bands unevenly, and on a map of
// one material.
TEST(Filled, SharedOutPaintingEqualsPaintingInTurn)
{
    std::mt19937 rng(2024);
    std::uniform_real_distribution<float> unit(0, 1);
    const int NF = 40000;
    std::vector<xy> pts;
    std::vector<std::vector<int>> faces;
    std::vector<int> mats;
    for (int i = 0; i < NF; i++) {
        // Most faces small, in file order down the map as a mesh's faces
        // often are, crowded into the upper part so that the bands are cut
        // by the faces' rows; some large, some far out.
        const float s = i % 100 == 0 ? 0.5f : i % 997 == 0 ? 3e6f : 0.01f;
        const float a = (float)i / NF, cu = unit(rng), cv = a * a + 0.02f * unit(rng);
        const int n = 3 + i % 2;
        std::vector<int> f;
        for (int k = 0; k < n; k++) {
            f.push_back((int)pts.size());
            pts.push_back(xy(cu + s * (unit(rng) - 0.5f), cv + s * (unit(rng) - 0.5f)));
        }
        // Non-finite corners: outlines run from them to row or column 0.
        if (i % 1499 == 7) pts.back().y = std::numeric_limits<float>::quiet_NaN();
        if (i % 1777 == 9) pts.back().y = (i & 1 ? 1 : -1) * std::numeric_limits<float>::infinity();
        faces.push_back(f);
        mats.push_back((int)(rng() % 5));
    }
    std::vector<pal3> cols;
    for (int k = 0; k < 5; k++) cols.push_back(pal3((unsigned char)rng(), (unsigned char)rng(), (unsigned char)rng()));
    smallmesh s(pts, faces, mats, cols);

    for (int bands : {0, 3, 8})
    for (int n : {64, 333, 1024}) {
        for (int M : {-1, 3}) {
            SCOPED_TRACE(testing::Message() << n << " map " << M << ", bands " << bands);
            knobs.paint_bands = bands;
            job shared(n, M < 0 ? 1 : 5, M < 0 ? 0 : M, MAP_COLOURED);
            shared.T.OB = &s.m;
            paintfilled(&shared.T);
            job inturn(n, 1, 0, MAP_COLOURED);
            for (int i = 0; i < s.m.nf; i++) {
                const Face& f = s.m.fac[i];
                if (M >= 0 && f.mat != M) continue;
                std::vector<const xy*> c;  // quads that are not convex are polygons
                for (int k = 0; k < f.n; k++) c.push_back(f.q[k].t);
                const int shape = f.n == 4 ? polygonshape(c.data(), 4, n, n, nullptr) : POLY_CONVEX;
                paintface(inturn, f, s.m.mat[f.mat].col, shape == POLY_CONCAVE || shape == POLY_CROSSING);
            }
            ASSERT_EQ(std::memcmp(shared.T.J.P, inturn.T.J.P, shared.T.J.pixelbytes()), 0);
            ASSERT_TRUE(shared.flags == inturn.flags);

            // Outlines, every edge of every face on the map.
            job lines(n, M < 0 ? 1 : 5, M < 0 ? 0 : M, MAP_MESH);
            lines.T.OB = &s.m;
            paintoutline(&lines.T);
            job edges(n, 1, 0, MAP_MESH);
            for (int i = 0; i < s.m.nf; i++) {
                const Face& f = s.m.fac[i];
                if (M >= 0 && f.mat != M) continue;
                for (int k = 0; k < f.n; k++) drawedge(&edges.T.J, n, *f.q[k ? k - 1 : f.n - 1].t, *f.q[k].t, WHITE);
            }
            ASSERT_EQ(std::memcmp(lines.T.J.P, edges.T.J.P, lines.T.J.pixelbytes()), 0);
        }
    }
    knobs.paint_bands = 0;
}

// Clearing a used map, small or big enough to be cleared by several
// threads, with rows that need fill bytes: every pixel and flag 0 again,
// and the bytes past the rows untouched.
TEST(Filled, ClearingResetsEveryPixelAndFlag)
{
    for (int n : {5, 1024, 1537}) {
        SCOPED_TRACE(n);
        job j(n, 1, 0, MAP_COLOURED);
        image& J = j.T.J;
        const size_t data = 3 * (size_t)n, ll = (size_t)J.LL;
        for (int y = 0; y < n; y++) std::memset((void*)J.Row(y), 0xAB, data);
        std::memset(j.flags.data(), 1, j.flags.size());
        J.P[J.pixelbytes()] = 0x5C;  // a spare byte past the rows
        clearmap(&j.T);
        for (size_t k = 0; k < J.pixelbytes(); k++) ASSERT_EQ(J.P[k], 0) << "byte " << k << " of rows of " << ll;
        ASSERT_EQ(J.P[J.pixelbytes()], 0x5C);
        for (unsigned char f : j.flags) ASSERT_EQ(f, 0);
    }
}
