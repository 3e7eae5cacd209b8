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
        knobs.write_beforeopen = nullptr;
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
        // Each step fails as a full disk would, and says so.
        EXPECT_EQ(r.err, "uvpaint: " + map + ": I can't write this file (No space left on device)\n");
        EXPECT_EQ(readfile(map), OLD);
        EXPECT_EQ(dir.files(), std::set<std::string>{"map.bmp"});
    }
    EXPECT_EQ(step, 8);
    EXPECT_EQ(readfile(map).size(), 54u + 100 * 33);
    EXPECT_EQ(dir.files(), std::set<std::string>{"map.bmp"});
}

// A map of several that fails as a full disk does stops the maps: its old
// file stays, and no map is tried after it.
TEST_F(Inject, AFullDiskStopsTheMapsAndKeepsTheOldFile)
{
    const std::string out = dir.at("fig.bmp");
    const std::string skin = dir.at("fig_skin.bmp");
    writefile(skin, OLD);
    knobs.writefailstep = 2;  // the first map's pixels
    result r = batch({"--out", out, "--size", "16", "--separate"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err,
              std::string("Each file's name will be the name that you specified with the name of the material appended\n") +
                  "uvpaint: " + skin + ": I can't write this file (No space left on device)\n" +
                  "the disk is full: 0 of 7 maps were written\n");
    EXPECT_EQ(readfile(skin), OLD);
    EXPECT_EQ(dir.files(), std::set<std::string>{"fig_skin.bmp"});
}

namespace {
void comemeanwhile(const char* name) { writefile(name, OLD); }
}  // namespace

// A map whose name was free when the run looked never replaces a file that
// came there before it was opened; one that replaces a file by
// --overwrite replaces what is there.
TEST_F(Inject, AFileThatComesBeforeTheWriteIsReplacedOnlyWhenAskedFor)
{
    const std::string map = dir.at("map.bmp");
    knobs.write_beforeopen = comemeanwhile;
    result r = batch({"--out", map, "--size", "16", "--overwrite"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "uvpaint: " + map + ": I can't open this file (File exists)\n");
    EXPECT_EQ(readfile(map), OLD);
    EXPECT_EQ(dir.files(), std::set<std::string>{"map.bmp"});

    writefile(map, "a map that --overwrite replaces");
    r = batch({"--out", map, "--size", "16", "--overwrite"});
    knobs.write_beforeopen = nullptr;
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(readfile(map).size(), 54u + 48 * 16);
    EXPECT_EQ(dir.files(), std::set<std::string>{"map.bmp"});
}
