// The .OBJ reader: lines, faces, names, bad lines, the parallel reading and
// the reading of files as they come.
#include "mesh/mesh.h"
#include "mesh/objread_text.h"
#include "tests/support/support.h"
#include "port/tuning.h"
#include "tests/mesh/failures.h"
#include "tests/support/gzip.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <csignal>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

// Each test writes its .OBJ text into a fresh temporary directory, reads it
// into `m` and looks at the boxes that were shown.
class ObjRead : public ::testing::Test {
  protected:
    tempdir files;
    failures shown;
    mesh m;

    void SetUp() override { m.initialize(0); }
    void TearDown() override { m.delarrays(); }

    std::string write(const std::string& text, const char* name = "mesh.obj")
    {
        std::string file = files.put(name, text);
        std::error_code e;  // a file not written whole shows as a wrong size
        EXPECT_EQ(std::filesystem::file_size(file, e), text.size());
        return file;
    }
    int read(const std::string& text)
    {
        path = write(text);
        return shown.read(m, path);
    }
    std::string path;

    // The one warning of a bad line, and nothing else.
    void expectbadline(int line)
    {
        ASSERT_EQ(shown.boxes.size(), 1u);
        EXPECT_EQ(shown.boxes[0].text, "line " + std::to_string(line) + " is bad");
        EXPECT_EQ(shown.boxes[0].title, path);
    }
    void expecttrimmed()
    {
        EXPECT_EQ(m.np_, m.np);
        EXPECT_EQ(m.nt_, m.nt);
        EXPECT_EQ(m.nq_, m.nq);
        EXPECT_EQ(m.nf_, m.nf);
        EXPECT_EQ(m.ng_, m.ng);
        EXPECT_EQ(m.nmat_, m.nmat);
    }
    int vertex(int face, int corner) const  // 1-based vertex number, 0 for none
    {
        const xyz* p = m.fac[face].q[corner].p;
        return p ? (int)(p - m.point) + 1 : 0;
    }
    int texture(int face, int corner) const  // 1-based, 0 for none
    {
        const xy* t = m.fac[face].q[corner].t;
        return t ? (int)(t - m.t) + 1 : 0;
    }
};

// Restores the reader's settings after a test.
struct readersettings {
    ~readersettings()
    {
        knobs.objread_parallel = true;
        knobs.objread_chunkbytes = 0;
    }
};

const char* FIVE = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 2 2 2\n";
const char* FOURT = "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n";

}  // namespace

TEST_F(ObjRead, ReadsVerticesTexturesFacesGroupsAndMaterials)
{
    ASSERT_EQ(read(std::string("# a quad and a triangle\nmtllib x.mtl\no thing\n") + FIVE +
                   FOURT + "vn 0 0 1\ns 1\ng head hat\nusemtl Skin\nf 1/1/1 2/2/1 3/3/1 4/4/1\n"
                   "g body\nusemtl Cloth\nf 5 1 2\n"),
              1);
    EXPECT_TRUE(shown.boxes.empty());
    ASSERT_EQ(m.np, 5);
    ASSERT_EQ(m.nt, 4);
    ASSERT_EQ(m.nf, 2);
    EXPECT_EQ(m.nq, 7);
    EXPECT_EQ(m.point[4].z, 2.0f);
    EXPECT_EQ(m.t[2].y, 1.0f);
    ASSERT_EQ(m.ng, 2);
    EXPECT_STREQ(m.group[0].name, "head");
    EXPECT_STREQ(m.group[1].name, "body");
    ASSERT_EQ(m.nmat, 2);
    EXPECT_STREQ(m.mat[0].name, "Skin");
    EXPECT_STREQ(m.mat[1].name, "Cloth");
    EXPECT_EQ(m.mat[0].nf, 1);
    EXPECT_EQ(m.fac[1].mat, 1);
    EXPECT_EQ(m.fac[1].g, 1);
    EXPECT_EQ(m.fac[0].n, 4);
    for (int j = 0; j < 4; j++) {
        EXPECT_EQ(vertex(0, j), j + 1);
        EXPECT_EQ(texture(0, j), j + 1);
    }
    EXPECT_EQ(m.fac[1].q, m.fac[0].q + 4);
    EXPECT_EQ(vertex(1, 0), 5);
    EXPECT_EQ(texture(1, 0), 0);
    expecttrimmed();
}

TEST_F(ObjRead, FacesBeforeAnyNameGetDefaults)
{
    ASSERT_EQ(read(std::string(FIVE) + "f 1 2 3\nusemtl A\nusemtl B\nf 3 4 5\n"), 1);
    ASSERT_EQ(m.nmat, 2);
    EXPECT_STREQ(m.mat[0].name, "default");
    EXPECT_STREQ(m.mat[1].name, "B");  // A had no face and was replaced
    ASSERT_EQ(m.ng, 1);
    EXPECT_STREQ(m.group[0].name, "default");
}

