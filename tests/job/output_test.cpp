// Map file names: safe material names, parts kept apart, the file of each map.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <memory>
#include <set>
#include <string>

#include "job/output.h"

namespace {

// A mesh of nothing but the materials mats[0] to mats[n - 1], and a run that
// makes a map of each into out.
struct mapsof {
    mesh m;
    TextureJob T;
    mapsof(Mat* mats, int n, const char* out)
    {
        std::memset(&m, 0, sizeof m);
        m.mat = mats;
        m.nmat = n;
        startjob(&T, nullptr, "");
        T.OB = &m;
        std::strcpy(T.out, out);
        T.nmat = n;
    }
    ~mapsof()
    {
        T.OB = nullptr;  // the test's own, not the run's to release
        cleanup(&T);
    }
};

TEST(Output, MaterialNamesAreMadeSafeForFileNames)
{
    struct { const char* name; const char* safe; } rows[] = {
        {"skin", "skin"},
        {"Skin Tone", "Skin Tone"},
        {"a/b\\c:d", "a_b_c_d"},
        {"*?\"<>|", "______"},
        {"..", "_"},
        {".", "_"},
        {"...", "_"},
        {"a..", "a.."},
        {"tab\there", "tab_here"},
        {"", ""},
        {"\xe9t\xe9", "\xe9t\xe9"},
    };
    for (auto& r : rows) {
        char out[32];
        safename(out, r.name);
        EXPECT_STREQ(out, r.safe) << r.name;
    }
}

TEST(Output, MapFileNames)
{
    // tile: -1 without tiles, else k for tile 1001 + k
    struct { const char* out; int nmat; const char* name; int tile; const char* fn; } rows[] = {
        {"/m/tex.bmp", 1, "skin", -1, "/m/tex.bmp"},
        {"/m/tex.bmp", 2, "Skin", -1, "/m/tex_Skin.bmp"},
        {"/m/TEX.BMP", 3, "skin", -1, "/m/TEX_skin.bmp"},
        {"/m/tex.png", 2, "skin", -1, "/m/tex_skin.png"},
        {"/m/tex.SVG", 2, "skin", -1, "/m/tex_skin.svg"},
        {"/m/tex.jpg", 2, "skin", -1, "/m/tex.jpg_skin.bmp"},  // no ending of ours: nothing is cut
        {"ab", 2, "skin", -1, "ab_skin.bmp"},
        {"/m/tex.bmp", 2, "../up", -1, "/m/tex_.._up.bmp"},
        {"/m/tex.bmp", 2, "..", -1, "/m/tex__.bmp"},
        {"/m/tex.png", 1, "skin", 0, "/m/tex.1001.png"},
        {"/m/tex.png", 1, "skin", 12, "/m/tex.1013.png"},
        {"/m/tex.bmp", 2, "skin", 1, "/m/tex_skin.1002.bmp"},
        {"tex", 1, "skin", 0, "tex.1001.bmp"},
    };
    for (auto& r : rows) {
        Mat mats[4] = {};
        mats[1].name = r.name;
        auto f = std::make_unique<mapsof>(mats, 4, r.out);
        f->T.nmat = r.nmat;
        f->T.M = 1;
        f->T.tile = r.tile;
        mapfilename(&f->T);
        EXPECT_STREQ(f->T.fn, r.fn) << r.out << " " << r.name;
    }
}

// Names that come out the same in a file name, in either case, or cut to 31
// characters, give every map a file of its own, in map order.
TEST(Output, MapsWhoseNamesMeetGetFilesOfTheirOwn)
{
    const char* names[] = {"a/b", "skin", "a_b", "A_B", "a_b_2", "a:b", "Material_With_A_Rather_Long_Name_X",
                           "Material_With_A_Rather_Long_Name_Y", "", "", "SKIN"};
    const char* parts[] = {"a_b", "skin", "a_b_2", "A_B_3", "a_b_2_2", "a_b_4", "Material_With_A_Rather_Long_Nam",
                           "Material_With_A_Rather_Long_Nam_2", "", "_2", "SKIN_2"};
    const int n = sizeof names / sizeof names[0];
    Mat mats[n] = {};
    for (int i = 0; i < n; i++) mats[i].name = names[i];
    auto f = std::make_unique<mapsof>(mats, n, "/m/tex.bmp");
    TextureJob& T = f->T;
    ASSERT_EQ(nameparts(&T), 1);
    for (T.M = 0; T.M < n; T.M++) {
        mapfilename(&T);
        EXPECT_EQ(std::string(T.fn), "/m/tex_" + std::string(parts[T.M]) + ".bmp") << T.M;
    }
}

// Thousands of maps of one name: every name different, without a look-up
// per earlier map.
TEST(Output, ManyMapsOfOneName)
{
    const int n = 32767;
    Mat* mats = new Mat[n]();
    for (int i = 0; i < n; i++) mats[i].name = i % 2 ? "X" : "x";
    auto f = std::make_unique<mapsof>(mats, n, "tex.bmp");
    TextureJob& T = f->T;
    ASSERT_EQ(nameparts(&T), 1);
    std::set<std::string> seen;
    for (int i = 0; i < n; i++) {
        std::string p = T.parts[i];
        for (char& c : p) c = (char)std::tolower((unsigned char)c);
        EXPECT_TRUE(seen.insert(p).second) << p;
    }
    EXPECT_STREQ(T.parts[1], "X_2");
    EXPECT_STREQ(T.parts[n - 1], "x_32767");
    f.reset();
    delete[] mats;
}

}  // namespace
