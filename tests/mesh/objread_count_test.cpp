// The pre-count's block scan and the corner reading against plain ones.
#include "mesh/objread_text.h"

#include <gtest/gtest.h>

#include <cctype>
#include <random>
#include <string>
#include <vector>

namespace {

// One line at a time: bytes above 32 make tokens, the first is the key, and
// a line counts when a token follows its key.
objcounts plaincount(const std::string& s)
{
    objcounts c = {0, 0, 0, 0, 0, 0};
    size_t i = 0;
    while (i < s.size()) {
        std::vector<std::string> tokens;
        std::string t;
        for (; i < s.size() && s[i] != '\n' && s[i] != '\r'; i++) {
            if ((unsigned char)s[i] > 32) {
                t += (char)std::tolower((unsigned char)s[i]);
            } else if (!t.empty()) {
                tokens.push_back(t);
                t.clear();
            }
        }
        if (!t.empty()) tokens.push_back(t);
        i++;
        if (tokens.size() < 2) continue;
        const std::string& k = tokens[0];
        if (k == "v") c.np++;
        else if (k == "vt") c.nt++;
        else if (k == "g") c.ng++;
        else if (k == "usemtl") c.nmat++;
        else if (k == "f") {
            c.nf++;
            c.nq += (long long)tokens.size();
        }
    }
    return c;
}

// Random lines of every shape the reader meets, and some it should not.
std::string randomlines(std::mt19937& rng, int lines)
{
    auto pick = [&](int n) { return (int)(rng() % (unsigned)n); };
    const char* keys[] = {"v", "vt", "f", "g", "usemtl", "V", "VT", "F", "G", "UseMtl", "vn", "#",
                          "vx", "ff", "usemtlx", "o", "s", "\x80v", "fv"};
    const char* seps[] = {" ", "  ", "\t", "\x1f", "\v", "\f", "\x01", " \t "};  // [3]: a NUL where it counts
    const char* breaks[] = {"\n", "\n", "\n", "\r\n", "\r", "\n\n", "\r\r\n"};
    std::string s;
    for (int l = 0; l < lines; l++) {
        if (pick(4) == 0) s += seps[pick(8)];
        if (pick(20) == 0) s += std::string(1, '\0');
        s += keys[pick(19)];
        int n = pick(8) == 0 ? pick(200) : pick(6);  // some lines span many blocks
        for (int j = 0; j < n; j++) {
            if (j > 0 || pick(10)) {  // else glued to the key
                int k = pick(8);
                s += k == 3 ? std::string(1, '\0') : std::string(seps[k]);
            }
            s += pick(3) ? std::to_string(pick(100000)) + "/" + std::to_string(pick(99)) : "0.5e-3";
            if (pick(30) == 0) s += "\xff\xfe";
        }
        if (pick(5) == 0) s += seps[pick(8)];
        s += breaks[pick(7)];
    }
    return s;
}

void expectsame(const objcounts& a, const objcounts& b)
{
    EXPECT_EQ(a.nf, b.nf);
    EXPECT_EQ(a.nq, b.nq);
    EXPECT_EQ(a.np, b.np);
    EXPECT_EQ(a.nt, b.nt);
    EXPECT_EQ(a.ng, b.ng);
    EXPECT_EQ(a.nmat, b.nmat);
}

}  // namespace

TEST(ObjCount, BlockMarksMatchEveryByteValue)
{
    std::mt19937 rng(7);
    const char edges[] = {'\n', '\r', ' ', '!', 0, 31, 127, (char)0x80, (char)0xff, '\v'};
    std::vector<char> b(64);
    for (int round = 0; round < 2000; round++) {
        // first every byte value in order, then the bytes at the edges of
        // the classes mixed with any others
        for (int i = 0; i < 64; i++)
            b[i] = round < 4 ? (char)(round * 64 + i) : rng() % 3 ? edges[rng() % 10] : (char)rng();
        uint64_t tok = 0, brk = 0, wtok = 0, wbrk = 0, want_tok = 0, want_brk = 0;
        for (int i = 0; i < 64; i++) {
            if ((unsigned char)b[i] > 32) want_tok |= 1ULL << i;
            if (b[i] == '\n' || b[i] == '\r') want_brk |= 1ULL << i;
        }
        marks64(b.data(), &tok, &brk);
        marks64words(b.data(), &wtok, &wbrk);
        ASSERT_EQ(tok, want_tok) << round;
        ASSERT_EQ(brk, want_brk) << round;
        ASSERT_EQ(wtok, want_tok) << round;
        ASSERT_EQ(wbrk, want_brk) << round;
    }
}

