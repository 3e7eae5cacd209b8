// The .CR2 reader: names, colours and greys, limits and unreadable files.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "job/cr2.h"
#include "port/scripted.h"
#include "tests/support/support.h"
#include "tests/support/gzip.h"

namespace {

struct cr2read {
    tempdir dir;
    script s;
    MaterialList L = nomaterials();
    int outcome = 0;
    cr2read(const std::string& text, cr2key key = KEY_KDCOLOR, int tb = 0)
    {
        usescript(&s);
        outcome = readCR2(nullptr, &L, dir.put("f.cr2", text).c_str(), key, tb);
        usescript(nullptr);
    }
    ~cr2read() { freematerials(&L); }
    std::string name(int k) const { return materialname(&L, k); }
    unsigned rgb(int k) const { return L.m[k].col.red << 16 | L.m[k].col.green << 8 | L.m[k].col.blue; }
};

TEST(CR2, WorkedColourAndTransparencyValues)
{
    cr2read c("material skin\nKdColor 1 0.5 0.2 1\nmaterial hair\nKdColor 0.999 1.5 0\n");
    ASSERT_EQ(c.outcome, CR2_READ);
    ASSERT_EQ(c.L.nm, 2);
    EXPECT_EQ(c.name(0), "skin");
    EXPECT_EQ(c.rgb(0), 0xFF8033u);  // 255, 128, 51
    EXPECT_EQ(c.rgb(1), 0xFFFF00u);
    EXPECT_EQ(c.s.shown, std::vector<std::string>{"title: reading .CR2 file"});

    const char* t = "material a\ntMax 0.3\nKdColor 0 0 0\n";
    EXPECT_EQ(cr2read(t, KEY_TMAX, 0).rgb(0), 0x4C4C4Cu);  // 76
    EXPECT_EQ(cr2read(t, KEY_TMAX, 1).rgb(0), 0xB3B3B3u);  // 179
    EXPECT_EQ(cr2read(t, KEY_KDCOLOR, 0).rgb(0), 0x000000u);  // coloured runs ignore tMax
}

TEST(CR2, ValuesOutsideZeroToOneAreHeldToBytes)
{
    EXPECT_EQ(colourbyte(-0.5), 0);
    EXPECT_EQ(colourbyte(-1e300), 0);
    EXPECT_EQ(colourbyte(std::nan("")), 0);
    EXPECT_EQ(colourbyte(1e300), 255);
    EXPECT_EQ(colourbyte(0.2), 51);
    EXPECT_EQ(cr2read("material a\nKdColor -0.2 nan 2\n").rgb(0), 0x0000FFu);
    EXPECT_EQ(cr2read("material a\ntMax 1.5\n", KEY_TMAX, 0).rgb(0), 0xFFFFFFu);
    EXPECT_EQ(cr2read("material a\ntMax 1.5\n", KEY_TMAX, 1).rgb(0), 0x000000u);  // 1 - 1.5
}

TEST(CR2, LinesAreNormalisedAndRecognisedExactly)
{
    cr2read c("\tmaterial   skin   tone  \r\n"
              "Material Capital\n"
              "material\n"
              "material    \n"
              "   KdColor\t0.5  0.5 0.5\n"
              "material " + std::string(80, 'x') + "\n"
              "KdColor 1 1\n");
    ASSERT_EQ(c.L.nm, 3);
    EXPECT_EQ(c.name(0), "skin tone");
    EXPECT_EQ(c.name(1), "");
    EXPECT_EQ(c.rgb(1), 0x808080u);
    EXPECT_EQ(c.name(2), std::string(63, 'x'));
    EXPECT_EQ(c.rgb(2), 0xFFFFFFu);  // two numbers are not a colour
}

TEST(CR2, LongLinesAreOneLineAndTheLastLineCountsWithoutALineEnd)
{
    cr2read c("KdColor 0 0 0\n"  // before any material: ignored
              "material a\n"
              "KdColor" + std::string(300, ' ') + "0.5 0 0\n"
              "material " + std::string(300, 'y') + "material b\n"
              "material last");
    ASSERT_EQ(c.L.nm, 3);
    EXPECT_EQ(c.rgb(0), 0x800000u);
    EXPECT_EQ(c.name(1), std::string(63, 'y'));
    EXPECT_EQ(c.name(2), "last");
    EXPECT_EQ(cr2read("").L.nm, 0);
    EXPECT_EQ(cr2read("nothing here\n").L.nm, 0);
}

std::string materials(int count)
{
    std::string t;
    for (int k = 0; k < count; k++) t += "material m" + std::to_string(k) + "\n";
    return t;
}

TEST(CR2, AtMost256Materials)
{
    cr2read full(materials(256));
    EXPECT_EQ(full.outcome, CR2_READ);
    EXPECT_EQ(full.L.nm, 256);
    EXPECT_EQ(full.name(255), "m255");

    cr2read over(materials(257));
    EXPECT_EQ(over.outcome, CR2_TOOMANY);
    EXPECT_NE(over.L.m, nullptr);  // the run's clean-up releases them
    EXPECT_EQ(over.s.shown.back(),
              "box: this .CR2 file contains more than 256 materials | " + over.dir.at("f.cr2") + " | !");
}

TEST(CR2, FilesThatCannotBeReadStopWithNothingHeld)
{
    tempdir dir;
    script s;
    usescript(&s);
    MaterialList L = nomaterials();
    std::string missing = dir.at("none.cr2");
    EXPECT_EQ(readCR2(nullptr, &L, missing.c_str(), KEY_KDCOLOR, 0), CR2_STOPPED);
    EXPECT_EQ(L.m, nullptr);
    // A folder is no file, wherever the system lets it open.
    EXPECT_EQ(readCR2(nullptr, &L, dir.path.c_str(), KEY_KDCOLOR, 0), CR2_STOPPED);
    EXPECT_EQ(L.m, nullptr);
    // Compressed data cut short: none of what it held is kept.
    std::string cut = dir.put("f.crz", gzipped("material skin\nKdColor 1 0 0\n").substr(0, 30));
    EXPECT_EQ(readCR2(nullptr, &L, cut.c_str(), KEY_KDCOLOR, 0), CR2_STOPPED);
    EXPECT_EQ(L.m, nullptr);
    EXPECT_EQ(L.nm, 0);
    usescript(nullptr);
    EXPECT_EQ(s.shown, (std::vector<std::string>{
                           "box: " + missing + " | I can't open this file | !",
                           "box: " + dir.path + " | I can't open this file | !",
                           "title: reading .CR2 file",
                           "box: " + cut + " | this file is damaged: its compressed data ends too soon | !",
                       }));
    // Two bytes of another kind start an ordinary figure.
    cr2read plain("\x1f material\nmaterial skin\n");
    EXPECT_EQ(plain.outcome, CR2_READ);
    EXPECT_EQ(plain.L.nm, 1);
}

// Lines of any length cost no memory unless they name a material or give
// its colour; a name is cut where the short line would cut it.
TEST(CR2, OverlongLinesKeepWhatMatters)
{
    const std::string name = std::string(62, 'n') + " x" + std::string(3000000, 'y');
    cr2read c("material " + name + "\n# " + std::string(3000000, 'c') + "\nKdColor 0.5 0.5 0." +
              std::string(100000, '0') + "1\n");
    ASSERT_EQ(c.L.nm, 1);
    EXPECT_EQ(c.name(0), std::string(62, 'n') + " ");
    EXPECT_EQ(c.rgb(0), 0x808000u);  // 0.000...1 is 0
}

}  // namespace