TEST_F(ObjRead, LastLineWithoutLineBreakIsRead)
{
    ASSERT_EQ(read(std::string(FIVE) + "f 1 2 3"), 1);
    ASSERT_EQ(m.nf, 1);
    EXPECT_EQ(vertex(0, 2), 3);
    expecttrimmed();

    ASSERT_EQ(read("v 1 2 3\nv 4 5 6"), 1);
    ASSERT_EQ(m.np, 2);
    EXPECT_EQ(m.point[1].z, 6.0f);
    ASSERT_EQ(read("v 1 2"), 0);
    expectbadline(1);
}

TEST_F(ObjRead, KeysIgnoreCaseButNamesKeepIt)
{
    ASSERT_EQ(read("V 1 2 3\nV 4 5 6\nv 7 8 9\nVT 0.5 0.5\nG Head\nUSEMTL Skin\n"
                   "F 1/1 2/1 3/1\nvx 1 2 3\nvtx 1 2\nFF 1 2 3\nusemtlx A\n"),
              1);
    EXPECT_EQ(m.np, 3);
    EXPECT_EQ(m.nt, 1);
    EXPECT_EQ(m.nf, 1);
    EXPECT_STREQ(m.group[0].name, "Head");
    ASSERT_EQ(m.nmat, 1);
    EXPECT_STREQ(m.mat[0].name, "Skin");
}

TEST_F(ObjRead, TextureCoordinatesTakeOneOrTwoNumbers)
{
    ASSERT_EQ(read("vt 0.5\nvt 0.25 0.75 0\nvt 1.5 -0.25\n"), 1);
    ASSERT_EQ(m.nt, 3);
    EXPECT_EQ(m.t[0].x, 0.5f);
    EXPECT_EQ(m.t[0].y, 0.0f);
    EXPECT_EQ(m.t[1].x, 0.25f);
    EXPECT_EQ(m.t[1].y, 0.75f);
    EXPECT_EQ(m.t[2].x, 1.5f);
    EXPECT_EQ(m.t[2].y, -0.25f);
}

TEST_F(ObjRead, BadLineNumbersCountNonBlankLines)
{
    ASSERT_EQ(read("v 1 2\n"), 0);
    expectbadline(1);

    shown.boxes.clear();
    ASSERT_EQ(read("\n   \t \n# comment\nv 1 2\n"), 0);
    expectbadline(2);

    // lines of other keys count, however they begin
    shown.boxes.clear();
    ASSERT_EQ(read("vn 0 0 1\nvn\nVN 1\n#x\n\x80 y\nvt 1\nuse x\nv 1 2\n"), 0);
    expectbadline(8);

    // lines with fewer than 2 tokens count; tabs separate tokens
    shown.boxes.clear();
    ASSERT_EQ(read("f\nusemtl\n\tg\t\nv\t1\t2\t3\nf 1 2 7\n"), 0);
    expectbadline(5);
    EXPECT_EQ(m.nmat, 1);  // usemtl alone changed nothing; the face's default
}

TEST_F(ObjRead, LineEndingsDoNotChangeLineNumbers)
{
    const char* text = "# c\n\nv 0 0 0\nv 1 0 0\n\n\nv 1 1 0\nf 1 2 3\nf 1 2 4\n";
    for (const char* eol : {"\n", "\r\n", "\r", "\n\r"}) {
        std::string s;
        for (const char* c = text; *c; c++) s += *c == '\n' ? std::string(eol) : std::string(1, *c);
        shown.boxes.clear();
        ASSERT_EQ(read(s), 0) << "line end " << (int)eol[0];
        expectbadline(6);
        EXPECT_EQ(m.np, 3);
        EXPECT_EQ(m.nf, 2);
    }
}

TEST_F(ObjRead, RelativeAndOutOfRangeVertexNumbers)
{
    ASSERT_EQ(read(std::string(FIVE) + "f -1 -2 -3\nf -5 1 5\n"), 1);
    EXPECT_EQ(vertex(0, 0), 5);
    EXPECT_EQ(vertex(0, 1), 4);
    EXPECT_EQ(vertex(0, 2), 3);
    EXPECT_EQ(vertex(1, 0), 1);

    // only vertices read so far count
    shown.boxes.clear();
    ASSERT_EQ(read("v 0 0 0\nv 1 0 0\nf 1 2 3\nv 1 1 0\n"), 0);
    expectbadline(3);
    for (const char* f : {"f 1 2 0\n", "f 1 2 6\n", "f 1 2 -6\n"}) {
        shown.boxes.clear();
        ASSERT_EQ(read(std::string(FIVE) + f), 0) << f;
        expectbadline(6);
    }
}

TEST_F(ObjRead, TextureNumbers)
{
    ASSERT_EQ(read(std::string(FIVE) + FOURT +
                   "f 1/1 2/2 3/9\nf 1//1 2//2 3//3\nf 1/2/3 2/3/4 3/4/5\n"
                   "f 1/-1 2/-2 3/-3\nf 1/ 2/0 3/-5\nf 1/+2/ 2/x 3/-4\n"),
              1);
    const int want[6][3] = {{1, 2, 1}, {0, 0, 0}, {2, 3, 4}, {4, 3, 2}, {0, 0, 0}, {2, 0, 1}};
    for (int f = 0; f < 6; f++)
        for (int j = 0; j < 3; j++) EXPECT_EQ(texture(f, j), want[f][j]) << f << "," << j;
    EXPECT_EQ(vertex(2, 2), 3);  // the normal number is not a vertex
}

