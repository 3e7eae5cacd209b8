// The BMP writer: headers, pixels, and a good file kept through every failure.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "port/tuning.h"
#include "raster/bmp.h"
#include "tests/support/support.h"

namespace fs = std::filesystem;
typedef std::vector<unsigned char> bytes;

namespace {
struct box { std::string text, title; int icon; };
std::vector<box> boxes;

// Writes I to f as the job does, keeping the failure it gives back as the
// box the job would show.
int bmpwrite(const char* f, const image& I)
{
    failure why;
    int r = bmpwrite(f, I, &why);
    if (!r) boxes.push_back({why.text, why.title, 0});
    return r;
}

uint32_t le32(const bytes& b, size_t at) { return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | (uint32_t)b[at + 3] << 24; }
uint16_t le16(const bytes& b, size_t at) { return (uint16_t)(b[at] | b[at + 1] << 8); }

// A 7 x 5 map: a red "F" on blue, so a swapped channel, a flipped row or a
// wrong row fill shows.
const char* const F[5] = {"..###..", "..#....", "..##...", "..#....", "..#...."};
pal3 colourF(int x, int y)
{
    if (x == 6 && y == 4) return pal3(0, 255, 0);  // bottom right corner green
    return F[y][x] == '#' ? pal3(255, 0, 0) : pal3(0, 0, 255);
}
void paintF(image& I)
{
    I.reset(7, 5);
    for (int y = 0; y < 5; y++)
        for (int x = 0; x < 7; x++) I.Row(y)[x] = colourF(x, y);
}

class Bmp : public testing::Test {
protected:
    tempdir dir;
    void SetUp() override { boxes.clear(); }
    void TearDown() override
    {
        knobs.writefailstep = 0;
        knobs.writechunk = (size_t)64 << 20;
    }
    // One failure with text, captioned with the file name.
    void expectwarning(const char* text, const std::string& name)
    {
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, text);
        EXPECT_EQ(boxes[0].title, name);
        boxes.clear();
    }
};
}

TEST_F(Bmp, HeadersOf24BitMaps)
{
    struct { int n; uint32_t LL, filesize; } cases[] = {
        {640, 1920, 1228854}, {641, 1924, 1233338}, {2048, 6144, 12582966}};
    image I;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.n);
        I.reset(c.n, c.n);
        for (int y = 0; y < c.n; y++) std::memset((unsigned char*)I.Row(y), y & 0xff, 3 * (size_t)c.n);
        const std::string f = dir.at("map.bmp");
        ASSERT_EQ(bmpwrite(f.c_str(), I), 1);
        EXPECT_TRUE(boxes.empty());
        const bytes b = readbytes(f);
        ASSERT_EQ(b.size(), c.filesize);
        EXPECT_EQ(b[0], 'B');
        EXPECT_EQ(b[1], 'M');
        EXPECT_EQ(le32(b, 2), c.filesize);
        EXPECT_EQ(le32(b, 6), 0u);      // u and v
        EXPECT_EQ(le32(b, 10), 54u);    // pixels start
        EXPECT_EQ(le32(b, 14), 40u);
        EXPECT_EQ(le32(b, 18), (uint32_t)c.n);
        EXPECT_EQ(le32(b, 22), (uint32_t)c.n);
        EXPECT_EQ(le16(b, 26), 1);
        EXPECT_EQ(le16(b, 28), 24);
        EXPECT_EQ(le32(b, 30), 0u);
        EXPECT_EQ(le32(b, 34), 0u);
        EXPECT_EQ(le32(b, 38), 12000u);
        EXPECT_EQ(le32(b, 42), 12000u);
        EXPECT_EQ(le32(b, 46), 0u);
        EXPECT_EQ(le32(b, 50), 0u);
        // Bottom row first; each row's fill bytes are 0.
        for (int r = 0; r < c.n; r++) {
            const size_t at = 54 + (size_t)r * c.LL;
            ASSERT_EQ(b[at], (c.n - 1 - r) & 0xff) << "stored row " << r;
            for (size_t k = 3 * (size_t)c.n; k < c.LL; k++) ASSERT_EQ(b[at + k], 0);
        }
    }
    EXPECT_EQ(dir.files(), std::set<std::string>{"map.bmp"});
}

