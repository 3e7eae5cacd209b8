// Encoding an image as .PNG bytes, compressed on several threads and
// streamed to a sink.
#pragma once
#include "port/failure.h"
#include "raster/image.h"
#include "raster/sink.h"

enum pngkind { PNG_RGB, PNG_GREY };   // 8-bit RGB, or 8-bit grey (the maps of greys)

// Encodes the 24-bit image I as PNG into out. kind PNG_GREY takes each pixel's
// grey from one channel (the caller only asks it of maps whose pixels are grey).
// alpha: null for none; else I.X * I.Y bytes, row by row from the top of the
// picture, 0 = transparent, anything else = opaque (then RGBA, or grey+alpha).
// threads: how many threads may compress (1 or more); the bytes written do
// not depend on it. 1 when every byte went out, 0 when the sink refused or
// memory ran out (nothing more is written then), or when I has no pixels.
// out.put is called from the compressing threads, one call at a time, with
// the bytes in file order.
int pngencode(const image& I, pngkind kind, const unsigned char* alpha, int threads, bytesink out);

// Writes I to the file f as PNG (as pngencode, on every core), replacing
// it only once the new file is complete. 1 on success; 0 with the reason in
// *why when it cannot be opened or written.
// replace: the file at f may be replaced (else only a new file is made).
int pngwrite(const char* f, const image& I, pngkind kind, const unsigned char* alpha, failure* why,
             bool replace = true);
