// Whole runs of the make-texture-map command through the scripted prompts.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <fstream>

#include <set>
#include <string>
#include <vector>

#include "job/job.h"
#include "port/scripted.h"
#include "tests/support/gzip.h"
#include "tests/support/support.h"

#if defined(__SANITIZE_ADDRESS__)
#define UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define UNDER_ASAN 1
#endif
#endif

namespace {

int mainwindow;
window const WN = &mainwindow;

typedef std::vector<std::string> lines;

// Two squares of texture space: skin over rows and columns 2 to 6 of a map of
// 16, hair over 10 to 14.
const char FIG_OBJ[] =
    "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n"
    "vt 0.125 0.125\nvt 0.375 0.125\nvt 0.375 0.375\nvt 0.125 0.375\n"
    "vt 0.625 0.625\nvt 0.875 0.625\nvt 0.875 0.875\nvt 0.625 0.875\n"
    "usemtl skin\nf 1/1 2/2 3/3 4/4\n"
    "usemtl hair\nf 1/5 2/6 3/7 4/8\n";

// skin dark (25, 25, 25), hair light; eyes is not in the mesh.
const char FIG_CR2[] =
    "{\nactor BODY\n\t{\n\tmaterial skin\n\t\t{\n\t\tKdColor 0.1 0.1 0.1 1\n\t\ttMax 0.3\n\t\t}\n"
    "\tmaterial hair\n\t\t{\n\t\tKdColor 1 0.5 0.2 1\n\t\ttMax 0\n\t\t}\n"
    "\tmaterial eyes\n\t\t{\n\t\tKdColor 0 0 1 1\n\t\t}\n\t}\n}\n";

const unsigned SKIN = 0x191919, HAIR = 0xFF8033, WHITE = 0xFFFFFF, BLACK = 0;

// The questions' lines, from the run's own table of texts.
std::string Q(question q) { return questiontext(q); }
const std::string KIND = "yesnocancel: " + Q(Q_KIND) + " -> ";
const std::string SEPARATE = "yesno: " + Q(Q_SEPARATE) + " -> ";
const std::string INVERT = "yesno: " + Q(Q_INVERT) + " -> ";
const std::string SENSE = "yesno: " + Q(Q_SENSE) + " -> ";
const std::string SIZE = "ask: " + Q(Q_SIZE) + " proposing 640 -> ";
// The figure dialog offers Poser's files and material libraries.
const std::string FIGUREFILTER =
    "CR2 files|*.CR2;*.CRZ|material files|*.mtl;*.mc6;*.mt5;*.pz2;*.hr2;*.pp2;*.mtl.gz;*.mcz;*.mz5;*.p2z;"
    "*.hrz;*.ppz|all files|*.*";
const std::string CR2SIDE = " | these materials are in the .CR2 file but not in the .OBJ file | !";

struct runs : ::testing::Test {
    tempdir dir;
    std::string D = dir.path, obj, cr2;
    script s;
    jobsession S = {};
    jobreport rep = {-1, -1, -1, -1, -1, -2, -1};
    bool done = false;

