// Compressed fixtures for the tests of compressed input, made with zlib as
// gzip makes them.
#pragma once
#include <string>

// text as one gzip member, at the given level (0 stores, 9 packs hardest).
std::string gzipped(const std::string& text, int level = 6);
