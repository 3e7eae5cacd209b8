// The mesh container: growth, rebasing, names and faces.
#include "mesh/mesh.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

// A mesh emptied on construction and released on destruction.
struct testmesh : mesh {
    testmesh() { initialize(0); }
    ~testmesh() { delarrays(); }
};

int vertexof(const mesh& m, const fcinfo& c) { return c.p ? (int)(c.p - m.point) : -1; }
int textureof(const mesh& m, const fcinfo& c) { return c.t ? (int)(c.t - m.t) : -1; }

}  // namespace

TEST(Capacity, GrowsToExactlyTheRequestAndShrinksOnlyWhenExact)
{
    testmesh m;
    ASSERT_EQ(m.setnp_(10, 0), 1);
    EXPECT_EQ(m.np_, 10);
    for (int i = 0; i < 5; i++) m.addpoint(xyz(i, 0, 0));
    const xyz* before = m.point;

    EXPECT_EQ(m.setnp_(10, 0), 1);
    EXPECT_EQ(m.setnp_(10, 1), 1);
    EXPECT_EQ(m.setnp_(5, 0), 1);
    EXPECT_EQ(m.np_, 10);
    EXPECT_EQ(m.point, before);

    EXPECT_EQ(m.setnp_(5, 1), 1);
    EXPECT_EQ(m.np_, 5);
    EXPECT_EQ(m.setnp_(11, 0), 1);
    EXPECT_EQ(m.np_, 11);
    for (int i = 0; i < 5; i++) EXPECT_EQ(m.point[i].x, i);
}

TEST(Capacity, ExactZeroReleasesTheArray)
{
    testmesh m;
    ASSERT_EQ(m.setnt_(4, 0), 1);
    EXPECT_EQ(m.setnt_(0, 1), 0);
    EXPECT_EQ(m.t, nullptr);
    EXPECT_EQ(m.nt_, 0);
    EXPECT_EQ(m.setnt_(0, 1), 1);  // already that size
}

TEST(Capacity, FailedGrowthKeepsTheOldArray)
{
    testmesh m;
    ASSERT_EQ(m.setnq_(3, 0), 1);
    fcinfo* old = m.pts;
    EXPECT_EQ(m.setnq_(INT_MAX, 0), 0);  // about 50 GB: refused
    EXPECT_EQ(m.pts, old);
    EXPECT_EQ(m.nq_, 3);
    EXPECT_EQ(m.setnq_(-1, 1), 0);
    EXPECT_EQ(m.nq_, 3);
}

TEST(Capacity, AddingGrowsByOneElement)
{
    testmesh m;
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(m.addpoint(xyz(i, 2 * i, 3 * i)), i);
        EXPECT_EQ(m.np_, i + 1);
        EXPECT_EQ(m.addt(xy(i, -i)), i);
        EXPECT_EQ(m.nt_, i + 1);
    }
    EXPECT_EQ(m.point[2].y, 4);
    EXPECT_EQ(m.t[2].y, -2);
}

