// The UV check's pixel counts against a slow count made another way, and
// the same results from any number of threads and bands.
#include "job/uvcheck.h"
#include "tests/job/uvmeshes.h"
#include "tests/support/support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

struct P {
    double x, y;
};

// Whether the centre c lies in triangle a, b, c by the top-left rule, y
// growing downwards: inside every edge, or on an edge whose inward normal
// points to the right, or straight down. Exact for the binary grid used.
bool covers(P a, P b, P d, P c)
{
    const double area = (b.x - a.x) * (d.y - a.y) - (b.y - a.y) * (d.x - a.x);
    if (area == 0) return false;
    if (area < 0) std::swap(b, d);
    const P e[3][2] = {{a, b}, {b, d}, {d, a}};
    for (const auto& pq : e) {
        const P p = pq[0], q = pq[1];
        const double w = (q.x - p.x) * (c.y - p.y) - (q.y - p.y) * (c.x - p.x);
        const double nx = -(q.y - p.y), ny = q.x - p.x;
        if (w < 0 || (w == 0 && !(nx > 0 || (nx == 0 && ny > 0)))) return false;
    }
    return true;
}

struct slowcounts {
    long long covered = 0, overlap = 0, between = 0;
};

// The counts pixel by pixel over the tiles 1001, 1002, 1011 and 1012, from
// the faces read into m: which faces cover each centre, as a fan round the
// first corner; islands by merging texture coordinate labels until they
// settle.
struct slowcheck {
    slowcounts tiles[4], mats[8];
    std::set<int> shared, own, folds, between;

    slowcheck(const mesh& m, int n)
    {
        std::vector<int> label(m.nt);
        for (int i = 0; i < m.nt; i++) label[i] = i;
        for (bool moved = true; moved;) {
            moved = false;
            for (int i = 0; i < m.nf; i++) {
                int low = m.nt;
                for (int k = 0; k < m.fac[i].n; k++) low = std::min(low, label[m.fac[i].q[k].t - m.t]);
                for (int k = 0; k < m.fac[i].n; k++) {
                    int& l = label[m.fac[i].q[k].t - m.t];
                    if (l != low) l = low, moved = true;
                }
            }
        }
        auto island = [&](int f) { return label[m.fac[f].q[0].t - m.t]; };
        auto at = [&](int f, int k) {
            const xy* t = m.fac[f].q[k].t;
            return P{(double)(t->x * (float)n), (double)(t->y * (float)n)};
        };
        std::vector<bool> flat(m.nf);
        for (int f = 0; f < m.nf; f++) {
            double s = 0;
            for (int k = 0; k < m.fac[f].n; k++) {
                const P p = at(f, k), q = at(f, (k + 1) % m.fac[f].n);
                s += p.x * q.y - q.x * p.y;
            }
            flat[f] = s == 0;
        }
        for (int tile = 0; tile < 4; tile++)
            for (int y = 0; y < n; y++)
                for (int x = 0; x < n; x++) {
                    const P c = {(tile % 2) * n + x + 0.5, (tile / 2) * n + y + 0.5};
                    std::vector<int> on;
                    for (int f = 0; f < m.nf; f++) {
                        bool in = false;
                        for (int k = 2; !flat[f] && k < m.fac[f].n; k++) in = in || covers(at(f, 0), at(f, k - 1), at(f, k), c);
                        if (in) on.push_back(f);
                    }
                    add(&tiles[tile], on, island);
                    for (int f : on) {
                        if (on.size() > 1) shared.insert(f);
                        for (int g : on) {
                            if (g == f) continue;
                            if (island(g) != island(f)) between.insert(f);
                            if (m.fac[g].mat == m.fac[f].mat) own.insert(f);
                        }
                    }
                    bool oneisland = true;
                    for (int f : on) oneisland = oneisland && island(f) == island(on[0]);
                    if (on.size() > 1 && oneisland) folds.insert(on.begin(), on.end());
                    for (int mat = 0; mat < m.nmat; mat++) {
                        std::vector<int> of;
                        for (int f : on)
                            if (m.fac[f].mat == mat) of.push_back(f);
                        add(&mats[mat], of, island);
                    }
                }
    }
    template <class F>
    static void add(slowcounts* c, const std::vector<int>& on, F island)
    {
        if (on.empty()) return;
        c->covered++;
        if (on.size() < 2) return;
        c->overlap++;
        for (int f : on)
            if (island(f) != island(on[0])) return (void)c->between++;
    }
};

