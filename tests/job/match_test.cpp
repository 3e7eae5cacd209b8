// Pairing materials by name and the reports of the names on one side only.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "job/cr2.h"
#include "job/match.h"
#include "port/scripted.h"

namespace {

// A figure's list and a mesh whose only content is its materials.
struct pairing {
    MaterialList L = nomaterials();
    std::vector<Mat> mats;
    std::vector<std::string> objnames;
    mesh m;
    script s;
    int listed = 0;
    pairing(std::vector<std::string> cr2, std::vector<std::string> obj, const char* side = ".CR2 file") : objnames(obj)
    {
        for (size_t k = 0; k < cr2.size(); k++)
            EXPECT_EQ(addmaterial(&L, cr2[k].data(), cr2[k].size(), pal3((unsigned char)(k + 1), 0, 0)), (int)k);
        for (auto& name : objnames) {
            Mat mt = {};
            mt.name = name.c_str();
            mt.cf = 7;  // matching sets every flag
            mats.push_back(mt);
        }
        std::memset(&m, 0, sizeof m);
        m.mat = mats.data();
        m.nmat = (int)mats.size();
        usescript(&s);
        listed = matchmaterials(nullptr, &m, &L, side);
        usescript(nullptr);
    }
    ~pairing() { freematerials(&L); }
};

const std::string CR2SIDE = " | these materials are in the .CR2 file but not in the .OBJ file | !";
const std::string OBJSIDE = " | these materials are in the .OBJ file but not in the .CR2 file | !";

TEST(Match, PairedNamesTakeTheColourAndShowNoReport)
{
    pairing p({"hair", "skin"}, {"skin", "hair"});
    EXPECT_EQ(p.s.shown, std::vector<std::string>{"title: matching material names"});
    EXPECT_EQ(p.listed, 0);
    EXPECT_EQ(p.mats[0].col.red, 2);
    EXPECT_EQ(p.mats[0].cf, 1);
    EXPECT_EQ(p.mats[1].col.red, 1);
}

TEST(Match, ReportsListTheCR2SideFirstJoinedByCommas)
{
    pairing p({"skin", "Hair", "skin", "eyes"}, {"default", "skin", "hair", "lips"});
    EXPECT_EQ(p.s.shown, (std::vector<std::string>{
                             "title: matching material names",
                             "box: Hair, skin, eyes" + CR2SIDE,
                             "box: default, hair, lips" + OBJSIDE,
                         }));
    EXPECT_EQ(p.listed, 6);
    EXPECT_EQ(p.mats[1].col.red, 1);  // the first of the two skins
    EXPECT_EQ(p.mats[2].cf, 0);
    EXPECT_EQ(p.mats[2].col.red, 0);  // unpaired keeps its colour
    // An empty name is listed like any other, first or last.
    pairing e({"", "skin tone", ""}, {"skin"});
    EXPECT_EQ(e.s.shown[1], "box: , skin tone, " + CR2SIDE);
}

TEST(Match, AnEmptyCR2ListReportsOnlyTheMesh)
{
    pairing p({}, {"default"});
    EXPECT_EQ(p.s.shown, (std::vector<std::string>{"title: matching material names",
                                                   "box: default" + OBJSIDE}));
}

// A mesh name pairs by all of its characters; the figure's names are kept
// to 63, so a longer mesh name pairs with none.
TEST(Match, LongNamesPairByTheirWholeName)
{
    const std::string a40(40, 'a'), b64 = std::string(63, 'b') + "c";
    pairing p({a40 + "z", a40, b64.substr(0, 63)}, {a40, b64});  // a figure's names stop at 63
    EXPECT_EQ(p.mats[0].cf, 1);
    EXPECT_EQ(p.mats[0].col.red, 2);
    EXPECT_EQ(p.mats[1].cf, 0);
    EXPECT_EQ(p.s.shown, (std::vector<std::string>{"title: matching material names",
                                                   "box: " + a40 + "z, " + b64.substr(0, 63) + CR2SIDE,
                                                   "box: " + b64 + OBJSIDE}));
}

// A library has no limit of materials: the names are looked up, not
// walked, and the first of a name still wins.
TEST(Match, ThousandsOfLibraryNamesPairAndTheFirstOfANameWins)
{
    std::vector<std::string> lib, obj;
    for (int k = 0; k < 20000; k++) lib.push_back("m" + std::to_string(k % 15000));
    for (int k = 14999; k >= 0; k -= 3) obj.push_back("m" + std::to_string(k));
    obj.push_back("m15000");
    pairing p(lib, obj, ".MTL file");
    ASSERT_EQ(p.s.shown.size(), 3u);
    EXPECT_EQ(p.s.shown[2], "box: m15000 | these materials are in the .OBJ file but not in the .MTL file | !");
    EXPECT_EQ(p.s.shown[1].rfind("box: m0, m1, m3, m4, ", 0), 0u);
    EXPECT_EQ(p.listed, 20000 - 5000 + 1);
    for (size_t i = 0; i + 1 < obj.size(); i++) {
        const int k = std::stoi(obj[i].substr(1));  // the first of its name
        ASSERT_EQ(p.mats[i].cf, 1) << i;
        ASSERT_EQ(p.mats[i].col.red, (unsigned char)(k + 1)) << i;
    }
}

}  // namespace
