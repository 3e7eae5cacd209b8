// The UV check: what a mesh's texture layout holds that a map maker wants to
// know (degenerate, flipped and stray faces, overlapping pixels, coverage,
// texel density), its text and JSON reports, the exit status a pipeline
// acts on, and the check picture.
#pragma once
#include "job/tiles.h"
#include "mesh/mesh.h"
#include "raster/image.h"
#include "raster/sink.h"

// Kinds of finding; a set of kinds has bit 1 << k for kind k.
enum uvkind {
    UV_DEGENERATE,  // no area in texture space, under 3 corners, or a corner without a texture coordinate
    UV_FLIPPED,     // negative area in texture space (u right, v up): mirrored against its corner order
    UV_STRAY,       // a corner outside 0..1
    UV_CROSSING,    // spans more than one UDIM tile
    UV_OFFUDIM,     // reaches beyond the UDIM range: u < 0, u > 10, v < 0, v > 100
    UV_FOLDS,       // on a pixel that several faces cover, all of one island
    UV_OVERLAPS,    // on a pixel that faces of several islands cover
    UV_KINDS
};

enum uvwhy {        // why a face is degenerate, first reason that applies
    UVD_NONE,
    UVD_CORNERS,    // fewer than 3 corners
    UVD_NOTEXTURE,  // a corner without a texture coordinate
    UVD_NONFINITE,  // a texture coordinate that is no finite number, or beyond +-1e30
    UVD_ZEROAREA,   // no area in texture space
};

enum {
    UV_LISTED = 20,     // faces listed per kind
    UV_TILECOLUMNS = TILEROW,
    UV_TILEROWS = VTILES,  // tiles 1001 to 2000
};

struct uvface {         // a face listed under a kind
    int face;           // index into mesh::fac
    long long line;     // its line in the .OBJ file; 0 until uvlines finds it
    unsigned char why;  // uvwhy, for degenerate faces; else UVD_NONE
};

struct uvlist {         // the faces of one kind, over the whole mesh
    int count;          // faces of the kind
    int nlisted;        // the first of them in file order, at most UV_LISTED
    uvface listed[UV_LISTED];
};

struct uvdensity {      // texture pixels per unit of mesh length, per face
    int faces;          // faces measured
    int skipped;        // faces left out: no 3-D area or no texture area
    double min, p5, median, p95, max;  // nearest rank: the ceil(p x faces)-th smallest
    double spread;      // p95 / p5; 0 when no face was measured
};

struct uvblock {        // the whole mesh on one map, or a material's faces on a map of their own
    int faces;
    long long triangles;   // k - 2 for a face of k >= 3 corners
    int islands;           // islands its faces belong to
    int tiles;             // UDIM tiles its faces reach into, degenerate ones left out
    int degenerate, flipped, stray, crossing, offudim;  // faces of each kind
    int overlapfaces;      // faces sharing a pixel with another of the block's faces
    long long covered;     // pixels covered, all tiles
    long long overlap;     // pixels covered by two faces or more
    long long between;     // of these, pixels whose faces come from two islands or more
    uvdensity density;
};

struct uvtile {         // one UDIM tile that faces reach into
    int tile;           // 1001 + column + 10 x row
    int faces;          // faces reaching into it, degenerate ones left out
    long long covered, overlap, between;  // pixels, as in uvblock
};

struct uvreport {
    int n;                       // map size the pixels were counted at
    uvblock all;                 // the whole mesh
    uvblock* mats;   int nmat;   // one per mesh material, in the mesh's order
    uvtile* tiles;   int ntiles; // tiles reached, ascending
    int nislands;                // islands of the whole mesh
    uvlist lists[UV_KINDS];      // whole mesh; folds and overlaps count faces on such pixels
    unsigned char* kinds; int nf;  // per face: bit 1 << k for each kind k it has
    int* island;                 // per face: its island, 0 to nislands - 1; -1 without texture coordinates
};

// Analyses the faces of m at map size n (1 to MAXSIDE) into r, which is
// emptied first. 1 when done; 0 when memory ran out (r is left empty).
int uvcheck(const mesh* m, int n, uvreport* r);
// Releases what r holds and empties it; null-safe, and safe on an empty r.
void freeuvreport(uvreport* r);
// Finds the lines of the listed faces in file, the .OBJ file the mesh was
// read from (alone, not appended to another); 1 when all were found, 0
// when the file could not be read again or no longer holds them.
int uvlines(uvreport* r, const char* file);

// The text report: a block for the whole mesh, one per material, the tiles
// and the listed faces. name heads it. 1 when the sink took every byte.
int writetextreport(const uvreport* r, const mesh* m, const char* name, bytesink* out);
// The JSON report, schema "uvpaint-report/1" (docs/report.md). 1 when the
// sink took every byte.
int writejsonreport(const uvreport* r, const mesh* m, const char* name, bytesink* out);

// The name of kind k ("degenerate", "flipped", "stray", "crossing",
// "offudim", "folds", "overlaps"); null when there is none.
const char* uvkindname(int k);
// Reads a comma-separated list of kind names into *kinds (a set); an empty
// list is the empty set. 1 when every name is known; else 0 with a message
// in msg (size bytes, always ended) naming the one not known.
int parsekinds(const char* s, unsigned* kinds, char* msg, int size);
// The kinds r has found: of the whole map, or with permaterial each
// material on a map of its own (folds and overlaps then count within
// materials only).
unsigned foundkinds(const uvreport* r, int permaterial);
// The exit status: 0 when every kind found is in allowed, else 1.
int uvstatus(const uvreport* r, unsigned allowed, int permaterial);

// Paints the check picture of tile `tile` (1001 for 0..1) into J, n x n
// and 24 bits, as the maps are mapped (u x n, v x n in float, v = 0 on
// the top row): faces grey, pixels of several faces red, flipped faces
// blue, stray, crossing and off-UDIM faces orange, outlines white, a yellow
// cross at the middle of each degenerate face's corners. Material M's faces
// alone (as on a map of their own), or all with M = -1. Pixels it paints
// are set to 1 in flags (n x n, may be null); the others stay as they were.
// r comes from uvcheck on m. 1 when painted, 0 when memory ran out.
int paintcheck(image* J, unsigned char* flags, const mesh* m, int n, const uvreport* r, int M, int tile = 1001);

