// The materials of a Poser figure (.cr2) and of Poser's other files that
// hold `material` blocks (.mc6, .mt5, .pz2, .hr2, .pp2 ...), compressed or
// not: names in file order, each with the colour of its KdColor line
// (coloured maps) or the grey of its tMax line (transparency maps).
#pragma once
#include "job/materials.h"
#include "mesh/types.h"
#include "port/prompts.h"

enum {
    MAXMATERIALS = 256, // a file may hold this many materials
    MATNAME = 63,       // longest name kept
};

enum cr2key {           // the key whose values give the materials' colours
    KEY_KDCOLOR,        // KdColor r g b: coloured maps
    KEY_TMAX,           // tMax t: transparency maps, as greys
};

enum cr2outcome {       // what readCR2 came to
    CR2_STOPPED = 0,    // not opened, unreadable, damaged or no memory: warned, nothing held
    CR2_READ = 1,       // the list is filled
    CR2_TOOMANY = -1,   // a 257th material: warned; the list holds buffers to free
};

// Reads the file cr2 into L (which holds no buffers on entry), the colours
// from key; tb = 1 turns tMax t into 1 - t. A material without the key's
// line is white. Titles wn.
int readCR2(window wn, MaterialList* L, const char* cr2, cr2key key, int tb);
// A .CR2 value (0 to 1) as a byte: 256 x v cut toward zero, held to 0..255
// (negatives and nan give 0).
unsigned char colourbyte(double v);
