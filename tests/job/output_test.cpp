#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "job/output.h"

namespace {

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
    struct { const char* out; int nmat; const char* name; const char* fn; } rows[] = {
        {"/m/tex.bmp", 1, "skin", "/m/tex.bmp"},
        {"/m/tex.bmp", 2, "Skin", "/m/tex_Skin.bmp"},
        {"/m/TEX.BMP", 3, "skin", "/m/TEX_skin.bmp"},
        {"/m/tex.png", 2, "skin", "/m/tex.png_skin.bmp"},  // no .bmp: nothing is cut
        {"ab", 2, "skin", "ab_skin.bmp"},
        {"/m/tex.bmp", 2, "../up", "/m/tex_.._up.bmp"},
        {"/m/tex.bmp", 2, "..", "/m/tex__.bmp"},
    };
    for (auto& r : rows) {
        static TextureJob T;
        startjob(&T);
        Mat mats[4] = {};
        std::strcpy(mats[1].name, r.name);
        mesh m;
        std::memset(&m, 0, sizeof m);
        m.mat = mats;
        m.nmat = 4;
        std::strcpy(T.out, r.out);
        T.nmat = r.nmat;
        T.M = 1;
        mapfilename(&T, &m);
        EXPECT_STREQ(T.fn, r.fn) << r.out << " " << r.name;
    }
}

}  // namespace
