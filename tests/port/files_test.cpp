// The map writer on POSIX systems: the final step never replaces a file it
// was not meant to, any name a map may have can be written, and a run that
// a signal ends leaves no temporary file; with unnamed temporary files and
// with named ones (systems without them), by rename and by link.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "port/files.h"
#include "port/signals.h"
#include "port/tuning.h"
#include "tests/support/support.h"

namespace {
const std::string OTHER = "another run's map";
const std::string OLD = "the old map";
const std::string MAP = "BM a new map";

// The ways the writer may go about it.
struct mode {
    const char* name;
    bool namedtemp, linkplace;
};
const mode MODES[] = {{"unnamed", false, false}, {"named", true, false}, {"named, link", true, true}};
void PrintTo(const mode& m, std::ostream* os) { *os << m.name; }

class Writer : public testing::TestWithParam<mode> {
protected:
    tempdir dir;
    void SetUp() override
    {
        knobs.write_namedtemp = GetParam().namedtemp;
        knobs.write_linkplace = GetParam().linkplace;
    }
    void TearDown() override
    {
        knobs.write_namedtemp = knobs.write_linkplace = false;
        knobs.write_beforeplace = nullptr;
    }
};

// Writes MAP to name; the failure, if any, in *why.
int writemap(const std::string& name, bool replace, failure* why)
{
    outfile o;
    if (!outopen(&o, name.c_str(), why, replace)) return 0;
    outwrite(&o, MAP.data(), MAP.size());
    return outclose(&o, why);
}

void comemeanwhile(const char* real) { writefile(real, OTHER); }
}  // namespace

// Whether the file there at the start may be replaced, and whether another
// file comes at the name while the map is written: only a file found at the
// start is ever replaced, and only when replacing is allowed.
TEST_P(Writer, OnlyTheFileFoundIsReplaced)
{
    struct {
        bool old, replace, meanwhile;
        const char* text;  // the failure; null when written
        int err;
        std::string after;
    } rows[] = {
        {false, false, false, nullptr, 0, MAP},
        {false, true, false, nullptr, 0, MAP},
        {true, true, false, nullptr, 0, MAP},
        {true, false, false, "I can't open this file", EEXIST, OLD},
        {false, false, true, "I can't write this file", EEXIST, OTHER},
        {false, true, true, "I can't write this file", EEXIST, OTHER},
    };
    const std::string name = dir.at("map.bmp");
    for (auto& r : rows) {
        SCOPED_TRACE(testing::Message() << "old " << r.old << ", replace " << r.replace << ", meanwhile " << r.meanwhile);
        std::remove(name.c_str());
        if (r.old) writefile(name, OLD);
        knobs.write_beforeplace = r.meanwhile ? comemeanwhile : nullptr;
        failure why;
        nofailure(&why);
        EXPECT_EQ(writemap(name, r.replace, &why), r.text ? 0 : 1);
        EXPECT_STREQ(why.text, r.text ? r.text : "");
        EXPECT_EQ(why.err, r.err);
        EXPECT_EQ(readfile(name), r.after);
        EXPECT_EQ(dir.files(), std::set<std::string>{"map.bmp"});
    }
}

// Names of 255 bytes and paths of 4095 characters, new and replaced, and a
// name beside a thousand leftovers of older runs.
TEST_P(Writer, AnyLegalNameCanBeWritten)
{
    const std::string longname = std::string(251, 'n') + ".bmp";
    std::string deep = dir.path;
    while (deep.size() + 1 + 255 + 1 + 6 <= 4095) {
        deep += "/" + std::string(255, 'd');
        ASSERT_EQ(mkdir(deep.c_str(), 0700), 0);
    }
    deep += "/" + std::string(4095 - deep.size() - 1 - 6, 'd');
    ASSERT_EQ(mkdir(deep.c_str(), 0700), 0);
    const std::string deepest = deep + "/x.bmp";
    ASSERT_EQ(deepest.size(), 4095u);
    for (int k = 0; k < 1000; k++) writefile(dir.at("map.bmp.tmp" + (k ? std::to_string(k) : "")), "left");
    for (const std::string& name : {dir.at(longname), deepest, dir.at("map.bmp")})
        for (bool old : {false, true}) {
            SCOPED_TRACE(testing::Message() << name.size() << " characters, old " << old);
            if (old) writefile(name, OLD);
            failure why;
            EXPECT_EQ(writemap(name, true, &why), 1) << why.text << " " << std::strerror(why.err);
            EXPECT_EQ(readfile(name), MAP);
        }
    EXPECT_EQ(dir.files().size(), 1000u + 3);
    EXPECT_EQ(std::set<std::string>{"x.bmp"}, dir.files(deep.substr(dir.path.size() + 1)));
}

// A run that a signal ends in the middle of a map: the old map and no
// temporary file, and the status is the signal's. An unnamed temporary file
// goes even when nothing can remove it.
TEST_P(Writer, ASignalLeavesNoTemporaryFile)
{
    const std::string name = dir.at("map.bmp");
    std::vector<int> sigs = {SIGINT, SIGTERM, SIGHUP};
    if (!GetParam().namedtemp) sigs.push_back(SIGKILL);
    for (int sig : sigs) {
        SCOPED_TRACE(sig);
        writefile(name, OLD);
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            catchsignals();
            outfile o;
            failure why;
            if (!outopen(&o, name.c_str(), &why, true) || !outwrite(&o, MAP.data(), MAP.size()) || std::fflush(o.f))
                _exit(3);
            raise(sig);
            _exit(4);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << status;
        EXPECT_EQ(readfile(name), OLD);
        EXPECT_EQ(dir.files(), std::set<std::string>{"map.bmp"});
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, Writer, testing::ValuesIn(MODES),
                         [](const testing::TestParamInfo<mode>& i) {
                             std::string s;
                             for (const char* c = i.param.name; *c; c++)
                                 if (std::isalpha((unsigned char)*c)) s += *c;
                             return s;
                         });