TEST_F(ObjRead, FacesOfAnyCornerCount)
{
    ASSERT_EQ(read(std::string(FIVE) + "f\nf 1 2\nf 5\nf 1 2 3 4 5\n"), 1);
    ASSERT_EQ(m.nf, 3);
    EXPECT_EQ(m.fac[0].n, 2);
    EXPECT_EQ(m.fac[1].n, 1);
    EXPECT_EQ(vertex(1, 0), 5);
    EXPECT_EQ(m.fac[2].n, 5);
    EXPECT_EQ(m.nq, 8);
    expecttrimmed();
}

TEST_F(ObjRead, BadLineKeepsItsFaceFilledUpToTheBadCorner)
{
    ASSERT_EQ(read(std::string(FIVE) + FOURT + "g g1\nf 1/1 2/2 9/3 3/3 4\nf 1 2 3\n"), 0);
    expectbadline(11);
    ASSERT_EQ(m.nf, 1);
    EXPECT_EQ(m.fac[0].n, 5);
    EXPECT_EQ(m.nq, 5);
    EXPECT_EQ(vertex(0, 0), 1);
    EXPECT_EQ(texture(0, 1), 2);
    for (int j = 2; j < 5; j++) {
        EXPECT_EQ(m.fac[0].q[j].p, nullptr);
        EXPECT_EQ(m.fac[0].q[j].t, nullptr);
    }
    expecttrimmed();
}

TEST_F(ObjRead, NamesAreTheFirstTokenAfterTheKey)
{
    ASSERT_EQ(read(std::string(FIVE) + "g head hat\nusemtl Skin\tGlossy\nf 1 2 3\ng\nf 1 2 3\n"),
              1);
    ASSERT_EQ(m.ng, 1);
    EXPECT_STREQ(m.group[0].name, "head");
    EXPECT_STREQ(m.mat[0].name, "Skin");
    EXPECT_EQ(m.fac[1].g, 0);
}

TEST_F(ObjRead, TextWhereNumbersBelongGivesZero)
{
    ASSERT_EQ(read("v 1.5abc +2 .5\nv abc 1e5 -0 9\nv nan inf 1e999\nv -1e39 3.5e38 1e-50\n"
                   "vt -inf 1e400\nv 0x10 1e 5e-1x\n"),
              1);
    ASSERT_EQ(m.np, 5);
    const float want[5][3] = {
        {1.5f, 2, 0.5f}, {0, 1e5f, 0}, {0, 0, 0}, {0, 0, 0}, {0, 1, 0.5f}};
    for (int i = 0; i < 5; i++) {
        EXPECT_EQ(m.point[i].x, want[i][0]) << i;
        EXPECT_EQ(m.point[i].y, want[i][1]) << i;
        EXPECT_EQ(m.point[i].z, want[i][2]) << i;
    }
    EXPECT_TRUE(std::signbit(m.point[1].z));  // -0 as strtod reads it
    EXPECT_EQ(m.t[0].x, 0.0f);
    EXPECT_EQ(m.t[0].y, 0.0f);
}

TEST_F(ObjRead, CornerWithoutVertexNumberIsBad)
{
    for (const char* f : {"f /3 1 2\n", "f 1 abc 2\n", "f 1 2 +\n", "f 1 2 x3\n"}) {
        shown.boxes.clear();
        ASSERT_EQ(read(std::string(FIVE) + "\n" + f), 0) << f;
        expectbadline(6);
    }
}

TEST_F(ObjRead, HugeNumbersNeverWrapToValidIndices)
{
    // 2^32 + 1 and 2^64 + 2 wrap to 1 and 2 in 32 or 64 bits
    for (const char* f : {"f 1 2 4294967297\n", "f 18446744073709551618 1 2\n",
                          "f 1 2 -4294967295\n"}) {
        shown.boxes.clear();
        ASSERT_EQ(read(std::string(FIVE) + f), 0) << f;
        expectbadline(6);
    }
    shown.boxes.clear();
    ASSERT_EQ(read(std::string(FIVE) + FOURT + "f 1/4294967298 2/18446744073709551618 3/-4294967293\n"),
              1);
    for (int j = 0; j < 3; j++) EXPECT_EQ(texture(0, j), 1) << j;  // out of range: 1
}

TEST_F(ObjRead, NoTextureCoordinatesMeansNoTexture)
{
    ASSERT_EQ(read(std::string(FIVE) + "f 1/1 2/7 3/-2\n"), 1);
    for (int j = 0; j < 3; j++) EXPECT_EQ(m.fac[0].q[j].t, nullptr) << j;
    EXPECT_EQ(m.t, nullptr);
}

