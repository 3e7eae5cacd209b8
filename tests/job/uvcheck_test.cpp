// The UV check on small meshes made for each finding, with the exact numbers
// each must give; its reports, the allow-list and the check picture.
#include "job/paint.h"
#include "job/uvcheck.h"
#include "tests/job/uvmeshes.h"
#include "tests/support/support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

class UVCheck : public ::testing::Test {
  protected:
    tempdir files;
    mesh m;
    uvreport r = {};
    std::string path;

    void SetUp() override { m.initialize(0); }
    void TearDown() override
    {
        freeuvreport(&r);
        m.delarrays();
    }
    void check(const std::string& text, int n)
    {
        path = files.put("mesh.obj", text);
        ASSERT_EQ(m.readOBJ(path.c_str(), 0), 1);
        freeuvreport(&r);
        ASSERT_EQ(uvcheck(&m, n, &r), 1);
    }
    std::vector<int> tiles() const
    {
        std::vector<int> t;
        for (int k = 0; k < r.ntiles; k++) t.push_back(r.tiles[k].tile);
        return t;
    }
};

struct overlapcase {
    const char* what;
    std::function<void(objbuilder&)> make;
    long long covered, overlap, between;
    int overlapfaces, folded, overlapping, islands;
};

}  // namespace

// Quads over 0.25..0.75 at 16 pixels cover the centres 4.5 to 11.5: 8 x 8.
TEST_F(UVCheck, OverlapsAreCountedAndToldByIsland)
{
    const overlapcase cases[] = {
        {"two islands stacked", [](objbuilder& b) { b.quad(.25, .25, .75, .75), b.quad(.25, .25, .75, .75); },
         64, 64, 64, 2, 0, 2, 2},
        {"one island folded onto itself",
         [](objbuilder& b) {
             b.quad(.25, .25, .75, .75);
             b.face({1, 2, 3, 4});
         },
         64, 64, 0, 2, 2, 0, 1},
        {"a fold under another island: every pixel between islands",
         [](objbuilder& b) {
             b.quad(.25, .25, .75, .75);
             b.face({1, 2, 3, 4});
             b.quad(.25, .25, .75, .75);
         },
         64, 64, 64, 3, 0, 3, 2},
        {"half over", [](objbuilder& b) { b.quad(.25, .25, .75, .75), b.quad(.5, .25, 1, .75); }, 96, 32, 32, 2,
         0, 2, 2},
        {"apart", [](objbuilder& b) { b.quad(0, 0, .25, .25), b.quad(.5, .5, 1, 1); }, 16 + 64, 0, 0, 0, 0, 0, 2},
    };
    for (const overlapcase& c : cases) {
        SCOPED_TRACE(c.what);
        objbuilder b;
        c.make(b);
        ASSERT_NO_FATAL_FAILURE(check(b.text, 16));
        EXPECT_EQ(r.all.covered, c.covered);
        EXPECT_EQ(r.all.overlap, c.overlap);
        EXPECT_EQ(r.all.between, c.between);
        EXPECT_EQ(r.all.overlapfaces, c.overlapfaces);
        EXPECT_EQ(r.lists[UV_FOLDS].count, c.folded);
        EXPECT_EQ(r.lists[UV_OVERLAPS].count, c.overlapping);
        EXPECT_EQ(r.all.islands, c.islands);
        ASSERT_EQ(r.ntiles, 1);
        EXPECT_EQ(r.tiles[0].covered, c.covered);
        EXPECT_EQ(r.tiles[0].overlap, c.overlap);
    }
}