// Random faces of 3 or 4 corners drawn from a pool of texture coordinates
// on a grid of 1/8 pixel at 32 over 0..1.25, so faces share corners (and
// islands), meet edge to edge, cross the tile borders and lie on centres.
std::string randommesh(unsigned seed, int faces, int pool, int materials)
{
    std::mt19937 rng(seed);
    objbuilder b;
    std::uniform_int_distribution<int> coord(0, 320), pick(1, pool), corners(3, 4), mat(0, materials - 1);
    for (int i = 0; i < pool; i++) b.vt(coord(rng) / 256.0, coord(rng) / 256.0);
    for (int i = 0; i < faces; i++) {
        b.material(("m" + std::to_string(mat(rng))).c_str());
        std::vector<int> ts;
        const int want = corners(rng);
        while ((int)ts.size() < want) {
            const int t = pick(rng);
            bool seen = false;
            for (int u : ts) seen = seen || u == t;
            if (!seen) ts.push_back(t);
        }
        b.face(ts);
    }
    return b.text;
}

class UVPixels : public ::testing::Test {
  protected:
    tempdir files;
    mesh m;
    uvreport r = {};
    void SetUp() override { m.initialize(0); }
    void TearDown() override
    {
        freeuvreport(&r);
        m.delarrays();
        uvcheck_threads = uvcheck_bandrows = 0;
    }
    void read(const std::string& text)
    {
        ASSERT_EQ(m.readOBJ(files.put("r.obj", text).c_str(), 0), 1);
    }
};

int count(const uvreport& r, int kind)
{
    int c = 0;
    for (int i = 0; i < r.nf; i++) c += (r.kinds[i] >> kind) & 1;
    return c;
}

}  // namespace

TEST_F(UVPixels, CountsAgreeWithASlowCountAtEveryCentre)
{
    for (unsigned seed = 1; seed <= 12; seed++) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        ASSERT_NO_FATAL_FAILURE(read(randommesh(seed, 24, 30, 3)));
        freeuvreport(&r);
        ASSERT_EQ(uvcheck(&m, 32, &r), 1);
        const slowcheck slow(m, 32);
        const int numbers[4] = {1001, 1002, 1011, 1012};
        for (int t = 0; t < 4; t++) {
            const uvtile* got = nullptr;
            for (int k = 0; k < r.ntiles; k++)
                if (r.tiles[k].tile == numbers[t]) got = &r.tiles[k];
            const uvtile none = {numbers[t], 0, 0, 0, 0};
            if (!got) got = &none;
            EXPECT_EQ(got->covered, slow.tiles[t].covered) << numbers[t];
            EXPECT_EQ(got->overlap, slow.tiles[t].overlap) << numbers[t];
            EXPECT_EQ(got->between, slow.tiles[t].between) << numbers[t];
        }
        for (int mat = 0; mat < m.nmat; mat++) {
            EXPECT_EQ(r.mats[mat].covered, slow.mats[mat].covered) << mat;
            EXPECT_EQ(r.mats[mat].overlap, slow.mats[mat].overlap) << mat;
            EXPECT_EQ(r.mats[mat].between, slow.mats[mat].between) << mat;
        }
        int own = 0;
        for (int mat = 0; mat < m.nmat; mat++) own += r.mats[mat].overlapfaces;
        EXPECT_EQ(r.all.overlapfaces, (int)slow.shared.size());
        EXPECT_EQ(own, (int)slow.own.size());
        EXPECT_EQ(count(r, UV_FOLDS), (int)slow.folds.size());
        EXPECT_EQ(count(r, UV_OVERLAPS), (int)slow.between.size());
        EXPECT_GT(r.all.overlap, 0);  // the case is there to be tested
    }
}