TEST_F(ObjRead, FileWithoutGeometryReadsEmpty)
{
    ASSERT_EQ(read("# nothing\nmtllib a.mtl\n\n"), 1);
    EXPECT_EQ(m.np, 0);
    EXPECT_EQ(m.nf, 0);
    EXPECT_EQ(m.point, nullptr);
    EXPECT_EQ(m.fac, nullptr);
    ASSERT_EQ(read(""), 1);
    EXPECT_TRUE(shown.boxes.empty());
}

TEST_F(ObjRead, MissingFileIsReportedOnce)
{
    std::string missing = files.at("none.obj");
    EXPECT_EQ(shown.read(m, missing.c_str()), 0);
    ASSERT_EQ(shown.boxes.size(), 1u);
    EXPECT_EQ(shown.boxes[0].text, missing);
    EXPECT_EQ(shown.boxes[0].title, "I can't open this file");

    int n[6] = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(shown.count(missing.c_str(), n), 0);
    for (int i = 0; i < 6; i++) EXPECT_EQ(n[i], i + 1);
}

// A folder opens for reading on Linux but is no file: it is reported as
// one that cannot be opened, as on Windows, not taken for an empty mesh.
TEST_F(ObjRead, FolderIsAFileThatCannotBeOpened)
{
    int n[6] = {0, 0, 0, 0, 0, 0};
    EXPECT_EQ(shown.count(files.path.c_str(), n), 0);
    EXPECT_EQ(shown.read(m, files.path.c_str()), 0);
    ASSERT_EQ(shown.boxes.size(), 2u);
    for (const shownbox& b : shown.boxes) {
        EXPECT_EQ(b.text, files.path);
        EXPECT_EQ(b.title, "I can't open this file");
    }
}

TEST_F(ObjRead, CountAddsExactCountsOfEveryLineLength)
{
    // a face whose corners lie far apart, across the 4 MiB blocks
    std::string face = "f";
    for (int i = 0; i < 30000; i++) face += std::string(200, i % 2 ? ' ' : '\t') + "1/1/1";
    std::string text = std::string(FIVE) + "vt 0 0\n# " + std::string(5 << 20, 'c') + "\n" +
                       face + "\n" + face + "  \r\nG a\nusemtl b c\nf 1 2\n";
    std::string p = write(text);
    readersettings keep;
    // one pass, and in chunks of every size: lines and chunks cut anywhere
    for (long chunk : {-1L, 1L, 1000L, 70000L, 1L << 20, 0L}) {
        knobs.objread_parallel = chunk >= 0;
        knobs.objread_chunkbytes = chunk;
        int n[6] = {1, 1, 1, 1, 1, 1};  // NF, NQ, NP, NT, NG, NMAT
        ASSERT_EQ(shown.count(p.c_str(), n), 1);
        EXPECT_EQ(n[0], 1 + 3) << chunk;
        EXPECT_EQ(n[1], 1 + 2 * 30001 + 3) << chunk;
        EXPECT_EQ(n[2], 1 + 5) << chunk;
        EXPECT_EQ(n[3], 1 + 1) << chunk;
        EXPECT_EQ(n[4], 1 + 1) << chunk;
        EXPECT_EQ(n[5], 1 + 1) << chunk;
    }

    ASSERT_EQ(shown.read(m, p.c_str()), 1);
    ASSERT_EQ(m.nf, 3);
    EXPECT_EQ(m.fac[0].n, 30000);
    EXPECT_EQ(m.fac[1].n, 30000);
    EXPECT_EQ(vertex(1, 29999), 1);
    EXPECT_EQ(texture(1, 29999), 1);
    EXPECT_EQ(m.nq, 60002);
}

TEST_F(ObjRead, ManyLinesAcrossBlocks)
{
    std::string text;
    for (int i = 1; i <= 300000; i++) {
        std::string n = std::to_string(i);
        text += "v " + n + " -" + n + ".5 " + n + "e-3\nvt 0." + n + " 1\n";
        // lines longer than the page the unfinished line is moved before
        if (i % 200 == 0) text += "# " + std::string(4100 + i % 6007, 'c') + "\n";
    }
    for (int i = 1; i <= 300000; i++) text += "f " + std::to_string(i) + "/" + std::to_string(i) + "\n";
    ASSERT_GT(text.size(), 2u * (4 << 20));
    ASSERT_EQ(read(text), 1);
    ASSERT_EQ(m.np, 300000);
    ASSERT_EQ(m.nf, 300000);
    for (int i = 1; i <= 300000; i++) {
        std::string n = std::to_string(i);
        ASSERT_EQ(m.point[i - 1].x, (float)i);
        ASSERT_EQ(m.point[i - 1].y, (float)std::strtod(("-" + n + ".5").c_str(), nullptr));
        ASSERT_EQ(m.point[i - 1].z, (float)std::strtod((n + "e-3").c_str(), nullptr));
        ASSERT_EQ(m.t[i - 1].x, (float)std::strtod(("0." + n).c_str(), nullptr));
        ASSERT_EQ(vertex(i - 1, 0), i);
        ASSERT_EQ(texture(i - 1, 0), i);
    }
    expecttrimmed();
}

