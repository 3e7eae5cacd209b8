// Whole batch runs in which one step of writing the map fails as a full disk
// would: each step in turn, then a write that fails on one map of several.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "port/tuning.h"
#include "raster/bmp.h"
#include "shell/batch.h"
#include "tests/support/support.h"

namespace {
const std::string MESH = std::string(UVPAINT_SAMPLES) + "/figure.obj";
const std::string OLD = "the old map, which must survive";

struct result {
    int status;
    std::string err;
};

result batch(std::vector<std::string> args)
{
    args.insert(args.begin(), {"uvpaint", "--obj", MESH});
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(&a[0]);
    FILE* out = std::tmpfile();
    FILE* err = std::tmpfile();
    int status = runbatch((int)argv.size(), argv.data(), out, err);
    std::fclose(out);
    return {status, slurp(err)};
}

class Inject : public testing::Test {
protected:
    tempdir dir;
    void TearDown() override
    {
        knobs.writefailstep = 0;
        knobs.writechunk = (size_t)64 << 20;
    }
};
}  // namespace

TEST_F(Inject, EveryFailingStepOfARunKeepsTheOldMap)
{
    const std::string map = dir.at("map.bmp");
    // 33 x 33: 54 header bytes and 33 rows of 100: five writes of 1024 at
    // most, then the close and the replace.
    knobs.writechunk = 1024;
    int step = 1;
    for (;; step++) {
        SCOPED_TRACE(step);
        ASSERT_LT(step, 20);
        writefile(map, OLD);
        knobs.writefailstep = step;
        result r = batch({"--out", map, "--size", "33", "--overwrite"});
        if (r.status == 0) {
            EXPECT_EQ(r.err, "I have created this texture map file: " + map + "\n");
            break;
        }
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, map + ": I can't write this file\n");
        EXPECT_EQ(readfile(map), OLD);
        EXPECT_EQ(dir.files(), std::set<std::string>{"map.bmp"});
    }
    EXPECT_EQ(step, 8);
    EXPECT_EQ(readfile(map).size(), 54u + 100 * 33);
    EXPECT_EQ(dir.files(), std::set<std::string>{"map.bmp"});
}

TEST_F(Inject, OneFailedMapOfSeveralKeepsItsOldFileAndFailsTheRun)
{
    // The first map of seven (skin) fails at its close; the others are made.
    const std::string out = dir.at("fig.bmp");
    const std::string skin = dir.at("fig_skin.bmp");
    writefile(skin, OLD);
    knobs.writefailstep = 2;
    result r = batch({"--out", out, "--size", "16", "--separate"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err,
              "Each file's name will be the name that you specified with the name of the material appended\n" +
                  skin + ": I can't write this file\n");
    EXPECT_EQ(readfile(skin), OLD);
    const std::set<std::string> want = {"fig_skin.bmp", "fig_Hair.bmp", "fig_Eyes.bmp", "fig_Shirt.bmp",
                                        "fig_Belt.bmp", "fig_Pants.bmp", "fig_Shoes.bmp"};
    EXPECT_EQ(dir.files(), want);
    for (const std::string& f : want) {
        if (f == "fig_skin.bmp") continue;
        EXPECT_EQ(readfile(dir.at(f)).size(), 54u + 48 * 16) << f;
    }
}
