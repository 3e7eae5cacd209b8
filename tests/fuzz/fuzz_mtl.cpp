// The material library reader on the fuzzer's bytes, for coloured maps and
// both senses of transparency maps: every name a whole token, the first of
// a name found by the look-up, a failed reading leaving the list as it was,
// and the same bytes compressed reading alike.
#include <cstring>
#include <string>
#include <vector>

#include "job/mtl.h"
#include "tests/fuzz/fuzzutil.h"

namespace {

struct reading {
    int ok;
    std::vector<std::string> names;
    std::vector<unsigned> colours;
    std::string text;  // of the failure
    bool operator==(const reading& o) const
    {
        return ok == o.ok && names == o.names && colours == o.colours && text == o.text;
    }
};

// Reads file after one material already in the list, which must stay.
reading readas(const std::string& file, cr2key key, int tb)
{
    MaterialList L = nomaterials();
    if (addmaterial(&L, "before", 6, pal3(1, 2, 3)) != 0) fail("addmaterial");
    failure why;
    nofailure(&why);
    reading r;
    r.ok = readMTL(&L, file.c_str(), key, tb, &why);
    if (r.ok != 0 && r.ok != 1) fail("readMTL gave %d", r.ok);
    if (!r.ok && !why.title[0] && !why.text[0]) fail("a failure without its reason");
    if (!r.ok && L.nm != 1) fail("a failed reading left %d materials", L.nm - 1);
    if (L.nm < 1 || std::strcmp(materialname(&L, 0), "before") || L.m[0].col.red != 1) fail("the list lost its own");
    r.text = r.ok ? "" : why.text;
    for (int k = 1; k < L.nm; k++) {
        const char* s = materialname(&L, k);
        for (const char* c = s; *c; c++)
            if ((unsigned char)*c <= 32) fail("material %d: a separator in its name", k);
        const int found = findmaterial(&L, s);
        if (found < 0 || found > k || std::strcmp(materialname(&L, found), s)) fail("material %d not found", k);
        for (int j = 0; j < found; j++)
            if (!std::strcmp(materialname(&L, j), s)) fail("material %d: not the first of its name", k);
        r.names.push_back(s);
        r.colours.push_back(L.m[k].col.red << 16 | L.m[k].col.green << 8 | L.m[k].col.blue);
        if (key == KEY_TMAX && (L.m[k].col.red != L.m[k].col.green || L.m[k].col.red != L.m[k].col.blue))
            fail("material %d: a transparency that is no grey", k);
    }
    freematerials(&L);
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string file = putfile("f.mtl", data, size);
    const bool marked = gzipmarked(data, size);
    const std::string packed = gzipbytes(data, size);
    const std::string gz = putfile("f.mtl.gz", (const uint8_t*)packed.data(), packed.size());
    const cr2key keys[3] = {KEY_KDCOLOR, KEY_TMAX, KEY_TMAX};
    const int senses[3] = {0, 0, 1};
    reading first;
    for (int i = 0; i < 3; i++) {
        reading r = readas(file, keys[i], senses[i]);
        if (!marked && !(r == readas(gz, keys[i], senses[i]))) fail("compressed, it reads otherwise");
        if (i == 0) first = r;
        // A reading that fails on one map's key may not on the other's.
        else if (r.ok && first.ok && r.names != first.names) fail("the map kind changes the materials");
    }
    cleardir();
    return 0;
}