TEST_F(Bmp, EmptyImageIsTheHeadersAlone)
{
    image I;
    const std::string f = dir.at("empty.bmp");
    ASSERT_EQ(bmpwrite(f.c_str(), I), 1);
    const bytes want = {
        'B', 'M', 54, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,
        40, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 24, 0,
        0, 0, 0, 0, 0, 0, 0, 0, 0xe0, 0x2e, 0, 0, 0xe0, 0x2e, 0, 0,
        0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(readbytes(f), want);
}

TEST_F(Bmp, ImageMagickReadsEveryPixel)
{
    image I;
    paintF(I);
    const std::string f = dir.at("f.bmp");
    ASSERT_EQ(bmpwrite(f.c_str(), I), 1);
    const std::string cmd = std::string(CONVERT) + " '" + f + "' ppm:-";
    FILE* p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr) << cmd;
    char magic[3] = {};
    int w = 0, h = 0, maxval = 0;
    ASSERT_EQ(std::fscanf(p, "%2s %d %d %d", magic, &w, &h, &maxval), 4) << cmd;
    std::fgetc(p);  // the one white space before the samples
    bytes px(3 * 7 * 5);
    size_t got = std::fread(px.data(), 1, px.size(), p);
    EXPECT_EQ(pclose(p), 0) << cmd;
    ASSERT_EQ(std::string(magic), "P6");
    ASSERT_EQ(w, 7);
    ASSERT_EQ(h, 5);
    ASSERT_EQ(maxval, 255);
    ASSERT_EQ(got, px.size());
    for (int y = 0; y < 5; y++)
        for (int x = 0; x < 7; x++) {
            const unsigned char* q = &px[3 * (y * 7 + x)];
            const pal3 want = colourF(x, y);
            EXPECT_EQ(q[0], want.red) << x << "," << y;
            EXPECT_EQ(q[1], want.green) << x << "," << y;
            EXPECT_EQ(q[2], want.blue) << x << "," << y;
        }
}

TEST_F(Bmp, SameImageGivesSameBytesWhateverTheChunks)
{
    image I;
    paintF(I);
    const std::string a = dir.at("a.bmp"), b = dir.at("b.bmp"), c = dir.at("c.bmp");
    ASSERT_EQ(bmpwrite(a.c_str(), I), 1);
    ASSERT_EQ(bmpwrite(a.c_str(), I), 1);  // over itself
    knobs.writechunk = 5;
    ASSERT_EQ(bmpwrite(b.c_str(), I), 1);
    knobs.writechunk = 1;
    ASSERT_EQ(bmpwrite(c.c_str(), I), 1);
    const bytes A = readbytes(a);
    EXPECT_EQ(A.size(), 54u + 24 * 5);
    EXPECT_EQ(readbytes(b), A);
    EXPECT_EQ(readbytes(c), A);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(Bmp, NameThatCannotBeCreatedWarnsOnce)
{
    image I;
    paintF(I);
    const std::string f = dir.at("no such folder/map.bmp");
    EXPECT_EQ(bmpwrite(f.c_str(), I), 0);
    expectwarning("I can't open this file", f);
    EXPECT_TRUE(dir.files().empty());
}

TEST_F(Bmp, EveryFailingStepKeepsTheOldFile)
{
    image I;
    paintF(I);
    const std::string f = dir.at("map.bmp");
    knobs.writechunk = 16;  // 54 + 120 bytes: 12 writes, the close, the replace
    int step = 1;
    for (;; step++) {
        writefile(f, "the old map");
        knobs.writefailstep = step;
        int r = bmpwrite(f.c_str(), I);
        EXPECT_EQ(knobs.writefailstep, 0);
        if (r == 1) break;
        SCOPED_TRACE(step);
        expectwarning("I can't write this file", f);
        EXPECT_EQ(readfile(f), "the old map");
        EXPECT_EQ(dir.files(), std::set<std::string>{"map.bmp"});
        ASSERT_LT(step, 100);
    }
    EXPECT_EQ(step, 15);  // only a write that failed nowhere replaces it
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(readbytes(f).size(), 174u);
    EXPECT_EQ(dir.files(), std::set<std::string>{"map.bmp"});
}

TEST_F(Bmp, FullDiskIsReportedAndCleanedUp)
{
    // A file size limit makes the system refuse bytes as a full disk does:
    // once in the middle of the pixels, once only when the close flushes.
    image big, small;
    big.reset(300, 300);
    std::memset(big.P, 7, big.pixelbytes());
    const std::string f = dir.at("map.bmp");
    struct rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    void (*oldsig)(int) = signal(SIGXFSZ, SIG_IGN);
    for (const image* I : {&big, &small}) {
        writefile(f, "the old map");
        struct rlimit lim = old;
        lim.rlim_cur = 40;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &lim), 0);
        int r = bmpwrite(f.c_str(), *I);
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old), 0);
        EXPECT_EQ(r, 0);
        expectwarning("I can't write this file", f);
        EXPECT_EQ(readfile(f), "the old map");
        EXPECT_EQ(dir.files(), std::set<std::string>{"map.bmp"});
    }
    signal(SIGXFSZ, oldsig);
}

