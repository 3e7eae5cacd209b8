// The input every reader takes: plain files and gzip data inflated on its
// own thread, whole or damaged. Standard input through a pipe is the
// hostile cases' (pipe_*), on Linux and under Wine.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <string>
#include <thread>

#include "port/input.h"
#include "tests/support/gzip.h"
#include "tests/support/support.h"

namespace {

// Text of n bytes that packs as a mesh does, neither all alike nor random.
std::string sometext(size_t n, unsigned seed)
{
    std::mt19937 r(seed);
    std::string s;
    while (s.size() < n) s += "v " + std::to_string(r() % 100000) + " 0." + std::to_string(r() % 1000) + "\n";
    s.resize(n);
    return s;
}

struct readout {
    std::string bytes;
    infault fault = IN_FINE;
    bool opened = false, compressed = false, regular = false;
};

// The whole of name as inread gives it, in pieces of the sizes given in turn.
readout readall(const std::string& name, std::initializer_list<size_t> pieces = {65536})
{
    readout r;
    input in;
    failure why;
    if (!(r.opened = inopen(&in, name.c_str(), &why))) return r;
    r.compressed = in.compressed;
    r.regular = in.regular;
    std::string buf;
    for (size_t i = 0;; i++) {
        const size_t want = pieces.begin()[i % pieces.size()];
        buf.resize(want);
        const size_t got = inread(&in, &buf[0], want);
        r.bytes.append(buf, 0, got);
        if (got < want) break;
    }
    EXPECT_EQ(inread(&in, &buf[0], 1), 0u);  // and nothing after the end
    r.fault = in.fault;
    inclose(&in);
    return r;
}

struct Input : ::testing::Test {
    tempdir dir;
    std::string put(const std::string& name, const std::string& bytes) { return dir.put(name, bytes); }
};

TEST_F(Input, PlainFilesComeAsTheyAre)
{
    const std::string text = sometext(3 << 20, 1);
    readout r = readall(put("a.obj", text), {1, 7, 65536, (1 << 20) + 3});
    EXPECT_TRUE(r.opened);
    EXPECT_FALSE(r.compressed);
    EXPECT_TRUE(r.regular);
    EXPECT_EQ(r.fault, IN_FINE);
    EXPECT_TRUE(r.bytes == text);
    // Half a mark, or the mark's bytes the other way round, are plain bytes.
    for (const std::string& s : {std::string(""), std::string("\x1f"), std::string("\x8b\x1f rest")}) {
        readout t = readall(put("b.obj", s), {1});
        EXPECT_FALSE(t.compressed);
        EXPECT_EQ(t.bytes, s);
    }
}

TEST_F(Input, GzipDataIsInflatedWhateverTheName)
{
    const std::string text = sometext(5 << 20, 2);  // blocks handed over several times
    const std::string file = put("mesh.txt", gzipped(text));
    for (auto pieces : {std::initializer_list<size_t>{65536}, {1 << 20}, {3, 100000, 1}}) {
        readout r = readall(file, pieces);
        EXPECT_TRUE(r.compressed);
        EXPECT_TRUE(r.regular);
        EXPECT_EQ(r.fault, IN_FINE);
        EXPECT_TRUE(r.bytes == text);
    }
    readout stored = readall(put("stored.gz", gzipped("f 1 2 3\n", 0)));
    EXPECT_EQ(stored.bytes, "f 1 2 3\n");
    readout empty = readall(put("empty.gz", gzipped("")));
    EXPECT_TRUE(empty.compressed);
    EXPECT_EQ(empty.bytes, "");
    EXPECT_EQ(empty.fault, IN_FINE);
}

// As zcat reads them: members one after another, zero bytes after the last.
TEST_F(Input, MembersFollowOneAnotherAndZerosMayPadTheEnd)
{
    const std::string a = sometext(70000, 3), b = sometext(1500000, 4);
    const std::string members = gzipped(a) + gzipped("") + gzipped(b, 1);
    readout r = readall(put("m.gz", members));
    EXPECT_EQ(r.fault, IN_FINE);
    EXPECT_TRUE(r.bytes == a + b);
    r = readall(put("z.gz", members + std::string(1000, '\0')));
    EXPECT_EQ(r.fault, IN_FINE);
    EXPECT_TRUE(r.bytes == a + b);
    // Anything else after a member is no gzip data: the file is damaged.
    for (const std::string& tail : {std::string("junk"), std::string("\0\0x", 3), std::string("\x1f")}) {
        r = readall(put("t.gz", members + tail));
        EXPECT_NE(r.fault, IN_FINE) << tail.size();
    }
}

TEST_F(Input, DataCutShortAnywhereIsDamaged)
{
    const std::string text = sometext(3000, 5);
    const std::string two = gzipped(text) + gzipped(text);
    for (size_t cut = 2; cut < two.size(); cut++) {
        if (cut == two.size() / 2) continue;  // between the members: one whole member
        readout r = readall(put("c.gz", two.substr(0, cut)));
        ASSERT_EQ(r.fault, IN_CUTSHORT) << cut;
    }
    input in;
    failure why;
    const std::string cut = put("c.gz", two.substr(0, 40));  // the input keeps its name
    ASSERT_EQ(inopen(&in, cut.c_str(), &why), 1);
    char b[100];
    while (inread(&in, b, sizeof b) > 0) {
    }
    EXPECT_EQ(infailure(&in, &why), 0);
    EXPECT_STREQ(why.title, "this file is damaged: its compressed data ends too soon");
    EXPECT_EQ(std::string(why.file), cut);
    inclose(&in);
}

// Every byte after the header changed: a fault, or, where the change means
// nothing (as some header bytes do), the same bytes; never other bytes
// passed off as whole.
TEST_F(Input, CorruptDataNeverPassesForWhole)
{
    const std::string text = sometext(5000, 6);
    const std::string good = gzipped(text);
    int faults = 0;
    for (size_t at = 4; at < good.size(); at++) {
        std::string bad = good;
        bad[at] = (char)(bad[at] ^ 0xFF);
        readout r = readall(put("x.gz", bad));
        if (r.fault != IN_FINE) faults++;
        else ASSERT_TRUE(r.bytes == text) << at;
    }
    EXPECT_GE(faults, (int)good.size() - 10);  // only mtime, flags and system may change
}

// A reader that stops early leaves the inflating thread waiting on a full
// block: closing must end it.
TEST_F(Input, ClosingInTheMiddleEndsTheInflating)
{
    const std::string file = put("big.gz", gzipped(sometext(8 << 20, 7), 1));
    for (int i = 0; i < 20; i++) {
        input in;
        ASSERT_EQ(inopen(&in, file.c_str(), nullptr), 1);
        char b[10];
        ASSERT_EQ(inread(&in, b, sizeof b), sizeof b);
        if (i % 2) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        inclose(&in);
    }
}

TEST_F(Input, FoldersAndMissingFilesDoNotOpen)
{
    input in;
    failure why;
    EXPECT_EQ(inopen(&in, dir.path.c_str(), &why), 0);
    EXPECT_STREQ(why.title, "I can't open this file");
    EXPECT_EQ(why.err, EISDIR);
    inclose(&in);  // safe after a failed opening
    EXPECT_EQ(inopen(&in, dir.at("none.obj").c_str(), &why), 0);
    EXPECT_EQ(why.err, ENOENT);
    EXPECT_EQ(std::string(why.text), dir.at("none.obj"));
}

TEST_F(Input, StreamsAreToldFromFiles)
{
    EXPECT_TRUE(isstdin("-"));
    EXPECT_FALSE(isstdin("-x"));
    EXPECT_FALSE(isstdin("a-"));
    const std::string fifo = dir.at("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_TRUE(isstream(fifo.c_str()));
    EXPECT_TRUE(isstream("/dev/null"));
    EXPECT_FALSE(isstream(put("plain.obj", "v 1 2 3\n").c_str()));
    EXPECT_FALSE(isstream(dir.path.c_str()));
    EXPECT_FALSE(isstream(dir.at("none").c_str()));
}

TEST(BesideFile, NamesLeadFromTheFilesFolder)
{
    struct {
        const char *file, *name, *want;
    } cases[] = {
        {"dir/m.obj", "a.mtl", "dir/a.mtl"},
        {"/x/y/m.obj", "sub/a b.mtl", "/x/y/sub/a b.mtl"},
        {"m.obj", "a.mtl", "a.mtl"},
        {"", "a.mtl", "a.mtl"},
        {"dir/m.obj", "/abs/a.mtl", "/abs/a.mtl"},
        {"dir/", "a.mtl", "dir/a.mtl"},
        {"a:b/m.obj", "c.mtl", "a:b/c.mtl"},  // a colon is no drive here
    };
    for (auto& c : cases) {
        char out[64];
        ASSERT_EQ(besidefile(out, sizeof out, c.file, c.name), 1) << c.file;
        EXPECT_STREQ(out, c.want) << c.file << " + " << c.name;
    }
    char small[10];
    EXPECT_EQ(besidefile(small, sizeof small, "dir/m.obj", "ab.mtl"), 0);  // 10 bytes and the NUL
    EXPECT_EQ(besidefile(small, sizeof small, "dir/m.obj", "a.mtl"), 1);
}

}  // namespace
