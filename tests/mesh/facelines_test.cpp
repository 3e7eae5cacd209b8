#include "mesh/facelines.h"
#include "mesh/mesh.h"
#include "tests/mesh/failures.h"
#include "tests/support/support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A mark, comments, blank lines, lone keys, normals, groups, materials, a
// tab, an upper-case key and a key that only starts like a face's. The
// faces are on the lines starting "f " or "F " after blanks.
const std::vector<std::string> MIXED = {
    "\xEF\xBB\xBF# a mark, then comments", "mtllib x.mtl", "", "v 0 0 0", "v 1 0 0", "   ", "v 1 1 0",
    "vt 0 0", "vt 1 0", "vt 1 1", "vn 0 0 1", "g", "g body", "usemtl Skin", "f 1/1/1 2/2/1 3/3/1",
    "\t", "f", "s 1", "# f 1 2 3", "\tf  1/1 2/2 3/3", "fo 1 2 3", "usemtl Cloth", "F 3 2 1", "", "",
    "f 1 3 2 ",
};
const int FACELINES[] = {14, 19, 22, 25};  // indices into MIXED

std::string join(const std::vector<std::string>& lines, const char* end)
{
    std::string s;
    for (const std::string& l : lines) s += l + end;
    return s;
}

// The lines of faces 0 to count - 1 of the text, by facelines.
std::vector<long long> linesof(const tempdir& dir, const std::string& text, int count)
{
    const std::string path = dir.put("lines.obj", text);
    std::vector<int> faces;
    for (int k = 0; k < count; k++) faces.push_back(k);
    std::vector<long long> lines(count);
    EXPECT_EQ(facelines(path.c_str(), faces.data(), count, lines.data()), 1);
    return lines;
}

}  // namespace

// The line an editor shows for each face, whatever ends the lines; and the
// reader, which counts no blank line in its bad-line message, names the
// same line less the blank lines before it.
TEST(FaceLines, AreTheEditorsLinesOfTheFaces)
{
    tempdir dir;
    for (const char* end : {"\n", "\r\n", "\r"}) {
        const std::vector<long long> lines = linesof(dir, join(MIXED, end), 4);
        EXPECT_EQ(lines, (std::vector<long long>{15, 20, 23, 26}));
        const long long blanksbefore[] = {2, 3, 3, 5};
        for (int k = 0; k < 4; k++) {
            std::vector<std::string> bad = MIXED;
            bad[FACELINES[k]] = "f 0 0 0";
            const std::string path = dir.put("bad.obj", join(bad, end));
            failures shown;
            mesh m;
            m.initialize(0);
            EXPECT_EQ(shown.read(m, path), 0);
            m.delarrays();
            ASSERT_EQ(shown.boxes.size(), 1u);
            EXPECT_EQ(shown.boxes[0].text, "line " + std::to_string(lines[k] - blanksbefore[k]) + " is bad")
                << k << " " << (int)end[0];
        }
    }
}

TEST(FaceLines, TakesRepeatsAndStopsShortOfMissingFaces)
{
    tempdir dir;
    const std::string path = dir.put("three.obj", "v 0 0 0\nv 1 0 0\nv 1 1 0\nf 1 2 3\n# x\nf 1 2 3\nf 3 2 1\n");
    const int faces[] = {1, 1, 2}, beyond[] = {0, 3};
    long long lines[3];
    ASSERT_EQ(facelines(path.c_str(), faces, 3, lines), 1);
    EXPECT_EQ(std::vector<long long>(lines, lines + 3), (std::vector<long long>{6, 6, 7}));
    EXPECT_EQ(facelines(path.c_str(), beyond, 2, lines), 0);
    EXPECT_EQ(std::vector<long long>(lines, lines + 2), (std::vector<long long>{4, 0}));
    EXPECT_EQ(facelines(dir.at("none.obj").c_str(), faces, 3, lines), 0);
}