    void SetUp() override
    {
        S.file[0] = 0;
        obj = dir.put("fig.obj", FIG_OBJ);
        cr2 = dir.put("fig.cr2", FIG_CR2);
    }
    void go(lines answers)
    {
        s.answers = answers;
        usescript(&s);
        done = maketexmap(WN, &S, &rep);
        usescript(nullptr);
        EXPECT_EQ(scriptfaults(s), "") << transcript(s);
    }
    std::string meshdialog(const std::string& choice, const std::string& proposed = "")
    {
        return "open: " + Q(Q_MESH) + " [OBJ files|*.OBJ;*.OBZ] proposing " + proposed + " -> " + choice;
    }
    std::string outdialog(const std::string& proposed, const std::string& choice)
    {
        return "save: " + Q(Q_OUTPUT) + " [BMP files|*.BMP|PNG files|*.PNG] proposing " + proposed + " -> " + choice;
    }
    std::string cr2dialog(const std::string& choice)
    {
        return "open: " + Q(Q_FIGURE) + " [" + FIGUREFILTER + "] proposing  -> " + choice;
    }
    std::string created(const std::string& name)
    {
        return "box(owner): " + name + " | I have created this texture map file";
    }
};

TEST_F(runs, ColouredMapWithMarginAndWhiteRimKeepingTheCaseOfNames)
{
    std::string upper = dir.put("Fig.OBJ", FIG_OBJ);
    go({"file " + upper, "file " + D + "/Figtex.bmp", "yes", "no", "file " + cr2, "no", "type 16"});
    EXPECT_EQ(s.shown, (lines{
                           meshdialog(upper),
                           outdialog(D + "/Figtex.bmp", D + "/Figtex.bmp"),
                           KIND + "yes",
                           SEPARATE + "no",
                           cr2dialog(cr2),
                           "title: reading .CR2 file",
                           INVERT + "no",
                           SIZE + "16",
                           "title: reading .OBJ file",
                           "title: matching material names",
                           "box: eyes" + CR2SIDE,
                           "title: making texture map",
                           "title: adding margin",
                           "title: adding white edges",
                           "title: finished",
                           created(D + "/Figtex.bmp"),
                       }));
    EXPECT_EQ(s.asked, (std::vector<question>{Q_MESH, Q_OUTPUT, Q_KIND, Q_SEPARATE, Q_FIGURE, Q_INVERT, Q_SIZE}));
    EXPECT_TRUE(done);
    EXPECT_EQ(rep.cleanup, 1);
    EXPECT_EQ(rep.checkonly, 0);
    EXPECT_EQ(rep.maps, 1);
    EXPECT_EQ(rep.written, 1);
    EXPECT_EQ(rep.unpaired, 1);
    EXPECT_EQ(s.progress, 100);
    EXPECT_FALSE(S.running);

    bmpfile b = readbmp(D + "/Figtex.bmp");
    ASSERT_TRUE(b.ok);
    ASSERT_EQ(b.width, 16);
    ASSERT_EQ(b.height, 16);
    EXPECT_EQ(b.pixel(2, 2), SKIN);
    EXPECT_EQ(b.pixel(4, 10), SKIN);   // four pixels of margin
    EXPECT_EQ(b.pixel(4, 11), WHITE);  // then the rim of a dark area
    EXPECT_EQ(b.pixel(12, 12), HAIR);
    EXPECT_EQ(b.pixel(12, 6), HAIR);
    EXPECT_EQ(b.pixel(12, 5), BLACK);  // no rim round a light area
    EXPECT_EQ(b.pixel(0, 15), BLACK);
}

TEST_F(runs, TransparencyMapAsksTheSenseBeforeTheCR2File)
{
    go({"file " + obj, "file " + D + "/t.bmp", "cancel", "no", "no", "file " + cr2, "no", "type 16"});
    EXPECT_EQ(s.shown[2], KIND + "cancel");
    EXPECT_EQ(s.shown[3], SEPARATE + "no");
    EXPECT_EQ(s.shown[4], SENSE + "no");
    EXPECT_EQ(s.shown[5], cr2dialog(cr2));
    bmpfile b = readbmp(D + "/t.bmp");
    ASSERT_TRUE(b.ok);
    EXPECT_EQ(b.pixel(4, 4), 0x4C4C4Cu);  // tMax 0.3: 76, no rim
    EXPECT_EQ(b.pixel(4, 11), BLACK);
    EXPECT_EQ(b.pixel(12, 12), BLACK);    // tMax 0: black, ringed white
    EXPECT_EQ(b.pixel(12, 5), WHITE);

    S.file[0] = 0;
    s = script();
    go({"file " + obj, "file " + D + "/u.bmp", "cancel", "no", "yes", "file " + cr2, "no", "type 16"});
    b = readbmp(D + "/u.bmp");
    ASSERT_TRUE(b.ok);
    EXPECT_EQ(b.pixel(4, 4), 0xB3B3B3u);  // 1 - 0.3
    EXPECT_EQ(b.pixel(12, 12), WHITE);
}

TEST_F(runs, MeshMapAsksNoCR2AndInvertsTheOutline)
{
    go({"file " + obj, "file " + D + "/m.bmp", "no", "no", "yes", "type 16"});
    EXPECT_EQ(s.shown, (lines{
                           meshdialog(obj),
                           outdialog(D + "/figtex.bmp", D + "/m.bmp"),
                           KIND + "no",
                           SEPARATE + "no",
                           INVERT + "yes",
                           SIZE + "16",
                           "title: reading .OBJ file",
                           "title: making texture map",
                           "title: inverting texture map",
                           "title: finished",
                           created(D + "/m.bmp"),
                       }));
    bmpfile b = readbmp(D + "/m.bmp");
    ASSERT_TRUE(b.ok);
    EXPECT_EQ(b.count(WHITE), 32);  // two rims of 16
    EXPECT_EQ(b.pixel(15 - 2, 2), WHITE);
    EXPECT_EQ(b.pixel(15 - 2, 6), WHITE);
    EXPECT_EQ(b.pixel(15 - 4, 4), BLACK);
    EXPECT_EQ(b.pixel(15 - 14, 10), WHITE);
    EXPECT_EQ(b.pixel(2, 2), BLACK);
}

TEST_F(runs, OneMapPerMaterialNamedAfterEachMaterialWithoutConfirmation)
{
    dir.put("figtex_skin.bmp", "old");  // replaced without a question
    go({"file " + obj, "file " + D + "/figtex.bmp", "yes", "yes", "file " + cr2, "no", "type 16"});
    EXPECT_EQ(s.shown[3], SEPARATE + "yes");
    EXPECT_EQ(s.shown[4],
              "box: Each file's name will be the name that you specified with the name of the material appended | ");
    // No box confirms the maps; each is noted for the front ends that list them.
    EXPECT_EQ(lines(s.shown.end() - 10, s.shown.end()),
              (lines{"title: making texture map", "title: adding margin", "title: adding white edges",
                     "title: finished", "note: wrote " + D + "/figtex_skin.bmp", "title: making texture map",
                     "title: adding margin", "title: adding white edges", "title: finished",
                     "note: wrote " + D + "/figtex_hair.bmp"}));
    EXPECT_EQ(rep.maps, 2);
    EXPECT_EQ(rep.written, 2);
    EXPECT_FALSE(exists(D + "/figtex.bmp"));
    bmpfile skin = readbmp(D + "/figtex_skin.bmp"), hair = readbmp(D + "/figtex_hair.bmp");
    ASSERT_TRUE(skin.ok);
    ASSERT_TRUE(hair.ok);
    EXPECT_EQ(skin.pixel(4, 4), SKIN);
    EXPECT_EQ(skin.pixel(12, 12), BLACK);  // hair is absent from the skin map
    EXPECT_EQ(hair.pixel(4, 4), BLACK);
    EXPECT_EQ(hair.pixel(12, 12), HAIR);
}

TEST_F(runs, MaterialNamesCannotLeadOutOfTheFolder)
{
    std::string o = dir.put("esc.obj", "v 0 0 0\nvt 0 0\nvt 1 0\nvt 0 1\nusemtl ../../x\nf 1/1 1/2 1/3\n"
                                       "usemtl a:b\nf 1/1 1/2 1/3\n");
    go({"file " + o, "file " + D + "/e.bmp", "no", "yes", "no", "type 8"});
    EXPECT_TRUE(readbmp(D + "/e_.._.._x.bmp").ok);
    EXPECT_TRUE(readbmp(D + "/e_a_b.bmp").ok);
    EXPECT_EQ(rep.written, 2);
}

TEST_F(runs, OneMaterialWithSeparateMapsMakesOneConfirmedFile)
{
    std::string one = dir.put("one.obj", "v 0 0 0\nvt 0 0\nvt 1 0\nvt 0 1\nusemtl skin\nf 1/1 1/2 1/3\n");
    go({"file " + one, "file " + D + "/one.bmp", "yes", "yes", "file " + cr2, "no", "type 8"});
    EXPECT_EQ(s.shown.back(), created(D + "/one.bmp"));
    EXPECT_EQ(rep.maps, 1);
    EXPECT_TRUE(readbmp(D + "/one.bmp").ok);
}

TEST_F(runs, CancelledOutputNameMakesACheckOnlyRun)
{
    go({"file " + obj, "cancel", "file " + cr2});
    EXPECT_EQ(s.shown, (lines{
                           meshdialog(obj),
                           outdialog(D + "/figtex.bmp", "cancel"),
                           "box: " + D + "/figtex.bmp | this is not a .bmp filename | !",
                           cr2dialog(cr2),
                           "title: reading .CR2 file",
                           "title: reading .OBJ file",
                           "title: matching material names",
                           "box: eyes" + CR2SIDE,
                           "title: finished",
                       }));
    EXPECT_TRUE(done);
    EXPECT_EQ(rep.cleanup, 1);
    EXPECT_EQ(rep.checkonly, 1);
    EXPECT_EQ(rep.maps, 0);
    EXPECT_EQ(rep.written, 0);
    EXPECT_EQ(rep.unpaired, 1);
    EXPECT_FALSE(exists(D + "/figtex.bmp"));
}

TEST_F(runs, RefusedOutputNamesMakeCheckOnlyRuns)
{
    for (std::string name : {D + "/x.txt", D + "/tex.bmpx", std::string(".bmp")}) {
        S.file[0] = 0;
        s = script();
        go({"file " + obj, "file " + name, "file " + cr2});
        EXPECT_EQ(s.shown[2], "box: " + name + " | this is not a .bmp filename | !");
        EXPECT_EQ(rep.checkonly, 1);
    }
    // A one-letter name with the extension, in capitals, is accepted.
    char here[PATHSIZE];
    ASSERT_TRUE(getcwd(here, sizeof here));
    ASSERT_EQ(chdir(D.c_str()), 0);
    s = script();
    S.file[0] = 0;
    go({"file " + obj, "file a.BMP", "no", "no", "no", "type 4"});
    EXPECT_EQ(chdir(here), 0);
    EXPECT_EQ(rep.checkonly, 0);
    EXPECT_TRUE(readbmp(D + "/a.BMP").ok);
}

TEST_F(runs, EarlyStopsLeaveNothingMadeAndTheNextRunProposesTheMesh)
{
    go({"cancel"});
    EXPECT_EQ(s.shown, lines{meshdialog("cancel")});
    EXPECT_FALSE(done);
    EXPECT_EQ(rep.cleanup, 0);

    s = script();
    go({"file " + obj, "file " + D + "/c.bmp", "yes", "no", "cancel"});
    EXPECT_FALSE(done);
    EXPECT_EQ(s.shown.back(), cr2dialog("cancel"));

    s = script();
    go({"file " + obj, "file " + D + "/c.bmp", "yes", "no", "file " + D + "/none.cr2"});
    EXPECT_FALSE(done);
    EXPECT_EQ(s.shown.back(), "box: " + D + "/none.cr2 | I can't open this file | !");
    EXPECT_EQ(s.shown[0], meshdialog(obj, obj));  // proposes the mesh of the stopped run
    EXPECT_FALSE(exists(D + "/c.bmp"));
}

TEST_F(runs, TooManyMaterialsBadMeshesAndMissingTextureCoordinatesEndInTheCleanUp)
{
    std::string many;
    for (int k = 0; k < 257; k++) many += "material m" + std::to_string(k) + "\n";
    std::string big = dir.put("big.cr2", many);
    go({"file " + obj, "file " + D + "/c.bmp", "yes", "no", "file " + big});
    EXPECT_TRUE(done);
    EXPECT_EQ(rep.cleanup, 1);
    EXPECT_EQ(s.shown.back(), "box: this .CR2 file contains more than 256 materials | " + big + " | !");

    std::string nofaces = dir.put("nofaces.obj", "v 0 0 0\nvt 0 0\n");
    s = script();
    go({"file " + nofaces, "file " + D + "/c.bmp", "no", "no", "no", "type 8"});
    EXPECT_TRUE(done);
    EXPECT_EQ(lines(s.shown.end() - 2, s.shown.end()),
              (lines{"title: reading .OBJ file",
                     "box(owner): " + nofaces + " | bad mesh, or this file ain't a mesh file | !"}));

    std::string badline = dir.put("bad.obj", "v 1 2\n");
    s = script();
    go({"file " + badline, "file " + D + "/c.bmp", "no", "no", "no", "type 8"});
    EXPECT_TRUE(done);
    ASSERT_GE(s.shown.size(), 2u);
    EXPECT_EQ(s.shown[s.shown.size() - 2].substr(0, 4), "box:");  // the reader's own warning
    EXPECT_EQ(s.shown.back(), "box(owner): " + badline + " | bad mesh, or this file ain't a mesh file | !");

    std::string novt = dir.put("novt.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    s = script();
    go({"file " + novt, "file " + D + "/c.bmp", "no", "no", "no", "type 8"});
    EXPECT_TRUE(done);
    EXPECT_EQ(s.shown.back(), "box(owner): " + novt + " | this mesh contains no `vt' lines | !");
    EXPECT_FALSE(exists(D + "/c.bmp"));
}

TEST_F(runs, ExistingOutputFileIsAskedAboutOnce)
{
    const std::string question =
        "save: " + Q(Q_EXISTS) + " [BMP files|*.BMP|PNG files|*.PNG] proposing " + D + "/x.bmp -> ";
    lines mesh = {"file " + obj, "file " + D + "/x.bmp", "no", "no", "no", "type 8"};

    dir.put("x.bmp", "old");
    lines a = mesh;
    a.push_back("file " + D + "/x.bmp");
    go(a);
    EXPECT_EQ(lines(s.shown.end() - 3, s.shown.end()),
              (lines{"title: finished", question + D + "/x.bmp", created(D + "/x.bmp")}));
    EXPECT_TRUE(readbmp(D + "/x.bmp").ok);

    dir.put("x.bmp", "old");
    lines b = mesh;
    b.push_back("file " + D + "/y.bmp");
    s = script();
    go(b);
    EXPECT_EQ(s.shown.back(), created(D + "/y.bmp"));
    EXPECT_TRUE(readbmp(D + "/y.bmp").ok);
    EXPECT_FALSE(readbmp(D + "/x.bmp").ok);  // the old file is left alone

    lines c = mesh;
    c.push_back("cancel");
    s = script();
    go(c);
    EXPECT_EQ(s.shown.back(), question + "cancel");
    EXPECT_TRUE(done);
    EXPECT_EQ(rep.written, 0);
    EXPECT_FALSE(readbmp(D + "/x.bmp").ok);
}

TEST_F(runs, SizeAnswers)
{
    const std::string refused = "box(owner): the size must be a number from 1 to 32768 | size of texture map? | !";
    struct { lines typed; int size; lines shown; } rows[] = {
        {{"type 640.9"}, 640, {SIZE + "640.9"}},
        {{"type 1e3"}, 1000, {SIZE + "1e3"}},
        {{"type x", "type 12"}, 12, {SIZE + "x", SIZE + "12"}},
        {{"cancel"}, 640, {SIZE + "cancel"}},
        {{"type 0", "type 9"}, 9, {SIZE + "0", refused, SIZE + "9"}},
        {{"type 100000", "type -5", "type 32769", "type 3"}, 3,
         {SIZE + "100000", refused, SIZE + "-5", refused, SIZE + "32769", refused, SIZE + "3"}},
    };
    for (auto& r : rows) {
        S.file[0] = 0;
        s = script();
        lines answers = {"file " + obj, "file " + D + "/s.bmp", "no", "no", "no"};
        answers.insert(answers.end(), r.typed.begin(), r.typed.end());
        std::remove((D + "/s.bmp").c_str());
        go(answers);
        lines got;
        for (auto& l : s.shown)
            if (l.rfind("ask:", 0) == 0 || l == refused) got.push_back(l);
        EXPECT_EQ(got, r.shown) << r.typed[0];
        EXPECT_EQ(readbmp(D + "/s.bmp").width, r.size) << r.typed[0];
    }
}

TEST_F(runs, MeshNameWithoutObjIsWarnedAboutAndReadAllTheSame)
{
    std::string txt = dir.put("fig.txt", FIG_OBJ);
    go({"file " + txt, "file " + D + "/figtex.bmp", "no", "no", "no", "type 16"});
    EXPECT_EQ(s.shown[1], "box(owner): " + txt + " | this is not an .OBJ file | !");
    EXPECT_EQ(s.shown[2], outdialog(D + "/figtex.bmp", D + "/figtex.bmp"));
    EXPECT_EQ(rep.written, 1);

    S.file[0] = 0;
    s = script();
    go({"file ab", "cancel", "cancel"});  // too short to hold ".obj"
    EXPECT_EQ(s.shown[1], "box(owner): ab | this is not an .OBJ file | !");
    EXPECT_EQ(s.shown[2], outdialog("abtex.bmp", "cancel"));
    EXPECT_FALSE(done);
}

// Runs f with the address space held to what the process uses now plus
// room bytes, so that bigger allocations fail as they would on a full
// machine. AddressSanitizer's shadow memory needs the whole address space:
// there its allocator refuses every block over 512 MB instead (see the end of
// this file), which fails the same allocations below.
template <class F>
void withroom(size_t room, F f)
{
#if UNDER_ASAN
    (void)room;
    f();
#else
    size_t pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_AS, &old), 0);
    rlimit tight = old;
    tight.rlim_cur = pages * (size_t)sysconf(_SC_PAGESIZE) + room;
    ASSERT_EQ(setrlimit(RLIMIT_AS, &tight), 0);
    f();
    setrlimit(RLIMIT_AS, &old);
#endif
}

