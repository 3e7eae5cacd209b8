// The record of one make-texture-map run: the answers, the file names, the
// map and the run's working objects. `file` (job.h), `used` (raster/image.h)
// and `OB` are program-wide and belong to the run as well.
#pragma once
#include "job/cr2.h"
#include "mesh/mesh.h"
#include "raster/image.h"
#include "shell/prompts.h"

extern mesh* OB;  // the run's mesh, null outside the reading and painting

enum {  // map kinds: the answer codes of the three-way question
    MAP_COLOURED = ANSWER_YES,
    MAP_MESH = ANSWER_NO,
    MAP_TRANSPARENCY = ANSWER_CANCEL,
};

// A map's part of a per-material file name: a 31-character material name,
// "_" and up to 5 digits when it repeats an earlier map's, and the NUL.
enum { PARTSIZE = 31 + 6 + 1 };
// out + "_" + that part + ".bmp"
enum { FNSIZE = PATHSIZE + 1 + PARTSIZE - 1 + 4 };

struct TextureJob {
    char out[PATHSIZE];    // output .BMP name; empty for a check-only run
    char cr2[PATHSIZE];    // the .CR2 file; not asked for a mesh map
    char fn[FNSIZE];       // the file the current map goes to
    unsigned char colmap;  // map kind, MAP_*; coloured in a check-only run
    unsigned char sepm;    // 1: one map per mesh material
    unsigned char tb;      // 1: black is transparent (transparency maps)
    unsigned char inv;     // 1: turn the map upside down
    int n;                 // the map is n x n pixels; 16 in a check-only run
    int nmat;              // maps to make: 1, or the mesh's materials with sepm
    int M;                 // the map being made, 0 to nmat - 1
    image J;               // the map; empty until the mesh has passed its checks
    pal3 white, black;     // outlines and rims; background
    MaterialList list;     // the .CR2 materials
    void* work;            // scratch of margin and white edges (filled maps), or null
    char (*parts)[PARTSIZE];  // with several maps: each map's part of its file name, or null
};

// Start values of a run: nmat 1, no material buffers, J empty, no answers.
void startjob(TextureJob* T);
