#include "mesh/types.h"

#include <gtest/gtest.h>

TEST(Types, StandardColoursAreStoredBlueGreenRed)
{
    // red, green, blue as a person reads them
    const unsigned char rgb[16][3] = {
        {0, 0, 0},       {0, 0, 170},     {0, 170, 0},     {0, 170, 170},
        {170, 0, 0},     {170, 0, 170},   {170, 170, 0},   {170, 170, 170},
        {85, 85, 85},    {0, 0, 255},     {0, 255, 0},     {0, 255, 255},
        {255, 0, 0},     {255, 0, 255},   {255, 255, 0},   {255, 255, 255}};
    for (int i = 0; i < 16; i++) {
        const pal3& c = ((const pal3*)STDCOLS)[i];
        EXPECT_EQ(c.red, rgb[i][0]) << "entry " << i;
        EXPECT_EQ(c.green, rgb[i][1]) << "entry " << i;
        EXPECT_EQ(c.blue, rgb[i][2]) << "entry " << i;
    }
    pal4 blue(((const pal3*)STDCOLS)[9]);
    EXPECT_EQ(blue.blue, 255);
    EXPECT_EQ(blue.green, 0);
    EXPECT_EQ(blue.red, 0);
    EXPECT_EQ(blue.rsv, 0);
}