// Along pixel centres the top-left rule gives each centre on a shared edge
// to one face alone: no overlap, and no pixel lost.
TEST_F(UVCheck, FacesSharingAnEdgeNeverSharePixels)
{
    // The square of centres 0.5 to 12.5 at 16, cut along each diagonal, the
    // halves in two islands and two materials: 12 x 12 pixels.
    for (int diagonal = 0; diagonal < 2; diagonal++) {
        objbuilder b;
        const double lo = 0.5 / 16, hi = 12.5 / 16;
        b.material("left");
        if (diagonal) b.tri(lo, lo, hi, lo, lo, hi), b.material("right"), b.tri(hi, lo, hi, hi, lo, hi);
        else b.tri(lo, lo, hi, hi, lo, hi), b.material("right"), b.tri(lo, lo, hi, lo, hi, hi);
        ASSERT_NO_FATAL_FAILURE(check(b.text, 16));
        EXPECT_EQ(r.all.covered, 144);
        EXPECT_EQ(r.all.overlap, 0);
        EXPECT_EQ(r.mats[0].covered + r.mats[1].covered, 144);
        EXPECT_EQ(r.all.islands, 2);
    }
    // A 6 x 6 grid of cells 2 pixels wide on the centres, each cut along
    // one diagonal or the other, every triangle an island of its own.
    objbuilder b;
    for (int y = 0; y < 6; y++)
        for (int x = 0; x < 6; x++) {
            const double u0 = (2 * x + 0.5) / 32, v0 = (2 * y + 0.5) / 32, u1 = u0 + 2.0 / 32, v1 = v0 + 2.0 / 32;
            if ((x * 7 + y * 3) % 2) b.tri(u0, v0, u1, v0, u1, v1), b.tri(u0, v0, u1, v1, u0, v1);
            else b.tri(u0, v0, u1, v0, u0, v1), b.tri(u1, v0, u1, v1, u0, v1);
        }
    ASSERT_NO_FATAL_FAILURE(check(b.text, 32));
    EXPECT_EQ(r.all.covered, 144);
    EXPECT_EQ(r.all.overlap, 0);
    EXPECT_EQ(r.all.islands, 72);
}

// Two islands of 12 x 12 quads each, over 0.1..0.6 and 0.4..0.9 at 256:
// each covers centres 26 to 153 (128 x 128), and they share 102 to 153.
TEST_F(UVCheck, LargeIslandsOverlapOnlyWhereTheyMeet)
{
    objbuilder b;
    b.grid(0.1, 0.1, 0.6, 0.6, 12);
    b.grid(0.4, 0.4, 0.9, 0.9, 12);
    ASSERT_NO_FATAL_FAILURE(check(b.text, 256));
    EXPECT_EQ(r.all.islands, 2);
    EXPECT_EQ(r.all.overlap, 52 * 52);
    EXPECT_EQ(r.all.between, 52 * 52);
    EXPECT_EQ(r.all.covered, 2 * 128 * 128 - 52 * 52);
    EXPECT_EQ(r.lists[UV_FOLDS].count, 0);
    // The cells of each grid that reach into 0.4..0.6: 5 x 5, less none.
    EXPECT_EQ(r.lists[UV_OVERLAPS].count, 2 * 5 * 5);
    EXPECT_EQ(r.mats[0].overlap, r.all.overlap);
}

// Signed area with u to the right and v up, over the corners in file order.
TEST_F(UVCheck, FlippedFacesRunClockwise)
{
    objbuilder b;
    b.tri(.1, .1, .3, .1, .1, .3);      // anticlockwise
    b.tri(.1, .1, .1, .3, .3, .1);      // clockwise
    b.quad(.5, .5, .7, .7);             // anticlockwise
    b.polygon({{.5, .5}, {.5, .7}, {.7, .7}, {.7, .5}});  // clockwise
    ASSERT_NO_FATAL_FAILURE(check(b.text, 64));
    EXPECT_EQ(r.all.flipped, 2);
    EXPECT_EQ(r.kinds[0] & (1 << UV_FLIPPED), 0);
    EXPECT_NE(r.kinds[1] & (1 << UV_FLIPPED), 0);
    EXPECT_EQ(r.kinds[2] & (1 << UV_FLIPPED), 0);
    EXPECT_NE(r.kinds[3] & (1 << UV_FLIPPED), 0);
}

