// Reads that keep the failure the reader gives back.
#include "tests/mesh/failures.h"

int failures::read(mesh& m, const std::string& file)
{
    failure why;
    int r = m.readOBJ(file.c_str(), &why);
    if (!r && why.title[0]) boxes.push_back({why.text, why.title});
    return r;
}

int failures::count(const std::string& file, int* n)
{
    failure why;
    nofailure(&why);
    int r = countOBJ(file.c_str(), &n[0], &n[1], &n[2], &n[3], &n[4], &n[5], &why);
    if (!r && why.title[0]) boxes.push_back({why.text, why.title});
    return r;
}