TEST_F(runs, MemoryThatCannotBeHadEndsTheRunInTheCleanUp)
{
    const std::string oom = "box: out of memory |  | !";
    // The flags (1 GB) cannot be had.
    withroom(256 << 20, [&] { go({"file " + obj, "file " + D + "/big.bmp", "no", "no", "no", "type 32768"}); });
    EXPECT_TRUE(done);
    EXPECT_EQ(rep.cleanup, 1);
    EXPECT_EQ(s.shown.back(), oom);
    // The flags (256 MB) can, the pixels (768 MB) cannot.
    s = script();
    S.file[0] = 0;
    withroom(512 << 20, [&] { go({"file " + obj, "file " + D + "/big.bmp", "no", "no", "no", "type 16384"}); });
    EXPECT_TRUE(done);
    EXPECT_EQ(lines(s.shown.end() - 2, s.shown.end()), (lines{"title: reading .OBJ file", oom}));
    EXPECT_FALSE(exists(D + "/big.bmp"));
}

// A good mesh whose arrays cannot be had is said to be too big, not bad,
// whichever reader met the want.
TEST_F(runs, AGoodMeshTooBigForTheMemoryIsNoBadMesh)
{
#if UNDER_ASAN
    GTEST_SKIP() << "the address space cannot be held here";
#endif
    // Corners of 77 MB: more than the allocator keeps for reuse after the
    // other tests, so the arrays must come from the system.
    std::string text = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n";
    text.reserve(22 << 20);
    for (int i = 0; i < 1200000; i++) text += "f 1/1 2/2 3/3 4/4\n";
    const std::string plain = dir.put("big.obj", text), packed = dir.put("big.obz", gzipped(text, 1));
    for (const std::string& mesh : {plain, packed}) {
        s = script();
        S.file[0] = 0;
        withroom(8 << 20, [&] { go({"file " + mesh, "file " + D + "/big.bmp", "no", "no", "no", "type 16"}); });
        EXPECT_TRUE(done);
        EXPECT_EQ(lines(s.shown.end() - 2, s.shown.end()),
                  (lines{"title: reading .OBJ file", "box: out of memory |  | !"})) << mesh;
        EXPECT_FALSE(exists(D + "/big.bmp"));
    }
}