TEST_F(UVCheck, DegenerateFacesAreListedWithTheirReasonAndLine)
{
    ASSERT_NO_FATAL_FAILURE(check("v 0 0 0\nv 1 0 0\nv 0 1 0\n"
                                  "vt 0.1 0.1\nvt 0.2 0.2\nvt 0.3 0.3\nvt 1e31 0\nvt 0.5 0.1\n"
                                  "f 1/1 2/2 3/3\n"     // line 9: in a line
                                  "# two corners\nf 1/1 2/5\n"
                                  "f 1/1 2 3/5\n"       // line 12
                                  "f 1/1 2/4 3/5\n"     // line 13
                                  "f 1/1 2/5 3/3\n"     // fine
                                  "f 1/1 1/5 1/3\n",    // no area in 3-D: no density, not degenerate
                                  64));
    ASSERT_EQ(uvlines(&r, path.c_str()), 1);
    const uvlist& l = r.lists[UV_DEGENERATE];
    ASSERT_EQ(l.count, 4);
    ASSERT_EQ(l.nlisted, 4);
    const long long lines[] = {9, 11, 12, 13};
    const unsigned char why[] = {UVD_ZEROAREA, UVD_CORNERS, UVD_NOTEXTURE, UVD_NONFINITE};
    for (int k = 0; k < 4; k++) {
        EXPECT_EQ(l.listed[k].face, k);
        EXPECT_EQ(l.listed[k].line, lines[k]);
        EXPECT_EQ(l.listed[k].why, why[k]);
    }
    EXPECT_EQ(r.all.density.faces, 1);
    EXPECT_EQ(r.all.density.skipped, 5);
    EXPECT_EQ(r.all.triangles, 1 + 0 + 1 + 1 + 1 + 1);
    EXPECT_EQ(r.all.covered, r.tiles[0].covered);
}

struct straycase {
    double u0, v0, u1, v1;
    unsigned kinds;  // of stray, crossing and off-UDIM
    std::vector<int> tiles;
};

// A face keeps to the tile of its lowest u and v, with that tile's far
// borders; the UDIM range is u 0..10, v 0..100.
TEST_F(UVCheck, StrayFacesAndTheirTiles)
{
    const unsigned S = 1 << UV_STRAY, C = 1 << UV_CROSSING, O = 1 << UV_OFFUDIM;
    const straycase cases[] = {
        {.2, .2, .4, .4, 0, {1001}},
        {.5, .5, 1, 1, 0, {1001}},
        {0, 0, 1, 1, 0, {1001}},
        {1.1, .2, 1.3, .4, S, {1002}},
        {1, .2, 1.5, .4, S, {1002}},
        {.9, .2, 1.1, .4, S | C, {1001, 1002}},
        {.2, .9, .4, 1.1, S | C, {1001, 1011}},
        {.9, .9, 1.1, 1.1, S | C, {1001, 1002, 1011, 1012}},
        {-.2, .2, .2, .4, S | C | O, {1001}},
        {9.5, .2, 10, .4, S, {1010}},
        {9.5, .2, 10.5, .4, S | C | O, {1010}},
        {10.2, .2, 10.4, .4, S | O, {}},
        {.2, -.4, .4, -.2, S | O, {}},
        {.2, 99.5, .4, 100, S, {1991}},
    };
    for (const straycase& c : cases) {
        SCOPED_TRACE(std::to_string(c.u0) + " " + std::to_string(c.v0) + " " + std::to_string(c.u1) + " " +
                     std::to_string(c.v1));
        objbuilder b;
        b.quad(c.u0, c.v0, c.u1, c.v1);
        ASSERT_NO_FATAL_FAILURE(check(b.text, 10));
        EXPECT_EQ(r.kinds[0] & (S | C | O), c.kinds);
        EXPECT_EQ(tiles(), c.tiles);
        EXPECT_EQ(r.all.stray + r.all.crossing + r.all.offudim, __builtin_popcount(c.kinds));
    }
    // A face across the 1001/1002 border is counted in each: its 0.5 x 0.5
    // at 16 is 8 x 8 pixels however the border cuts it.
    objbuilder b;
    b.quad(.75, .25, 1.25, .75);
    ASSERT_NO_FATAL_FAILURE(check(b.text, 16));
    ASSERT_EQ(tiles(), (std::vector<int>{1001, 1002}));
    EXPECT_EQ(r.tiles[0].covered, 32);
    EXPECT_EQ(r.tiles[1].covered, 32);
    EXPECT_EQ(r.all.covered, 64);
}

