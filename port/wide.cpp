// UTF-8 (WTF-8) to UTF-16 and back.
#include "port/wide.h"

namespace {

// The code point of the valid sequence at s and its length in *len; -1 for
// a byte that begins none. Surrogates are taken one by one (WTF-8), so an
// unpaired one read from UTF-16 comes back.
long decode(const unsigned char* s, int* len)
{
    const unsigned c = s[0];
    int n;
    long v, least;
    if (c < 0x80) {
        *len = 1;
        return c;
    }
    if (c >= 0xC2 && c <= 0xDF) n = 2, v = c & 0x1F, least = 0x80;
    else if (c >= 0xE0 && c <= 0xEF) n = 3, v = c & 0x0F, least = 0x800;
    else if (c >= 0xF0 && c <= 0xF4) n = 4, v = c & 0x07, least = 0x10000;
    else return -1;
    for (int i = 1; i < n; i++) {
        if ((s[i] & 0xC0) != 0x80) return -1;  // a NUL ends it here too
        v = v << 6 | (s[i] & 0x3F);
    }
    if (v < least || v > 0x10FFFF) return -1;  // overlong, or beyond Unicode
    *len = n;
    return v;
}

}  // namespace

int toutf16(const char* s, char16_t* out, int cap, const char16_t* high)
{
    const unsigned char* p = (const unsigned char*)s;
    int k = 0;
    while (*p) {
        int len = 1;
        long v = decode(p, &len);
        if (v < 0) v = high ? high[*p - 128] : *p;
        p += len;
        if (v >= 0x10000) {
            if (k + 2 >= cap) return -1;
            v -= 0x10000;
            out[k++] = (char16_t)(0xD800 | (v >> 10));
            out[k++] = (char16_t)(0xDC00 | (v & 0x3FF));
        } else {
            if (k + 1 >= cap) return -1;
            out[k++] = (char16_t)v;
        }
    }
    if (k >= cap) return -1;
    out[k] = 0;
    return k;
}

int toutf8(const char16_t* s, int n, char* out, int cap)
{
    int k = 0;
    for (int i = 0; n < 0 ? s[i] != 0 : i < n; i++) {
        unsigned long v = s[i];
        // A pair makes one code point; a surrogate alone stands for itself.
        if (v >= 0xD800 && v <= 0xDBFF && (n < 0 || i + 1 < n) && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF)
            v = 0x10000 + ((v - 0xD800) << 10) + (s[++i] - 0xDC00);
        unsigned char b[4];
        int len;
        if (v < 0x80) b[0] = (unsigned char)v, len = 1;
        else if (v < 0x800) b[0] = (unsigned char)(0xC0 | v >> 6), len = 2;
        else if (v < 0x10000) b[0] = (unsigned char)(0xE0 | v >> 12), len = 3;
        else b[0] = (unsigned char)(0xF0 | v >> 18), len = 4;
        for (int j = 1; j < len; j++) b[j] = (unsigned char)(0x80 | ((v >> (6 * (len - 1 - j))) & 0x3F));
        if (k + len >= cap) return -1;
        for (int j = 0; j < len; j++) out[k++] = (char)b[j];
    }
    if (k >= cap) return -1;
    out[k] = 0;
    return k;
}
