// Finishing a painted map: a margin of four pixels, white rims round dark
// areas, and turning the map upside down. flags is the map's painted-pixel
// flags, one byte per pixel, row by row from the top.
#pragma once
#include <cstddef>

#include "raster/image.h"

enum {
    MARGINPASSES = 4,   // the margin grows one pixel per pass
    WHITEEDGE = 100,    // rims go round pixels darker than this (b + g + r)
};

// Bytes of scratch (work below) that the margin and white edges of an n x n
// map need; had once per run, before the maps are painted.
size_t finishworksize(int n);
// Grows every painted area (flag 1) of the n x n map J by four pixels, one
// per pass, up, down, left and right; an empty pixel takes the colour of its
// painted neighbour to the right, else left, else below, else above. Flags
// are 0 or 1 on entry and on return.
void addmargin(image* J, unsigned char* flags, int n, void* work);
// Every empty pixel (flag 0) next to a flagged pixel (flag 1) darker than
// WHITEEDGE turns white; flags are unchanged.
void addwhiteedges(image* J, const unsigned char* flags, int n, void* work);
// Swaps row i with row n - 1 - i.
void invertmap(image* J, int n);
// Turns the flags of the finished n x n map J into its opacity, row by row
// from the top: 255 where anything was painted (a flagged pixel, or one not
// black: outlines, rims), 0 elsewhere. inverted: the map was turned after
// its flags were made.
void makealpha(const image* J, unsigned char* flags, int n, bool inverted);