// Faces whose texture is their 3-D shape scaled by s have density n / s;
// nearest rank over 20 faces: 5 % is the 1st, the median the 10th, 95 % the
// 19th.
TEST_F(UVCheck, TexelDensityByNearestRank)
{
    objbuilder b;
    b.material("a");
    for (int k = 1; k <= 20; k++) {
        if (k == 11) b.material("b");
        b.quad(0.01 * k, 0, 0.01 * k + 0.01, 0.01, 1.0 / k);  // density 100 k at 100
    }
    ASSERT_NO_FATAL_FAILURE(check(b.text, 100));
    const uvdensity& d = r.all.density;
    EXPECT_EQ(d.faces, 20);
    EXPECT_EQ(d.skipped, 0);
    EXPECT_NEAR(d.min, 100, 1e-3);
    EXPECT_NEAR(d.p5, 100, 1e-3);
    EXPECT_NEAR(d.median, 1000, 1e-2);
    EXPECT_NEAR(d.p95, 1900, 1e-2);
    EXPECT_NEAR(d.max, 2000, 1e-2);
    EXPECT_NEAR(d.spread, 19, 1e-4);
    ASSERT_EQ(r.nmat, 2);
    EXPECT_NEAR(r.mats[0].density.median, 500, 1e-2);  // 5th of 10
    EXPECT_NEAR(r.mats[1].density.p95, 2000, 1e-2);    // 10th of 10
    EXPECT_NEAR(r.mats[1].density.p5, 1100, 1e-2);
}

TEST_F(UVCheck, MaterialsAreCheckedEachOnItsOwn)
{
    objbuilder b;
    b.material("skin");
    b.quad(.25, .25, .75, .75);
    b.material("cloth");
    b.quad(.25, .25, .75, .75);
    b.quad(.5, .25, 1, .75);
    b.material("skin");
    b.face({1, 2, 3, 4});  // skin's first island again
    ASSERT_NO_FATAL_FAILURE(check(b.text, 16));
    ASSERT_EQ(r.nmat, 2);
    const uvblock &skin = r.mats[0], &cloth = r.mats[1];
    EXPECT_EQ(skin.faces, 2);
    EXPECT_EQ(skin.islands, 1);
    EXPECT_EQ(skin.covered, 64);
    EXPECT_EQ(skin.overlap, 64);
    EXPECT_EQ(skin.between, 0);
    EXPECT_EQ(skin.overlapfaces, 2);
    EXPECT_EQ(cloth.faces, 2);
    EXPECT_EQ(cloth.islands, 2);
    EXPECT_EQ(cloth.covered, 96);
    EXPECT_EQ(cloth.overlap, 32);
    EXPECT_EQ(cloth.between, 32);
    EXPECT_EQ(r.all.covered, 96);
    EXPECT_EQ(r.all.overlap, 64);
    EXPECT_EQ(r.all.overlapfaces, 4);
    EXPECT_EQ(uvstatus(&r, 1u << UV_FOLDS, 1), 1);                       // cloth's overlap
    EXPECT_EQ(uvstatus(&r, 1u << UV_FOLDS | 1u << UV_OVERLAPS, 1), 0);
}

