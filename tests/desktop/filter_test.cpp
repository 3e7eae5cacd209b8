// The job's file-dialog filters as FLTK's choosers read them.
#include "job/filters.h"
#include "shell/fltk_filter.h"

#include <FL/filename.H>
#include <gtest/gtest.h>

#include <string>

namespace {
// The pattern of the filter line that starts with name.
std::string pattern(const std::string& filter, const std::string& name)
{
    size_t at = filter.find(name + "\t");
    if (at == std::string::npos) return "";
    size_t from = at + name.size() + 1;
    return filter.substr(from, filter.find('\n', from) - from);
}
}

TEST(FltkFilter, TranslatesEachPairToOneLine)
{
    // Written as the job writes its lists: pairs, then an extra NUL.
    EXPECT_EQ(fltkfilter("OBJ files\0*.OBJ\0"), "OBJ files\t*.[oO][bB][jJ]");
    EXPECT_EQ(fltkfilter("CR2 files\0*.CR2\0all files\0*.*\0"),
              "CR2 files\t*.[cC][rR]2\nall files\t*");
    EXPECT_EQ(fltkfilter("maps\0*.bmp;*.dib\0"), "maps\t{*.[bB][mM][pP],*.[dD][iI][bB]}");
}

TEST(FltkFilter, EmptyOrBrokenListsGiveWhatIsWhole)
{
    EXPECT_EQ(fltkfilter(nullptr), "");
    EXPECT_EQ(fltkfilter(""), "");
    EXPECT_EQ(fltkfilter("BMP files\0*.BMP\0dangling\0"), "BMP files\t*.[bB][mM][pP]");
}

TEST(FltkFilter, PatternsMatchNamesOfAnyCaseAndNothingElse)
{
    std::string f = fltkfilter("OBJ files\0*.OBJ\0all files\0*.*\0");
    std::string obj = pattern(f, "OBJ files");
    for (const char* name : {"body.obj", "Body.OBJ", "my figure.Obj"})
        EXPECT_TRUE(fl_filename_match(name, obj.c_str())) << name;
    for (const char* name : {"body.objx", "body.bmp", "obj", "body_obj"})
        EXPECT_FALSE(fl_filename_match(name, obj.c_str())) << name;
    std::string all = pattern(f, "all files");
    for (const char* name : {"README", "figure.cr2", ".hidden"})
        EXPECT_TRUE(fl_filename_match(name, all.c_str())) << name;
}

// The job's own lists: the mesh dialog takes compressed meshes, the figure
// dialog Poser's files of material blocks and material libraries, plain or
// compressed, in either case.
TEST(FltkFilter, TheJobsDialogsOfferEveryFileTheyRead)
{
    std::string mesh = fltkfilter(filterOBJ), figure = fltkfilter(filterCR2);
    std::string obj = pattern(mesh, "OBJ files");
    for (const char* name : {"body.obj", "Body.OBZ", "x.Obz"}) EXPECT_TRUE(fl_filename_match(name, obj.c_str())) << name;
    for (const char* name : {"body.mtl", "body.obj.bak"}) EXPECT_FALSE(fl_filename_match(name, obj.c_str())) << name;

    EXPECT_EQ(figure.substr(0, figure.find('\t')), "CR2 files");  // still the first, the one shown
    std::string cr2 = pattern(figure, "CR2 files"), mat = pattern(figure, "material files");
    for (const char* name : {"Victoria.cr2", "Victoria.CRZ"}) EXPECT_TRUE(fl_filename_match(name, cr2.c_str())) << name;
    for (const char* name : {"figure.mtl", "FIGURE.MTL", "scene.mtl.gz", "skin.mc6", "skin.MCZ", "old.mt5",
                             "old.mz5", "pose.pz2", "pose.P2Z", "hair.hr2", "hair.hrz", "prop.pp2", "prop.ppz"})
        EXPECT_TRUE(fl_filename_match(name, mat.c_str())) << name;
    for (const char* name : {"figure.obj", "figure.cr2", "x.mtlx", "x.gz", "mtl", "scene.pz3"})
        EXPECT_FALSE(fl_filename_match(name, mat.c_str())) << name;
    EXPECT_EQ(pattern(figure, "all files"), "*");
}
