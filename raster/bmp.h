// Writing an image as an uncompressed 24-bit .BMP file.
#pragma once
#include "port/failure.h"
#include "raster/image.h"

// Writes I to the file f, replacing it only once the new file is complete,
// and only when replace (see outopen). 1 on success; 0 with the reason in
// *why when it cannot be opened or written.
int bmpwrite(const char* f, const image& I, failure* why, bool replace = true);
