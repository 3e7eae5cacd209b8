// The UV check on small meshes made for each finding, with the exact numbers
// each must give; its reports, the allow-list and the check picture.
#include "job/paint.h"
#include "job/uvcheck.h"
#include "tests/job/uvmeshes.h"

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

typedef UVTest UVCheck;

// Pixels covered, overlapping and between islands; faces sharing pixels.
std::string pixels(const uvblock& b)
{
    return std::to_string(b.covered) + " " + std::to_string(b.overlap) + " " + std::to_string(b.between) + " " +
           std::to_string(b.overlapfaces);
}

const unsigned FLIP = 1 << UV_FLIPPED, STRAY = 1 << UV_STRAY, CROSS = 1 << UV_CROSSING, OFF = 1 << UV_OFFUDIM,
               FOLDS = 1 << UV_FOLDS, OVER = 1 << UV_OVERLAPS;

}  // namespace

// Quads over 0.25..0.75 at 16 pixels cover the centres 4.5 to 11.5: 8 x 8.
TEST_F(UVCheck, OverlapsAreCountedAndToldByIsland)
{
    const struct {
        const char* what;
        std::function<void(objbuilder&)> make;
        const char* pixels;
        int folded, over, islands;
    } cases[] = {
        {"two islands stacked", [](objbuilder& b) { b.quad(.25, .25, .75, .75), b.quad(.25, .25, .75, .75); },
         "64 64 64 2", 0, 2, 2},
        {"an island folded", [](objbuilder& b) { b.quad(.25, .25, .75, .75), b.face({1, 2, 3, 4}); }, "64 64 0 2", 2,
         0, 1},
        {"a fold under another island: all between",
         [](objbuilder& b) { b.quad(.25, .25, .75, .75), b.face({1, 2, 3, 4}), b.quad(.25, .25, .75, .75); },
         "64 64 64 3", 0, 3, 2},
        {"half over", [](objbuilder& b) { b.quad(.25, .25, .75, .75), b.quad(.5, .25, 1, .75); }, "96 32 32 2", 0, 2,
         2},
        {"apart", [](objbuilder& b) { b.quad(0, 0, .25, .25), b.quad(.5, .5, 1, 1); }, "80 0 0 0", 0, 0, 2},
    };
    for (const auto& c : cases) {
        objbuilder b;
        c.make(b);
        ASSERT_NO_FATAL_FAILURE(check(b.text, 16));
        EXPECT_EQ(pixels(r.all), c.pixels) << c.what;
        EXPECT_EQ(r.lists[UV_FOLDS].count, c.folded) << c.what;
        EXPECT_EQ(r.lists[UV_OVERLAPS].count, c.over) << c.what;
        EXPECT_EQ(r.all.islands, c.islands) << c.what;
        ASSERT_EQ(r.ntiles, 1);
        EXPECT_EQ(r.tiles[0].covered, r.all.covered);
    }
}

// Along pixel centres the top-left rule gives each centre on a shared edge
// to one face alone: no overlap, and no pixel lost. (The random faces of
// the pixel tests share edges at every slope.)
TEST_F(UVCheck, FacesSharingAnEdgeNeverSharePixels)
{
    // The square of centres 0.5 to 12.5 at 16 (12 x 12 pixels) cut along
    // each diagonal, the halves in islands and materials of their own.
    const double lo = 0.5 / 16, hi = 12.5 / 16;
    for (int diagonal = 0; diagonal < 2; diagonal++) {
        objbuilder b;
        b.material("left");
        if (diagonal) b.tri(lo, lo, hi, lo, lo, hi), b.material("right"), b.tri(hi, lo, hi, hi, lo, hi);
        else b.tri(lo, lo, hi, hi, lo, hi), b.material("right"), b.tri(lo, lo, hi, lo, hi, hi);
        ASSERT_NO_FATAL_FAILURE(check(b.text, 16));
        EXPECT_EQ(pixels(r.all), "144 0 0 0");
        EXPECT_EQ(r.mats[0].covered + r.mats[1].covered, 144);
    }
}

