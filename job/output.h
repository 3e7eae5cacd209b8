// Naming and writing each map, and releasing what a run holds.
#pragma once
#include "job/state.h"

extern const char filterBMP[];  // the file dialogs' filter for .BMP names
extern const char filterMAP[];  // the output dialogs' filter: .BMP and .PNG names
extern const char devicetitle[];  // the box about a map name that is a device's

// Copies a material name into dst (room for 32 bytes) so that it can stand
// in a file name: / \ : * ? " < > | and control bytes become _, and a name
// of dots only becomes _.
void safename(char* dst, const char* name);
// Gives every map of a run of several its part of a file name: the safe name
// of its material, with "_2", "_3" ... added when that would repeat an
// earlier map's part, ignoring case, so that no map replaces another's
// file. 0 when out of memory.
int nameparts(TextureJob* T);
// The kind of file out names: .png is PNG, .svg the SVG outlines of a mesh
// map, anything else BMP.
mapformat formatof(const TextureJob* T);
// The file of map M: out itself for a single map without tiles; else the
// ".bmp", ".png" or ".svg" ending of out (or, when out has none, its end)
// gets "_" + the map's part (without nameparts, the material's safe name)
// when there are several maps, "." + the tile's number with tiles, and
// the ending again (".bmp" when out had none).
void mapfilename(TextureJob* T);
// When out exists, asks for another name or leave to replace it: 1 to go
// on (out may have changed), 0 when the user cancelled (the map is skipped).
int askexisting(TextureJob* T);
// Names and writes map M in the format of out, and confirms a single map.
// 1 when written; 0 when not written (warned: a write failed, or the name
// is a device's).
int writemap(TextureJob* T);
// Releases the material list, the mesh, the flags, the finishing scratch
// and J's pixels, each as far as it exists; safe at any point of a run.
void cleanup(TextureJob* T);
