// Whole batch runs in which one step of writing the map fails as a full disk
// would: each step in turn, then a write that fails on one map of several.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "raster/bmp.h"
#include "shell/batch.h"

namespace fs = std::filesystem;

namespace {
const std::string MESH = std::string(UVPAINT_SAMPLES) + "/figure.obj";
const std::string OLD = "the old map, which must survive";

struct result {
    int status;
    std::string err;
};

std::string slurp(FILE* f)
{
    std::string s;
    std::rewind(f);
    char buf[4096];
    size_t k;
    while ((k = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, k);
    std::fclose(f);
    return s;
}

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

std::string readfile(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class Inject : public testing::Test {
protected:
    fs::path dir;
    void SetUp() override
    {
        char tmpl[] = "/tmp/uvpaint-inject-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override
    {
        bmpfailstep = 0;
        bmpchunk = (size_t)64 << 20;
        fs::remove_all(dir);
    }
    std::set<std::string> files() const
    {
        std::set<std::string> s;
        for (const auto& e : fs::directory_iterator(dir)) s.insert(e.path().filename().string());
        return s;
    }
};
}  // namespace

TEST_F(Inject, EveryFailingStepOfARunKeepsTheOldMap)
{
    const std::string map = (dir / "map.bmp").string();
    // 33 x 33: 54 header bytes and 33 rows of 100: five writes of 1024 at
    // most, then the close and the replace.
    bmpchunk = 1024;
    int step = 1;
    for (;; step++) {
        SCOPED_TRACE(step);
        ASSERT_LT(step, 20);
        std::ofstream(map, std::ios::binary) << OLD;
        bmpfailstep = step;
        result r = batch({"--out", map, "--size", "33", "--overwrite"});
        if (r.status == 0) {
            EXPECT_EQ(r.err, "I have created this texture map file: " + map + "\n");
            break;
        }
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, map + ": I can't write this file\n");
        EXPECT_EQ(readfile(map), OLD);
        EXPECT_EQ(files(), std::set<std::string>{"map.bmp"});
    }
    EXPECT_EQ(step, 8);
    EXPECT_EQ(readfile(map).size(), 54u + 100 * 33);
    EXPECT_EQ(files(), std::set<std::string>{"map.bmp"});
}

TEST_F(Inject, OneFailedMapOfSeveralKeepsItsOldFileAndFailsTheRun)
{
    // The first map of seven (skin) fails at its close; the others are made.
    const std::string out = (dir / "fig.bmp").string();
    const std::string skin = (dir / "fig_skin.bmp").string();
    std::ofstream(skin, std::ios::binary) << OLD;
    bmpfailstep = 2;
    result r = batch({"--out", out, "--size", "16", "--separate"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err,
              "Each file's name will be the name that you specified with the name of the material appended\n" +
                  skin + ": I can't write this file\n");
    EXPECT_EQ(readfile(skin), OLD);
    const std::set<std::string> want = {"fig_skin.bmp", "fig_Hair.bmp", "fig_Eyes.bmp", "fig_Shirt.bmp",
                                        "fig_Belt.bmp", "fig_Pants.bmp", "fig_Shoes.bmp"};
    EXPECT_EQ(files(), want);
    for (const std::string& f : want) {
        if (f == "fig_skin.bmp") continue;
        EXPECT_EQ(readfile(dir / f).size(), 54u + 48 * 16) << f;
    }
}
