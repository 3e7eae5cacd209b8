// The margin and white edges written step by step from their rules, sweep
// by sweep: the yardstick of the fast versions in job/finish.cpp.
#pragma once
#include "raster/image.h"

void refmargin(image* J, unsigned char* flags, int n);
void refwhiteedges(image* J, const unsigned char* flags, int n);
