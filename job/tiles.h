// UDIM tiles: tile 1001 + u + 10 v holds texture space [u, u+1] x [v, v+1],
// u from 0 to 9 and v from 0. Which tiles a face touches, and the tiles of
// a run's maps.
#pragma once
#include "mesh/mesh.h"

enum {
    FIRSTTILE = 1001,
    TILEROW = 10,       // tiles across, u 0 to 9
    VTILES = 100,       // tiles up, v 0 to 99: tiles 1001 to 2000
    NTILES = TILEROW * VTILES,
};

struct tilespan {       // the tiles a face touches: u0..u1 across, v0..v1 up
    int u0, u1, v0, v1;
};

// The tiles face f touches, by its corners' bounding box: a face touches a
// tile when it reaches into it, and a face that only lies along a tile's far
// border (u or v a whole number, with no extent across it) belongs to the
// tile below. False when a corner has no texture point or is not finite.
bool facetiles(const Face& f, tilespan* s);
// True when the span lies within the tiles (u 0 to 9, v 0 to VTILES - 1).
bool intiles(const tilespan& s);
// True when a finite corner of f lies beyond texture space 0..1 in u or v.
bool beyondunit(const Face& f);
// The number of tile k (0 to NTILES - 1), 1001 + k.
inline int tilenumber(int k) { return FIRSTTILE + k; }
