// The material library reader: names, colours and transparencies as the
// .CR2 reader would give them, the lines passed over, bad lines, and
// libraries that cannot be read.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "job/cr2.h"
#include "job/mtl.h"
#include "port/scripted.h"
#include "tests/support/gzip.h"
#include "tests/support/support.h"

namespace {

struct library {
    tempdir dir;
    MaterialList L = nomaterials();
    failure why;
    int ok = 0;
    library(const std::string& text, cr2key key = KEY_KDCOLOR, int tb = 0, const char* name = "lib.mtl")
    {
        nofailure(&why);
        ok = readMTL(&L, dir.put(name, text).c_str(), key, tb, &why);
    }
    ~library() { freematerials(&L); }
    std::vector<std::string> names() const
    {
        std::vector<std::string> v;
        for (int k = 0; k < L.nm; k++) v.push_back(materialname(&L, k));
        return v;
    }
    unsigned rgb(int k) const { return L.m[k].col.red << 16 | L.m[k].col.green << 8 | L.m[k].col.blue; }
};

// The colour the .CR2 reader gives a material with this KdColor line.
unsigned cr2colour(const std::string& numbers, cr2key key = KEY_KDCOLOR, int tb = 0)
{
    tempdir dir;
    script s;
    usescript(&s);
    MaterialList L = nomaterials();
    const std::string line = key == KEY_KDCOLOR ? "KdColor " : "tMax ";
    EXPECT_EQ(readCR2(nullptr, &L, dir.put("f.cr2", "material m\n" + line + numbers + "\n").c_str(), key, tb),
              CR2_READ);
    usescript(nullptr);
    unsigned c = L.m[0].col.red << 16 | L.m[0].col.green << 8 | L.m[0].col.blue;
    freematerials(&L);
    return c;
}

TEST(MTL, KdGivesTheBytesKdColorGives)
{
    for (const char* v : {"1 0.5 0.2", "0.999 1.5 0", "-0.2 nan 2", "1e999 -1e999 0.2", "0.00390625 0.0039 1e-3",
                          "0.800000 0.800000 0.800000", "1 1 1"}) {
        library lib(std::string("newmtl m\nKd ") + v + "\n");
        ASSERT_EQ(lib.ok, 1) << v;
        EXPECT_EQ(lib.rgb(0), cr2colour(v)) << v;
    }
    library grey("newmtl m\nKd 0.5\n");  // one number is all three
    EXPECT_EQ(grey.rgb(0), 0x808080u);
}

TEST(MTL, TransparencyIsTrOrOneLessDAndDWins)
{
    const struct {
        const char* lines;
        const char* tmax;  // the tMax of the same transparency
    } cases[] = {
        {"Tr 0.3\n", "0.3"},
        {"d 0.25\n", "0.75"},
        {"d 0.25\nTr 0.9\n", "0.75"},
        {"Tr 0.9\nd 0.25\n", "0.75"},
        {"d -halo 0.4\n", "0.6"},
        {"Kd 1 0 0\nillum 2\n", "0"},  // neither: opaque
    };
    for (auto& c : cases)
        for (int tb = 0; tb < 2; tb++) {
            library lib(std::string("newmtl glass\n") + c.lines + "newmtl next\nd 0\n", KEY_TMAX, tb);
            ASSERT_EQ(lib.ok, 1) << c.lines;
            EXPECT_EQ(lib.rgb(0), cr2colour(c.tmax, KEY_TMAX, tb)) << c.lines << tb;
            EXPECT_EQ(lib.rgb(1), tb ? 0x000000u : 0xFFFFFFu) << "the next block starts afresh";
        }
    // A coloured map without Kd paints white, as a figure without KdColor.
    library nokd("newmtl a\nd 0.5\nnewmtl b\n");
    EXPECT_EQ(nokd.rgb(0), 0xFFFFFFu);
    EXPECT_EQ(nokd.rgb(1), 0xFFFFFFu);
}

TEST(MTL, WhatBlenderWritesBesideTheLinesThatCount)
{
    const std::string text =
        "# Blender 3.4.1 MTL File: 'figure.blend'\r\n"
        "# www.blender.org\r\n\r\n"
        "newmtl Skin.001\r\nNs 250.000000\r\nKa 1.000000 1.000000 1.000000\r\n"
        "Kd 0.800000 0.500000 0.200000\r\nKs 0.500000 0.500000 0.500000\r\nKe 0 0 0\r\nNi 1.450000\r\n"
        "d 1.000000\r\nillum 2\r\nmap_Kd -s 1 1 1 -o 0 0 0 textures/skin diffuse.png\r\n"
        "map_Bump -bm 1.0 bump.png\r\n\r\n"
        "\tnewmtl   Hair\t\n  Kd\t0.1   0.1 0.1  \n#" + std::string(3000000, 'x') + "\n"
        "refl -type sphere " + std::string(2000000, 'r') + "\n"
        "newmtl " + std::string(10000, 'n') + "\nKd 0 0 1\n"
        "newmtl Skin.001\nKd 0 1 0\n"
        "newmtl last\nKd 1 0 0";  // no line break at the end
    library lib(text);
    ASSERT_EQ(lib.ok, 1) << lib.why.text;
    EXPECT_EQ(lib.names(), (std::vector<std::string>{"Skin.001", "Hair", std::string(10000, 'n'), "Skin.001", "last"}));
    EXPECT_EQ(lib.rgb(0), 0xCC8033u);
    EXPECT_EQ(lib.rgb(1), 0x191919u);
    EXPECT_EQ(lib.rgb(2), 0x0000FFu);
    EXPECT_EQ(lib.rgb(4), 0xFF0000u);
    EXPECT_EQ(findmaterial(&lib.L, "Skin.001"), 0);  // the first of a name
    // Keys in any case; colour curves and CIE colours give no colour of ours.
    library odd("NEWMTL a\nkd 0 0 0\nnewmtl b\nKd spectral ident.rfl 1\nnewmtl c\nKd xyz 0.5 0.5 0.5\n");
    ASSERT_EQ(odd.ok, 1);
    EXPECT_EQ(odd.rgb(0), 0x000000u);
    EXPECT_EQ(odd.rgb(1), 0xFFFFFFu);
    EXPECT_EQ(odd.rgb(2), 0xFFFFFFu);
}

// Lines as an editor numbers them: blank ones too, a CR LF once.
TEST(MTL, AMalformedLineOfTheMapsKeyIsBadByItsNumber)
{
    const struct {
        const char* text;
        cr2key key;
        int line;
    } cases[] = {
        {"newmtl a\nKd 1 0\n", KEY_KDCOLOR, 2},
        {"newmtl a\r\n\r\n\nKd 1 0 0 1\r\n", KEY_KDCOLOR, 4},
        {"newmtl a\rKd\r", KEY_KDCOLOR, 2},
        {"\n\nnewmtl a\nKd red\n", KEY_KDCOLOR, 4},
        {"newmtl a\nKd 1 0 0x\n", KEY_KDCOLOR, 2},
        {"newmtl a\nd\n", KEY_TMAX, 2},
        {"newmtl a\nTr half\n", KEY_TMAX, 2},
        {"newmtl a\nd -halo\n", KEY_TMAX, 2},
    };
    for (auto& c : cases) {
        library lib(c.text, c.key);
        EXPECT_EQ(lib.ok, 0) << c.text;
        EXPECT_EQ(std::string(lib.why.text), "line " + std::to_string(c.line) + " is bad") << c.text;
        EXPECT_EQ(std::string(lib.why.title), lib.dir.at("lib.mtl"));
    }
    // Lines of the other map's key, and any line before the first material,
    // are not looked at.
    EXPECT_EQ(library("newmtl a\nd oops\nTr x\n", KEY_KDCOLOR).ok, 1);
    EXPECT_EQ(library("newmtl a\nKd 1\nKd x y\n", KEY_TMAX).ok, 1);
    EXPECT_EQ(library("Kd nonsense\nnewmtl a\n").ok, 1);
}

// A library that cannot be read whole takes back what it added: the list
// holds what it held before.
TEST(MTL, ALibraryCutShortAddsNothing)
{
    tempdir dir;
    MaterialList L = nomaterials();
    failure why;
    ASSERT_EQ(readMTL(&L, dir.put("one.mtl", "newmtl a\nKd 1 0 0\n").c_str(), KEY_KDCOLOR, 0, &why), 1);
    ASSERT_EQ(findmaterial(&L, "a"), 0);
    const std::string cut = dir.put("cut.mtl", gzipped("newmtl b\nKd 0 1 0\nnewmtl a\nKd 1 1 1\n").substr(0, 30));
    EXPECT_EQ(readMTL(&L, cut.c_str(), KEY_KDCOLOR, 0, &why), 0);
    EXPECT_STREQ(why.title, "this file is damaged: its compressed data ends too soon");
    EXPECT_EQ(L.nm, 1);
    EXPECT_EQ(findmaterial(&L, "b"), -1);
    EXPECT_EQ(readMTL(&L, dir.put("bad.mtl", "newmtl c\nKd 1\nKd 1 1\n").c_str(), KEY_KDCOLOR, 0, &why), 0);
    EXPECT_EQ(L.nm, 1);
    EXPECT_EQ(findmaterial(&L, "c"), -1);
    // The slots taken back are filled again, and found by their new names.
    ASSERT_EQ(readMTL(&L, dir.put("two.mtl", "newmtl d\nKd 0 0 1\nnewmtl a\n").c_str(), KEY_KDCOLOR, 0, &why), 1);
    EXPECT_EQ(findmaterial(&L, "d"), 1);
    EXPECT_EQ(findmaterial(&L, "a"), 0);
    EXPECT_EQ(findmaterial(&L, "c"), -1);
    freematerials(&L);
}

TEST(MTL, LibrariesAreToldByTheirNames)
{
    for (const char* name : {"a.mtl", "A.MTL", "dir.x/b.Mtl", "c.mtl.gz", "d.MTL.GZ"})
        EXPECT_TRUE(islibraryname(name)) << name;
    for (const char* name : {"a.cr2", "a.crz", "a.mc6", "mtl", "a.mtlx", "a.gz", "a_mtl"})
        EXPECT_FALSE(islibraryname(name)) << name;
}

}  // namespace