TEST_F(runs, ASecondRunIsRefusedWhileOneIsInProgress)
{
    bool inner = true, wasrunning = false;
    jobreport untouched = {9, 9, 9, 9, 9, 9, 9};
    s.onshow = [&](const std::string& line) {
        if (line.rfind("open: CR2", 0) == 0) {
            wasrunning = S.running;
            inner = maketexmap(WN, &S, &untouched);
        }
    };
    go({"file " + obj, "cancel", "file " + cr2});
    EXPECT_TRUE(done);
    EXPECT_TRUE(wasrunning);
    EXPECT_FALSE(inner);
    EXPECT_EQ(untouched.cleanup, 9);
    EXPECT_FALSE(S.running);
}

// The check command: the mesh, its report in a box that scrolls, and the
// picture when a file is chosen for it; the window stays.
TEST_F(runs, CheckCommandShowsTheReportAndOffersThePicture)
{
    s.answers = {"file " + obj, "file " + D + "/check.png", "type 32"};
    usescript(&s);
    EXPECT_TRUE(checklayout(WN, &S, &rep));
    usescript(nullptr);
    EXPECT_EQ(scriptfaults(s), "") << transcript(s);
    EXPECT_EQ(s.asked, (std::vector<question>{Q_MESH, Q_CHECKPICTURE, Q_SIZE}));
    EXPECT_EQ(s.shown, (lines{meshdialog(obj), "title: reading .OBJ file", "title: checking UV layout", "report: UV check",
                              "save: " + Q(Q_CHECKPICTURE) + " [BMP files|*.BMP|PNG files|*.PNG] proposing " + D +
                                  "/figcheck.png -> " + D + "/check.png",
                              "ask: " + Q(Q_SIZE) + " proposing 640 -> 32", "title: making texture map",
                              "title: finished", created(D + "/check.png")}));
    ASSERT_EQ(s.texts.size(), 1u);
    EXPECT_EQ(s.texts[0].rfind("UV check of " + obj + ", map 640 x 640\n", 0), 0u) << s.texts[0];
    EXPECT_NE(s.texts[0].find("faces                           2"), std::string::npos) << s.texts[0];
    EXPECT_EQ(rep.written, 1);
    EXPECT_TRUE(exists(D + "/check.png"));

    // Cancelled: the report alone, no picture.
    s = script();
    s.answers = {"file " + obj, "cancel"};
    usescript(&s);
    EXPECT_TRUE(checklayout(WN, &S, &rep));
    usescript(nullptr);
    EXPECT_EQ(scriptfaults(s), "") << transcript(s);
    EXPECT_EQ(s.texts.size(), 1u);
    EXPECT_EQ(dir.files(), (std::set<std::string>{"fig.obj", "fig.cr2", "check.png"}));
    EXPECT_FALSE(S.running);
}

}  // namespace

#if UNDER_ASAN
// Failed allocations come back null, as the job expects, and blocks over
// 512 MB fail as under the address-space limit of withroom.
extern "C" const char* __asan_default_options()
{
    return "allocator_may_return_null=1:max_allocation_size_mb=512";
}
#endif
