// Eight bytes at a time: the word tricks of the reader and the number
// parsers. A word is 8 bytes loaded from text, first byte lowest, so every
// caller must have 7 readable bytes past the text it looks at.
#pragma once
#include <cstdint>
#include <cstring>

#if !defined(__BYTE_ORDER__) || __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the word tricks assume little-endian bytes"
#endif

namespace words {

const uint64_t ONES = 0x0101010101010101ULL;
const uint64_t HIGH = 0x8080808080808080ULL;  // the top bit of every byte
const uint64_t LOW7 = 0x7f7f7f7f7f7f7f7fULL;

inline uint64_t load(const char* p)
{
    uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
}

// Top bit set in each byte of w that is a token byte (33 to 255). The sums
// stay inside their bytes, so no byte disturbs the next.
inline uint64_t tokens(uint64_t w) { return (((w & LOW7) + 0x5f * ONES) | w) & HIGH; }

// Top bit set in each byte of w that is a digit '0' to '9'.
inline uint64_t digits(uint64_t w)
{
    uint64_t lo = w & LOW7;
    return (lo + 0x50 * ONES) & ~(lo + 0x46 * ONES) & ~w & HIGH;
}

// Top bit set in each byte of w that equals c.
inline uint64_t equal(uint64_t w, char c)
{
    uint64_t y = w ^ ((unsigned char)c * ONES);
    return ~(((y & LOW7) + LOW7) | y) & HIGH;
}

// The top bits of the bytes of m (only top bits set) as 8 bits, byte k at bit k.
inline unsigned gather(uint64_t m) { return (unsigned)((m * 0x0002040810204081ULL) >> 56); }

// Number of set bits of b.
inline int popcount(uint64_t b)
{
    b -= (b >> 1) & 0x5555555555555555ULL;
    b = (b & 0x3333333333333333ULL) + ((b >> 2) & 0x3333333333333333ULL);
    b = (b + (b >> 4)) & 0x0f0f0f0f0f0f0f0fULL;
    return (int)((b * ONES) >> 56);
}

// How many bytes of w come before the first byte marked in m (8 for none).
inline int before(uint64_t m) { return m ? __builtin_ctzll(m) >> 3 : 8; }

// Number of marked bytes of m (only top bits set).
inline int count(uint64_t m) { return (int)(((m >> 7) * ONES) >> 56); }

// The value of the 8 decimal digits of w, w holding digit values 0 to 9 with
// the most significant digit in the lowest byte.
inline uint32_t eightdigits(uint64_t w)
{
    w = w * 10 + (w >> 8);
    const uint64_t mask = 0x000000FF000000FFULL;
    w = ((w & mask) * (100 + (1000000ULL << 32)) + ((w >> 16) & mask) * (1 + (10000ULL << 32))) >> 32;
    return (uint32_t)w;
}

// The value of the first n (1 to 8) bytes of w, which are digits.
inline uint32_t leadingdigits(uint64_t w, int n)
{
    return eightdigits((w - '0' * ONES) << (8 * (8 - n)));
}

}  // namespace words
