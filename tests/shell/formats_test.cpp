// Maps in every format and tile, read back by programs of their own:
// ImageMagick decodes the PNG maps, pngcheck checks them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "shell/batch.h"
#include "tests/support/support.h"

namespace {

const std::string SAMPLES = UVPAINT_SAMPLES;
const std::string MESH = SAMPLES + "/figure.obj";
const std::string FIGURE = SAMPLES + "/figure.cr2";

// The batch command's status, quietly; what it says anyway goes to *said,
// or must be nothing.
int uvpaint(std::vector<std::string> args, std::string* said = nullptr)
{
    args.insert(args.begin(), "uvpaint");
    args.push_back("-q");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(&a[0]);
    FILE* out = std::tmpfile();
    FILE* err = std::tmpfile();
    int status = runbatch((int)args.size(), argv.data(), out, err);
    std::string s = slurp(out) + slurp(err);
    if (said) *said = s;
    else EXPECT_EQ(s, "") << s;
    return status;
}

// What a program prints, and its status.
std::string output(const std::string& cmd, int* status = nullptr)
{
    FILE* p = popen(cmd.c_str(), "r");
    std::string s;
    if (!p) return s;
    char b[65536];
    size_t k;
    while ((k = std::fread(b, 1, sizeof b, p)) > 0) s.append(b, k);
    int st = pclose(p);
    if (status) *status = st;
    return s;
}

// The pixels of a picture file as ImageMagick decodes them, in the given
// layout ("rgb" or "rgba").
std::string pixels(const std::string& file, const char* layout = "rgb")
{
    int status = 0;
    std::string s = output(std::string(CONVERT) + " '" + file + "' -depth 8 " + layout + ":- 2>&1", &status);
    EXPECT_EQ(status, 0) << s.substr(0, 200);
    return s;
}

void pngchecked(const std::string& file)
{
    int status = 0;
    std::string s = output(std::string(PNGCHECK) + " -q '" + file + "' 2>&1", &status);
    EXPECT_EQ(status, 0) << s;
}

class Formats : public testing::Test {
protected:
    tempdir dir;
};

// Every kind of map, at sizes that leave rows of every length, as PNG holds
// the pixels the BMP holds: RGB for colours and outlines, grey for greys.
TEST_F(Formats, PngMapsHoldTheBmpMapsPixels)
{
    const std::vector<std::vector<std::string>> kinds = {
        {"--cr2", FIGURE},
        {"--kind", "mesh"},
        {"--cr2", FIGURE, "--kind", "transparency", "--black-transparent"},
        {"--cr2", FIGURE, "--invert"},
    };
    for (const char* size : {"1", "7", "640", "4096"})
        for (size_t k = 0; k < kinds.size(); k++) {
            if (std::string(size) == "4096" && k > 0) continue;  // one big map is enough
            SCOPED_TRACE(std::string(size) + " kind " + std::to_string(k));
            std::vector<std::string> args = {"--obj", MESH, "--size", size, "--overwrite"};
            args.insert(args.end(), kinds[k].begin(), kinds[k].end());
            std::vector<std::string> bmp = args, png = args;
            bmp.insert(bmp.end(), {"--out", dir.at("m.bmp")});
            png.insert(png.end(), {"--out", dir.at("m.png")});
            ASSERT_EQ(uvpaint(bmp), 0);
            ASSERT_EQ(uvpaint(png), 0);
            pngchecked(dir.at("m.png"));
            EXPECT_TRUE(pixels(dir.at("m.bmp")) == pixels(dir.at("m.png")));
            const std::string info = output(std::string(PNGCHECK) + " -v '" + dir.at("m.png") + "'");
            EXPECT_NE(info.find(k == 2 ? "grayscale" : "RGB"), std::string::npos) << info.substr(0, 300);
            EXPECT_NE(info.find("12000x12000 pixels/meter"), std::string::npos);
        }
}

// With --alpha, what was painted is opaque (faces, margin, rims, outlines)
// and the rest transparent; the colours are those of the map without it.
TEST_F(Formats, AlphaMakesOnlyTheUnpaintedPixelsTransparent)
{
    for (bool invert : {false, true}) {
        std::vector<std::string> args = {"--obj", MESH, "--cr2", FIGURE, "--size", "96", "--overwrite"};
        if (invert) args.push_back("--invert");
        std::vector<std::string> plain = args, alpha = args;
        plain.insert(plain.end(), {"--out", dir.at("p.png")});
        alpha.insert(alpha.end(), {"--out", dir.at("a.png"), "--alpha"});
        ASSERT_EQ(uvpaint(plain), 0);
        ASSERT_EQ(uvpaint(alpha), 0);
        pngchecked(dir.at("a.png"));
        const std::string rgb = pixels(dir.at("p.png")), rgba = pixels(dir.at("a.png"), "rgba");
        ASSERT_EQ(rgba.size(), 96u * 96 * 4);
        int opaque = 0, clear = 0, paintedblack = 0;
        for (size_t i = 0; i < 96u * 96; i++) {
            const unsigned char a = rgba[4 * i + 3];
            ASSERT_TRUE(a == 0 || a == 255) << i;
            ASSERT_EQ(rgba.compare(4 * i, 3, rgb, 3 * i, 3), 0) << i;
            const bool black = !rgb[3 * i] && !rgb[3 * i + 1] && !rgb[3 * i + 2];
            if (!black) {
                ASSERT_EQ(a, 255) << i;  // faces, margin and rims
            }
            if (black && a == 255) paintedblack++;  // the black faces of the unpaired "Pants"
            (a ? opaque : clear)++;
        }
        EXPECT_GT(clear, 96 * 96 / 4);
        EXPECT_GT(opaque, 96 * 96 / 4);
        EXPECT_GT(paintedblack, 20);
    }
}

// A mesh in four tiles and one face beyond them: a map for each tile that
// holds faces, named by its number, each a whole map; tile 1001 of a mesh
// within 0..1 is today's map.
TEST_F(Formats, TilesAreNumberedAndEachAWholeMap)
{
    dir.put("tiles.obj",
            "v 0 0 0\nv 1 0 0\nv 1 1 0\n"
            "vt 0.25 0.25\nvt 0.75 0.25\nvt 0.5 0.75\n"     // 1001
            "vt 1.25 0.25\nvt 1.75 0.25\nvt 1.5 0.75\n"     // 1002
            "vt 0.75 1.25\nvt 1.25 1.25\nvt 1.0 1.75\n"     // 1011 and 1012
            "vt -0.5 0.5\n"                                // beyond
            "usemtl a\nf 1/1 2/2 3/3\nusemtl b\nf 1/4 2/5 3/6\nf 1/7 2/8 3/9\nf 1/10 2/1 3/2\n");
    const std::string obj = dir.at("tiles.obj");
    FILE* out = std::tmpfile();
    FILE* err = std::tmpfile();
    std::vector<std::string> a = {"uvpaint", "--obj", obj, "--out", dir.at("t.png"), "--size", "16", "--tiles"};
    std::vector<char*> argv;
    for (auto& x : a) argv.push_back(&x[0]);
    EXPECT_EQ(runbatch((int)argv.size(), argv.data(), out, err), 0);
    EXPECT_EQ(slurp(out), dir.at("t.1001.png") + "\n" + dir.at("t.1002.png") + "\n" + dir.at("t.1011.png") + "\n" +
                              dir.at("t.1012.png") + "\n");
    EXPECT_EQ(slurp(err),
              "1 face reaches beyond the UDIM tiles (u from 0 to 10, v from 0 to 100): no map shows what lies beyond\n");
    for (const char* t : {"1001", "1002", "1011", "1012"}) pngchecked(dir.at(std::string("t.") + t + ".png"));
    // Tile 1002 holds the second face where 1001 holds the first: the same
    // triangle a tile over, so the same outline.
    EXPECT_TRUE(pixels(dir.at("t.1002.png")).size() == 16u * 16 * 3);
    std::string said;
    ASSERT_EQ(uvpaint({"--obj", obj, "--out", dir.at("s.bmp"), "--size", "16", "--tiles", "--separate"}, &said), 0);
    EXPECT_EQ(dir.files(), (std::set<std::string>{"tiles.obj", "t.1001.png", "t.1002.png", "t.1011.png", "t.1012.png",
                                                  "s_a.1001.bmp", "s_b.1001.bmp", "s_b.1002.bmp", "s_b.1011.bmp",
                                                  "s_b.1012.bmp"}));
    bmpfile one = readbmp(dir.at("s_a.1001.bmp")), two = readbmp(dir.at("s_b.1002.bmp"));
    ASSERT_TRUE(one.ok && two.ok);
    EXPECT_EQ(one.bytes, two.bytes);  // the same triangle, a tile apart

    // The sample lies within 0..1: its tile 1001 is its map, byte for byte.
    ASSERT_EQ(uvpaint({"--obj", MESH, "--cr2", FIGURE, "--out", dir.at("f.bmp"), "--size", "200"}), 0);
    ASSERT_EQ(uvpaint({"--obj", MESH, "--cr2", FIGURE, "--out", dir.at("g.bmp"), "--size", "200", "--tiles"}), 0);
    EXPECT_EQ(readfile(dir.at("f.bmp")), readfile(dir.at("g.1001.bmp")));
    EXPECT_FALSE(exists(dir.at("g.1002.bmp")));
}

// Without --tiles, faces beyond 0..1 are counted once and the map is made.
TEST_F(Formats, FacesBeyondTheMapAreSaidOnce)
{
    dir.put("out.obj", "v 0 0 0\nv 1 0 0\nv 1 1 0\nvt 1.2 0.5\nvt 1.5 0.5\nvt 1.3 0.9\nvt 0.1 0.1\n"
                       "f 1/1 2/2 3/3\nf 1/1 2/2 3/4\nf 1/4 2/4 3/4\n");
    FILE* out = std::tmpfile();
    FILE* err = std::tmpfile();
    std::vector<std::string> a = {"uvpaint", "--obj", dir.at("out.obj"), "--out", dir.at("o.bmp"), "--size", "8"};
    std::vector<char*> argv;
    for (auto& x : a) argv.push_back(&x[0]);
    EXPECT_EQ(runbatch((int)argv.size(), argv.data(), out, err), 0);
    EXPECT_EQ(slurp(err), "uvpaint: 2 faces reach beyond texture space 0..1, which the map does not show; --tiles "
                          "paints them as UDIM tiles\nI have created this texture map file: " + dir.at("o.bmp") + "\n");
}

}  // namespace

