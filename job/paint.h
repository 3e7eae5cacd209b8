// Painting the faces of one map: filled in their material colours, or
// outlined in white.
#pragma once
#include "job/state.h"

// Makes J an n x n map of 24 bits; false when its pixels cannot be had.
bool setupmap(TextureJob* T);
// Every pixel of J black and every flag of T->used 0.
void clearmap(TextureJob* T);
// True when face f belongs on map M (all faces when there is one map) and,
// with tiles, touches the map's tile.
bool onmap(const TextureJob* T, const Face& f);
// Fills the faces of map M of T->OB in their materials' colours; flags what
// it paints. Triangles and convex faces are fans of triangles round their
// first corner, other faces (and convex ones of very many corners) polygons
// scanned row by row. The bands of rows painted on each core follow
// knobs.paint_bands when it is set.
void paintfilled(TextureJob* T);
// Outlines the faces of map M of T->OB in white; flags nothing.
void paintoutline(TextureJob* T);
// One outline edge from texture point s to t on the n x n image J; only
// its pixels on rows from to `to`.
void drawedge(image* J, int n, const xy& s, const xy& t, pal3 colour, int from = 0, int to = MAXSIDE);
