// Whole runs that take their colours from material libraries, through the
// scripted prompts.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "job/job.h"
#include "port/scripted.h"
#include "tests/support/gzip.h"
#include "tests/support/support.h"

namespace {

typedef std::vector<std::string> lines;

// Two squares of texture space: skin over rows and columns 2 to 6 of a map
// of 16, hair over 10 to 14; the libraries it names come after.
const char MESH[] =
    "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n"
    "vt 0.125 0.125\nvt 0.375 0.125\nvt 0.375 0.375\nvt 0.125 0.375\n"
    "vt 0.625 0.625\nvt 0.875 0.625\nvt 0.875 0.875\nvt 0.625 0.875\n"
    "usemtl skin\nf 1/1 2/2 3/3 4/4\n"
    "usemtl hair\nf 1/5 2/6 3/7 4/8\n";

// The same colours and transparencies as a figure and as a library, the
// library as Blender writes one.
const char FIGURE[] =
    "{\nactor BODY\n\t{\n\tmaterial skin\n\t\t{\n\t\tKdColor 0.1 0.2 0.3 1\n\t\ttMax 0.3\n\t\t}\n"
    "\tmaterial hair\n\t\t{\n\t\tKdColor 1 0.5 0.2 1\n\t\ttMax 0\n\t\t}\n"
    "\tmaterial eyes\n\t\t{\n\t\tKdColor 0 0 1 1\n\t\ttMax 1\n\t\t}\n\t}\n}\n";
const char LIBRARY[] =
    "# Blender MTL File: 'fig.blend'\n# Material Count: 3\n\n"
    "newmtl skin\nNs 225.000000\nKa 1.000000 1.000000 1.000000\nKd 0.1 0.2 0.3\n"
    "Ks 0.500000 0.500000 0.500000\nKe 0.000000 0.000000 0.000000\nNi 1.450000\nd 0.7\nillum 2\n"
    "map_Kd skin.png\n\n"
    "newmtl hair\nKd 1 0.5 0.2\nTr 0.4\nd 1.000000\nillum 2\n\n"
    "newmtl eyes\nKd 0 0 1\nTr 1\n";

// Colours from the mesh's own libraries, or the figure answer read as one.
joboptions meshlibraries()
{
    joboptions o = {};
    o.meshlibraries = true;
    return o;
}
joboptions figurelibrary()
{
    joboptions o = {};
    o.figurelibrary = true;
    return o;
}

struct libraryruns : ::testing::Test {
    tempdir dir;
    const std::string D = dir.path;
    script s;
    jobsession S = {};
    jobreport rep = {};
    bool done = false;