TEST_F(ObjRead, NulAndControlBytesSeparateTokens)
{
    ASSERT_EQ(read(std::string("v 1\0002\v3\n", 8) + "\x01v\f4 5 6\n"), 1);
    ASSERT_EQ(m.np, 2);
    EXPECT_EQ(m.point[0].y, 2.0f);
    EXPECT_EQ(m.point[0].z, 3.0f);
    EXPECT_EQ(m.point[1].x, 4.0f);
}

TEST_F(ObjRead, FaceOfMoreThan32767CornersIsBad)
{
    std::string f = "f";
    for (int i = 0; i < MAXINDEX; i++) f += " 1";
    ASSERT_EQ(read(std::string(FIVE) + f + "\n"), 1);
    EXPECT_EQ(m.fac[0].n, MAXINDEX);

    ASSERT_EQ(read(std::string(FIVE) + f + " 2\n"), 0);
    expectbadline(6);
    EXPECT_EQ(m.nf, 0);
    expecttrimmed();
}

// Files that name the most groups and materials that 16-bit indices hold,
// each material with a face, before their last lines.
std::string manynames(bool lastfaceless)
{
    std::string t = FIVE;
    for (int i = 0; i < MAXINDEX; i++) {
        std::string n = "n" + std::to_string(i);
        t += "g " + n + "\nusemtl " + n + "\n";
        if (!(lastfaceless && i == MAXINDEX - 1)) t += "f 1 2 3\n";
    }
    return t;
}

int linesof(const std::string& t) { return (int)std::count(t.begin(), t.end(), '\n'); }

TEST_F(ObjRead, The32768thGroupOrMaterialIsBad)
{
    std::string t = manynames(false);
    ASSERT_EQ(read(t + "g n5\nusemtl n32766\ng n32767\n"), 0);
    expectbadline(linesof(t) + 3);

    shown.boxes.clear();
    ASSERT_EQ(read(t + "usemtl n0\nusemtl new\n"), 0);
    expectbadline(linesof(t) + 2);

    // a faceless last material is replaced, not added
    shown.boxes.clear();
    ASSERT_EQ(read(manynames(true) + "usemtl new\nf 1 2 3\n"), 1);
    EXPECT_EQ(m.nmat, MAXINDEX);
    EXPECT_EQ(m.ng, MAXINDEX);
    EXPECT_STREQ(m.mat[MAXINDEX - 1].name, "new");
    EXPECT_TRUE(shown.boxes.empty());
}

TEST_F(ObjRead, VertexZeroIsBad)
{
    ASSERT_EQ(read("v 1 1 1\nf 0 1 1\n"), 0);
    expectbadline(2);
}

