// Where an encoder's bytes go: a file being written, a buffer in a test.
#pragma once
#include <cstddef>

struct bytesink {
    void* ctx;
    // Takes the n bytes at p; 1 when all were taken, 0 when they could not
    // be (the encoder then stops and returns 0).
    int (*put)(void* ctx, const unsigned char* p, size_t n);
};
