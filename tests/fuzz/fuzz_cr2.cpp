// The .CR2 reader on the fuzzer's bytes, for coloured maps and for both
// senses of transparency maps. The names must come out the same whatever
// the map kind, and each must be a normalised line's rest.
#include <cstring>

#include "job/cr2.h"
#include "tests/fuzz/fuzzutil.h"

namespace {

void checknames(const MaterialList& L)
{
    if (L.nm < 0 || L.nm > MAXMATERIALS) fail("%d materials", L.nm);
    for (int k = 0; k < L.nm; k++) {
        const char* s = L.mat + (size_t)k * MATSLOT;
        const char* end = (const char*)std::memchr(s, 0, MATNAME + 1);
        if (!end) fail("material %d: name unended", k);
        size_t n = (size_t)(end - s);
        for (size_t i = 0; i < n; i++)
            // a name cut at MATNAME characters may end in its one space
            if ((unsigned char)s[i] < 32 ||
                (s[i] == ' ' && (i == 0 || (i + 1 == n && n < MATNAME) || s[i - 1] == ' ')))
                fail("material %d: name not normalised at %zu", k, i);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silentprompts();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string file = putfile("f.cr2", data, size);
    if (size >= 2 && data[0] == 0x1F && data[1] == 0x8B) {
        // A compressed figure is refused, whatever follows its mark.
        MaterialList L = {nullptr, nullptr, 0};
        if (readCR2(nullptr, &L, file.c_str(), KEY_KDCOLOR, 0) != CR2_STOPPED) fail("a compressed figure was read");
        if (L.mat || L.matc || L.nm) fail("a refused figure left buffers");
        return 0;
    }
    MaterialList first = {nullptr, nullptr, 0};
    int firstoutcome = 0;
    const cr2key keys[3] = {KEY_KDCOLOR, KEY_TMAX, KEY_TMAX};
    const int senses[3] = {0, 0, 1};
    for (int i = 0; i < 3; i++) {
        MaterialList L = {nullptr, nullptr, 0};
        int outcome = readCR2(nullptr, &L, file.c_str(), keys[i], senses[i]);
        if (outcome == CR2_STOPPED) fail("a readable file stopped the reader");
        if (outcome != CR2_READ && outcome != CR2_TOOMANY) fail("outcome %d", outcome);
        if (!L.mat || !L.matc) fail("no buffers after outcome %d", outcome);
        checknames(L);
        if (i == 0) {
            first = L;
            firstoutcome = outcome;
            continue;
        }
        if (outcome != firstoutcome || L.nm != first.nm) fail("the map kind changes the materials");
        for (int k = 0; k < L.nm; k++)
            if (std::strcmp(L.mat + k * MATSLOT, first.mat + k * MATSLOT))
                fail("the map kind changes material %d's name", k);
        freematerials(&L);
        if (L.mat || L.matc || L.nm) fail("freematerials left buffers");
    }
    freematerials(&first);
    cleardir();
    return 0;
}
