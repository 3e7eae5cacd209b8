// Big blocks that are written through soon after they are made (the mesh
// arrays, the map's pixels, its flags): the one place where the program asks
// the system how to back them.
#pragma once
#include <cstddef>

// n bytes from the general-purpose allocator (std::realloc and std::free
// take them), placed and backed so that writing them all costs few page
// faults (large pages where the system has them); null when there is no room.
void* bigmem_alloc(size_t n);

// Hints that the n bytes at p will be written through soon, so the system
// may back them with large pages. Harmless on any block, of any size; does
// nothing where there is no such hint.
void bigmem_advise(void* p, size_t n);