TEST(ObjCount, BlockScanCountsAsLineByLine)
{
    std::mt19937 rng(11);
    for (int round = 0; round < 300; round++) {
        SCOPED_TRACE("round " + std::to_string(round));
        std::string text = randomlines(rng, 1 + (int)(rng() % 60));
        // runs of every length modulo the block; the bytes after a run are
        // tokens of no line of it
        for (size_t cut = 0; cut < 64 && cut < text.size(); cut += 1 + rng() % 9) {
            std::string run = text.substr(cut);
            while (!run.empty() && run[0] != '\n' && run[0] != '\r') run.erase(0, 1);  // whole lines only
            std::vector<char> buf(run.begin(), run.end());
            buf.insert(buf.end(), 72, 'f');
            objcounts got = {0, 0, 0, 0, 0, 0};
            countlines(buf.data(), buf.data() + run.size(), &got);
            expectsame(got, plaincount(run));
            if (HasFailure()) return;
        }
    }
}

TEST(ObjCount, LinesAcrossBlockEdges)
{
    // a face's tokens and a key placed on both sides of every block edge
    for (size_t lead = 0; lead < 130; lead++) {
        std::string run = std::string(lead, ' ') + "\nf 1 2\t3\n" + std::string(lead % 67, '\0') +
                          "vt 1\r\nusemtl\nG x\n" + std::string(lead, 'x') + " y\nv 1 2 3";
        run += "\n";
        std::vector<char> buf(run.begin(), run.end());
        buf.insert(buf.end(), 72, 'v');
        objcounts got = {0, 0, 0, 0, 0, 0};
        countlines(buf.data(), buf.data() + run.size(), &got);
        objcounts want = {1, 4, 1, 1, 1, 0};
        expectsame(got, want);
        expectsame(got, plaincount(run));
        if (HasFailure()) return;
    }
}

namespace {

// A corner token read plainly: the vertex number (optional sign, digits),
// then past any other bytes to a '/', the texture number after it, or 0.
bool plaincorner(const std::string& tok, long long* v, long long* t)
{
    auto number = [&](size_t i, long long* n) {
        size_t j = i + (i < tok.size() && (tok[i] == '-' || tok[i] == '+'));
        size_t k = j;
        while (k < tok.size() && std::isdigit((unsigned char)tok[k])) k++;
        if (k == j) return std::string::npos;
        long long m = 0;  // past 10^17 it only has to stay past
        for (size_t d = j; d < k; d++) m = m > 100000000000000000LL ? m : m * 10 + (tok[d] - '0');
        *n = tok[i] == '-' ? -m : m;
        return k;
    };
    size_t i = number(0, v);
    if (i == std::string::npos) return false;
    *t = 0;
    while (i < tok.size() && tok[i] != '/') i++;
    if (i < tok.size()) number(i + 1, t);
    return true;
}

}  // namespace

TEST(ObjCorner, EveryShapeOfCornerReadsAsPlainly)
{
    std::mt19937 rng(5);
    auto pick = [&](int n) { return (int)(rng() % (unsigned)n); };
    const long long big = 1000000000000000LL;  // vertices and texture coordinates read so far
    int quick = 0;
    for (int round = 0; round < 200000; round++) {
        std::string tok;
        for (int parts = 1 + pick(5), k = 0; k < parts; k++) {
            int what = pick(10);
            if (what < 6) tok += std::to_string(1 + rng() % (pick(2) ? 1000 : 1000000000000ULL));
            else if (what < 8) tok += "/";
            else tok += "-+x0"[pick(4)];
        }
        // the token, then a separator or the line break, then other text
        std::string text = tok + (pick(2) ? " 7/7\n" : "\n");
        std::vector<char> buf(text.begin(), text.end());
        buf.insert(buf.end(), 17, pick(2) ? '9' : '\0');
        long long wv = 0, wt = 0, v = -1, t = -1;
        bool good = plaincorner(tok, &wv, &wt) && wv != 0;
        wv = wv < 0 ? wv + big + 1 : wv;
        good = good && wv >= 1 && wv <= big;
        wt = wt < 0 ? wt + big + 1 : wt;
        if (wt < 0 || wt > big) wt = 1;  // out of range: the first
        char* end = readcorner(buf.data(), big, big, &v, &t);
        ASSERT_EQ(end != nullptr, good) << tok;
        if (good) {
            ASSERT_EQ(end, buf.data() + tok.size()) << tok;
            ASSERT_EQ(v, wv) << tok;
            ASSERT_EQ(t, wt) << tok;
        }
        quick += quickcorner(buf.data(), &v, &t) != nullptr;
    }
#if defined(__SSE2__)
    EXPECT_GT(quick, 20000);  // the common shapes took the quick way
#endif
}
