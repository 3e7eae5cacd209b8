// Names at the platform's edge: UTF-8 to UTF-16 and back, the device names
// Windows keeps, and the case folding of map names here.
#include <gtest/gtest.h>

#include <string>

#include "port/names.h"
#include "port/wide.h"

namespace {
std::u16string utf16(const std::string& s, const char16_t* high = nullptr)
{
    char16_t out[256];
    int n = toutf16(s.c_str(), out, 256, high);
    EXPECT_GE(n, 0) << s;
    return n < 0 ? u"" : std::u16string(out, (size_t)n);
}

std::string utf8(const std::u16string& s)
{
    char out[1024];
    int n = toutf8(s.c_str(), (int)s.size(), out, (int)sizeof out);
    EXPECT_GE(n, 0);
    return n < 0 ? "" : std::string(out, (size_t)n);
}
}  // namespace

// Every name a person may type comes back as it went, with the UTF-16 units
// Windows expects: two for a character beyond the first 65536.
TEST(WideNames, UnicodeNamesMakeTheRoundTrip)
{
    struct { const char* name; std::u16string units; } table[] = {
        {"plain.obj", u"plain.obj"},
        {"\xCE\xA9.bmp", u"\u03A9.bmp"},                                    // Greek capital omega
        {"\xE6\xA8\xA1\xE5\x9E\x8B/\xE4\xBA\xBA\xE7\x89\xA9.obj", u"\u6A21\u578B/\u4EBA\u7269.obj"},
        {"\xF0\x9F\x98\x80", {char16_t(0xD83D), char16_t(0xDE00)}},        // an emoji
        {"e\xCC\x81", u"e\u0301"},                                           // e and a combining accent
        {"sub\xEF\xBC\x8Fx.bmp", u"sub\uFF0Fx.bmp"},                         // full-width slash, no slash
        {"\xF4\x8F\xBF\xBF", {char16_t(0xDBFF), char16_t(0xDFFF)}},        // the last code point
        {"", u""},
    };
    for (const auto& t : table) {
        SCOPED_TRACE(t.name);
        EXPECT_EQ(utf16(t.name), t.units);
        EXPECT_EQ(utf8(t.units), t.name);
    }
}

// Windows lets a name hold a surrogate without its partner; such a name
// still comes back to the same units, so it opens the same file.
TEST(WideNames, UnpairedSurrogatesComeBack)
{
    for (std::u16string s : {std::u16string{char16_t(0xD800)}, std::u16string{u'a', char16_t(0xDC00), u'b'},
                             std::u16string{char16_t(0xDC00), char16_t(0xD800)},
                             std::u16string{char16_t(0xD83D), u'x', char16_t(0xDE00)}}) {
        std::string back = utf8(s);
        EXPECT_EQ(utf16(back), s);
    }
    // The whole string up to its NUL when no length is given.
    char out[16];
    const char16_t pair[] = {char16_t(0xD83D), char16_t(0xDE00), 0};
    EXPECT_EQ(toutf8(pair, -1, out, sizeof out), 4);
    EXPECT_STREQ(out, "\xF0\x9F\x98\x80");
}

// A name read from an old file in an 8-bit code page stands for what it
// stood for there; a byte sequence that only looks like a slash (overlong)
// never becomes one, and a sequence cut short reads nothing past its end.
TEST(WideNames, BytesThatAreNoUtf8StandForThemselves)
{
    char16_t cp1252[128];
    for (int i = 0; i < 128; i++) cp1252[i] = (char16_t)(128 + i);
    cp1252[0x80 - 128] = 0x20AC;  // the euro sign
    EXPECT_EQ(utf16("caf\xE9.bmp"), u"caf\u00E9.bmp");
    EXPECT_EQ(utf16("\x80" "5.bmp", cp1252), u"\u20AC5.bmp");
    EXPECT_EQ(utf16("a\xC0\xAF" "b"), u"a\u00C0\u00AF" "b");       // overlong /
    EXPECT_EQ(utf16("a\xE0\x80\xAF" "b"), u"a\u00E0\u0080\u00AF" "b");
    EXPECT_EQ(utf16("\xF4\x90\x80\x80"), u"\u00F4\u0090\u0080\u0080");  // beyond Unicode
    EXPECT_EQ(utf16("x\xE6\xA8"), u"x\u00E6\u00A8");
    EXPECT_EQ(utf16("\xE6\xA8"
                    "a"),
              u"\u00E6\u00A8"
              "a");
}