TEST(UVKinds, AllowListIsParsedAndUnknownNamesRejected)
{
    unsigned k = 99;
    char msg[160];
    EXPECT_EQ(parsekinds("overlaps,flipped", &k, msg, sizeof msg), 1);
    EXPECT_EQ(k, 1u << UV_OVERLAPS | 1u << UV_FLIPPED);
    EXPECT_EQ(parsekinds(" folds , stray,,degenerate,crossing,offudim,", &k, msg, sizeof msg), 1);
    EXPECT_EQ(k, 1u << UV_FOLDS | 1u << UV_STRAY | 1u << UV_DEGENERATE | 1u << UV_CROSSING | 1u << UV_OFFUDIM);
    EXPECT_EQ(parsekinds("", &k, msg, sizeof msg), 1);
    EXPECT_EQ(k, 0u);
    EXPECT_EQ(parsekinds("flipped,overlap", &k, msg, sizeof msg), 0);
    EXPECT_EQ(k, 0u);
    EXPECT_STREQ(msg, "\"overlap\" is no kind of finding; the kinds are degenerate, flipped, stray, crossing, "
                      "offudim, folds and overlaps");
    EXPECT_EQ(parsekinds("Flipped", &k, msg, 8), 0);
    EXPECT_STREQ(msg, "\"Flippe");
    for (int j = 0; j < UV_KINDS; j++) {
        EXPECT_EQ(parsekinds(uvkindname(j), &k, msg, sizeof msg), 1);
        EXPECT_EQ(k, 1u << j);
    }
    EXPECT_EQ(uvkindname(UV_KINDS), nullptr);
}

// Mirrored halves stacked on purpose: flipped and overlapping between
// islands, which a pipeline may allow.
TEST_F(UVCheck, ExitStatusGoesByTheAllowList)
{
    objbuilder b;
    b.quad(.25, .25, .75, .75);
    b.polygon({{.25, .25}, {.25, .75}, {.75, .75}, {.75, .25}});
    ASSERT_NO_FATAL_FAILURE(check(b.text, 16));
    const unsigned F = 1u << UV_FLIPPED, O = 1u << UV_OVERLAPS;
    EXPECT_EQ(foundkinds(&r, 0), F | O);
    EXPECT_EQ(uvstatus(&r, F | O, 0), 0);
    EXPECT_EQ(uvstatus(&r, F | O | 1u << UV_FOLDS, 0), 0);
    EXPECT_EQ(uvstatus(&r, F, 0), 1);
    EXPECT_EQ(uvstatus(&r, O, 0), 1);
    EXPECT_EQ(uvstatus(&r, 0, 0), 1);

    objbuilder clean;
    clean.quad(.25, .25, .75, .75);
    ASSERT_NO_FATAL_FAILURE(check(clean.text, 16));
    EXPECT_EQ(foundkinds(&r, 0), 0u);
    EXPECT_EQ(uvstatus(&r, 0, 0), 0);
}

namespace {

std::string sunk;
int tostring(void*, const unsigned char* p, size_t n)
{
    sunk.append((const char*)p, n);
    return 1;
}
size_t room;  // bytes a sink takes before it refuses
int puts_ = 0;
int refusing(void*, const unsigned char*, size_t n)
{
    puts_++;
    if (n > room) return 0;
    room -= n;
    return 1;
}

// Checks a report against the schema's required keys and prints the names
// of the mesh and materials as \u escapes of their characters.
const char* SCHEMA_CHECK = R"(
import json, sys
r = json.load(open(sys.argv[1], encoding="utf-8"))
def need(d, keys, where):
    for k in keys:
        if k not in d: sys.exit("%s: no %s" % (where, k))
block = ["faces", "triangles", "islands", "tiles", "degenerate", "flipped", "stray", "crossing", "offudim",
         "pixels", "overlap_faces", "density"]
need(r, ["schema", "mesh", "map_size", "whole", "materials", "tiles", "kinds", "found", "found_per_material"], "top")
if r["schema"] != "uvpaint-report/1": sys.exit("schema")
for b in [r["whole"]] + r["materials"]:
    need(b, block, "block")
    need(b["pixels"], ["covered", "coverage", "overlap", "within_island", "between_islands"], "pixels")
    need(b["density"], ["faces", "skipped", "min", "p5", "median", "p95", "max", "spread"], "density")
for m in r["materials"]: need(m, ["name"], "material")
for t in r["tiles"]: need(t, ["tile", "faces", "covered", "coverage", "overlap", "within_island", "between_islands"], "tile")
need(r["kinds"], ["degenerate", "flipped", "stray", "crossing", "offudim", "folds", "overlaps"], "kinds")
for k, v in r["kinds"].items():
    need(v, ["count", "listed"], k)
    for f in v["listed"]: need(f, ["face", "line"] + (["reason"] if k == "degenerate" else []), k)
esc = lambda s: "".join("\\u%04x" % ord(c) for c in s)
print(esc(r["mesh"]))
for m in r["materials"]: print(esc(m["name"]))
print(r["whole"]["pixels"]["overlap"], r["kinds"]["flipped"]["listed"][0]["line"], r["found"])
)";

