// Whole batch runs on the fuzzer's bytes. The first byte picks the options
// (bits 0-1: coloured, mesh, transparency or a check-only run; bit 2 one map
// per material; bit 3 inverted; bit 4 black transparent; bit 5 a file of the
// output name exists; bit 6 --overwrite; bit 7 the figure is a material
// library, given with --mtl), the second the size (1 to 64, bits 0-5), the
// mesh compressed (bit 6) and the colours from the library the mesh names
// (bit 7: neither --cr2 nor --mtl), the third more (bit 0 the UV check's
// report, in place of a check-only run's names; bit 1 as JSON; bit 2
// --tiles; bit 3 the check picture instead of the kind); the rest is the
// mesh, then, after a line "--cr2--", the figure or library. Every map
// written must be a whole 24-bit .BMP of that size, and nothing but the maps
// may be left in the folder.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "shell/batch.h"
#include "tests/fuzz/fuzzutil.h"

namespace {

const char SEPARATOR[] = "\n--cr2--\n";
const char OLDFILE[] = "not a map\n";  // what stands at the output name before the run

unsigned le(const std::string& s, size_t at, int bytes)
{
    unsigned v = 0;
    for (int i = bytes - 1; i >= 0; i--) v = v << 8 | (unsigned char)s[at + i];
    return v;
}

std::string slurp(const std::string& path)
{
    std::string s;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) fail("cannot read back %s", path.c_str());
    char buf[65536];
    size_t k;
    while ((k = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, k);
    std::fclose(f);
    return s;
}

void checkbmp(const std::string& name, int n)
{
    const std::string s = slurp(fuzzdir() + "/" + name);
    const size_t rowbytes = (3 * (size_t)n + 3) & ~(size_t)3;
    const size_t expect = 54 + rowbytes * n;
    if (s.size() != expect) fail("%s: %zu bytes, not %zu", name.c_str(), s.size(), expect);
    if (s[0] != 'B' || s[1] != 'M') fail("%s: no BM", name.c_str());
    struct { size_t at; int bytes; unsigned value; } fields[] = {
        {2, 4, (unsigned)expect}, {6, 2, 0}, {8, 2, 0}, {10, 4, 54}, {14, 4, 40},
        {18, 4, (unsigned)n}, {22, 4, (unsigned)n}, {26, 2, 1}, {28, 2, 24}, {30, 4, 0},
        {46, 4, 0}, {50, 4, 0},
    };
    for (const auto& f : fields)
        if (le(s, f.at, f.bytes) != f.value)
            fail("%s: header field at %zu is %u, not %u", name.c_str(), f.at, le(s, f.at, f.bytes), f.value);
}

FILE* devnull()
{
    static FILE* f = std::fopen("/dev/null", "w");
    if (!f) fail("cannot open /dev/null");
    return f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3) return 0;
    const int flags = data[0], more = data[2];
    const int n = 1 + data[1] % 64;
    const uint8_t* body = data + 3;
    const size_t len = size - 3;
    const uint8_t* cut = (const uint8_t*)memmem(body, len, SEPARATOR, sizeof SEPARATOR - 1);
    const size_t meshlen = cut ? (size_t)(cut - body) : len;
    const size_t sep = cut ? sizeof SEPARATOR - 1 : 0;
    const bool library = flags & 128, meshlibrary = data[1] & 128, packed = data[1] & 64;
    const bool report = more & 1, json = more & 2, tiles = more & 4, picture = more & 8;
    std::string meshtext = std::string(meshlibrary ? "mtllib f.mtl\n" : "") + std::string((const char*)body, meshlen);
    if (packed) meshtext = gzipbytes((const uint8_t*)meshtext.data(), meshtext.size());
    const std::string obj = putfile(packed ? "m.obz" : "m.obj", (const uint8_t*)meshtext.data(), meshtext.size());
    const std::string cr2 = putfile(library || meshlibrary ? "f.mtl" : "f.cr2", body + meshlen + sep, len - meshlen - sep);
    const std::string out = fuzzdir() + "/o.bmp";
    const bool existing = flags & 32, overwrite = flags & 64;
    if (existing) putfile("o.bmp", (const uint8_t*)OLDFILE, sizeof OLDFILE - 1);

    const int kind = flags & 3;
    const bool checkonly = kind == 3;
    const bool separate = flags & 4;
    std::vector<std::string> args = {"uvpaint", "--obj", obj, "--size", std::to_string(n)};
    if (!meshlibrary && !(checkonly && report)) args.insert(args.end(), {library ? "--mtl" : "--cr2", cr2});
    if (report) args.push_back(json ? "--report=json" : "--report");
    if (!checkonly) {
        const char* kinds[] = {"colored", "mesh", "transparency"};
        args.insert(args.end(), {"--out", out, "--kind", picture ? "check" : kinds[kind]});
        if (separate) args.push_back("--separate");
        if (tiles) args.push_back("--tiles");
        if (flags & 8) args.push_back("--invert");
        if (flags & 16) args.push_back("--black-transparent");
        if (overwrite) args.push_back("--overwrite");
    }
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    const int status = runbatch((int)args.size(), argv.data(), devnull(), devnull());
    if (status < 0 || status > 2) fail("status %d", status);

    int maps = 0;
    bool plain = false;  // o.bmp itself
    bool kept = false;   // the old file at the output name
    for (const std::string& name : listdir()) {
        if (name == "m.obj" || name == "m.obz" || name == "f.cr2" || name == "f.mtl") continue;
        // Kept unless --overwrite; even then a run of several maps names
        // its files after the materials and leaves it.
        if (name == "o.bmp" && existing && slurp(out) == OLDFILE) {
            kept = true;
            continue;
        }
        if (name == "o.bmp" && existing && !overwrite) fail("o.bmp replaced without --overwrite");
        // o.bmp, o_PART.bmp with --separate, and either with a tile's
        // number before the ending with --tiles.
        const bool tiled = tiles && name.size() >= 10 && name[name.size() - 9] == '.' &&
                           name.find_first_not_of("0123456789", name.size() - 8) == name.size() - 4;
        const std::string stem = tiled ? name.substr(0, name.size() - 9) + ".bmp" : name;
        bool ismap = stem.size() >= 5 && stem.compare(stem.size() - 4, 4, ".bmp") == 0 &&
                     (stem == "o.bmp" || (separate && stem.compare(0, 2, "o_") == 0)) && tiled == tiles;
        if (!ismap || checkonly) fail("left over: %s", name.c_str());
        checkbmp(name, n);
        maps++;
        plain = plain || name == "o.bmp";
    }
    if (!checkonly && status == 0 && (maps == 0 || (!separate && !tiles && !plain)))
        fail("status 0 but %d maps written", maps);
    if (!checkonly && status == 0 && kept && !overwrite) fail("status 0 but o.bmp kept");
    cleardir();
    return 0;
}