// The parallel reading against the one-pass reading, the reference: the
// same meshes, field by field, and the same warnings, on generated files
// read with chunks of every size, so that chunk boundaries land everywhere.
namespace {

// An .OBJ text of random lines: numbers of all shapes, faces with relative,
// out-of-range and missing texture numbers, names (some over 31 characters,
// some repeated, materials left faceless), blank and comment lines, every
// line ending, and a bad line now and then when bad is set.
std::string randomobj(unsigned seed, bool bad)
{
    std::mt19937 r(seed);
    auto pick = [&](int n) { return (int)(r() % (unsigned)n); };
    const char* eols[] = {"\n", "\r\n", "\r", "\n\n"};
    const char* eol = eols[pick(4)];
    const char* names[] = {"skin", "Skin", "hair", "a_name_of_more_than_thirty_one_characters_x",
                           "a_name_of_more_than_thirty_one_characters_y", "lips"};
    std::string s;
    int np = 0, nt = 0, lines = 20 + pick(400);
    int badat = bad ? pick(lines) : -1;
    for (int i = 0; i < lines; i++) {
        if (i == badat) {
            const char* bads[] = {"v 1 2", "f 1 2 99999", "f 0 1", "f 1 x 2", "f -99999 1"};
            s += std::string(bads[pick(5)]) + eol;
            continue;
        }
        int k = pick(100);
        if (k < 30) {
            s += pick(10) ? "v" : "V";
            for (int j = 0; j < 3 + pick(2); j++) {
                const char* sh[] = {"%.6f", "%g", "%.3e", "%.17g", "%.0f"};
                char b[64];
                std::snprintf(b, sizeof b, sh[pick(5)], ((double)r() / 4e6 - 500) * (pick(2) ? 1 : 1e-3));
                s += (pick(8) ? " " : "\t ") + std::string(b);
            }
            np++;
        } else if (k < 50) {
            char b[64];
            std::snprintf(b, sizeof b, "vt %.6f", (double)r() / 4e9);
            s += b;
            if (pick(5)) s += " " + std::to_string(pick(1000) / 999.0);
            nt++;
        } else if (k < 85 && np > 0) {
            s += "f";
            int n = 1 + (pick(20) ? pick(5) : pick(300));
            for (int j = 0; j < n; j++) {
                int v = 1 + pick(np);
                s += " " + (pick(5) ? std::to_string(v) : std::to_string(v - np - 1));
                int form = pick(6);
                if (form == 1 || form == 2) {
                    int t = pick(nt + 3) - 1;
                    s += "/" + (pick(4) || t < 1 ? std::to_string(t) : std::to_string(t - nt - 1));
                    if (form == 2) s += "/" + std::to_string(pick(9));
                } else if (form == 3) {
                    s += "//7";
                }
            }
        } else if (k < 90) {
            s += std::string(pick(2) ? "g " : "G ") + names[pick(6)];
            if (!pick(4)) s += " extra";
        } else if (k < 95) {
            s += std::string(pick(2) ? "usemtl " : "usemtl\t") + names[pick(6)];
        } else {
            const char* others[] = {"# a comment", "", "   ", "f", "usemtl", "vn 0 0 1", "s 1",
                                    "o thing", "\tg", "vx 1 2 3", "mtllib a.mtl", "MtlLib\tb.mtl  c d.mtl ",
                                    "mtllib", "mtl x.mtl"};
            s += others[pick(14)];
        }
        s += eol;
    }
    if (pick(3) == 0 && !s.empty()) s.pop_back();  // a last line without its break
    return s;
}

void expectsamemesh(const mesh& a, const mesh& b)
{
    ASSERT_EQ(a.np, b.np);
    ASSERT_EQ(a.nt, b.nt);
    ASSERT_EQ(a.nq, b.nq);
    ASSERT_EQ(a.nf, b.nf);
    ASSERT_EQ(a.ng, b.ng);
    ASSERT_EQ(a.nmat, b.nmat);
    EXPECT_EQ(a.np_, b.np_);
    EXPECT_EQ(a.nt_, b.nt_);
    EXPECT_EQ(a.nq_, b.nq_);
    EXPECT_EQ(a.nf_, b.nf_);
    EXPECT_EQ(a.ng_, b.ng_);
    EXPECT_EQ(a.nmat_, b.nmat_);
    EXPECT_EQ(a.currentgroup, b.currentgroup);
    EXPECT_EQ(a.currentmat, b.currentmat);
    for (const mesh* m : {&a, &b}) {  // capacity 0 means no array
        EXPECT_EQ(m->point == nullptr, m->np_ == 0);
        EXPECT_EQ(m->fac == nullptr, m->nf_ == 0);
    }
    if (a.np) {
        ASSERT_EQ(std::memcmp(a.point, b.point, sizeof(xyz) * a.np), 0);  // bit for bit
    }
    if (a.nt) {
        ASSERT_EQ(std::memcmp(a.t, b.t, sizeof(xy) * a.nt), 0);
    }
    auto at = [](const void* p, const void* base, size_t size) {
        return p ? (long long)(((const char*)p - (const char*)base) / (long long)size) : -1LL;
    };
    for (int i = 0; i < a.nf; i++) {
        ASSERT_EQ(at(a.fac[i].q, a.pts, sizeof(fcinfo)), at(b.fac[i].q, b.pts, sizeof(fcinfo))) << i;
        ASSERT_EQ(a.fac[i].n, b.fac[i].n) << i;
        ASSERT_EQ(a.fac[i].mat, b.fac[i].mat) << i;
        ASSERT_EQ(a.fac[i].g, b.fac[i].g) << i;
    }
    for (int i = 0; i < a.nq; i++) {
        ASSERT_EQ(at(a.pts[i].p, a.point, sizeof(xyz)), at(b.pts[i].p, b.point, sizeof(xyz))) << i;
        ASSERT_EQ(at(a.pts[i].t, a.t, sizeof(xy)), at(b.pts[i].t, b.t, sizeof(xy))) << i;
    }
    ASSERT_EQ(a.nlib, b.nlib);
    ASSERT_EQ(a.nlibtext, b.nlibtext);
    EXPECT_EQ(a.nlibtext_, b.nlibtext_);
    if (a.nlibtext) {
        EXPECT_EQ(std::memcmp(a.lib, b.lib, (size_t)a.nlibtext), 0);
    }
    for (int i = 0; i < a.ng; i++) EXPECT_STREQ(a.group[i].name, b.group[i].name);
    for (int i = 0; i < a.nmat; i++) {
        EXPECT_STREQ(a.mat[i].name, b.mat[i].name) << i;
        EXPECT_EQ(a.mat[i].nf, b.mat[i].nf) << i;
        EXPECT_EQ(a.mat[i].cf, b.mat[i].cf);
        EXPECT_EQ(std::memcmp(&a.mat[i].col, &b.mat[i].col, sizeof(pal3)), 0);
    }
}

}  // namespace

