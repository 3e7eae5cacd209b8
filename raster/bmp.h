// Writing an image as an uncompressed .BMP file.
#pragma once
#include "raster/image.h"

// Writes I to the file f (replacing it only once the new file is complete).
// 1 on success; 0 after a warning captioned with f when it cannot be opened
// or written.
int bmpwrite(const char* f, const image& I);