// Growing a small block to megabytes moves it (a fresh mapping).
TEST(Capacity, PointersFollowMovedArrays)
{
    testmesh m;
    for (int i = 0; i < 4; i++) m.addpoint(xyz(i, 0, 0));
    for (int i = 0; i < 3; i++) m.addt(xy(i, 0));
    Face* f = m.addface(3);
    ASSERT_NE(f, nullptr);
    for (int j = 0; j < 3; j++) {
        f->q[j].p = &m.point[3 - j];
        f->q[j].t = j == 1 ? nullptr : &m.t[j];
    }
    Face* g = m.addface(2);
    ASSERT_NE(g, nullptr);
    g->q[0].p = &m.point[1];  // g->q[1] left unfilled, as after a bad line

    std::uintptr_t oldpts = (std::uintptr_t)m.pts, oldpoint = (std::uintptr_t)m.point,
                   oldt = (std::uintptr_t)m.t;
    ASSERT_EQ(m.setnq_(1 << 20, 0), 1);
    ASSERT_EQ(m.setnp_(1 << 20, 0), 1);
    ASSERT_EQ(m.setnt_(1 << 20, 0), 1);
    ASSERT_NE((std::uintptr_t)m.pts, oldpts);
    ASSERT_NE((std::uintptr_t)m.point, oldpoint);
    ASSERT_NE((std::uintptr_t)m.t, oldt);

    EXPECT_EQ(m.fac[0].q, &m.pts[0]);
    EXPECT_EQ(m.fac[1].q, &m.pts[3]);
    EXPECT_EQ(vertexof(m, m.pts[0]), 3);
    EXPECT_EQ(vertexof(m, m.pts[1]), 2);
    EXPECT_EQ(vertexof(m, m.pts[2]), 1);
    EXPECT_EQ(textureof(m, m.pts[0]), 0);
    EXPECT_EQ(m.pts[1].t, nullptr);
    EXPECT_EQ(textureof(m, m.pts[2]), 2);
    EXPECT_EQ(vertexof(m, m.pts[3]), 1);
    EXPECT_EQ(m.pts[4].p, nullptr);  // unfilled corners stay null
    EXPECT_EQ(m.pts[4].t, nullptr);

    // and back when trimmed
    ASSERT_EQ(m.setnp_(m.np, 1), 1);
    ASSERT_EQ(m.setnq_(m.nq, 1), 1);
    EXPECT_EQ(m.fac[1].q, &m.pts[3]);
    EXPECT_EQ(vertexof(m, m.pts[0]), 3);
    EXPECT_EQ(m.pts[4].p, nullptr);
}

TEST(Faces, FirstFaceGetsDefaultGroupAndMaterial)
{
    testmesh m;
    Face* f = m.addface(3);
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(m.ng, 1);
    ASSERT_EQ(m.nmat, 1);
    EXPECT_STREQ(m.group[0].name, "default");
    EXPECT_STREQ(m.mat[0].name, "default");
    EXPECT_EQ(f->mat, 0);
    EXPECT_EQ(f->g, 0);
    EXPECT_EQ(f->n, 3);
    EXPECT_EQ(f->q, m.pts);
    EXPECT_EQ(m.nq, 3);
    EXPECT_EQ(m.nf, 1);
    EXPECT_EQ(m.mat[0].nf, 1);
    for (int j = 0; j < 3; j++) {
        EXPECT_EQ(f->q[j].p, nullptr);
        EXPECT_EQ(f->q[j].t, nullptr);
    }
}

TEST(Faces, TakeCurrentGroupAndMaterialAndTileThePool)
{
    testmesh m;
    m.currentgroup = (short)m.findaddgroup("head");
    m.currentmat = (short)m.findaddmat("Skin");
    EXPECT_EQ(m.addface(1)->n, 1);
    m.currentgroup = (short)m.findaddgroup("hat");
    m.currentmat = (short)m.findaddmat("Felt");
    Face* f = m.addface(2);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->g, 1);
    EXPECT_EQ(f->mat, 1);
    EXPECT_EQ(m.fac[0].q, &m.pts[0]);
    EXPECT_EQ(m.fac[1].q, &m.pts[1]);
    EXPECT_EQ(m.nq, 3);
    EXPECT_EQ(m.mat[0].nf, 1);
    EXPECT_EQ(m.mat[1].nf, 1);

    m.currentmat = 7;  // out of range: back to 0
    m.currentgroup = -3;
    f = m.addface(3);
    EXPECT_EQ(f->mat, 0);
    EXPECT_EQ(f->g, 0);
    EXPECT_EQ(m.mat[0].nf, 2);
}

TEST(Faces, CornerCountOutsideShortIsRefused)
{
    testmesh m;
    EXPECT_EQ(m.addface(0), nullptr);
    EXPECT_EQ(m.addface(MAXINDEX + 1), nullptr);
    EXPECT_EQ(m.nf, 0);
    EXPECT_EQ(m.nq, 0);
    ASSERT_NE(m.addface(MAXINDEX), nullptr);
    EXPECT_EQ(m.fac[0].n, MAXINDEX);
}

TEST(Materials, FacelessLastMaterialIsReplaced)
{
    testmesh m;
    EXPECT_EQ(m.findaddmat("A"), 0);
    EXPECT_EQ(m.findaddmat("B"), 0);
    EXPECT_EQ(m.nmat, 1);
    EXPECT_STREQ(m.mat[0].name, "B");

    m.currentmat = 0;
    m.addface(3);
    EXPECT_EQ(m.findaddmat("C"), 1);
    EXPECT_EQ(m.nmat, 2);
}