TEST_F(Bmp, FolderOfTheNameIsRefusedBeforeAnythingIsMade)
{
    image I;
    paintF(I);
    const std::string f = dir.at("folder.bmp");
    fs::create_directory(f);
    dir.put("folder.bmp/inside", "x");
    EXPECT_EQ(bmpwrite(f.c_str(), I), 0);
    expectwarning("I can't open this file", f);
    EXPECT_EQ(dir.files(), std::set<std::string>{"folder.bmp"});
    EXPECT_TRUE(fs::is_directory(f));
    EXPECT_EQ(fs::directory_iterator(f)->path().filename(), "inside");
}

TEST_F(Bmp, LinksAreFollowedToTheFileTheyLeadTo)
{
    image I;
    paintF(I);
    fs::create_directory(dir.at("maps"));
    dir.put("maps/real.bmp", "the old map");
    fs::create_symlink("maps/real.bmp", dir.at("near.bmp"));     // relative
    fs::create_symlink(dir.at("near.bmp"), dir.at("far.bmp"));   // a chain
    fs::create_symlink("maps/new.bmp", dir.at("dangling.bmp"));  // leads to nothing yet
    fs::create_symlink("loop.bmp", dir.at("loop.bmp"));
    for (const char* name : {"near.bmp", "far.bmp"}) {
        SCOPED_TRACE(name);
        dir.put("maps/real.bmp", "the old map");
        ASSERT_EQ(bmpwrite(dir.at(name).c_str(), I), 1);
        EXPECT_EQ(readbytes(dir.at("maps/real.bmp")).size(), 174u);
    }
    ASSERT_EQ(bmpwrite(dir.at("dangling.bmp").c_str(), I), 1);
    EXPECT_EQ(readbytes(dir.at("maps/new.bmp")).size(), 174u);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(bmpwrite(dir.at("loop.bmp").c_str(), I), 0);
    expectwarning("I can't open this file", dir.at("loop.bmp"));
    // The links are still links, and no temporary file is left anywhere.
    for (const char* name : {"near.bmp", "far.bmp", "dangling.bmp", "loop.bmp"})
        EXPECT_TRUE(fs::is_symlink(dir.at(name))) << name;
    EXPECT_EQ(dir.files(), (std::set<std::string>{"maps", "near.bmp", "far.bmp", "dangling.bmp", "loop.bmp"}));
    EXPECT_EQ(dir.files("maps"), (std::set<std::string>{"real.bmp", "new.bmp"}));
}

TEST_F(Bmp, DevicesAndPipesAreWrittenInPlaceNeverReplaced)
{
    image I;
    paintF(I);
    fs::create_symlink("/dev/full", dir.at("full.bmp"));
    fs::create_symlink("/dev/null", dir.at("null.bmp"));
    knobs.writechunk = 16;  // a full device refuses a write, not only the close
    EXPECT_EQ(bmpwrite(dir.at("full.bmp").c_str(), I), 0);
    expectwarning("I can't write this file", dir.at("full.bmp"));
    EXPECT_EQ(bmpwrite(dir.at("null.bmp").c_str(), I), 1);
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));

    // A pipe gets exactly the bytes a file would.
    ASSERT_EQ(bmpwrite(dir.at("file.bmp").c_str(), I), 1);
    const bytes want = readbytes(dir.at("file.bmp"));
    const std::string fifo = dir.at("pipe.bmp");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    bytes got;
    std::thread reader([&] { got = readbytes(fifo); });
    EXPECT_EQ(bmpwrite(fifo.c_str(), I), 1);
    reader.join();
    EXPECT_EQ(got, want);
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_EQ(dir.files(), (std::set<std::string>{"full.bmp", "null.bmp", "file.bmp", "pipe.bmp"}));
}

