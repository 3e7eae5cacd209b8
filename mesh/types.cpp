#include "mesh/types.h"

// Blue, green, red; entry 6 is dark yellow (170,170,0), not brown, and the
// bright entries use only 0 and 255.
const unsigned char STDCOLS[48] = {
    0,   0,   0,    // black
    170, 0,   0,    // dark blue
    0,   170, 0,    // dark green
    170, 170, 0,    // dark cyan
    0,   0,   170,  // dark red
    170, 0,   170,  // dark magenta
    0,   170, 170,  // dark yellow
    170, 170, 170,  // light grey
    85,  85,  85,   // dark grey
    255, 0,   0,    // blue
    0,   255, 0,    // green
    255, 255, 0,    // cyan
    0,   0,   255,  // red
    255, 0,   255,  // magenta
    0,   255, 255,  // yellow
    255, 255, 255,  // white
};
