// What the fuzz targets share: a private temporary folder per process, the
// fuzzer's bytes written to a file there, and prompts that answer nothing
// and show nothing.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The process's temporary folder, made on first use and removed at exit.
const std::string& fuzzdir();
// Writes n bytes to name in fuzzdir(); returns the full path. Aborts when
// the file cannot be written: a full disk must not look like a finding.
std::string putfile(const char* name, const uint8_t* data, size_t n);
// The names of the files in fuzzdir(), sorted.
std::vector<std::string> listdir();
// Empties fuzzdir().
void cleardir();
// The prompts of every target answer no / cancel and show nothing (set up
// by LLVMFuzzerInitialize, in fuzzutil.cpp); the boxes they were asked to show.
extern int boxesshown;
// Stops the process with a message: the finding of a check.
[[noreturn]] void fail(const char* fmt, ...);
// True when data starts with the gzip mark, so the program inflates it.
inline bool gzipmarked(const uint8_t* data, size_t n) { return n >= 2 && data[0] == 0x1F && data[1] == 0x8B; }
// data as one gzip member (zlib, level 1); aborts when zlib fails.
std::string gzipbytes(const uint8_t* data, size_t n);
// The inflated bytes of a gzip file's members, as zcat gives them, into
// *out: 1 when whole, 0 when the data is damaged (cut short, corrupt), -1
// when it inflates to more than most bytes (the checks pass it over).
int gunzipbytes(const uint8_t* data, size_t n, size_t most, std::string* out);
