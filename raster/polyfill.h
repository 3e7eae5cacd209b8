// Faces filled as the polygons they are: a scan down the rows with a list of
// the edges each row meets, painting by the triangles' rule (fill_plain.h)
// applied to the face's own edges. Also the shape of a face's corners, which
// tells whether the fan of triangles round its first corner paints it right.
#pragma once
#include <cstddef>
#include "raster/image.h"

// What the corners of a face make, scaled to the map as the painting scales
// them (u x width, v x height, in float).
enum {
    POLY_CONVEX,     // turns all one way (or none, all in a line), winding once
    POLY_CONCAVE,    // turns both ways, no two edges meeting
    POLY_CROSSING,   // two edges cross or touch, other than neighbours at their
                     // shared corner; or it winds round more than once
    POLY_NONFINITE,  // a corner scales to infinity or NaN
};

// Working room of the polygon painting, grown as faces need it and kept
// from face to face. Start it zeroed; release it with freepolyroom.
struct polyroom {
    const xy** corners; int ncorners_;  // a face's corners, gathered by the caller
    void* work;  size_t work_;          // the painting's edges and lists, bytes
};

// Makes room for n corners in R->corners; false when it cannot be had.
bool roomforcorners(polyroom* R, int n);
// Releases what R holds and zeroes it; a zeroed R is fine.
void freepolyroom(polyroom* R);

// The shape of the n corners (none null) on a width x height map. With R
// null no edges are paired up: a crossing the turns give away (a pentagram
// winds twice) is found, any other reports POLY_CONCAVE. -1 when R's room
// cannot be had.
int polygonshape(const xy* const* corners, int n, int width, int height, polyroom* R);

// True when the quad a-b-c-d turns strictly one way round at every
// corner: convex, as polygonshape finds it, at a fraction of the cost (most
// faces are such quads).
bool convexquad(const xy* a, const xy* b, const xy* c, const xy* d, int width, int height);

// Fills the polygon of the n corners (none null) with col, flagging every
// pixel painted (flags[y * X + i] = 1); rows from to `to` only. A pixel is
// painted when its point lies on an edge or where the edges wind round it
// (non-zero winding: a pentagram is a solid star). Each row crosses each
// edge where the triangles' rule crosses it. Nothing is painted for a corner
// that scales to infinity or NaN, nor for a face with no height (all its
// corners on one v), as for such a triangle. False, painting nothing, when
// R's room cannot be had.
bool fillpolygon(image* I, unsigned char* flags, const xy* const* corners, int n, pal3 col, int from, int to,
                 polyroom* R);