std::string escaped(const std::string& s)  // as the check prints a name
{
    std::string e;
    char t[8];
    for (unsigned char c : s) std::snprintf(t, sizeof t, "\\u%04x", c), e += t;
    return e;
}

}  // namespace

TEST_F(UVCheck, JsonReportKeepsToItsSchemaAndEscapesNames)
{
    objbuilder b;
    b.material("plain");
    b.quad(.25, .25, .75, .75);
    b.material("other");
    b.polygon({{.25, .25}, {.25, .75}, {.75, .75}, {.75, .25}});
    ASSERT_NO_FATAL_FAILURE(check(b.text, 16));
    ASSERT_EQ(uvlines(&r, path.c_str()), 1);
    m.mat[0].rename("q\"b\\s/\x01\x7f\t\n");
    m.mat[1].rename("caf\xc3\xa9 \xff\xc3 \xe2\x82\xac \xed\xa0\x80");  // é, bad bytes, €, a surrogate
    sunk.clear();
    bytesink s = {nullptr, tostring};
    ASSERT_EQ(writejsonreport(&r, &m, "m\xe9sh.obj", &s), 1);
    const std::string json = files.put("r.json", sunk), script = files.put("check.py", SCHEMA_CHECK);
    FILE* p = popen(("python3 " + script + " " + json + " 2>&1").c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[512];
    for (size_t k; (k = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, k);
    ASSERT_EQ(pclose(p), 0) << out << sunk;
    // Bytes that are no part of well-formed UTF-8 come out as the
    // characters of their numbers.
    const std::string euro = "\\u20ac";
    EXPECT_EQ(out, escaped("m\xe9sh.obj") + "\n" + escaped("q\"b\\s/\x01\x7f\t\n") + "\n" + escaped("caf") +
                       "\\u00e9" + escaped(" \xff\xc3 ") + euro + escaped(" \xed\xa0\x80") + "\n" +
                       "64 " + std::to_string(r.lists[UV_FLIPPED].listed[0].line) + " ['flipped', 'overlaps']\n");
}

TEST_F(UVCheck, TextReportLinesUpItsFigures)
{
    objbuilder b;
    b.material("skin");
    b.quad(.25, .25, .75, .75);
    b.quad(.25, .25, .75, .75);
    ASSERT_NO_FATAL_FAILURE(check(b.text, 16));
    ASSERT_EQ(uvlines(&r, path.c_str()), 1);
    sunk.clear();
    bytesink s = {nullptr, tostring};
    ASSERT_EQ(writetextreport(&r, &m, "two.obj", &s), 1);
    for (const char* line : {"UV check of two.obj, map 16 x 16\n\nWhole mesh\n",
                             "\n  faces                           2  (4 triangles)\n",
                             "\n  covered pixels                 64  (25.0 % of 1 tile)\n",
                             "\n  overlapping pixels             64  (0 within one island, 64 between islands)\n",
                             "\nMaterial \"skin\", on a map of its own\n",
                             "\n    1001            2             64    25.0 %             64             64\n",
                             "\n  faces over other islands        2: line 10, line 19\n"})
        EXPECT_NE(sunk.find(line), std::string::npos) << line << "\nin\n" << sunk;
}

// A sink that refuses stops the writing: the call fails, and nothing more
// is offered after the refusal.
TEST_F(UVCheck, ReportsStopAtARefusingSink)
{
    objbuilder b;
    for (int k = 0; k < 30; k++) b.material(("m" + std::to_string(k)).c_str()), b.quad(.1, .1, .2, .2);
    ASSERT_NO_FATAL_FAILURE(check(b.text, 16));
    for (auto write : {writetextreport, writejsonreport}) {
        bytesink s = {nullptr, refusing};
        room = 1u << 30;
        puts_ = 0;
        ASSERT_EQ(write(&r, &m, "x", &s), 1);
        ASSERT_GT(puts_, 2);  // big enough to take several blocks
        room = 5000;
        puts_ = 0;
        EXPECT_EQ(write(&r, &m, "x", &s), 0);
        EXPECT_EQ(puts_, 2);
    }
}

// Picture rows from the top, v = 0 on the first.
TEST_F(UVCheck, CheckPictureShowsEachKindInItsColour)
{
    objbuilder b;
    b.material("a");
    b.quad(.1, .1, .4, .3);                                          // grey: columns 2..7, rows 2..5
    b.polygon({{.6, .1}, {.6, .3}, {.9, .3}, {.9, .1}});            // blue
    b.quad(.1, .6, .3, .9), b.quad(.2, .6, .4, .9);                   // red where they meet
    b.material("b");
    b.quad(.8, .8, 1.1, .95);                                        // orange, and in 1002 too
    b.tri(.5, .5, .6, .6, .7, .7);                                   // no area: a cross at (12, 12)
    ASSERT_NO_FATAL_FAILURE(check(b.text, 20));
    image J;
    ASSERT_NE(J.reset(20, 20, 24, -1), nullptr);
    std::vector<unsigned char> flags(400, 0);
    std::memset(J.P, 0, J.pixelbytes());
    ASSERT_EQ(paintcheck(&J, flags.data(), &m, 20, &r, -1), 1);
    auto at = [&](int y, int x) {
        const pal3 p = J.Row(y)[x];
        return (unsigned)p.red << 16 | (unsigned)p.green << 8 | p.blue;
    };
    EXPECT_EQ(at(3, 4), 0x808080u);
    EXPECT_EQ(at(3, 14), 0x0000ffu);
    EXPECT_EQ(at(14, 3), 0x808080u);
    EXPECT_EQ(at(14, 5), 0xff0000u);
    EXPECT_EQ(at(14, 7), 0x808080u);
    EXPECT_EQ(at(17, 18), 0xffa500u);
    for (int d = -2; d <= 2; d++) EXPECT_EQ(at(12 + d, 12 + d), 0xffff00u) << d;
    EXPECT_EQ(at(11, 13), 0xffff00u);
    EXPECT_EQ(at(0, 0), 0u);
    // The outlines are the mesh map's: drawedge's pixels, white.
    image E;
    ASSERT_NE(E.reset(20, 20, 24, -1), nullptr);
    std::memset(E.P, 0, E.pixelbytes());
    for (int i = 0; i < m.nf; i++) {
        const Face& f = m.fac[i];
        for (int k = 0; k < f.n; k++) drawedge(&E, 20, *f.q[k ? k - 1 : f.n - 1].t, *f.q[k].t, pal3(255, 255, 255));
    }
    for (int y = 0; y < 20; y++)
        for (int x = 0; x < 20; x++) {
            const bool white = E.Row(y)[x].red == 255;
            if (white) EXPECT_TRUE(at(y, x) == 0xffffffu || at(y, x) == 0xffff00u) << y << " " << x;
            else EXPECT_NE(at(y, x), 0xffffffu) << y << " " << x;
            EXPECT_EQ(flags[y * 20 + x], at(y, x) != 0) << y << " " << x;
        }

    // Material b alone, on tile 1002: the orange face's part beyond u = 1.
    std::memset(J.P, 0, J.pixelbytes());
    ASSERT_EQ(paintcheck(&J, nullptr, &m, 20, &r, 1, 1002), 1);
    EXPECT_EQ(at(17, 0), 0xffa500u);
    EXPECT_EQ(at(17, 3), 0u);
    EXPECT_EQ(at(3, 4), 0u);
}
