// Number parsing against strtod, and the corner of each odd form.
#include "mesh/numparse.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

namespace {

uint64_t bits(double d)
{
    uint64_t u;
    std::memcpy(&u, &d, 8);
    return u;
}

uint32_t bits(float f)
{
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

// A random decimal text of every shape strtod accepts: sign, leading zeros,
// 0 to 25 digits on either side of an optional point, an optional exponent
// (that may lack its digits), and sometimes trailing text.
std::string randomdecimal(std::mt19937_64& r)
{
    auto pick = [&](int n) { return (int)(r() % (unsigned)n); };
    auto digits = [&](int n) {
        std::string s;
        for (int i = 0; i < n; i++) s += (char)('0' + pick(10));
        return s;
    };
    std::string s;
    switch (pick(4)) {
    case 0: s += '-'; break;
    case 1: s += '+'; break;
    }
    if (pick(4) == 0) s += std::string(pick(6), '0');
    s += digits(pick(26));
    if (pick(3)) {
        s += '.';
        if (pick(4) == 0) s += std::string(pick(30), '0');
        s += digits(pick(26));
    }
    if (pick(2)) {
        s += pick(2) ? 'e' : 'E';
        switch (pick(4)) {
        case 0: s += '-'; break;
        case 1: s += '+'; break;
        }
        int kind = pick(10);
        if (kind == 0) s += "";                            // no digits: not an exponent
        else if (kind < 6) s += std::to_string(pick(23));  // the fast range
        else if (kind < 9) s += std::to_string(pick(400));
        else s += "00000" + std::to_string(pick(100000));
    }
    switch (pick(6)) {
    case 0: s += 'x'; break;
    case 1:
        if (!s.empty()) s += " 7";  // strtod would skip leading space; tokens have none
        break;
    case 2: s += "/2"; break;
    }
    return s;
}

// The text followed by the 7 spare bytes the parsers may read.
std::string padded(const std::string& s) { return s + std::string(8, '\0'); }

// The reference: the C library, then the narrowing the reader promises.
void expectsameasstrtod(const std::string& text)
{
    std::string s = padded(text);
    char* want_end;
    double want = std::strtod(s.c_str(), &want_end);
    double got;
    const char* got_end = parsedouble(s.c_str(), &got);
    ASSERT_EQ(bits(got), bits(want)) << s << ": " << got << " != " << want;
    ASSERT_EQ(got_end, want_end) << s;
    double any;  // the general path on its own, also for the common shapes
    ASSERT_EQ(parsedoubleany(s.c_str(), &any), want_end) << s;
    ASSERT_EQ(bits(any), bits(want)) << s;
    float want_f = std::fabs(want) <= FLT_MAX ? (float)want : 0.0f;
    ASSERT_EQ(bits(tofloat(got)), bits(want_f)) << s;
}

}  // namespace

TEST(ParseDouble, EqualsStrtodOnRandomDecimals)
{
    std::mt19937_64 r(20240611);
    for (int i = 0; i < 400000; i++) {
        expectsameasstrtod(randomdecimal(r));
        if (HasFatalFailure()) return;
    }
}

// Mantissas of 15 to 20 digits with exponents around the fast path's edges.
TEST(ParseDouble, EqualsStrtodNearFastPathLimits)
{
    std::mt19937_64 r(7);
    for (int i = 0; i < 200000; i++) {
        unsigned long long m = r() >> (r() % 20);
        int e = (int)(r() % 61) - 30;
        std::string s = std::to_string(m) + "e" + std::to_string(e);
        expectsameasstrtod(s);
        if (HasFatalFailure()) return;
    }
}

TEST(ParseDouble, HardCases)
{
    const char* cases[] = {
        "9007199254740992", "9007199254740993", "9007199254740993.0000000001",
        "18446744073709551616", "18446744073709551617", "00000000000000000000000001.5",
        "0.000000000000000000000000000001", "1e23", "8.589973e9", "2.2250738585072011e-308",
        "2.2250738585072014e-308", "4.9e-324", "2.4703282292062327e-324",
        "2.4703282292062328e-324", "1e-400", "-1e-400", "1.7976931348623157e308",
        "1.7976931348623159e308", "1e999", "-1e999", "3.4028235677973366e38",
        "3.4028234663852886e38", "1e99999999999999999999", "1e-99999999999999999999",
        "-0", "-0.0e5", "0e999", "123456789012345678901234567890e-30",
        "7.2057594037927933e16", "0.1", "0.3", "5.", ".5", "-.5e-1", "+2"};
    for (const char* s : cases) expectsameasstrtod(s);
}

TEST(ParseDouble, ReadsLeadingNumericTextOnly)
{
    struct {
        const char* s;
        double v;
        int used;
    } cases[] = {
        {"1.5abc", 1.5, 3}, {"abc", 0, 0}, {"+2", 2, 2},       {".5", 0.5, 2},
        {"1e5", 1e5, 3},    {"1e", 1, 1},  {"1e+x", 1, 1},     {".", 0, 0},
        {"-", 0, 0},        {"+.e3", 0, 0}, {"0x1p3", 0, 1},   {"1/2/3", 1, 1},
        {"inf", 0, 0},      {"-nan", 0, 0}, {"1.5\n", 1.5, 3},
    };
    for (const auto& c : cases) {
        std::string s = padded(c.s);
        double v = -99;
        const char* end = parsedouble(s.c_str(), &v);
        EXPECT_EQ(v, c.v) << c.s;
        EXPECT_EQ(end - s.c_str(), c.used) << c.s;
    }
}

TEST(ToFloat, NonFiniteAndOutOfRangeGiveZero)
{
    EXPECT_EQ(tofloat(NAN), 0.0f);
    EXPECT_EQ(tofloat(HUGE_VAL), 0.0f);
    EXPECT_EQ(tofloat(-HUGE_VAL), 0.0f);
    EXPECT_EQ(tofloat(1e39), 0.0f);
    EXPECT_EQ(tofloat(-3.5e38), 0.0f);
    EXPECT_EQ(tofloat(FLT_MAX), FLT_MAX);
    EXPECT_EQ(tofloat(-FLT_MAX), -FLT_MAX);
    EXPECT_EQ(tofloat(0.1), 0.1f);
    EXPECT_EQ(tofloat(1e-50), 0.0f);
}

TEST(ParseInt, ReadsLikeScanfWithoutWrapping)
{
    struct {
        const char* s;
        long long v = 0;
        int used;  // -1: no integer
    } cases[] = {
        {"123/4", 123, 3}, {"-5", -5, 2},   {"+7x", 7, 2},
        {"/3", 0, -1},     {"-", 0, -1},    {"abc", 0, -1},
        {"0", 0, 1},       {"4294967297", 4294967297LL, 10},
        {"-2147483649", -2147483649LL, 11},
    };
    for (const auto& c : cases) {
        std::string s = padded(c.s);
        long long v = -99;
        const char* end = parseint(s.c_str(), &v);
        if (c.used < 0) {
            EXPECT_EQ(end, nullptr) << c.s;
            EXPECT_EQ(v, -99) << c.s;
        } else {
            ASSERT_NE(end, nullptr) << c.s;
            EXPECT_EQ(end - s.c_str(), c.used) << c.s;
            EXPECT_EQ(v, c.v) << c.s;
        }
    }
    long long v;
    std::string s = padded("123456789012345678901234567890 ");
    ASSERT_EQ(parseint(s.c_str(), &v), s.c_str() + 30);
    EXPECT_GT(v, 100000000000000000LL);
    s = padded("-99999999999999999999999");
    parseint(s.c_str(), &v);
    EXPECT_LT(v, -100000000000000000LL);
}

TEST(ParseInt, EqualsStrtollOnRandomIntegers)
{
    std::mt19937_64 r(99);
    for (int i = 0; i < 200000; i++) {
        std::string s = r() % 3 == 0 ? "-" : "";
        s += std::to_string(r() >> (r() % 64)).substr(0, 1 + r() % 18);
        s += "/ 0123456789"[r() % 12];
        std::string p = padded(s);
        long long v = 0;
        const char* end = parseint(p.c_str(), &v);
        char* want_end;
        long long want = std::strtoll(p.c_str(), &want_end, 10);
        if (want >= -100000000000000000LL && want <= 100000000000000000LL)
            ASSERT_EQ(v, want) << s;
        else  // past 10^17 it only stays past it
            ASSERT_TRUE(want < 0 ? v < -100000000000000000LL : v > 100000000000000000LL) << s;
        ASSERT_EQ(end, want_end) << s;
    }
}