// Two islands of 12 x 12 quads over 0.1..0.6 and 0.4..0.9 at 256: each
// covers centres 26 to 153 (128 x 128); they share 102 to 153, where 5 x 5
// cells of each lie.
TEST_F(UVCheck, LargeIslandsOverlapOnlyWhereTheyMeet)
{
    objbuilder b;
    b.grid(0.1, 0.1, 0.6, 0.6, 12);
    b.grid(0.4, 0.4, 0.9, 0.9, 12);
    ASSERT_NO_FATAL_FAILURE(check(b.text, 256));
    EXPECT_EQ(pixels(r.all), std::to_string(2 * 128 * 128 - 52 * 52) + " 2704 2704 50");
    EXPECT_EQ(r.lists[UV_FOLDS].count, 0);
    EXPECT_EQ(r.lists[UV_OVERLAPS].count, 50);
}

// Flipped: negative area with u to the right and v up, corners in file
// order. A face keeps to the tile of its lowest u and v, with that tile's
// far borders; the UDIM range is u 0..10, v 0..100.
TEST_F(UVCheck, FlippedAndStrayFacesAndTheirTiles)
{
    const struct {
        std::vector<objbuilder::uvpoint> corners;
        unsigned kinds;
        std::vector<int> tiles;
    } cases[] = {
        {{{.1, .1}, {.3, .1}, {.1, .3}}, 0, {1001}},
        {{{.1, .1}, {.1, .3}, {.3, .1}}, FLIP, {1001}},
        {{{.5, .5}, {.5, .7}, {.7, .7}, {.7, .5}}, FLIP, {1001}},
        {{{0, 0}, {1, 0}, {1, 1}, {0, 1}}, 0, {1001}},
        {{{1.1, .2}, {1.3, .2}, {1.3, .4}}, STRAY, {1002}},
        {{{1, .2}, {1.5, .2}, {1.5, .4}}, STRAY, {1002}},
        {{{.9, .2}, {1.1, .2}, {1.1, .4}}, STRAY | CROSS, {1001, 1002}},
        {{{.2, .9}, {.4, .9}, {.4, 1.1}}, STRAY | CROSS, {1001, 1011}},
        {{{.9, .9}, {1.1, .9}, {1.1, 1.1}}, STRAY | CROSS, {1001, 1002, 1011, 1012}},
        {{{-.2, .2}, {.2, .2}, {.2, .4}}, STRAY | CROSS | OFF, {1001}},
        {{{9.5, .2}, {10, .2}, {10, .4}}, STRAY, {1010}},
        {{{9.5, .2}, {10.5, .2}, {10.5, .4}}, STRAY | CROSS | OFF, {1010}},
        {{{10.2, .2}, {10.4, .2}, {10.4, .4}}, STRAY | OFF, {}},
        {{{.2, -.4}, {.4, -.4}, {.4, -.2}}, STRAY | OFF, {}},
        {{{.2, 99.5}, {.4, 99.5}, {.4, 100}}, STRAY, {1991}},
    };
    for (const auto& c : cases) {
        objbuilder b;
        b.polygon(c.corners);
        ASSERT_NO_FATAL_FAILURE(check(b.text, 10));
        SCOPED_TRACE(b.text);
        EXPECT_EQ(r.kinds[0], c.kinds);
        EXPECT_EQ(tiles(), c.tiles);
        EXPECT_EQ(r.all.flipped + r.all.stray + r.all.crossing + r.all.offudim, __builtin_popcount(c.kinds));
    }
    // Across the 1001/1002 border, 0.5 x 0.5 at 16 is 8 x 8 pixels, half in each.
    objbuilder b;
    b.quad(.75, .25, 1.25, .75);
    ASSERT_NO_FATAL_FAILURE(check(b.text, 16));
    ASSERT_EQ(tiles(), (std::vector<int>{1001, 1002}));
    EXPECT_EQ(r.tiles[0].covered, 32);
    EXPECT_EQ(r.tiles[1].covered, 32);
}

TEST_F(UVCheck, DegenerateFacesAreListedWithTheirReasonAndLine)
{
    ASSERT_NO_FATAL_FAILURE(check("v 0 0 0\nv 1 0 0\nv 0 1 0\n"
                                  "vt 0.1 0.1\nvt 0.2 0.2\nvt 0.3 0.3\nvt 1e31 0\nvt 0.5 0.1\n"
                                  "f 1/1 2/2 3/3\n# two corners\nf 1/1 2/5\nf 1/1 2 3/5\nf 1/1 2/4 3/5\n"
                                  "f 1/1 2/5 3/3\n"     // fine
                                  "f 1/1 1/5 1/3\n",    // no area in 3-D: left out of the density
                                  64));
    ASSERT_EQ(uvlines(&r, path.c_str()), 1);
    const uvlist& l = r.lists[UV_DEGENERATE];
    ASSERT_EQ(l.count, 4);
    const unsigned char why[] = {UVD_ZEROAREA, UVD_CORNERS, UVD_NOTEXTURE, UVD_NONFINITE};
    for (int k = 0; k < 4; k++) {
        EXPECT_EQ(l.listed[k].face, k);
        EXPECT_EQ(l.listed[k].line, 9 + k + (k > 0));
        EXPECT_EQ(l.listed[k].why, why[k]);
    }
    EXPECT_EQ(r.all.density.faces, 1);
    EXPECT_EQ(r.all.density.skipped, 5);
    EXPECT_EQ(r.all.triangles, 5);
    EXPECT_EQ(tiles(), (std::vector<int>{1001}));
}

