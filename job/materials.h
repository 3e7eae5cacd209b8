// The materials a figure or a material library gives: names in file order,
// each with the colour or grey the map paints it in, and the look-up by name
// that pairs them with the mesh's materials. Either reader fills it.
#pragma once
#include <cstddef>

#include "mesh/types.h"
#include "port/names.h"

struct material {
    size_t name;          // its NUL-ended name, at this offset in MaterialList::text
    pal3 col;             // colour (coloured maps) or grey (transparency maps)
    bool paired;          // a mesh material took its colour
};

struct MaterialList {
    material* m;  int nm;        int nm_;     // the materials, in file order
    char* text;   size_t ntext;  size_t ntext_;  // their names, one after another
    nameindex names;  // hashed for findmaterial; made by the first look-up
};

// An empty list, holding no buffers.
inline MaterialList nomaterials() { return MaterialList{nullptr, 0, 0, nullptr, 0, 0, nameindex{}}; }
// Adds a material named by the n bytes at s, of colour col; its index, or
// -1 when there is no memory.
int addmaterial(MaterialList* L, const char* s, size_t n, pal3 col);
// The name of material k.
inline const char* materialname(const MaterialList* L, int k) { return L->text + L->m[k].name; }
// The first material named s (exact bytes), or -1.
int findmaterial(MaterialList* L, const char* s);
// Releases whatever buffers L holds and empties it; safe on an empty list.
void freematerials(MaterialList* L);
