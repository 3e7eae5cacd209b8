// The UV check's pixel counts against a slow count made another way, and
// the same results from any number of threads and bands.
#include "job/uvcheck.h"
#include "port/tuning.h"
#include "tests/job/uvmeshes.h"

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

// The counts centre by centre over the tiles 1001, 1002, 1011 and 1012 of
// the faces read into m, each a fan round its first corner; islands by
// lowering texture coordinates' labels until they settle.
struct slowcheck {
    slowcounts tiles[4], mats[8];
    std::set<int> shared, own, folds, between;

    slowcheck(const mesh& m, int n)
    {
        std::vector<int> label(m.nt);
        for (int i = 0; i < m.nt; i++) label[i] = i;
        auto t = [&](int f, int k) { return (int)(m.fac[f].q[k].t - m.t); };
        for (bool moved = true; moved;) {
            moved = false;
            for (int f = 0; f < m.nf; f++)
                for (int k = 1; k < m.fac[f].n; k++) {
                    int &a = label[t(f, k - 1)], &b = label[t(f, k)];
                    if (a != b) moved = true, a = b = std::min(a, b);
                }
        }
        auto island = [&](int f) { return label[t(f, 0)]; };
        auto at = [&](int f, int k) {
            return P{(double)(m.fac[f].q[k].t->x * (float)n), (double)(m.fac[f].q[k].t->y * (float)n)};
        };
        for (int tile = 0; tile < 4; tile++)
            for (int y = 0; y < n; y++)
                for (int x = 0; x < n; x++) {
                    const P c = {(tile % 2) * n + x + 0.5, (tile / 2) * n + y + 0.5};
                    std::vector<int> on;
                    for (int f = 0; f < m.nf; f++) {
                        double area = 0;  // none: degenerate, not counted
                        for (int k = 0; k < m.fac[f].n; k++) {
                            const P p = at(f, k), q = at(f, (k + 1) % m.fac[f].n);
                            area += p.x * q.y - q.x * p.y;
                        }
                        bool in = false;
                        for (int k = 2; area != 0 && k < m.fac[f].n; k++) in = in || covers(at(f, 0), at(f, k - 1), at(f, k), c);
                        if (in) on.push_back(f);
                    }
                    bool oneisland = true;
                    for (int f : on) {
                        oneisland = oneisland && island(f) == island(on[0]);
                        if (on.size() > 1) shared.insert(f);
                        for (int g : on) {
                            if (g != f && island(g) != island(f)) between.insert(f);
                            if (g != f && m.fac[g].mat == m.fac[f].mat) own.insert(f);
                        }
                    }
                    if (on.size() > 1 && oneisland) folds.insert(on.begin(), on.end());
                    add(&tiles[tile], on, island);
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
        c->covered += !on.empty();
        c->overlap += on.size() > 1;
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

typedef UVTest UVPixels;

std::string line(long long a, long long b, long long c)
{
    return std::to_string(a) + " " + std::to_string(b) + " " + std::to_string(c) + "\n";
}

}  // namespace

TEST_F(UVPixels, CountsAgreeWithASlowCountAtEveryCentre)
{
    for (unsigned seed = 1; seed <= 12; seed++) {
        ASSERT_NO_FATAL_FAILURE(check(randommesh(seed, 24, 30, 3), 32));
        const slowcheck slow(m, 32);
        std::string got, want;
        for (int t = 0; t < 4; t++) {
            const uvtile none = {1001 + t % 2 + 10 * (t / 2), 0, 0, 0, 0}, *g = &none;
            for (int k = 0; k < r.ntiles; k++)
                if (r.tiles[k].tile == none.tile) g = &r.tiles[k];
            got += line(g->covered, g->overlap, g->between);
            want += line(slow.tiles[t].covered, slow.tiles[t].overlap, slow.tiles[t].between);
        }
        int own = 0;
        for (int j = 0; j < m.nmat; j++) {
            got += line(r.mats[j].covered, r.mats[j].overlap, r.mats[j].between);
            want += line(slow.mats[j].covered, slow.mats[j].overlap, slow.mats[j].between);
            own += r.mats[j].overlapfaces;
        }
        got += line(r.all.overlapfaces, own, count(UV_FOLDS)) + line(count(UV_OVERLAPS), 0, 0);
        want += line(slow.shared.size(), slow.own.size(), slow.folds.size()) + line(slow.between.size(), 0, 0);
        EXPECT_EQ(got, want) << "seed " << seed;
        EXPECT_GT(r.all.overlap, 0);  // the case is there to be tested
    }
}

// Edges where a centre lies on the edge but the slope alone would place the
// crossing a hair past it: the face on each side, in a material of its
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
        ASSERT_NO_FATAL_FAILURE(check(b.text, 32));
        const slowcheck slow(m, 32);
        EXPECT_EQ(line(r.mats[0].covered, r.mats[1].covered, r.all.overlap),
                  line(slow.mats[0].covered, slow.mats[1].covered, 0));
    }
}

// Bands of 5 rows on 3 threads, and of 1 row on 8, give what one band on
// one thread gives: counts, face kinds, pictures and flags.
TEST_F(UVPixels, BandsAndThreadsChangeNothing)
{
    const std::string text = randommesh(99, 3000, 20000, 4);
    const int n = 128, runs[3][2] = {{1, n}, {3, 5}, {8, 1}};
    std::string first;
    for (const auto& run : runs) {
        knobs.uvcheck_threads = run[0];
        knobs.uvcheck_bandrows = run[1];
        ASSERT_NO_FATAL_FAILURE(check(text, n));
        image J;
        ASSERT_NE(J.reset(n, n), nullptr);
        std::memset(J.P, 0, J.pixelbytes());
        std::string flags((size_t)n * n, '\0');
        ASSERT_EQ(paintcheck(&J, (unsigned char*)&flags[0], &m, n, &r, -1), 1);
        std::string all = line(r.all.covered, r.all.overlap, r.all.between) + flags +
                          std::string((const char*)J.P, J.pixelbytes()) + std::string((const char*)r.kinds, r.nf);
        for (int j = 0; j < r.nmat; j++) all += line(r.mats[j].covered, r.mats[j].overlap, r.mats[j].between);
        for (int k = 0; k < r.ntiles; k++) all += line(r.tiles[k].tile, r.tiles[k].covered, r.tiles[k].overlap);
        if (first.empty()) {
            first = all;
            EXPECT_GT(r.all.between, 0);
            EXPECT_GT(r.all.overlap, r.all.between);
        }
        EXPECT_TRUE(all == first) << run[0] << " threads, bands of " << run[1];
    }
}