// Faces whose 3-D shape is their texture's scaled by 1 / k have density
// 100 k at 100. Nearest rank over 20: 5 % is the 1st, the median the
// 10th, 95 % the 19th; over 10: the 1st, 5th and 10th.
TEST_F(UVCheck, TexelDensityByNearestRank)
{
    objbuilder b;
    b.material("a");
    for (int k = 1; k <= 20; k++) {
        if (k == 11) b.material("b");
        b.quad(0.01 * k, 0, 0.01 * k + 0.01, 0.01, 1.0 / k);
    }
    ASSERT_NO_FATAL_FAILURE(check(b.text, 100));
    const uvdensity &d = r.all.density, &a = r.mats[0].density, &c = r.mats[1].density;
    const double got[] = {d.min, d.p5, d.median, d.p95, d.max, a.p5, a.median, a.p95, c.p5, c.median, c.p95};
    const double want[] = {100, 100, 1000, 1900, 2000, 100, 500, 1000, 1100, 1500, 2000};
    for (int k = 0; k < 11; k++) EXPECT_NEAR(got[k], want[k], 1e-2) << k;
    EXPECT_NEAR(d.spread, 19, 1e-4);
    EXPECT_EQ(d.faces + d.skipped, 20);
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
    b.face({1, 2, 3, 4});  // skin's island again
    ASSERT_NO_FATAL_FAILURE(check(b.text, 16));
    EXPECT_EQ(pixels(r.mats[0]), "64 64 0 2");
    EXPECT_EQ(pixels(r.mats[1]), "96 32 32 2");
    EXPECT_EQ(pixels(r.all), "96 64 64 4");
    EXPECT_EQ(r.mats[0].islands, 1);
    EXPECT_EQ(r.mats[1].islands, 2);
    EXPECT_EQ(foundkinds(&r, 1), FOLDS | OVER);
    EXPECT_EQ(foundkinds(&r, 0), OVER);  // every pixel under cloth's quads
}

// Mirrored halves stacked on purpose: flipped, and overlapping between
// islands, which a pipeline may allow.
TEST_F(UVCheck, ExitStatusGoesByTheAllowList)
{
    unsigned k = 99;
    char msg[160];
    EXPECT_EQ(parsekinds(" folds , stray,,overlaps,flipped,", &k, msg, sizeof msg), 1);
    EXPECT_EQ(k, FOLDS | STRAY | OVER | FLIP);
    EXPECT_TRUE(parsekinds("", &k, msg, sizeof msg) && k == 0);
    EXPECT_EQ(parsekinds("flipped,overlap", &k, msg, sizeof msg), 0);
    EXPECT_EQ(k, 0u);
    EXPECT_STREQ(msg, "\"overlap\" is no kind of finding; the kinds are degenerate, flipped, stray, crossing, "
                      "offudim, folds and overlaps");
    EXPECT_EQ(parsekinds("Flipped", &k, msg, 8), 0);
    EXPECT_STREQ(msg, "\"Flippe");
    for (int j = 0; j < UV_KINDS; j++) EXPECT_TRUE(parsekinds(uvkindname(j), &k, msg, sizeof msg) && k == 1u << j);

    objbuilder b;
    b.quad(.25, .25, .75, .75);
    b.polygon({{.25, .25}, {.25, .75}, {.75, .75}, {.75, .25}});
    ASSERT_NO_FATAL_FAILURE(check(b.text, 16));
    EXPECT_EQ(foundkinds(&r, 0), FLIP | OVER);
    for (unsigned allowed : {FLIP | OVER, FLIP | OVER | FOLDS}) EXPECT_EQ(uvstatus(&r, allowed, 0), 0);
    for (unsigned allowed : {FLIP, OVER, 0u}) EXPECT_EQ(uvstatus(&r, allowed, 0), 1);
    objbuilder clean;
    clean.quad(.25, .25, .75, .75);
    ASSERT_NO_FATAL_FAILURE(check(clean.text, 16));
    EXPECT_EQ(uvstatus(&r, 0, 0), 0);
}