// Edges where a centre lies on the edge but the slope alone would place the
// crossing a hair past it: the face on each side, in materials of their
// own, must keep to the rule.
TEST_F(UVPixels, CentresOnAnEdgeGoByTheRuleWhereTheSlopeRounds)
{
    const double edges[][4] = {{1, 13, 19, 27}, {4, 1.5, 37, 31.5}, {35, 3, 1, 17}, {0, 18, 35, 33}};
    for (const auto& e : edges) {
        objbuilder b;
        const double mid = (e[1] + e[3]) / 2;
        b.material("left");
        b.tri(e[0] / 32, e[1] / 32, e[2] / 32, e[3] / 32, 0, mid / 32);
        b.material("right");
        b.tri(e[0] / 32, e[1] / 32, 40.0 / 32, mid / 32, e[2] / 32, e[3] / 32);
        ASSERT_NO_FATAL_FAILURE(read(b.text));
        freeuvreport(&r);
        ASSERT_EQ(uvcheck(&m, 32, &r), 1);
        const slowcheck slow(m, 32);
        EXPECT_EQ(r.mats[0].covered, slow.mats[0].covered) << e[0] << " " << e[1];
        EXPECT_EQ(r.mats[1].covered, slow.mats[1].covered) << e[0] << " " << e[1];
        EXPECT_EQ(r.all.overlap, 0);
    }
}

namespace {

// Everything uvcheck gives, as text to compare.
std::string summary(const uvreport& r)
{
    std::string s;
    auto block = [&](const uvblock& b) {
        s += std::to_string(b.covered) + " " + std::to_string(b.overlap) + " " + std::to_string(b.between) + " " +
             std::to_string(b.overlapfaces) + " " + std::to_string(b.islands) + " " + std::to_string(b.tiles) + "\n";
    };
    block(r.all);
    for (int j = 0; j < r.nmat; j++) block(r.mats[j]);
    for (int k = 0; k < r.ntiles; k++)
        s += std::to_string(r.tiles[k].tile) + " " + std::to_string(r.tiles[k].covered) + " " +
             std::to_string(r.tiles[k].overlap) + " " + std::to_string(r.tiles[k].between) + "\n";
    s.append((const char*)r.kinds, (size_t)r.nf);
    return s;
}

}  // namespace

// Bands of 5 rows on 3 threads, and of 1 row on 8, give what one band on
// one thread gives, numbers and pictures alike.
TEST_F(UVPixels, BandsAndThreadsChangeNothing)
{
    ASSERT_NO_FATAL_FAILURE(read(randommesh(99, 3000, 20000, 4)));
    const int n = 128;
    std::string first;
    std::vector<unsigned char> picture, flags;
    const int runs[3][2] = {{1, n}, {3, 5}, {8, 1}};
    for (const auto& run : runs) {
        uvcheck_threads = run[0];
        uvcheck_bandrows = run[1];
        freeuvreport(&r);
        ASSERT_EQ(uvcheck(&m, n, &r), 1);
        image J;
        ASSERT_NE(J.reset(n, n, 24, -1), nullptr);
        std::memset(J.P, 0, J.pixelbytes());
        std::vector<unsigned char> f((size_t)n * n, 0);
        ASSERT_EQ(paintcheck(&J, f.data(), &m, n, &r, -1), 1);
        std::vector<unsigned char> p(J.P, J.P + J.pixelbytes());
        if (first.empty()) {
            first = summary(r);
            picture = p;
            flags = f;
            EXPECT_GT(r.all.between, 0);
            EXPECT_GT(r.all.overlap, r.all.between);
        } else {
            EXPECT_EQ(summary(r), first) << run[0] << " threads, bands of " << run[1];
            EXPECT_TRUE(p == picture) << run[0] << " threads, bands of " << run[1];
            EXPECT_TRUE(f == flags) << run[0] << " threads, bands of " << run[1];
        }
    }
}
