// Pairing the figure's or library's materials with the mesh's by name.
#pragma once
#include "job/materials.h"
#include "mesh/mesh.h"
#include "port/prompts.h"

// Gives each mesh material the colour of the first material of L of the same
// name (exact bytes) and sets the pairing flags of both sides; then lists the
// unpaired names of L's side and of the mesh side, each in its own warning,
// which calls L's side `side` (".CR2 file", ".MTL file"). Titles wn. Returns
// the number of names listed.
int matchmaterials(window wn, mesh* m, MaterialList* L, const char* side = ".CR2 file");