namespace {

std::string sunk;
size_t room;  // bytes the sink takes before it refuses
int puts_;
int tostring(void*, const unsigned char* p, size_t n)
{
    puts_++;
    if (n > room) return 0;
    room -= n;
    sunk.append((const char*)p, n);
    return 1;
}

// Checks a report against the schema's required keys and prints the names
// of the mesh and materials as \u escapes of their characters.
const char* SCHEMA_CHECK = R"(
import json, sys
r = json.load(open(sys.argv[1], encoding="utf-8"))
def need(d, keys):
    missing = set(keys.split()) - set(d)
    if missing: sys.exit("no %s" % missing)
need(r, "schema mesh map_size whole materials tiles kinds found found_per_material")
assert r["schema"] == "uvpaint-report/1"
for b in [r["whole"]] + r["materials"]:
    need(b, "faces triangles islands tiles degenerate flipped stray crossing offudim pixels overlap_faces density")
    need(b["pixels"], "covered coverage overlap within_island between_islands")
    need(b["density"], "faces skipped min p5 median p95 max spread")
for t in r["tiles"]: need(t, "tile faces covered coverage overlap within_island between_islands")
need(r["kinds"], "degenerate flipped stray crossing offudim folds overlaps")
for k, v in r["kinds"].items():
    need(v, "count listed")
    for f in v["listed"]: need(f, "face line reason" if k == "degenerate" else "face line")
esc = lambda s: "".join("\\u%04x" % ord(c) for c in s)
print(esc(r["mesh"]))
for m in r["materials"]: print(esc(m["name"]))
print(r["whole"]["pixels"]["overlap"], r["kinds"]["flipped"]["listed"][0]["line"], r["found"])
)";

std::string escaped(const std::string& s)  // bytes as characters of their numbers
{
    std::string e;
    char t[8];
    for (unsigned char c : s) std::snprintf(t, sizeof t, "\\u%04x", c), e += t;
    return e;
}

}  // namespace

