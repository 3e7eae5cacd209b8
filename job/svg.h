// The mesh map as an SVG picture: every face's outline in white on black,
// one group (an Inkscape layer) per material, drawn where the bitmap draws it.
#pragma once
#include "mesh/mesh.h"
#include "raster/sink.h"

// Writes the outlines of the faces of material `material` (every face when
// -1) as an n x n picture to out: a corner at n x u across and n x v down
// (n - n x v with invert), faces in file order within their material's
// group, groups in the mesh's order. A face with a non-finite texture
// coordinate is left out and counted in *leftout (when not null). du and dv
// are taken off every u and v: a UDIM tile's corner. 1 when all was
// written; 0 when out refused bytes, memory ran short, n < 1 or material is
// not one of m's.
int svgencode(const mesh* m, int n, int invert, int material, bytesink out, int* leftout = nullptr, float du = 0,
              float dv = 0);