// A result that does not fit, NUL included, is refused, never cut.
TEST(WideNames, ResultsThatDoNotFitAreRefused)
{
    char16_t w[4];
    EXPECT_EQ(toutf16("abc", w, 4), 3);
    EXPECT_EQ(toutf16("abcd", w, 4), -1);
    EXPECT_EQ(toutf16("ab\xF0\x9F\x98\x80", w, 4), -1);  // the pair needs two units and the NUL one
    EXPECT_EQ(toutf16("a\xF0\x9F\x98\x80", w, 4), 3);
    char b[4];
    const char16_t omega[] = {0x03A9, 0x03A9, 0};
    EXPECT_EQ(toutf8(omega, 1, b, 4), 2);
    EXPECT_EQ(toutf8(omega, 2, b, 4), -1);
    EXPECT_EQ(toutf8(u"abc", 3, b, 4), 3);
    EXPECT_EQ(toutf8(u"abcd", 4, b, 4), -1);
}

// The names Windows keeps for its devices, in any folder, case, extension
// and with trailing spaces; and names that only look like them.
TEST(PlatformNames, WindowsDevicesAreToldFromFiles)
{
    for (const char* n : {"nul.bmp", "NUL.BMP", "nul", "Nul.tar.bmp", "nul .bmp", "nul   .bmp", "aux.bmp",
                          "prn.png", "con.bmp", "com1.bmp", "COM9.bmp", "com0.bmp", "lpt1.bmp", "LPT9.x.bmp",
                          "lpt0.bmp", "dir/nul.bmp", "a/b\\con.bmp", "C:nul.bmp", "c:\\x\\aux.bmp",
                          "com\xC2\xB9.bmp", "lpt\xC2\xB2.bmp", "COM\xC2\xB3.bmp", "conin$.bmp", "CONOUT$",
                          "nul:stream", "nul.1001.png"}) {
        EXPECT_TRUE(windowsdevice(n)) << n;
    }
    for (const char* n : {"null.bmp", "nul_skin.bmp", "map_nul.bmp", "xnul.bmp", "connect.bmp", "com10.bmp",
                          "com.bmp", "lpt.bmp", "comx.bmp", " nul.bmp", "nul/x.bmp", "nul\xC3\xA9.bmp",
                          "com\xC2\xB4.bmp", "com\xE2\x81\xB4.bmp", "", ".bmp", "aux_2.bmp", "con-1.bmp",
                          "conin.bmp", "dir.nul/x.bmp"}) {
        EXPECT_FALSE(windowsdevice(n)) << n;
    }
}

// Here names differ in case; map names still meet when they differ only
// in A-Z, as they would on Windows. Nothing but A-Z changes.
TEST(PlatformNames, MapNamesFoldAtoZHere)
{
    char a[64], b[64];
    foldname("Skin_Hair.BMP", a, sizeof a);
    foldname("skin_hair.bmp", b, sizeof b);
    EXPECT_STREQ(a, b);
    foldname("\xCE\xA9mega_\xC3\x89", a, sizeof a);
    EXPECT_STREQ(a, "\xCE\xA9mega_\xC3\x89");
    foldname("ABCDEFGH", a, 5);  // cut to the room given
    EXPECT_STREQ(a, "abcd");
    EXPECT_FALSE(reservedname("nul.bmp"));  // a file like any other here
}
