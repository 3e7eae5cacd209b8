// Group and material look-up by name, and .OBJ input that arrives in odd
// shapes: a byte-order mark, a file that vanishes or grows between the
// reader's two passes.
#include "mesh/mesh.h"
#include "mesh/objread_text.h"
#include "tests/support/support.h"
#include "port/tuning.h"
#include "tests/mesh/failures.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

struct emptymesh : mesh {
    emptymesh() { initialize(0); }
    ~emptymesh() { delarrays(); }
};

// What the look-ups must give: the first entry named s, by a plain scan.
int firstgroup(const mesh& m, const char* s)
{
    for (int i = 0; i < m.ng; i++)
        if (std::strcmp(m.group[i].name, s) == 0) return i;
    return -1;
}

int firstmat(const mesh& m, const char* s)
{
    for (int i = 0; i < m.nmat; i++)
        if (std::strcmp(m.mat[i].name, s) == 0) return i;
    return -1;
}

TEST(NameLookup, AgreesWithAPlainScanThroughRandomChanges)
{
    emptymesh m;
    std::mt19937 r(7);
    for (int step = 0; step < 20000; step++) {
        // Few distinct names, so names repeat and faceless materials are
        // dropped and their slots taken over again and again.
        std::string s = "n" + std::to_string(r() % (step < 10000 ? 3000 : 40));
        int want = firstgroup(m, s.c_str());
        int got = m.findaddgroup(s.c_str());
        ASSERT_EQ(got, want >= 0 ? want : m.ng - 1) << s;
        want = firstmat(m, s.c_str());
        got = m.findaddmat(s.c_str());
        ASSERT_EQ(got, want >= 0 ? want : m.nmat - 1) << s;
        ASSERT_STREQ(m.mat[got].name, s.c_str());
        if (r() % 2) m.mat[got].nf++;  // a face took it: it stays
        ASSERT_EQ(m.findmat(s.c_str()), got);
    }
    EXPECT_GT(m.nmat, 100);
    EXPECT_LE(m.ng, 3000);
}

TEST(NameLookup, DroppedMaterialIsNotFoundItsSuccessorIs)
{
    emptymesh m;
    EXPECT_EQ(m.findaddmat("A"), 0);
    EXPECT_EQ(m.findaddmat("B"), 0);  // A had no face: B takes its slot
    EXPECT_EQ(m.findmat("A"), -1);
    EXPECT_EQ(m.findmat("B"), 0);
    m.mat[0].nf = 1;
    EXPECT_EQ(m.findaddmat("A"), 1);
    EXPECT_EQ(m.findaddmat("B"), 0);
    EXPECT_EQ(m.nmat, 2);
}

// Names are kept whole: two that share their first 31 characters are two
// names, each found again; a prefix or a longer name is neither.
TEST(NameLookup, LongNamesAreFoundByAllTheirCharacters)
{
    emptymesh m;
    std::string cut(31, 'x'), a = cut + "a", b = cut + "b";
    EXPECT_EQ(m.findaddgroup("g"), 0);
    EXPECT_EQ(m.findaddgroup(a.c_str()), 1);
    EXPECT_EQ(m.findaddgroup(b.c_str()), 2);
    EXPECT_EQ(m.findaddgroup(a.c_str()), 1);
    EXPECT_EQ(m.findgroup(cut.c_str()), -1);
    EXPECT_EQ(m.findgroup((a + "a").c_str()), -1);
    const std::string huge(10000000, 'x');
    EXPECT_EQ(m.findaddgroup(huge.c_str()), 3);
    EXPECT_EQ(m.findgroup(huge.c_str()), 3);
    EXPECT_EQ(m.findaddgroup(nullptr), 4);  // no name is the empty one
    EXPECT_EQ(m.findgroup(""), 4);
}

