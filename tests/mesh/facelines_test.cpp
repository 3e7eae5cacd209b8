#include "mesh/facelines.h"
#include "mesh/mesh.h"
#include "tests/mesh/recordprompts.h"
#include "tests/support/support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Lines of a file, each with its own ending, so CRLF and lone CR files can
// be made; face lines are the ones whose first token is f or F with a token
// after it.
struct objlines {
    std::vector<std::string> text;
    std::vector<std::string> ends;
    std::string join() const
    {
        std::string s;
        for (size_t i = 0; i < text.size(); i++) s += text[i] + ends[i];
        return s;
    }
    std::vector<size_t> faces() const
    {
        std::vector<size_t> f;
        for (size_t i = 0; i < text.size(); i++) {
            size_t a = text[i].find_first_not_of(" \t");
            if (a == std::string::npos || (text[i][a] != 'f' && text[i][a] != 'F')) continue;
            size_t b = a + 1;
            if (b < text[i].size() && text[i][b] != ' ' && text[i][b] != '\t') continue;  // "fo", not "f"
            if (text[i].find_first_not_of(" \t", b) != std::string::npos) f.push_back(i);
        }
        return f;
    }
};

objlines make(const std::vector<std::string>& text, const std::string& end)
{
    objlines o;
    o.text = text;
    o.ends.assign(text.size(), end);
    return o;
}

const std::vector<std::string> MIXED = {
    "\xEF\xBB\xBF# a mark, then comments", "mtllib x.mtl", "", "v 0 0 0", "v 1 0 0", "   ", "v 1 1 0",
    "vt 0 0", "vt 1 0", "vt 1 1", "vn 0 0 1", "g", "g body", "usemtl Skin", "f 1/1/1 2/2/1 3/3/1",
    "\t", "f", "s 1", "# f 1 2 3", "\tf  1/1 2/2 3/3", "fo 1 2 3", "usemtl Cloth", "F 3 2 1", "", "",
    "f 1 3 2 ",
};

// The line each face of o is on, by facelines.
std::vector<long long> linesof(const tempdir& dir, const objlines& o)
{
    const std::string path = dir.put("lines.obj", o.join());
    std::vector<int> faces;
    for (size_t k = 0; k < o.faces().size(); k++) faces.push_back((int)k);
    std::vector<long long> lines(faces.size());
    EXPECT_EQ(facelines(path.c_str(), faces.data(), (int)faces.size(), lines.data()), 1);
    return lines;
}

}  // namespace

// Each face line in turn is made bad; the reader's message names a line,
// which must be the one facelines gives for that face.
TEST(FaceLines, AgreeWithTheReadersBadLineMessage)
{
    tempdir dir;
    for (const char* end : {"\n", "\r\n", "\r"}) {
        SCOPED_TRACE(end[0] == '\r' ? (end[1] ? "CRLF" : "CR") : "LF");
        const objlines o = make(MIXED, end);
        const std::vector<size_t> faces = o.faces();
        ASSERT_EQ(faces.size(), 4u);
        const std::vector<long long> lines = linesof(dir, o);
        for (size_t k = 0; k < faces.size(); k++) {
            objlines bad = o;
            bad.text[faces[k]] = "f 0 0 0";
            const std::string path = dir.put("bad.obj", bad.join());
            recordprompts shown;
            mesh m;
            m.initialize(0);
            EXPECT_EQ(m.readOBJ(path.c_str(), 0), 0);
            m.delarrays();
            ASSERT_EQ(shown.boxes.size(), 1u);
            EXPECT_EQ(shown.boxes[0].text, "line " + std::to_string(lines[k]) + " is bad") << "face " << k;
        }
    }
}

// The reader's count passes over blank lines, so it is not the editor's
// line number once a file has them; it counts CRLF as one line break.
TEST(FaceLines, CountAsTheReaderDoes)
{
    tempdir dir;
    EXPECT_EQ(linesof(dir, make({"v 0 0 0", "", "v 1 0 0", "v 1 1 0", "f 1 2 3"}, "\r\n")),
              (std::vector<long long>{4}));
    EXPECT_EQ(linesof(dir, make(MIXED, "\n")), (std::vector<long long>{13, 17, 20, 21}));
}

TEST(FaceLines, TakesRepeatsAndStopsShortOfMissingFaces)
{
    tempdir dir;
    const std::string path = dir.put("three.obj", "v 0 0 0\nv 1 0 0\nv 1 1 0\nf 1 2 3\n# x\nf 1 2 3\nf 3 2 1\n");
    const int faces[] = {1, 1, 2};
    long long lines[3];
    ASSERT_EQ(facelines(path.c_str(), faces, 3, lines), 1);
    EXPECT_EQ(lines[0], 6);
    EXPECT_EQ(lines[1], 6);
    EXPECT_EQ(lines[2], 7);
    const int beyond[] = {0, 3};
    EXPECT_EQ(facelines(path.c_str(), beyond, 2, lines), 0);
    EXPECT_EQ(lines[0], 4);
    EXPECT_EQ(lines[1], 0);
    EXPECT_EQ(facelines(dir.at("none.obj").c_str(), faces, 3, lines), 0);
}