TEST_F(ObjRead, ParallelReadingEqualsOnePassReading)
{
    readersettings keep;
    mesh one;
    one.initialize(0);
    for (unsigned seed = 1; seed <= 120; seed++) {
        bool bad = seed % 4 == 0;
        path = write(randomobj(seed, bad));
        knobs.objread_parallel = false;  // the reference counts in one pass too
        failure why;
        nofailure(&why);
        int want = readsequential(&one, path.c_str(), &why);
        knobs.objread_parallel = true;
        std::vector<shownbox> wantboxes;
        if (why.title[0]) wantboxes.push_back({why.text, why.title});
        ASSERT_EQ(want, bad ? 0 : 1) << seed;
        ASSERT_EQ(wantboxes.size(), bad ? 1u : 0u) << seed;
        // the tiniest chunks cost a file opening per byte: on some files only
        const long few[] = {7, 64, 333, 4096, 0}, all[] = {1, 2, 3, 7, 64, 333, 4096, 0};
        for (long chunk : seed % 10 == 1 ? std::vector<long>(all, all + 8) : std::vector<long>(few, few + 5)) {
            SCOPED_TRACE("seed " + std::to_string(seed) + ", chunks of " + std::to_string(chunk));
            knobs.objread_chunkbytes = chunk;
            shown.boxes.clear();
            // taken on good files, given up on bad ones
            ASSERT_EQ(readparallel(&m, path.c_str()), want);
            if (want) expectsamemesh(one, m);
            if (HasFatalFailure()) break;
        }
        // readOBJ as a whole: the bad ones read again by the one-pass reader
        knobs.objread_chunkbytes = 64;
        shown.boxes.clear();
        ASSERT_EQ(shown.read(m, path.c_str()), want);
        ASSERT_EQ(shown.boxes.size(), wantboxes.size());
        if (bad) {
            EXPECT_EQ(shown.boxes[0].text, wantboxes[0].text);
        }
        expectsamemesh(one, m);
        shown.boxes.clear();
        if (HasFatalFailure()) break;
    }
    one.delarrays();
}

TEST_F(ObjRead, ParallelReadingOfLongLinesAndManyChunks)
{
    readersettings keep;
    // a face line longer than the block, names across chunk edges, CRLF
    std::string face = "f";
    for (int i = 0; i < 30000; i++) face += " " + std::to_string(1 + i % 5) + "/" + std::to_string(1 + i % 4);
    std::string text;
    for (int k = 0; k < 3; k++)
        text += std::string(FIVE) + FOURT + "usemtl m" + std::to_string(k) + "\r\n" + face + "\r\n" +
                "g g" + std::to_string(k) + "\r\nf -1 -2 -3\r\nusemtl faceless\r\n";
    path = write(text);
    mesh one;
    one.initialize(0);
    knobs.objread_parallel = false;
    ASSERT_EQ(readsequential(&one, path.c_str(), 0), 1);
    knobs.objread_parallel = true;
    for (long chunk : {7L, 1000L, 100000L, 1L << 20, 0L}) {
        knobs.objread_chunkbytes = chunk;
        ASSERT_EQ(readparallel(&m, path.c_str()), 1) << chunk;
        expectsamemesh(one, m);
    }
    EXPECT_EQ(m.fac[0].n, 30000);
    ASSERT_EQ(m.nmat, 4);  // the faceless ones were replaced, but for the last
    EXPECT_STREQ(m.mat[3].name, "faceless");
    EXPECT_EQ(m.mat[3].nf, 0);
    one.delarrays();
}

TEST_F(ObjRead, ParallelReadingLeavesTheGroupLimitToTheOnePassReader)
{
    readersettings keep;
    knobs.objread_chunkbytes = 4096;
    std::string text = std::string(FIVE);
    for (int i = 0; i <= MAXINDEX; i++) text += "g n" + std::to_string(i) + "\nf 1 2 3\n";
    path = write(text);
    EXPECT_EQ(readparallel(&m, path.c_str()), 0);
    EXPECT_TRUE(shown.boxes.empty());
    ASSERT_EQ(shown.read(m, path.c_str()), 0);
    expectbadline(5 + 2 * MAXINDEX + 1);
    EXPECT_EQ(m.ng, MAXINDEX);
    EXPECT_EQ(m.nf, MAXINDEX);
}

// Files read as they come (compressed, or through a pipe) against the
// one-pass reading: the same meshes, field by field, and the same warnings.
namespace {

// Brings text to the pipe at path from a thread of its own, as a program
// writing into a pipe would; what the reader leaves unread is dropped.
struct piped {
    std::thread t;
    piped(const std::string& path, const std::string& text)
        : t([path, text] {
              FILE* f = std::fopen(path.c_str(), "wb");  // waits for the reader
              if (!f) return;
              std::fwrite(text.data(), 1, text.size(), f);
              std::fclose(f);
          })
    {
    }
    ~piped() { t.join(); }
};

struct streamsettings {
    streamsettings() { std::signal(SIGPIPE, SIG_IGN); }  // a reader that stops early
    ~streamsettings()
    {
        knobs.objread_parallel = true;
        knobs.objread_linelimit = 0;
    }
};

}  // namespace