TEST_F(Bmp, ReplacedFileKeepsItsPermissions)
{
    image I;
    paintF(I);
    const std::string f = dir.at("map.bmp");
    writefile(f, "the old map");
    ASSERT_EQ(chmod(f.c_str(), 0640), 0);
    ASSERT_EQ(bmpwrite(f.c_str(), I), 1);
    EXPECT_EQ(fs::status(f).permissions(), fs::perms(0640));
    ASSERT_EQ(chmod(f.c_str(), 0604), 0);
    ASSERT_EQ(bmpwrite(f.c_str(), I), 1);
    EXPECT_EQ(fs::status(f).permissions(), fs::perms(0604));
    // A new file gets what the umask leaves, as any new file does.
    const mode_t mask = umask(027);
    ASSERT_EQ(bmpwrite(dir.at("new.bmp").c_str(), I), 1);
    umask(mask);
    EXPECT_EQ(fs::status(dir.at("new.bmp")).permissions(), fs::perms(0640));
}

namespace {
// Runs what as a user without privileges (root's permission checks always
// pass) in a child process; what returns the child's exit status.
int asnobody(const std::function<int()>& what)
{
    pid_t pid = fork();
    if (pid == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(99);
        _exit(what());
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}
}  // namespace

TEST_F(Bmp, FilesAndFoldersTheUserMayNotWriteAreLeftAlone)
{
    image I;
    paintF(I);
    // A read-only map in a folder anyone may write: a rename could replace
    // it, which the user could not do by writing it.
    ASSERT_EQ(chmod(dir.path.c_str(), 0777), 0);
    const std::string f = dir.at("map.bmp");
    writefile(f, "the old map");
    ASSERT_EQ(chmod(f.c_str(), 0444), 0);
    if (geteuid() == 0) {  // nobody's own map
        ASSERT_EQ(chown(f.c_str(), 65534, 65534), 0);
    }
    auto attempt = [&] {
        int r = bmpwrite(f.c_str(), I);
        return r == 0 && boxes.size() == 1 && boxes[0].text == "I can't open this file" && boxes[0].title == f ? 0 : 1;
    };
    EXPECT_EQ(asnobody(attempt), 0);
    EXPECT_EQ(dir.files(), std::set<std::string>{"map.bmp"});
    EXPECT_EQ(readfile(f), "the old map");

    // A map the user may write in a folder they may not: nothing can be made
    // beside it, so it stays as it was.
    ASSERT_EQ(chmod(f.c_str(), 0666), 0);
    ASSERT_EQ(chmod(dir.path.c_str(), 0555), 0);
    EXPECT_EQ(asnobody(attempt), 0);
    ASSERT_EQ(chmod(dir.path.c_str(), 0700), 0);
    EXPECT_EQ(dir.files(), std::set<std::string>{"map.bmp"});
    EXPECT_EQ(readfile(f), "the old map");
}

TEST_F(Bmp, FilesBesideTheTargetAreLeftAlone)
{
    image I;
    paintF(I);
    const std::string f = dir.at("map.bmp");
    writefile(f + ".tmp", "someone else's");
    writefile(f + ".tmp1", "and another");
    ASSERT_EQ(bmpwrite(f.c_str(), I), 1);
    EXPECT_EQ(readbytes(f).size(), 174u);
    EXPECT_EQ(readfile(f + ".tmp"), "someone else's");
    EXPECT_EQ(readfile(f + ".tmp1"), "and another");
    EXPECT_EQ(dir.files().size(), 3u);
}

TEST_F(Bmp, ImageWithoutItsPixelsIsNotWritten)
{
    image I;
    EXPECT_EQ(I.reset(MAXSIDE + 1, 4), nullptr);
    const std::string f = dir.at("map.bmp");
    EXPECT_EQ(bmpwrite(f.c_str(), I), 0);
    expectwarning("I can't write this file", f);
    EXPECT_TRUE(dir.files().empty());
}
