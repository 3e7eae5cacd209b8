// Painting maps: fans, outlines, edges, and bands of rows on every core.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "job/paint.h"
#include "port/tuning.h"

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
    // 1.0 lands on column 8, outside; the rest of the row is drawn.
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

}  // namespace

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
                for (int k = 2; k < f.n; k++) inturn.T.J.filltriangle(f.q[0].t, f.q[k - 1].t, f.q[k].t, s.m.mat[f.mat].col, inturn.T.used);
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