namespace {
// What the batch command prints on standard output, its status in *status.
std::string stdoutof(std::vector<std::string> args, int* status)
{
    args.insert(args.begin(), "uvpaint");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(&a[0]);
    FILE* out = std::tmpfile();
    FILE* err = std::tmpfile();
    *status = runbatch((int)args.size(), argv.data(), out, err);
    std::string e = slurp(err);
    EXPECT_EQ(e, "") << e;
    return slurp(out);
}
}  // namespace

// The mesh map as SVG outlines, per material and per tile as the bitmaps
// are, read back by an XML parser of its own.
TEST_F(Formats, SvgMapsAreNamedAsTheBitmapsAndParse)
{
    ASSERT_EQ(uvpaint({"--obj", MESH, "--out", dir.at("m.svg"), "--size", "1024", "--separate", "--tiles"}), 0);
    std::set<std::string> want = {"m_skin.1001.svg", "m_Hair.1001.svg", "m_Eyes.1001.svg", "m_Shirt.1001.svg",
                                  "m_Belt.1001.svg", "m_Pants.1001.svg", "m_Shoes.1001.svg"};
    EXPECT_EQ(dir.files(), want);
    int status = 0;
    const std::string polygons =
        output(std::string(PYTHON) + " -c \"import sys,xml.etree.ElementTree as E; r=E.parse(sys.argv[1]).getroot(); "
                                     "print(r.get('viewBox'), len(r.findall('.//{http://www.w3.org/2000/svg}polygon')))\" '" +
                   dir.at("m_Shirt.1001.svg") + "' 2>&1",
               &status);
    EXPECT_EQ(status, 0) << polygons;
    EXPECT_EQ(polygons, "0 0 1024 1024 18\n");
}