TEST_F(ObjRead, StreamReadingEqualsOnePassReading)
{
    streamsettings keep;
    mesh one;
    one.initialize(0);
    for (unsigned seed = 1; seed <= 120; seed++) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        const bool bad = seed % 4 == 0;
        const std::string text = randomobj(seed, bad);
        path = write(text);
        knobs.objread_parallel = false;
        failure why;
        nofailure(&why);
        const int want = readsequential(&one, path.c_str(), &why);
        knobs.objread_parallel = true;
        ASSERT_EQ(want, bad ? 0 : 1);
        // Compressed, in one member or two cut anywhere, under any name.
        const size_t cut = seed % 3 ? text.size() : seed * 7919 % (text.size() + 1);
        const std::string gz = files.put("mesh.obz", gzipped(text.substr(0, cut)) + gzipped(text.substr(cut), 1));
        shown.boxes.clear();
        ASSERT_EQ(shown.read(m, gz), want);
        ASSERT_EQ(shown.boxes.size(), bad ? 1u : 0u);
        if (bad) {
            EXPECT_EQ(shown.boxes[0].text, why.text);
            EXPECT_EQ(shown.boxes[0].title, gz);
        }
        expectsamemesh(one, m);
        if (HasFatalFailure() || seed % 8) continue;
        // Through a pipe.
        const std::string fifo = files.at("pipe" + std::to_string(seed));
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        shown.boxes.clear();
        {
            piped writer(fifo, text);
            ASSERT_EQ(shown.read(m, fifo), want);
        }
        expectsamemesh(one, m);
        if (HasFatalFailure()) break;
    }
    one.delarrays();
}

// A line longer than a block is squeezed as it comes (separators, lines
// of no interest) and read as the one-pass reader reads it; one longer
// than the limit is refused by its number, before it takes the memory.
TEST_F(ObjRead, OverlongLinesOfAStreamAreSqueezedOrRefused)
{
    streamsettings keep;
    knobs.objread_linelimit = 6 << 20;
    const size_t M = 1 << 20;
    const std::string text = std::string(FIVE) + FOURT + std::string(3 * M, ' ') + "\n#" +
                             std::string(3 * M, 'c') + "\nvvvvvvvv" + std::string(3 * M, 'x') + "\nv" +
                             std::string(2 * M, '\t') + "7 " + std::string(2 * M, '\0') + "8 9\nusemtl" +
                             std::string(3 * M, ' ') + "skin\nf 1/1 2/2 6/3\r\n" + "mtllib " +
                             std::string(3 * M, 'l') + "\n";
    path = write(text);
    mesh one;
    one.initialize(0);
    knobs.objread_parallel = false;
    ASSERT_EQ(readsequential(&one, path.c_str(), nullptr), 1);
    knobs.objread_parallel = true;
    ASSERT_EQ(shown.read(m, files.put("long.obz", gzipped(text, 1))), 1);
    expectsamemesh(one, m);
    ASSERT_EQ(m.np, 6);
    EXPECT_EQ(m.point[5].x, 7.0f);
    EXPECT_EQ(m.point[5].z, 9.0f);
    EXPECT_STREQ(m.mat[0].name, "skin");
    EXPECT_EQ(vertex(0, 2), 6);
    EXPECT_EQ(std::string(m.lib), std::string(3 * M, 'l'));
    one.delarrays();

    // Over the limit: refused at its number, whatever the line holds.
    for (const std::string& line : {std::string(7 * M, '\0'), "# " + std::string(7 * M, 'c'),
                                    "f 1" + std::string(7 * M, ' ') + "2 3\n"}) {
        shown.boxes.clear();
        path = files.put("over.obz", gzipped(std::string(FIVE) + "g a\n\n" + line, 1));
        ASSERT_EQ(shown.read(m, path), 0);
        ASSERT_EQ(shown.boxes.size(), 1u);
        EXPECT_EQ(shown.boxes[0].text, "line 7 is longer than 6 MiB");
        EXPECT_EQ(shown.boxes[0].title, path);
    }
}

TEST_F(ObjRead, LibraryNamesAreKeptInOrderByEveryReader)
{
    readersettings keep;
    const std::string text = std::string(FIVE) + "mtllib a.mtl  b c.mtl\nMTLLIB\td.mtl\r\nmtllib\n# mtllib no\n"
                                                 "f 1 2 3\nmtllib a.mtl\n";
    path = write(text);
    const std::string gz = files.put("m.obz", gzipped(text));
    for (int reader = 0; reader < 3; reader++) {
        knobs.objread_parallel = reader == 1;
        knobs.objread_chunkbytes = 16;
        ASSERT_EQ(shown.read(m, reader == 2 ? gz : path), 1) << reader;
        ASSERT_EQ(m.nlib, 5) << reader;
        std::vector<std::string> names;
        for (const char* s = m.nextlib(nullptr); s; s = m.nextlib(s)) names.push_back(s);
        EXPECT_EQ(names, (std::vector<std::string>{"a.mtl", "b", "c.mtl", "d.mtl", "a.mtl"})) << reader;
        EXPECT_EQ(m.nlibtext_, m.nlibtext);
    }
    ASSERT_EQ(read(FIVE), 1);
    EXPECT_EQ(m.nlib, 0);
    EXPECT_EQ(m.nextlib(nullptr), nullptr);
    EXPECT_EQ(m.lib, nullptr);
}
