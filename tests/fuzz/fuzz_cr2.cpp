// The .CR2 reader on the fuzzer's bytes, for coloured maps and for both
// senses of transparency maps. The names must come out the same whatever
// the map kind, and each must be a normalised line's rest. The same bytes
// compressed must read alike; bytes that begin with the gzip mark are
// inflated, and must read as their inflated text does, or stop with
// nothing held when they are damaged.
#include <cstring>
#include <string>
#include <vector>

#include "job/cr2.h"
#include "tests/fuzz/fuzzutil.h"

namespace {

void checknames(const MaterialList& L)
{
    if (L.nm < 0 || L.nm > MAXMATERIALS) fail("%d materials", L.nm);
    for (int k = 0; k < L.nm; k++) {
        const char* s = materialname(&L, k);
        const size_t n = std::strlen(s);
        if (n > MATNAME) fail("material %d: name of %zu bytes", k, n);
        for (size_t i = 0; i < n; i++)
            // a name cut at MATNAME characters may end in its one space
            if ((unsigned char)s[i] < 32 ||
                (s[i] == ' ' && (i == 0 || (i + 1 == n && n < MATNAME) || s[i - 1] == ' ')))
                fail("material %d: name not normalised at %zu", k, i);
    }
}

struct reading {
    int outcome;
    std::vector<std::string> names;
    std::vector<unsigned> colours;
    bool operator==(const reading& o) const
    {
        return outcome == o.outcome && names == o.names && colours == o.colours;
    }
};

reading readas(const std::string& file, cr2key key, int tb)
{
    MaterialList L = nomaterials();
    reading r;
    r.outcome = readCR2(nullptr, &L, file.c_str(), key, tb);
    if (r.outcome == CR2_STOPPED && (L.m || L.text || L.nm)) fail("a stopped reading left buffers");
    if (r.outcome != CR2_STOPPED && r.outcome != CR2_READ && r.outcome != CR2_TOOMANY) fail("outcome %d", r.outcome);
    checknames(L);
    for (int k = 0; k < L.nm; k++) {
        r.names.push_back(materialname(&L, k));
        r.colours.push_back(L.m[k].col.red << 16 | L.m[k].col.green << 8 | L.m[k].col.blue);
    }
    freematerials(&L);
    if (L.m || L.text || L.nm) fail("freematerials left buffers");
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string file = putfile("f.cr2", data, size);
    const bool marked = gzipmarked(data, size);
    std::string text;
    const int whole = marked ? gunzipbytes(data, size, 1 << 20, &text) : 1;
    if (marked && whole >= 0) {
        // Read as its inflated text reads, or stopped when damaged.
        const std::string plain = putfile("inflated.cr2", (const uint8_t*)text.data(), text.size());
        for (int i = 0; i < 2; i++) {
            reading r = readas(file, (cr2key)i, 0);
            // Stopped at the damage, or at a 257th material before it.
            if (!whole && r.outcome == CR2_READ) fail("damaged data was read");
            if (whole && !(r == readas(plain, (cr2key)i, 0))) fail("inflated, it reads otherwise");
        }
    }
    if (marked) {
        cleardir();
        return 0;
    }
    const std::string packed = gzipbytes(data, size);
    const std::string crz = putfile("f.crz", (const uint8_t*)packed.data(), packed.size());
    reading first;
    const cr2key keys[3] = {KEY_KDCOLOR, KEY_TMAX, KEY_TMAX};
    const int senses[3] = {0, 0, 1};
    for (int i = 0; i < 3; i++) {
        reading r = readas(file, keys[i], senses[i]);
        if (r.outcome == CR2_STOPPED) fail("a readable file stopped the reader");
        if (!(r == readas(crz, keys[i], senses[i]))) fail("compressed, it reads otherwise");
        if (i == 0) {
            first = r;
            continue;
        }
        if (r.outcome != first.outcome || r.names != first.names) fail("the map kind changes the materials");
    }
    cleardir();
    return 0;
}