// The report: text for a person, JSON for a pipeline, the status telling
// whether anything was found that is not allowed.
TEST_F(Formats, ReportStatusFollowsWhatIsFoundAndAllowed)
{
    const std::string layout = SAMPLES + "/layout.obj";
    int status = -1;
    const std::string text = stdoutof({"--obj", layout, "--report", "--size", "256"}, &status);
    EXPECT_EQ(status, 1);
    EXPECT_NE(text.find("faces over other islands        2: line 44, line 45"), std::string::npos) << text;
    stdoutof({"--obj", layout, "--report", "--allow", "overlaps,flipped,degenerate,stray,crossing"}, &status);
    EXPECT_EQ(status, 0);
    stdoutof({"--obj", layout, "--report", "--allow", "overlaps,flipped"}, &status);
    EXPECT_EQ(status, 1);
    stdoutof({"--obj", MESH, "--report"}, &status);
    EXPECT_EQ(status, 0);

    const std::string json = stdoutof({"--obj", layout, "--report=json", "--size", "256"}, &status);
    EXPECT_EQ(status, 1);
    dir.put("r.json", json);
    const std::string found = output(std::string(PYTHON) + " -c \"import json,sys; d=json.load(open(sys.argv[1])); "
                                                           "print(d['schema'], ','.join(d['found']))\" '" +
                                         dir.at("r.json") + "' 2>&1",
                                     &status);
    EXPECT_EQ(status, 0) << found;
    EXPECT_EQ(found, "uvpaint-report/1 degenerate,flipped,stray,crossing,overlaps\n");

    // With a map: the map is made, and the status is the report's.
    stdoutof({"--obj", layout, "--report", "--out", dir.at("l.png"), "--kind", "check", "-q"}, &status);
    EXPECT_EQ(status, 1);
    pngchecked(dir.at("l.png"));
}

// README's worked example is what the program says of the sample.
TEST(Readme, ReportOfTheSampleIsTheProgramsOwn)
{
    const std::string readme = readfile(SAMPLES + "/../README.md");
    const std::string begin = "<!-- report of samples/layout.obj -->\n```\n", end = "```\n<!-- end of report -->";
    const size_t a = readme.find(begin), b = readme.find(end);
    ASSERT_NE(a, std::string::npos);
    ASSERT_NE(b, std::string::npos);
    const std::string shown = readme.substr(a + begin.size(), b - a - begin.size());
    char here[PATHSIZE];
    ASSERT_TRUE(getcwd(here, sizeof here));
    ASSERT_EQ(chdir((SAMPLES + "/..").c_str()), 0);
    int status = -1;
    const std::string said = stdoutof({"--obj", "samples/layout.obj", "--report", "--size", "256"}, &status);
    EXPECT_EQ(chdir(here), 0);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(shown, said);
}
