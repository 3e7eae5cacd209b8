// The batch command line, run in-process on the sample figure.
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "job/job.h"
#include "shell/batch.h"
#include "port/prompts.h"
#include "port/scripted.h"
#include "tests/support/support.h"

namespace fs = std::filesystem;

namespace {

const std::string SAMPLES = UVPAINT_SAMPLES;
const std::string MESH = SAMPLES + "/figure.obj";
const std::string FIGURE = SAMPLES + "/figure.cr2";
const char CR2REPORT[] = "these materials are in the .CR2 file but not in the .OBJ file: pants, Lashes\n";
const char OBJREPORT[] = "these materials are in the .OBJ file but not in the .CR2 file: Belt, Pants\n";

struct result {
    int status;
    std::string out, err;
};

// Runs the batch command; what it prints on tty (closed afterwards) is the
// caller's to read, else err holds it.
result run(std::vector<std::string> args, FILE* tty = nullptr)
{
    args.insert(args.begin(), "uvpaint");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    FILE* out = std::tmpfile();
    FILE* err = tty ? tty : std::tmpfile();
    result r;
    r.status = runbatch((int)args.size(), argv.data(), out, err);
    r.out = slurp(out);
    if (tty) std::fclose(tty);
    else r.err = slurp(err);
    return r;
}

// Colours of the sample, 0xRRGGBB: KdColor 0.96 0.80 0.66 of skin gives 245 204 168.
const unsigned SKIN = 0xF5CCA8;
// Inside the head's front face, which lies at u 0.13-0.23, v 0.77-0.87.
const double HEADU = 0.18, HEADV = 0.82;

class Batch : public testing::Test {
protected:
    tempdir dir;
};

// --- options refused before the run -------------------------------------

struct refusal {
    std::vector<std::string> args;
    const char* reason;
};

TEST(BatchOptions, RefusesWhatCannotMakeASensibleRunWithReasonAndUsage)
{
    std::string longname(PATHSIZE, 'a');
    longname += ".bmp";
    const refusal cases[] = {
        {{}, "no mesh given (--obj MESH.obj)"},
        {{"--cr2", "f.cr2", "--out", "m.bmp"}, "no mesh given (--obj MESH.obj)"},
        {{"--obj", "m.obj", "--out", "m.jpg"}, "--out m.jpg: the map's name must end in .bmp, .png or .svg"},
        {{"--obj", "m.obj", "--out", ".bmp"}, "--out .bmp: the map's name must end in .bmp, .png or .svg"},
        {{"--obj", "m.obj", "--out", "m.bmpx"}, "--out m.bmpx: the map's name must end in .bmp, .png or .svg"},
        {{"--obj", "m.obj", "--cr2", "f.cr2", "--out", "m.svg"}, "--out m.svg: an .svg map holds outlines: it needs --kind mesh"},
        {{"--obj", "m.obj"}, "checking material names (no --out) needs --cr2 or --mtl"},
        {{"--obj", "m.obj", "--out", "m.bmp", "--kind", "Mesh"}, "unknown kind Mesh (colored, mesh, transparency or check)"},
        {{"--obj", "m.obj", "--cr2", "f.cr2", "--mtl", "f.mtl"}, "--cr2 and --mtl both give the colours: give one"},
        {{"--obj", "m.obj", "--report=xml"}, "unknown report format xml (text or json)"},
        {{"--obj", "m.obj", "--out", "m.bmp", "--colour"}, "unknown option --colour"},
        {{"--obj", "m.obj", "--out", "m.bmp", "-x"}, "unknown option -x"},
        {{"--obj", "m.obj", "m.bmp"}, "unexpected argument m.bmp"},
        {{"m.obj", "n.obj", "-o", "m.bmp"}, "unexpected argument n.obj"},
        {{"--obj", "m.obj", "--out"}, "--out needs a value"},
        {{"--obj", "m.obj", "-o"}, "-o needs a value"},
        {{"--obj", "", "--out", "m.bmp"}, "--obj needs a value"},
        {{"--obj=", "--out", "m.bmp"}, "--obj needs a value"},
        {{"--obj", "m.obj", "--out", "m.bmp", "--invert", "--invert"}, "--invert given twice"},
        {{"--obj", "m.obj", "--obj", "n.obj", "--out", "m.bmp"}, "--obj given twice"},
        {{"--obj", "m.obj", "-o", "a.bmp", "--out=b.bmp"}, "--out given twice"},
        {{"--obj", "m.obj", "--out", longname}, "the value of --out is longer than 4095 characters"},
    };
    for (const refusal& c : cases) {
        result r = run(c.args);
        SCOPED_TRACE(c.reason);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        std::string head = "uvpaint: " + std::string(c.reason) + "\nusage: uvpaint --obj";
        EXPECT_EQ(r.err.substr(0, head.size()), head);
    }
}

// Sizes are whole numbers of pixels, written as such.
TEST(BatchOptions, SizeIsAWholeNumber)
{
    const struct {
        const char* text;
        int size;
    } cases[] = {
        {"640", 640}, {"32768", 32768}, {"1", 1},    {"0640", 640}, {"640abc", 0}, {"1e2", 0},
        {"0x40", 0},  {"12.9", 0},      {" 64", 0},  {"64 ", 0},    {"+64", 0},    {"-5", 0},
        {"x", 0},     {"", 0},          {"0", 0},    {"32769", 0},  {"100000", 0}, {"nan", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(batchsize(c.text), c.size) << c.text;
    result r = run({"--obj", "m.obj", "--out", "m.bmp", "--size", "640abc"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.substr(0, r.err.find('\n')), "uvpaint: bad size 640abc (a number of pixels from 1 to 32768)");
}

// Every form the usual rules allow gives the same options.
TEST(BatchOptions, LongShortAndJoinedFormsAndTheLoneMesh)
{
    const std::vector<std::vector<std::string>> same = {
        {"--obj", "m.obj", "--cr2", "f.cr2", "--out", "m.png", "--kind", "transparency", "--size", "64"},
        {"--obj=m.obj", "--cr2=f.cr2", "--out=m.png", "--kind=transparency", "--size=64"},
        {"-c", "f.cr2", "-o", "m.png", "-k", "transparency", "-s", "64", "m.obj"},
        {"m.obj", "-cf.cr2", "-om.png", "-ktransparency", "-s64"},
        {"-o", "m.png", "-s", "64", "-k", "transparency", "-c", "f.cr2", "--", "m.obj"},
    };
    for (const auto& args : same) {
        std::vector<std::string> a = args;
        a.insert(a.begin(), "uvpaint");
        std::vector<char*> argv;
        for (auto& x : a) argv.push_back(&x[0]);
        batchoptions o;
        char why[256] = "";
        SCOPED_TRACE(args[0] + " " + args[1]);
        ASSERT_TRUE(parsebatch((int)argv.size(), argv.data(), &o, why, sizeof why)) << why;
        EXPECT_STREQ(o.obj, "m.obj");
        EXPECT_STREQ(o.cr2, "f.cr2");
        EXPECT_STREQ(o.out, "m.png");
        EXPECT_EQ(o.kind, MAP_TRANSPARENCY);
        EXPECT_EQ(o.size, 64);
        EXPECT_EQ(o.nwarnings, 0);
    }
    // After --, a name that begins with a dash is the mesh.
    std::vector<std::string> a = {"uvpaint", "-o", "m.bmp", "--", "-odd.obj"};
    std::vector<char*> argv;
    for (auto& x : a) argv.push_back(&x[0]);
    batchoptions o;
    char why[256] = "";
    ASSERT_TRUE(parsebatch((int)argv.size(), argv.data(), &o, why, sizeof why)) << why;
    EXPECT_STREQ(o.obj, "-odd.obj");
    EXPECT_EQ(o.kind, MAP_MESH);

    for (const char* h : {"-h", "--help", "-V", "--version"}) {
        result r = run({h});
        EXPECT_EQ(r.status, 0) << h;
        EXPECT_EQ(r.err, "") << h;
    }
}

// An option that changes nothing in the run asked for is said to, once;
// --quiet keeps it quiet.
TEST(BatchOptions, OptionsWithoutEffectAreWarnedAbout)
{
    const struct {
        std::vector<std::string> args;
        std::vector<std::string> warnings;
    } cases[] = {
        {{"--out", "m.bmp", "--black-transparent"}, {"--black-transparent has no effect on a mesh map"}},
        {{"--cr2", "f.cr2", "--out", "m.bmp", "--black-transparent"}, {"--black-transparent has no effect on a colored map"}},
        {{"--cr2", "f.cr2", "--invert", "--separate"},
         {"--separate has no effect when only names are checked (no --out)",
          "--invert has no effect when only names are checked (no --out)"}},
        {{"--cr2", "f.cr2", "--kind", "mesh", "--out", "m.bmp"}, {"--cr2 has no effect on a mesh map"}},
        {{"--out", "m.bmp", "--alpha"}, {"--alpha has no effect on a map that is no .png"}},
        {{"--out", "m.bmp", "--allow", "flipped"}, {"--allow has no effect without --report"}},
        {{"--cr2", "f.cr2", "--out", "m.png", "--kind", "transparency", "--black-transparent", "--alpha"}, {}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> a = c.args;
        a.insert(a.begin(), {"uvpaint", "--obj", "m.obj"});
        std::vector<char*> argv;
        for (auto& x : a) argv.push_back(&x[0]);
        batchoptions o;
        char why[256] = "";
        ASSERT_TRUE(parsebatch((int)argv.size(), argv.data(), &o, why, sizeof why)) << why;
        std::vector<std::string> got(o.warning, o.warning + o.nwarnings);
        EXPECT_EQ(got, c.warnings) << a.back();
    }
}

// Options anywhere ask for the batch command; file names alone (a drop on
// the program, "Open with") for the window.
TEST(BatchOptions, OptionsAnywhereAskForTheBatchCommand)
{
    const struct {
        std::vector<std::string> args;
        bool batch;
    } cases[] = {
        {{}, false},
        {{"figure.obj"}, false},
        {{"figure.obj", "other.obj"}, false},
        {{"--help"}, true},
        {{"--obj", "figure.obj"}, true},
        {{"figure.obj", "--obj", "figure.obj", "--out", "x.bmp"}, true},
        {{"-"}, true},
    };
    for (const auto& c : cases) {
        std::vector<std::string> a = c.args;
        a.insert(a.begin(), "uvpaint");
        std::vector<char*> argv;
        for (auto& s : a) argv.push_back(&s[0]);
        EXPECT_EQ(wantsbatch((int)argv.size(), argv.data()), c.batch) << a.size() << " " << a.back();
    }
}

TEST(BatchOptions, KindDefaultsToColoredWithAFigureAndToMeshWithout)
{
    char why[256];
    batchoptions o;
    char a0[] = "uvpaint", a1[] = "--obj", a2[] = "m.obj", a3[] = "--cr2", a4[] = "f.cr2";
    char* withfigure[] = {a0, a1, a2, a3, a4};
    ASSERT_TRUE(parsebatch(5, withfigure, &o, why, sizeof why)) << why;
    EXPECT_EQ(o.kind, MAP_COLOURED);
    EXPECT_EQ(o.size, 640);
    EXPECT_EQ(o.out, nullptr);

    char b3[] = "--out", b4[] = "M.BMP";  // five characters, in capitals
    char* without[] = {a0, a1, a2, b3, b4};
    ASSERT_TRUE(parsebatch(5, without, &o, why, sizeof why)) << why;
    EXPECT_EQ(o.kind, MAP_MESH);
    EXPECT_STREQ(o.out, "M.BMP");
}

TEST(BatchOptions, HelpAndVersion)
{
    result h = run({"--obj", "m.obj", "--help"});
    EXPECT_EQ(h.status, 0);
    EXPECT_EQ(h.err, "");
    EXPECT_EQ(h.out.rfind("usage: uvpaint --obj MESH.obj", 0), 0u);
    EXPECT_NE(h.out.find("\nMake a texture map .BMP file for an .OBJ mesh file, either as mesh, or colored as "
                         "stated in a Poser .CR2 file or a material library (.MTL), or transparency as stated in "
                         "a Poser4 .CR2 file or a material library. Option to output each material's map on a "
                         "separate file.\n"),
              std::string::npos);
    EXPECT_NE(h.out.find("--mtl LIB.mtl"), std::string::npos);

    result v = run({"--version"});
    EXPECT_EQ(v.status, 0);
    EXPECT_EQ(v.out, "uvpaint " UVPAINT_VERSION "\n");
}

// --- whole runs ----------------------------------------------------------

TEST_F(Batch, ColouredMapIsWrittenAndEachBoxIsALineOnStandardError)
{
    result r = run({"--obj", MESH, "--cr2", FIGURE, "--out", dir.at("map.bmp")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, std::string(CR2REPORT) + OBJREPORT + "I have created this texture map file: " + dir.at("map.bmp") + "\n");
    bmpfile b = readbmp(dir.at("map.bmp"));
    ASSERT_TRUE(b.ok);  // 24 bits, as long as its header says
    ASSERT_EQ(b.width, 640);
    ASSERT_EQ(b.height, 640);
    EXPECT_EQ(b.pixel((int)(HEADV * 640), (int)(HEADU * 640)), SKIN);
}

TEST_F(Batch, CheckOnlyReportsOnStandardOutputAndHidesTheRefusedName)
{
    result r = run({"--obj", MESH, "--cr2", FIGURE});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, std::string(CR2REPORT) + OBJREPORT);
    EXPECT_EQ(r.err, "");
}

TEST_F(Batch, CheckOnlyWithEveryNamePairedExitsZero)
{
    std::string cr2;
    for (const char* m : {"skin", "Hair", "Eyes", "Shirt", "Belt", "Pants", "Shoes"})
        cr2 += std::string("\tmaterial ") + m + "\n\t\t{\n\t\tKdColor 1 1 1 1\n\t\t}\n";
    dir.put("all.cr2", cr2);
    result r = run({"--obj", MESH, "--cr2", dir.at("all.cr2")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "uvpaint: every material name pairs\n");
    EXPECT_EQ(r.err, "");
    result q = run({"--obj", MESH, "--cr2", dir.at("all.cr2"), "-q"});
    EXPECT_EQ(q.status, 0);
    EXPECT_EQ(q.out + q.err, "");
}

// Each map of a --separate run is said as it is written; a map whose
// materials pair with none of the figure's is black, and said to be.
TEST_F(Batch, WhatWasWrittenAndWhatPairedNotAreSaid)
{
    result r = run({"--obj", MESH, "--out", dir.at("t.bmp"), "--separate", "--size", "8"});
    EXPECT_EQ(r.status, 0);
    std::string want;
    for (const char* m : {"skin", "Hair", "Eyes", "Shirt", "Belt", "Pants", "Shoes"}) want += dir.at("t_") + m + ".bmp\n";
    EXPECT_EQ(r.out, want);
    EXPECT_EQ(r.err, "Each file's name will be the name that you specified with the name of the material appended\n");
    result quiet = run({"--obj", MESH, "--out", dir.at("u.bmp"), "--separate", "--size", "8", "-q"});
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.out + quiet.err, "");

    dir.put("other.cr2", "material nothing\nKdColor 1 0 0 1\n");
    result none = run({"--obj", MESH, "--cr2", dir.at("other.cr2"), "--out", dir.at("n.bmp"), "--size", "8", "-q"});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.err, "");
    EXPECT_TRUE(readbmp(dir.at("n.bmp")).ok);
    result said = run({"--obj", MESH, "--cr2", dir.at("other.cr2"), "--out", dir.at("n.bmp"), "--size", "8",
                       "--overwrite"});
    EXPECT_EQ(said.status, 1);
    EXPECT_NE(said.err.find("uvpaint: warning: no material of the mesh pairs with one of the figure: the map is black\n"),
              std::string::npos) << said.err;
}

TEST_F(Batch, ExistingMapIsKeptWithoutOverwrite)
{
    ASSERT_EQ(run({"--obj", MESH, "--out", dir.at("map.bmp"), "--size", "32"}).status, 0);
    std::string before = readfile(dir.at("map.bmp"));

    result kept = run({"--obj", MESH, "--out", dir.at("map.bmp"), "--size", "64"});
    EXPECT_EQ(kept.status, 2);
    EXPECT_EQ(kept.err, "uvpaint: " + dir.at("map.bmp") + " exists and was not replaced (--overwrite replaces it)\n");
    EXPECT_EQ(readfile(dir.at("map.bmp")), before);

    result replaced = run({"--obj", MESH, "--out", dir.at("map.bmp"), "--size", "64", "--overwrite"});
    EXPECT_EQ(replaced.status, 0);
    EXPECT_EQ(replaced.err, "I have created this texture map file: " + dir.at("map.bmp") + "\n");
    EXPECT_EQ(readbmp(dir.at("map.bmp")).width, 64);
}

// Names that give the same file name, in either case, lose no map.
TEST_F(Batch, MaterialsWhoseFileNamesMeetKeepAMapEach)
{
    dir.put("m.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\n"
                     "usemtl a/b\nf 1/1 2/2 3/3\nusemtl a_b\nf 1/1 2/2 3/3\nusemtl A:B\nf 1/1 2/2 3/3\n");
    result r = run({"--obj", dir.at("m.obj"), "--out", dir.at("t.bmp"), "--separate", "--size", "8"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(dir.files(), (std::set<std::string>{"m.obj", "t_a_b.bmp", "t_a_b_2.bmp", "t_A_B_3.bmp"}));
}

TEST_F(Batch, MeshNameWithCapitalsOpensAndNamesKeepTheirCase)
{
    fs::create_directories(dir.at("Meshes"));
    fs::copy_file(MESH, dir.at("Meshes/Figure.OBJ"));
    fs::create_directories(dir.at("Maps"));
    result r = run({"--obj", dir.at("Meshes/Figure.OBJ"), "--out", dir.at("Maps/Figure.BMP"), "--size", "32"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "I have created this texture map file: " + dir.at("Maps/Figure.BMP") + "\n");
    EXPECT_EQ(readbmp(dir.at("Maps/Figure.BMP")).width, 32);
}

TEST_F(Batch, FailuresExitTwo)
{
    dir.put("flat.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");  // no texture coordinates
    dir.put("bad.obj", "v 0 0\n");

    // Files that cannot be opened: one line each, with the system's reason.
    result missing = run({"--obj", dir.at("none.obj"), "--out", dir.at("m.bmp")});
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err, "uvpaint: " + dir.at("none.obj") + ": I can't open this file (No such file or directory)\n");
    fs::create_directory(dir.at("folder.obj"));
    result folder = run({"--obj", dir.at("folder.obj"), "--out", dir.at("m.bmp")});
    EXPECT_EQ(folder.status, 2);
    EXPECT_EQ(folder.err, "uvpaint: " + dir.at("folder.obj") + ": I can't open this file (Is a directory)\n");

    result bad = run({"--obj", dir.at("bad.obj"), "--out", dir.at("m.bmp")});
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("bad mesh, or this file ain't a mesh file: " + dir.at("bad.obj")), std::string::npos);

    result flat = run({"--obj", dir.at("flat.obj"), "--out", dir.at("m.bmp")});
    EXPECT_EQ(flat.status, 2);
    EXPECT_EQ(flat.err, "this mesh contains no `vt' lines: " + dir.at("flat.obj") + "\n");

    // A check of a bad mesh pairs nothing, yet it is no success.
    result check = run({"--obj", dir.at("bad.obj"), "--cr2", FIGURE});
    EXPECT_EQ(check.status, 2);
    EXPECT_EQ(check.out, "");

    result nofigure = run({"--obj", MESH, "--cr2", dir.at("none.cr2"), "--out", dir.at("m.bmp")});
    EXPECT_EQ(nofigure.status, 2);
    EXPECT_EQ(nofigure.err, "uvpaint: " + dir.at("none.cr2") + ": I can't open this file (No such file or directory)\n");

    result unwritable = run({"--obj", MESH, "--out", dir.at("no/such/folder/m.bmp"), "--size", "16"});
    EXPECT_EQ(unwritable.status, 2);
    EXPECT_EQ(unwritable.err,
              "uvpaint: " + dir.at("no/such/folder/m.bmp") + ": I can't open this file (No such file or directory)\n");
    EXPECT_FALSE(fs::exists(dir.at("m.bmp")));
}

// --- the same answers through the scripted prompts ----------------------

// The boxes of a scripted transcript as the batch command prints them.
std::string boxlines(const script& s)
{
    std::string r;
    for (const std::string& line : s.shown) {
        size_t at = line.find(": ");
        if (line.compare(0, 3, "box") != 0 || at == std::string::npos) continue;
        std::string body = line.substr(at + 2);
        size_t bar = body.find(" | ");
        std::string text = body.substr(0, bar), title = body.substr(bar + 3);
        title = title.substr(0, title.find(" | "));
        r += title.empty() ? text + "\n" : title + ": " + text + "\n";
    }
    return r;
}

struct samerun {
    const char* name;
    std::vector<std::string> options;  // besides --obj and --out
    std::vector<std::string> answers;  // besides the mesh and output files; "CR2" for the figure
    std::vector<std::string> maps;     // files written, "" for the output name itself
};

TEST_F(Batch, MapsAreTheSameBytesAsAScriptedRunWithTheSameAnswers)
{
    const samerun runs[] = {
        {"colored", {"--cr2", FIGURE, "--size", "300"}, {"yes", "no", "CR2", "no", "type 300"}, {""}},
        {"mesh inverted", {"--invert", "--size", "257"}, {"no", "no", "yes", "type 257"}, {""}},
        {"transparency per material",
         {"--cr2", FIGURE, "--kind", "transparency", "--separate", "--black-transparent", "--invert", "--size", "99"},
         {"cancel", "yes", "yes", "CR2", "yes", "type 99"},
         {"_skin", "_Hair", "_Eyes", "_Shirt", "_Belt", "_Pants", "_Shoes"}},
    };
    for (const samerun& c : runs) {
        SCOPED_TRACE(c.name);
        std::string mine = "batch" + std::to_string(&c - runs), theirs = "scripted" + std::to_string(&c - runs);
        std::vector<std::string> args = {"--obj", MESH, "--out", dir.at(mine + ".bmp")};
        args.insert(args.end(), c.options.begin(), c.options.end());
        result r = run(args);
        ASSERT_EQ(r.status, 0) << r.err;

        script s;
        s.answers = {"file " + MESH, "file " + dir.at(theirs + ".bmp")};
        for (const std::string& a : c.answers) s.answers.push_back(a == "CR2" ? "file " + FIGURE : a);
        usescript(&s);
        jobreport rep = {};
        jobsession S = {};
        bool done = maketexmap(nullptr, &S, &rep);
        usescript(nullptr);
        ASSERT_TRUE(done);
        EXPECT_EQ(scriptfaults(s), "") << transcript(s);
        EXPECT_EQ(rep.written, (int)c.maps.size());

        for (const std::string& m : c.maps) {
            std::string a = readfile(dir.at(mine + m + ".bmp")), b = readfile(dir.at(theirs + m + ".bmp"));
            EXPECT_GT(a.size(), 54u) << m;
            EXPECT_TRUE(a == b) << m;
        }
        // Every box of the run, and nothing else, as a line.
        std::string boxes = boxlines(s);
        size_t at;
        while ((at = boxes.find(theirs)) != std::string::npos) boxes.replace(at, theirs.size(), mine);
        EXPECT_EQ(r.err, boxes);
    }
}

// A run with standard error on a terminal: the status and what the terminal
// was sent (which turns each "\n" into "\r\n").
result ttyrun(std::vector<std::string> args)
{
    int master, slave;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        ADD_FAILURE() << "no terminal";
        return result();
    }
    std::string seen;
    std::thread drain([&] {
        char buf[4096];
        ssize_t k;
        while ((k = read(master, buf, sizeof buf)) > 0) seen.append(buf, (size_t)k);
    });
    result r = run(args, fdopen(slave, "w"));
    drain.join();
    close(master);
    r.err = seen;
    return r;
}

// True when s from `from` to `to` only blanks the line and returns to its start.
bool blanked(const std::string& s, size_t from, size_t to)
{
    return to > from && to <= s.size() && s[to - 1] == '\r' &&
           s.substr(from, to - from).find_first_not_of(" \r") == std::string::npos &&
           s.substr(from, to - from).find(' ') != std::string::npos;
}

TEST_F(Batch, TitlesMakeAProgressLineOnATerminal)
{
    result check = ttyrun({"--obj", MESH, "--cr2", FIGURE});
    EXPECT_EQ(check.status, 1);
    EXPECT_EQ(check.out, std::string(CR2REPORT) + OBJREPORT);
    size_t at = 0;
    for (const char* t : {"\rreading .CR2 file", "\rreading .OBJ file", "\rmatching material names", "\rfinished"}) {
        at = check.err.find(t, at);
        ASSERT_NE(at, std::string::npos) << t << " in " << check.err;
    }
    EXPECT_EQ(check.err.find('\n'), std::string::npos);  // no lines of its own
    // The line is cleared at the end: "\rfinished", then blanks over it.
    EXPECT_TRUE(blanked(check.err, at + std::strlen("\rfinished"), check.err.size())) << check.err.substr(at);

    result full = ttyrun({"--obj", MESH, "--cr2", FIGURE, "--invert", "--out", dir.at("t.bmp")});
    EXPECT_EQ(full.status, 0);
    for (const char* t : {"\rmaking texture map", "\radding margin", "\radding white edges",
                          "\rinverting texture map", "\rmaking texture map 100%"})
        EXPECT_NE(full.err.find(t), std::string::npos) << t;
    // A box line first wipes the progress line.
    std::string box = "I have created this texture map file: " + dir.at("t.bmp") + "\r\n";
    size_t b = full.err.find(box);
    ASSERT_NE(b, std::string::npos) << full.err;
    EXPECT_TRUE(blanked(full.err, full.err.rfind("\rfinished", b) + std::strlen("\rfinished"), b));
}

}  // namespace