// Bytes that are no part of well-formed UTF-8 come out as the characters of
// their numbers: é kept, a lone byte, a cut sequence and a surrogate not.
TEST_F(UVCheck, JsonReportKeepsToItsSchemaAndEscapesNames)
{
    objbuilder b;
    b.material("plain");
    b.quad(.25, .25, .75, .75);
    b.material("other");
    b.polygon({{.25, .25}, {.25, .75}, {.75, .75}, {.75, .25}});
    ASSERT_NO_FATAL_FAILURE(check(b.text, 16));
    ASSERT_EQ(uvlines(&r, path.c_str()), 1);
    m.mat[0].name = "q\"b\\s/\x01\x7f\t\n";
    m.mat[1].name = "caf\xc3\xa9 \xff\xc3 \xe2\x82\xac \xed\xa0\x80";
    sunk.clear();
    room = 1 << 20;
    bytesink s = {nullptr, tostring};
    ASSERT_EQ(writejsonreport(&r, &m, "m\xe9sh.obj", &s), 1);
    const std::string json = files.put("r.json", sunk), script = files.put("check.py", SCHEMA_CHECK);
    FILE* p = popen(("python3 " + script + " " + json + " 2>&1").c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[512];
    for (size_t k; (k = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, k);
    ASSERT_EQ(pclose(p), 0) << out << sunk;
    EXPECT_EQ(out, escaped("m\xe9sh.obj") + "\n" + escaped("q\"b\\s/\x01\x7f\t\n") + "\n" + escaped("caf") +
                       "\\u00e9" + escaped(" \xff\xc3 ") + "\\u20ac" + escaped(" \xed\xa0\x80") + "\n64 " +
                       std::to_string(r.lists[UV_FLIPPED].listed[0].line) + " ['flipped', 'overlaps']\n");
}

// The text report lines its figures up; a sink that refuses stops either
// report, which then fails and offers nothing more.
TEST_F(UVCheck, TextReportAndARefusingSink)
{
    objbuilder b;
    b.material("skin");
    b.quad(.25, .25, .75, .75);
    b.quad(.25, .25, .75, .75);
    for (int k = 0; k < 30; k++) b.material(("m" + std::to_string(k)).c_str()), b.quad(.1, .1, .2, .2);
    ASSERT_NO_FATAL_FAILURE(check(b.text, 16));
    ASSERT_EQ(uvlines(&r, path.c_str()), 1);
    sunk.clear();
    room = 1 << 20;
    bytesink s = {nullptr, tostring};
    ASSERT_EQ(writetextreport(&r, &m, "two.obj", &s), 1);
    for (const char* line : {"UV check of two.obj, map 16 x 16\n\nWhole mesh\n  faces                          32  (64 t",
                             "\n  overlapping pixels             65  (0 within one island, 65 between islands)\n",
                             "\nMaterial \"skin\", on a map of its own\n",
                             "\n    1001           32             65    25.4 %             65             65\n",
                             "\n  faces over other islands       32: line 10, line 19, line 29,"})
        EXPECT_NE(sunk.find(line), std::string::npos) << line << "\nin\n" << sunk;
    for (auto write : {writetextreport, writejsonreport}) {
        room = 5000;
        puts_ = 0;
        EXPECT_EQ(write(&r, &m, "x", &s), 0);
        EXPECT_EQ(puts_, 2);  // a block taken, a block refused
    }
}

// v = 0 on the top row. Outlines land on the faces' first pixels, so the
// colours are looked for inside.
TEST_F(UVCheck, CheckPictureShowsEachKindInItsColour)
{
    objbuilder b;
    b.material("a");
    b.quad(.1, .1, .4, .3);                                 // grey: columns 2..7, rows 2..5
    b.polygon({{.6, .1}, {.6, .3}, {.9, .3}, {.9, .1}});   // blue
    b.quad(.1, .6, .3, .9), b.quad(.2, .6, .4, .9);          // red where they meet, columns 4, 5
    b.material("b");
    b.quad(.8, .8, 1.1, .95);                               // orange, and in 1002 too
    b.tri(.5, .5, .6, .6, .7, .7);                          // no area: a cross at (12, 12)
    ASSERT_NO_FATAL_FAILURE(check(b.text, 20));
    image J, E;
    ASSERT_TRUE(J.reset(20, 20) && E.reset(20, 20));
    std::vector<unsigned char> flags(400, 0);
    std::memset(J.P, 0, J.pixelbytes());
    std::memset(E.P, 0, E.pixelbytes());
    ASSERT_EQ(paintcheck(&J, flags.data(), &m, 20, &r, -1), 1);
    auto at = [&](int y, int x) {
        const pal3 p = J.Row(y)[x];
        return (unsigned)p.red << 16 | (unsigned)p.green << 8 | p.blue;
    };
    const int where[][2] = {{3, 4}, {3, 14}, {14, 3}, {14, 5}, {14, 7}, {17, 18}, {0, 0}, {11, 13}};
    const unsigned colour[] = {0x808080, 0x0000ff, 0x808080, 0xff0000, 0x808080, 0xffa500, 0, 0xffff00};
    for (int k = 0; k < 8; k++) EXPECT_EQ(at(where[k][0], where[k][1]), colour[k]) << k;
    for (int d = -2; d <= 2; d++) EXPECT_EQ(at(12 + d, 12 + d), 0xffff00u) << d;
    // The outlines are drawedge's pixels, under the crosses; flags on
    // every pixel painted.
    for (int i = 0; i < m.nf; i++)
        for (int k = 0; k < m.fac[i].n; k++)
            drawedge(&E, 20, *m.fac[i].q[k ? k - 1 : m.fac[i].n - 1].t, *m.fac[i].q[k].t, pal3(255, 255, 255));
    for (int y = 0; y < 20; y++)
        for (int x = 0; x < 20; x++) {
            if (E.Row(y)[x].red) EXPECT_TRUE(at(y, x) == 0xffffff || at(y, x) == 0xffff00) << y << " " << x;
            else EXPECT_NE(at(y, x), 0xffffffu) << y << " " << x;
            EXPECT_EQ(flags[y * 20 + x], at(y, x) != 0) << y << " " << x;
        }
    // Material b alone on tile 1002: the orange face beyond u = 1.
    std::memset(J.P, 0, J.pixelbytes());
    ASSERT_EQ(paintcheck(&J, nullptr, &m, 20, &r, 1, 1002), 1);
    EXPECT_EQ(at(17, 0), 0xffa500u);
    EXPECT_EQ(at(17, 3), 0u);
    EXPECT_EQ(at(3, 4), 0u);
}
