// The record of one make-texture-map run: the answers, the file names, the
// map and the run's working objects, passed down to every stage.
#pragma once
#include "job/job.h"
#include "job/materials.h"
#include "mesh/mesh.h"
#include "port/prompts.h"
#include "raster/image.h"

enum mapkind {          // the three maps, as the kind question offers them
    MAP_COLOURED,       // faces filled in their materials' colours
    MAP_MESH,           // faces outlined in white
    MAP_TRANSPARENCY,   // faces filled in their materials' greys
    MAP_CHECK,          // the UV check as a picture
};

enum mapformat {        // the file a map goes to, by the output name's ending
    FORMAT_BMP,         // .bmp, and any name that ends otherwise
    FORMAT_PNG,         // .png
    FORMAT_SVG,         // .svg: the mesh map's outlines
};

// A map's part of a per-material file name: a 31-character material name,
// "_" and up to 5 digits when it repeats an earlier map's, and the NUL.
enum { PARTSIZE = 31 + 6 + 1 };
// out + "_" + that part + "." + a tile's number + ".bmp"
enum { FNSIZE = PATHSIZE + 1 + PARTSIZE - 1 + 5 + 4 };

struct TextureJob {
    window wn;             // the main window: owner of dialogs, shows the stage
    const char* file;      // the mesh
    char out[PATHSIZE];    // output .BMP name; empty for a check-only run
    char cr2[PATHSIZE];    // the .CR2 file; not asked for a mesh map
    char fn[FNSIZE];       // the file the current map goes to
    mapkind colmap;        // map kind; coloured in a check-only run
    unsigned char sepm;    // 1: one map per mesh material
    unsigned char tb;      // 1: black is transparent (transparency maps)
    unsigned char inv;     // 1: turn the map upside down
    int n;                 // the map is n x n pixels; 16 in a check-only run
    int nmat;              // maps to make: 1, or the mesh's materials with sepm
    int M;                 // the map being made, 0 to nmat - 1
    mesh* OB;              // the mesh, null until it is read
    image J;               // the map; empty until the mesh has passed its checks
    // Painted-pixel flags, one byte per pixel, index row * n + column: 0
    // empty, 1 painted, 2 filled in the current margin pass; or null.
    unsigned char* used;
    pal3 white, black;     // outlines and rims; background
    MaterialList list;     // the figure's or libraries' materials
    bool library;          // list comes from material libraries
    void* work;            // scratch of margin and white edges (filled maps), or null
    char (*parts)[PARTSIZE];  // with several maps: each map's part of its file name, or null
    bool nospace;          // a map was not written for lack of space: the maps stop
    bool asked;            // the existence question let out be replaced
    joboptions opt;        // what the front end asks beyond the answers
    struct uvreport* check;  // the UV check, for its report and the check picture, or null
    int tile;              // the UDIM tile of the map being made (0 for 1001), -1 without tiles
    float tu, tv;          // its corner in texture space: painted at u - tu, v - tv
};

// Start values of a run with main window wn and mesh file: nmat 1, no
// material buffers, no mesh, J empty, no answers.
void startjob(TextureJob* T, window wn, const char* file);
