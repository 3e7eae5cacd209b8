// Material libraries (.mtl), as exporters write them beside an .OBJ mesh:
// names in file order, each with the colour of its Kd line (coloured maps)
// or the grey of its transparency (transparency maps), converted as a
// .CR2's KdColor and tMax are. A library has no limit on its materials or
// the length of their names.
#pragma once
#include "job/cr2.h"
#include "job/materials.h"
#include "port/failure.h"

// Reads the library file (plain or compressed) and adds its materials to
// those L holds. key KEY_KDCOLOR: the colour of "Kd r g b" (or "Kd v" for
// grey), white without one; KEY_TMAX: the transparency "Tr t", or 1 - d of
// "d d" (d wins when both are given), opaque without either; tb = 1 turns
// t into 1 - t. Other lines are passed over. 1 when read; 0 with the reason
// in *why when the file cannot be opened or read, is damaged, has a bad
// line of the key ("line N is bad"), or memory runs out; L then holds what
// it held before.
int readMTL(MaterialList* L, const char* file, cr2key key, int tb, failure* why);
// True when name ends in .mtl or .mtl.gz, in either case: a library, not a
// Poser file.
bool islibraryname(const char* name);
