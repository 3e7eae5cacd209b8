#include "raster/replace.h"

#include <cstdio>

// rename replaces an existing target in one step.
int replacefile(const char* from, const char* to) { return std::rename(from, to) == 0; }
