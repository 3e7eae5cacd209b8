// No hint to give: blocks are backed as the system sees fit.
#include "port/bigmem.h"

#include <cstdlib>

void* bigmem_alloc(size_t n) { return std::malloc(n); }
void bigmem_advise(void*, size_t) {}
