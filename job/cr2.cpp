// Reading the materials of a Poser file: one pass over its lines, each
// normalised, looking for three keys.
#include "job/cr2.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "port/input.h"

namespace {

enum { BLOCK = 65536 };

// One normalised line: control bytes are spaces, no leading space, no run
// of spaces. Of a line that none of the keys starts, only the first bytes
// are kept, and of a material line those that can make its name, so that
// lines of any length cost no memory. The byte after the text is room for
// the NUL that sscanf wants.
struct linebuffer {
    char* s;
    size_t len, cap;
    size_t most;        // bytes of this line to keep
};

const size_t UNDECIDED = 9;  // bytes that tell every key apart
const size_t NAMELINE = 9 + MATNAME + 1;  // "material ", the name, a byte to cut

bool grow(linebuffer* b)
{
    size_t cap = b->cap * 2;
    char* s = (char*)std::realloc(b->s, cap);
    if (!s) return false;
    b->s = s;
    b->cap = cap;
    return true;
}

struct reader {
    MaterialList* L;
    const char* cr2;
    cr2key key;
    int tb;
    int k;              // current material, -1 before the first
};

// How much of a line that begins with the 9 bytes at s is worth keeping.
size_t keepof(const char* s, cr2key key)
{
    if (std::memcmp(s, "material ", 9) == 0) return NAMELINE;
    if (key == KEY_KDCOLOR && std::memcmp(s, "KdColor ", 8) == 0) return (size_t)-1;
    if (key == KEY_TMAX && std::memcmp(s, "tMax ", 5) == 0) return (size_t)-1;
    return UNDECIDED;
}

// CR2_READ to go on, CR2_TOOMANY at a 257th material, CR2_STOPPED without
// memory.
int examine(reader* r, char* s, size_t len)
{
    s[len] = 0;
    MaterialList* L = r->L;
    if (len >= 9 && std::memcmp(s, "material ", 9) == 0) {
        if (r->k + 1 >= MAXMATERIALS) {
            warn(nullptr, "this .CR2 file contains more than 256 materials", r->cr2);
            return CR2_TOOMANY;
        }
        size_t m = len - 9;
        while (m > 0 && s[9 + m - 1] == ' ') m--;
        if (m > MATNAME) m = MATNAME;
        if (addmaterial(L, s + 9, m, pal3(255, 255, 255)) < 0) return CR2_STOPPED;
        r->k++;
    } else if (r->key == KEY_KDCOLOR && len >= 8 && std::memcmp(s, "KdColor ", 8) == 0) {
        double x, y, z;
        if (std::sscanf(s + 8, "%lf%lf%lf", &x, &y, &z) == 3 && r->k >= 0)
            L->m[r->k].col = pal3(colourbyte(x), colourbyte(y), colourbyte(z));
    } else if (r->key == KEY_TMAX && len >= 5 && std::memcmp(s, "tMax ", 5) == 0) {
        double t;
        if (std::sscanf(s + 5, "%lf", &t) == 1 && r->k >= 0) {
            if (r->tb) t = 1 - t;
            unsigned char g = colourbyte(t);
            L->m[r->k].col = pal3(g, g, g);
        }
    }
    return CR2_READ;
}

// Shows why the reading stopped and releases everything.
int stopped(MaterialList* L, input* in, char* block, linebuffer* line, const failure& why)
{
    if (why.file[0]) warnfile(nullptr, why.text, why.title, why.file, why.err);
    else warn(nullptr, why.text, why.title);
    std::free(block);
    std::free(line->s);
    inclose(in);
    freematerials(L);
    return CR2_STOPPED;
}

}  // namespace

unsigned char colourbyte(double v)
{
    double p = 256 * v;
    if (!(p > 0)) return 0;  // negatives and nan
    if (p >= 255) return 255;
    return (unsigned char)p;
}

int readCR2(window wn, MaterialList* L, const char* cr2, cr2key key, int tb)
{
    *L = nomaterials();
    failure why;
    input in;
    if (!inopen(&in, cr2, &why)) {
        if (why.file[0]) return warnfile(nullptr, why.text, why.title, why.file, why.err);
        return warn(nullptr, why.text, why.title);
    }
    fail(&why, "out of memory", "");
    char* block = (char*)std::malloc(BLOCK);
    linebuffer line = {(char*)std::malloc(256), 0, 256, UNDECIDED};
    if (!block || !line.s) return stopped(L, &in, block, &line, why);
    SetTitle(wn, STAGE_READFIGURE);

    reader r = {L, cr2, key, tb, -1};
    int outcome = CR2_READ;
    size_t got;
    while (outcome == CR2_READ && (got = inread(&in, block, BLOCK)) > 0) {
        for (size_t i = 0; i < got && outcome == CR2_READ; i++) {
            unsigned char c = (unsigned char)block[i];
            if (c == 10 || c == 13) {
                outcome = examine(&r, line.s, line.len);
                line.len = 0;
                line.most = UNDECIDED;
                continue;
            }
            if (line.len == line.most) continue;
            if (c < 32) c = ' ';
            if (c == ' ' && (line.len == 0 || line.s[line.len - 1] == ' ')) continue;
            if (line.len + 1 >= line.cap && !grow(&line)) return stopped(L, &in, block, &line, why);
            line.s[line.len++] = (char)c;
            if (line.len == UNDECIDED && line.most == UNDECIDED) line.most = keepof(line.s, key);
        }
    }
    if (outcome == CR2_READ && in.fault != IN_FINE) {
        infailure(&in, &why);
        return stopped(L, &in, block, &line, why);
    }
    // The last line counts even without a line end.
    if (outcome == CR2_READ && line.len > 0) outcome = examine(&r, line.s, line.len);
    if (outcome == CR2_STOPPED) return stopped(L, &in, block, &line, why);
    std::free(block);
    std::free(line.s);
    inclose(&in);
    return outcome;
}
