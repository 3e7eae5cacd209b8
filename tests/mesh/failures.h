// The failures the reader gives back, kept in order as the boxes the run
// would show, for tests of reading.
#pragma once
#include "mesh/mesh.h"

#include <string>
#include <vector>

struct shownbox {
    std::string text;
    std::string title;
};

struct failures {
    std::vector<shownbox> boxes;
    // m.readOBJ(file), keeping its failure when it gives one.
    int read(mesh& m, const std::string& file);
    // countOBJ of file into n[0..5], keeping its failure.
    int count(const std::string& file, int* n);
};
