// The painting rule done plainly: every crossing computed afresh in double,
// every pixel stored on its own. Targets without SSE2 paint with it, the
// fast painting hands it the triangles it does not step, and the tests hold
// the two side by side.
#pragma once
#include "raster/image.h"

// SSE2 is there on every x86-64, and on 32-bit x86 built with -msse2.
#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define FILL_SSE2 1
#else
#define FILL_SSE2 0
#endif

// Fills the triangle A, B, C (texture units) of the 24-bit image I with
// col, setting flags[y * X + i] to 1 for each pixel painted; rows from to
// `to` only.
void fillplain(image* I, unsigned char* flags, xy A, xy B, xy C, pal3 col, int from = 0, int to = MAXSIDE);
// Paints row y of the triangle as fillplain does: by the part above
// its middle corner (edges a-b and a-c of the corners sorted by v), or
// below it (b-c and a-c).
void rowplain(image* I, unsigned char* flags, xy A, xy B, xy C, int y, bool below, pal3 col);
// Paints row y of I from column x1 to x2 (either may be the smaller),
// clipped to the image, and flags each pixel painted.
void spanplain(image* I, unsigned char* flags, double x1, double x2, int y, pal3 col);
