// Pairing the .CR2 materials with the mesh's by name.
#pragma once
#include "job/cr2.h"
#include "mesh/mesh.h"

// Gives each mesh material the colour of the first .CR2 material of the same
// name (exact bytes) and sets the pairing flags of both sides; then lists the
// unpaired names of the .CR2 side and of the mesh side, each in its own
// warning. Titles wn. Returns the number of names listed.
int matchmaterials(window wn, mesh* m, MaterialList* L);