TEST(NameLookup, IndexGoesWithTheArrays)
{
    emptymesh m;
    for (int i = 0; i < 1000; i++) m.findaddgroup(("g" + std::to_string(i)).c_str());
    m.initialize(1);  // releases the index with the arrays
    EXPECT_EQ(m.groupnames.cell, nullptr);
    EXPECT_EQ(m.findgroup("g5"), -1);
    EXPECT_EQ(m.findaddgroup("g999"), 0);
}

class ObjInput : public ::testing::Test {
  protected:
    tempdir files;
    failures shown;
    emptymesh m;

    void TearDown() override
    {
        knobs.objread_parallel = true;
        knobs.objread_chunkbytes = 0;
        knobs.objread_betweenpasses = nullptr;
    }
    std::string write(const std::string& text, const char* name = "mesh.obj")
    {
        std::string file = files.put(name, text);
        std::error_code e;  // a file not written whole shows as a wrong size
        EXPECT_EQ(std::filesystem::file_size(file, e), text.size());
        return file;
    }
};

const char* SQUARE = "v 0 0 0\nv 1 0 0\nv 1 1 0\nvt 0 0\nvt 1 0\nvt 1 1\nf 1/1 2/2 3/3\n";

TEST_F(ObjInput, ByteOrderMarkIsNoPartOfTheFirstLine)
{
    std::string many;
    for (int i = 0; i < 300; i++) many += SQUARE;
    std::string file = write("\xEF\xBB\xBF" + many);
    for (long chunk : {0L, 100L, 7L}) {  // one pass; chunks, the first of them short
        knobs.objread_parallel = chunk != 0;
        knobs.objread_chunkbytes = chunk;
        ASSERT_EQ(shown.read(m, file.c_str()), 1) << chunk;
        EXPECT_EQ(m.np, 900);
        EXPECT_EQ(m.nf, 300);
        EXPECT_EQ(m.point[0].x, 0.0f);
    }
    EXPECT_TRUE(shown.boxes.empty());
    // Only at the very start: elsewhere the bytes are a token like any other.
    file = write(std::string(SQUARE) + "\xEF\xBB\xBFv 1 2 3\n");
    ASSERT_EQ(shown.read(m, file.c_str()), 1);
    EXPECT_EQ(m.np, 3);
    // A file of the mark alone, or of part of it, is empty or one odd line.
    ASSERT_EQ(shown.read(m, write("\xEF\xBB\xBF").c_str()), 1);
    ASSERT_EQ(shown.read(m, write("\xEF\xBB").c_str()), 1);
    EXPECT_EQ(m.np, 0);
}

std::string vanishing;
void vanish(const char* file)
{
    vanishing = file;
    std::remove(file);
}

TEST_F(ObjInput, FileVanishingBetweenThePassesIsReported)
{
    std::string file = write(SQUARE);
    knobs.objread_parallel = false;
    knobs.objread_betweenpasses = vanish;
    EXPECT_EQ(shown.read(m, file.c_str()), 0);
    EXPECT_EQ(vanishing, file);
    ASSERT_EQ(shown.boxes.size(), 1u);
    EXPECT_EQ(shown.boxes[0].text, file);
    EXPECT_EQ(shown.boxes[0].title, "I can't open this file");
    EXPECT_EQ(m.nf, 0);
}

void grow(const char* file)
{
    FILE* f = std::fopen(file, "ab");
    for (int i = 0; i < 1000; i++) std::fputs("v 2 2 2\nf 1 2 -1\n", f);
    std::fclose(f);
}

// More lines than counted: the arrays grow as they must.
TEST_F(ObjInput, FileGrowingBetweenThePassesIsReadWhole)
{
    std::string file = write(SQUARE);
    knobs.objread_parallel = false;
    knobs.objread_betweenpasses = grow;
    ASSERT_EQ(shown.read(m, file.c_str()), 1);
    EXPECT_EQ(m.np, 1003);
    EXPECT_EQ(m.nf, 1001);
    EXPECT_EQ(m.fac[1000].q[2].p, &m.point[1002]);
    EXPECT_EQ(m.np_, m.np);
    EXPECT_TRUE(shown.boxes.empty());
}

}  // namespace
