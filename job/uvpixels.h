// The pixel pass of the UV check: the faces reaching into one UDIM tile
// rasterised at pixel centres under the top-left rule, in bands of rows on
// every core, counting what covers each pixel, and painting the check
// picture when asked.
#pragma once
#include "mesh/mesh.h"
#include "raster/image.h"

enum {                 // per-face marks the pass sets
    MARK_SHARED = 1,   // shares a pixel with another face
    MARK_OWN = 2,      // shares a pixel with another face of its material
    MARK_FOLD = 4,     // on a pixel of several faces, all of its island
    MARK_BETWEEN = 8,  // on a pixel with faces of another island
};

struct pixelcounts {
    long long covered;  // pixels covered
    long long overlap;  // of them, covered by two faces or more
    long long between;  // of these, with faces of two islands or more
};

struct pixelpass {
    const mesh* m;
    int n;                      // the tile is n x n pixels
    int column, row;            // the tile: 1001 + column + 10 x row
    const int* faces; int nfaces;  // the faces reaching into it, each material's together
    const unsigned char* kinds; // per face, bits 1 << uvkind; degenerate faces are not filled
    const int* island;          // per face
    unsigned char* marks;       // per face, MARK_*; set with atomic ORs
    pixelcounts tile;           // what the pass counted on the tile
    pixelcounts* mats;          // the same per material, each on its own; null: not kept
    image* J;                   // the check picture, or null: count only
    unsigned char* flags;       // pixels painted on J, or null
};

// Runs the pass; 1 when done, 0 when memory ran out.
int runpixels(pixelpass* p);

// Scaled texture coordinate: v x n in float, as the maps scale it, less
// the tile's offset in pixels.
inline double scaledpx(float v, int n, int tileoffset) { return (double)(v * (float)n) - (double)tileoffset * n; }
