// Painting the faces of one map: filled in their material colours, or
// outlined in white.
#pragma once
#include "job/state.h"

// Makes J an n x n map of 24 bits; false when its pixels cannot be had.
bool setupmap(TextureJob* T);
// Every pixel of J black and every flag of `used` 0.
void clearmap(TextureJob* T);
// True when face f belongs on map M (all faces when there is one map).
bool onmap(const TextureJob* T, const Face& f);
// Fills the faces of map M in their materials' colours; flags what it paints.
// Triangles and convex faces are fans of triangles round their first corner,
// other faces (and convex ones of very many corners) polygons scanned row by
// row. Titles and reports to wn.
void paintfilled(window wn, TextureJob* T, const mesh* m);
// Test hook: when > 0, paintfilled and paintoutline cut the map into this
// many bands of rows (at most 32), painted by one thread per core; 0: a few
// per core, as the map and mesh allow.
extern int paint_bands;
// Outlines the faces of map M in white; flags nothing.
void paintoutline(window wn, TextureJob* T, const mesh* m);
// One outline edge from texture point s to t on the n x n image J; only
// its pixels on rows from to `to`.
void drawedge(image* J, int n, const xy& s, const xy& t, pal3 colour, int from = 0, int to = MAXSIDE);