    // One run answering kind (yes, no or cancel), the sense and, unless the
    // options ask for none, the figure question, then size 16.
    void go(const std::string& mesh, const std::string& map, const std::string& kind, const std::string& figure,
            joboptions opts = {}, bool blacktransparent = false)
    {
        lines answers = {"file " + mesh, "file " + map, kind, "no"};
        if (kind == "cancel") answers.push_back(blacktransparent ? "yes" : "no");
        if (!opts.meshlibraries) answers.push_back("file " + figure);
        answers.insert(answers.end(), {"no", "type 16"});
        std::remove(map.c_str());  // no question about an old map
        s = script();
        s.answers = answers;
        S.file[0] = 0;
        usescript(&s);
        done = maketexmap(nullptr, &S, &rep, &opts);
        usescript(nullptr);
    }
    bool answered() { return scriptfaults(s).empty(); }
};

// The bytes of a map as a figure with the same colours gives them: coloured,
// and transparency in both senses; the library named in the dialog or by
// the mesh.
TEST_F(libraryruns, ALibraryPaintsTheBytesOfAFigureOfTheSameColours)
{
    const std::string obj = dir.put("fig.obj", "mtllib fig.mtl\n" + std::string(MESH));
    const std::string cr2 = dir.put("fig.cr2", FIGURE), mtl = dir.put("fig.mtl", LIBRARY);
    for (const char* kind : {"yes", "cancel", "cancel+"}) {
        const std::string k = kind[0] == 'y' ? "yes" : "cancel";
        const bool black = std::string(kind) == "cancel+";
        SCOPED_TRACE(kind);
        go(obj, D + "/a.bmp", k, cr2, {}, black);
        ASSERT_TRUE(done && answered()) << transcript(s);
        go(obj, D + "/b.bmp", k, mtl, {}, black);
        ASSERT_TRUE(done && answered()) << transcript(s);
        go(obj, D + "/c.bmp", k, "", meshlibraries(), black);
        ASSERT_TRUE(done && answered()) << transcript(s);
        EXPECT_EQ(rep.unpaired, 1);  // eyes
        EXPECT_EQ(rep.paired, 2);
        const std::vector<unsigned char> a = readbytes(D + "/a.bmp");
        ASSERT_TRUE(readbmp(D + "/a.bmp").ok);
        EXPECT_TRUE(a == readbytes(D + "/b.bmp"));
        EXPECT_TRUE(a == readbytes(D + "/c.bmp"));
    }
    bmpfile b = readbmp(D + "/c.bmp");
    EXPECT_EQ(b.pixel(4, 4), 0xB3B3B3u);   // d 0.7: 1 - 0.3 with black transparent
    EXPECT_EQ(b.pixel(12, 12), 0xFFFFFFu);  // d wins over Tr: opaque
}

TEST_F(libraryruns, TheMeshsLibrariesAreReadAfterTheMeshFromItsFolder)
{
    std::filesystem::create_directories(D + "/sub/lib");
    dir.put("sub/a.mtl", "newmtl skin\nKd 0 0 1\n");
    dir.put("sub/lib/b.mtl", "newmtl hair\nKd 0 1 0\nnewmtl skin\nKd 1 0 0\n");
    const std::string obj = dir.put("sub/m.obj", "mtllib a.mtl lib/b.mtl\n" + std::string(MESH) + "mtllib a.mtl\n");
    go(obj, D + "/m.bmp", "yes", "", meshlibraries());
    ASSERT_TRUE(done && answered()) << transcript(s);
    EXPECT_EQ(s.asked, (std::vector<question>{Q_MESH, Q_OUTPUT, Q_KIND, Q_SEPARATE, Q_INVERT, Q_SIZE}));
    ASSERT_GE(s.shown.size(), 11u);
    EXPECT_EQ(lines(s.shown.begin() + 6, s.shown.begin() + 10),
              (lines{"title: reading .OBJ file", "title: reading .MTL file", "title: reading .MTL file",
                     "title: matching material names"}));
    EXPECT_EQ(rep.unpaired, 1);
    EXPECT_EQ(s.shown[10], "box: skin | these materials are in the .MTL file but not in the .OBJ file | !");
    bmpfile b = readbmp(D + "/m.bmp");
    EXPECT_EQ(b.pixel(4, 4), 0x0000FFu);  // the first library's skin
    EXPECT_EQ(b.pixel(12, 12), 0x00FF00u);
}

// A mesh map wants no colours: the library is not looked for, even one
// that is missing.
TEST_F(libraryruns, AMeshMapLooksForNoLibrary)
{
    const std::string obj = dir.put("none.obj", "mtllib gone.mtl\n" + std::string(MESH));
    go(obj, D + "/y.bmp", "no", "", meshlibraries());
    EXPECT_TRUE(done && answered()) << transcript(s);
    EXPECT_TRUE(readbmp(D + "/y.bmp").ok);
    go(obj, D + "/z.bmp", "yes", "", meshlibraries());  // a coloured one does
    EXPECT_FALSE(done);
    EXPECT_EQ(s.shown.back(), "box: " + D + "/gone.mtl | I can't open this file | !");
}

// The name decides, unless the front end says the file is a library.
TEST_F(libraryruns, AFigureAnswerIsALibraryByItsNameOrWhenSaid)
{
    const std::string obj = dir.put("fig.obj", MESH);
    const std::string txt = dir.put("colours.txt", LIBRARY), gz = dir.put("colours.MTL.gz", gzipped(LIBRARY));
    go(obj, D + "/a.bmp", "yes", txt);
    EXPECT_EQ(rep.paired, 0);  // read as a figure: no "material" lines
    go(obj, D + "/a.bmp", "yes", txt, figurelibrary());
    EXPECT_EQ(rep.paired, 2);
    EXPECT_EQ(s.shown[5], "title: reading .MTL file");
    go(obj, D + "/a.bmp", "yes", gz);
    EXPECT_EQ(rep.paired, 2);
}

}  // namespace