TEST(Materials, OnlyTheLastMaterialIsDropped)
{
    testmesh m;
    const char* names[] = {"Hair", "Lips", "Skin"};
    const int faces[] = {2, 0, 4};
    for (int i = 0; i < 3; i++) {
        m.addmat(names[i]);
        m.mat[i].nf = 1;
    }
    for (int i = 0; i < 3; i++) m.mat[i].nf = faces[i];
    EXPECT_EQ(m.addmat("Teeth"), 3);
    EXPECT_STREQ(m.mat[1].name, "Lips");

    testmesh n;
    n.addmat("Hair");
    n.mat[0].nf = 2;
    n.addmat("Lips");
    EXPECT_EQ(n.addmat("Teeth"), 1);
    EXPECT_EQ(n.nmat, 2);
    EXPECT_STREQ(n.mat[1].name, "Teeth");
    EXPECT_EQ(n.mat[1].nf, 0);
    EXPECT_EQ(n.mat[1].cf, 0);
    EXPECT_EQ(n.mat[1].col.red + n.mat[1].col.green + n.mat[1].col.blue, 0);
}

TEST(Names, LookupIsExactCaseSensitiveAndFirstWins)
{
    testmesh m;
    EXPECT_EQ(m.findaddgroup("head"), 0);
    EXPECT_EQ(m.findaddgroup("head"), 0);
    EXPECT_EQ(m.findaddgroup("Head"), 1);
    EXPECT_EQ(m.findaddgroup("hat"), 2);  // groups are never dropped
    EXPECT_EQ(m.ng, 3);

    m.addmat("Skin");
    m.mat[0].nf = 1;
    EXPECT_EQ(m.findaddmat("skin"), 1);
    EXPECT_EQ(m.findaddmat("Skin"), 0);
}

// Names stay whole and in place as the pool that holds them grows and
// moves; a dropped faceless material gives back its name's bytes.
TEST(Names, ThePoolKeepsNamesWholeAsItGrows)
{
    testmesh m;
    const std::string long10k(10000, 'n');
    EXPECT_EQ(m.findaddmat(long10k.c_str()), 0);
    m.mat[0].nf = 1;
    EXPECT_EQ(m.findaddgroup("first"), 0);
    for (int i = 0; i < 2000; i++) m.findaddgroup(("group " + std::to_string(i)).c_str());
    EXPECT_GT(m.nnames_, 20000u);  // it grew, and moved as it may
    EXPECT_EQ(m.mat[0].name, long10k);
    EXPECT_STREQ(m.group[0].name, "first");
    EXPECT_STREQ(m.group[2000].name, "group 1999");
    EXPECT_EQ(m.findaddmat(long10k.c_str()), 0);
    // A name of the pool given again, as the pool must grow for its copy.
    while (m.nnames_ - m.nnames > 10000) m.addgroup("filler");
    const int g = m.addgroup(m.mat[0].name);
    ASSERT_EQ(g, m.ng - 1);
    EXPECT_EQ(m.group[g].name, long10k);

    const size_t used = m.nnames;
    EXPECT_EQ(m.findaddmat(long10k.substr(1).c_str()), 1);
    EXPECT_EQ(m.findaddmat(nullptr), 1);
    EXPECT_STREQ(m.mat[1].name, "");
    EXPECT_EQ(m.nnames, used + 1);
}

TEST(Lifecycle, EmptyMeshReleasesNothing)
{
    mesh m;
    std::memset(&m, 0x5a, sizeof m);
    m.initialize(0);
    m.delarrays();
    m.initialize(1);
    EXPECT_EQ(m.point, nullptr);
    EXPECT_EQ(m.np + m.np_ + m.nq + m.nq_ + m.nf + m.nf_ + m.ng + m.ng_ + m.nmat + m.nmat_ +
                  m.nt + m.nt_ + m.currentgroup + m.currentmat,
              0);

    m.addpoint(xyz(1, 2, 3));
    m.addface(2);
    m.initialize(1);  // releases and empties
    EXPECT_EQ(m.point, nullptr);
    EXPECT_EQ(m.nf, 0);
}
