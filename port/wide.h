// Names between UTF-8, as the program holds them, and UTF-16, as Windows
// takes them. Any UTF-16 string, unpaired surrogates too, comes back as it
// went (their UTF-8 form is WTF-8), so no file name turns into another on
// the way. Plain code, built and tested on every platform.
#pragma once

// The UTF-16 string of the UTF-8 string s, into out (room for cap units,
// NUL included). A byte that begins no valid sequence (a name read from an
// old file in an 8-bit code page) stands for high[byte - 128], or for the
// Latin-1 letter of that byte when high is null. The units written, NUL
// left out; -1 when they do not fit.
int toutf16(const char* s, char16_t* out, int cap, const char16_t* high = nullptr);
// The UTF-8 (WTF-8) string of the first n units of s, or of all up to its
// NUL when n < 0, into out (room for cap bytes, NUL included). The bytes
// written, NUL left out; -1 when they do not fit.
int toutf8(const char16_t* s, int n, char* out, int cap);
