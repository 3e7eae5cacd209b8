// Writing an image as an uncompressed .BMP file.
#pragma once
#include <cstddef>
#include "raster/image.h"

// Writes I to the file f (replacing it only once the new file is complete).
// 1 on success; 0 after a warning captioned with f when it cannot be opened
// or written.
int bmpwrite(const char* f, const image& I);

// Largest single write of the pixel block; tests shrink it to walk the loop.
extern size_t bmpchunk;
// Test seam: when n > 0, step n of the next bmpwrite fails as a full disk
// would (the steps: each write, then the close, then the replace). Back to 0
// once that write is over.
extern int bmpfailstep;
