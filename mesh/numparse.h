// Number parsing for the .OBJ reader, in place and without allocation.
// Each parser reads from s until the first byte that cannot continue the
// number, so the text must be followed by such a byte (a separator, a line
// break or a NUL), and, as it reads 8 bytes at a time, by 7 more readable
// bytes after that one.
#pragma once
#include "mesh/words.h"

#include <cfloat>
#include <cstddef>

// The decimal number at the start of s, as strtod reads it (optional sign,
// digits with an optional point, optional exponent), bit for bit equal to
// strtod on every decimal text, on every platform. Only decimal text is
// read: "inf", "nan" and hexadecimal numbers give their leading decimal text
// ("0x1p3" gives 0, "inf" gives nothing). Stores 0 and returns s when there is
// no number; else returns the end of the number.
inline const char* parsedouble(const char* s, double* v);

// The same for every shape of number; parsedouble takes the common ones
// itself and hands the others to it.
const char* parsedoubleany(const char* s, double* v);

// d narrowed to float, or 0 for NaN, infinities and values beyond the float
// range (whose narrowing would be undefined).
inline float tofloat(double d);

// The integer at the start of s (optional sign, then digits), as "%ld" reads
// it but never wrapping: a magnitude beyond 10^17 stays beyond 10^17. Returns
// the end of the number, or null (v unchanged) when s does not begin with one.
inline const char* parseint(const char* s, long long* v);

// Inline, as the reader calls them for every number of the file.

namespace numparse {
inline constexpr uint64_t IPOW10[9] = {1,      10,      100,      1000,     10000,
                                       100000, 1000000, 10000000, 100000000};
inline constexpr double POW10[9] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8};

inline int leadingdigits(uint64_t w)  // how many bytes of w are digits before a non-digit
{
    return words::before(~words::digits(w) & words::HIGH);
}

// d, which is not negative, made negative when neg: without a branch, as the
// signs of a mesh's coordinates follow no pattern.
inline double withsign(double d, bool neg)
{
    uint64_t b;
    std::memcpy(&b, &d, 8);
    b |= (uint64_t)neg << 63;
    std::memcpy(&d, &b, 8);
    return d;
}
}  // namespace numparse

inline const char* parsedouble(const char* s, double* v)
{
    // Up to 15 digits, at most 8 after the point, no exponent: the mantissa
    // and 10^f are exact doubles and one division rounds them, as strtod
    // does. The integer part is a plain byte loop (it is short); the fraction
    // is read a word at a time. Other shapes go to parsedoubleany.
    const char* p = s + (*s == '-' || *s == '+');
    const char* digits = p;
    uint64_t m = 0;  // wraps on long runs, which the length test sends on
    for (; (unsigned char)(*p - '0') < 10; p++) m = m * 10 + (uint64_t)(*p - '0');
    ptrdiff_t n = p - digits;
    if (*p == '.') {
        // the fraction's first 8 digits in one word: meshes write 6 or so
        digits = ++p;
        uint64_t w = words::load(p);
        int k = numparse::leadingdigits(w);
        if (k > 0) m = m * numparse::IPOW10[k] + words::leadingdigits(w, k);
        p += k;
        if (k == 8)
            for (; (unsigned char)(*p - '0') < 10; p++) m = m * 10 + (uint64_t)(*p - '0');
    } else {
        digits = p;
    }
    ptrdiff_t f = p - digits;
    if (n + f > 0 && n + f <= 15 && f <= 8 && (*p | 0x20) != 'e') {
        *v = numparse::withsign((double)m / numparse::POW10[f], *s == '-');
        return p;
    }
    return parsedoubleany(s, v);
}

inline float tofloat(double d) { return d >= -FLT_MAX && d <= FLT_MAX ? (float)d : 0.0f; }

inline const char* parseint(const char* s, long long* v)
{
    const char* p = s + (*s == '-' || *s == '+');
    uint64_t w = words::load(p);
    int n = numparse::leadingdigits(w);
    if (n == 0) return nullptr;
    long long k = words::leadingdigits(w, n);
    p += n;
    if (n == 8)  // past 10^17 the value only has to stay past it
        for (; (unsigned char)(*p - '0') < 10; p++)
            if (k <= 100000000000000000LL) k = k * 10 + (*p - '0');
    *v = *s == '-' ? -k : k;
    return p;
}
