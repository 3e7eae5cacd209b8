// Reading the materials of a .CR2 figure: one pass over its lines, each
// normalised, looking for three keys.
#include "job/cr2.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "port/files.h"

namespace {

enum { BLOCK = 65536 };

// One normalised line: control bytes are spaces, no leading space, no run
// of spaces. Grows as long lines need; the byte after the text is room for
// the NUL that sscanf wants.
struct linebuffer {
    char* s;
    size_t len, cap;
};

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

// CR2_READ to go on, CR2_TOOMANY at a 257th material.
int examine(reader* r, char* s, size_t len)
{
    s[len] = 0;
    MaterialList* L = r->L;
    if (len >= 9 && std::memcmp(s, "material ", 9) == 0) {
        if (r->k + 1 >= MAXMATERIALS) {
            warn(nullptr, "this .CR2 file contains more than 256 materials", r->cr2);
            return CR2_TOOMANY;
        }
        r->k++;
        size_t m = len - 9;
        while (m > 0 && s[9 + m - 1] == ' ') m--;
        if (m > MATNAME) m = MATNAME;
        char* slot = L->mat + (size_t)r->k * MATSLOT;
        std::memcpy(slot, s + 9, m);
        slot[m] = 0;
        L->matc[r->k] = pal3(255, 255, 255);
    } else if (r->key == KEY_KDCOLOR && len >= 8 && std::memcmp(s, "KdColor ", 8) == 0) {
        double x, y, z;
        if (std::sscanf(s + 8, "%lf%lf%lf", &x, &y, &z) == 3 && r->k >= 0)
            L->matc[r->k] = pal3(colourbyte(x), colourbyte(y), colourbyte(z));
    } else if (r->key == KEY_TMAX && len >= 5 && std::memcmp(s, "tMax ", 5) == 0) {
        double t;
        if (std::sscanf(s + 5, "%lf", &t) == 1 && r->k >= 0) {
            if (r->tb) t = 1 - t;
            unsigned char g = colourbyte(t);
            L->matc[r->k] = pal3(g, g, g);
        }
    }
    return CR2_READ;
}

int stopped(MaterialList* L, FILE* f, char* block, linebuffer* line)
{
    std::free(block);
    std::free(line->s);
    std::fclose(f);
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

void freematerials(MaterialList* L)
{
    std::free(L->mat);
    std::free(L->matc);
    L->mat = nullptr;
    L->matc = nullptr;
    L->nm = 0;
}

int readCR2(window wn, MaterialList* L, const char* cr2, cr2key key, int tb)
{
    FILE* f = openread(cr2);
    if (!f) return warnfile(nullptr, cr2, "I can't open this file", cr2, errno);

    L->mat = (char*)std::malloc(MAXMATERIALS * MATSLOT);
    L->matc = (pal3*)std::malloc(MAXMATERIALS * sizeof(pal3));
    L->nm = 0;
    char* block = (char*)std::malloc(BLOCK);
    linebuffer line = {(char*)std::malloc(256), 0, 256};
    if (!L->mat || !L->matc || !block || !line.s) {
        warn(nullptr, "out of memory", "");
        return stopped(L, f, block, &line);
    }
    SetTitle(wn, STAGE_READFIGURE);
    for (int k = 0; k < MAXMATERIALS; k++) L->mat[k * MATSLOT] = 0;

    reader r = {L, cr2, key, tb, -1};
    int outcome = CR2_READ;
    size_t got;
    for (bool first = true; outcome == CR2_READ && (got = std::fread(block, 1, BLOCK, f)) > 0;
         first = false) {
        // A compressed figure (.crz) read as text would give no materials.
        if (first && got >= 2 && (unsigned char)block[0] == 0x1F && (unsigned char)block[1] == 0x8B) {
            warn(nullptr, "this .CR2 file is compressed: uncompress it first", cr2);
            return stopped(L, f, block, &line);
        }
        for (size_t i = 0; i < got && outcome == CR2_READ; i++) {
            unsigned char c = (unsigned char)block[i];
            if (c == 10 || c == 13) {
                outcome = examine(&r, line.s, line.len);
                line.len = 0;
                continue;
            }
            if (c < 32) c = ' ';
            if (c == ' ' && (line.len == 0 || line.s[line.len - 1] == ' ')) continue;
            if (line.len + 1 >= line.cap && !grow(&line)) {
                warn(nullptr, "out of memory", "");
                return stopped(L, f, block, &line);
            }
            line.s[line.len++] = (char)c;
        }
    }
    if (outcome == CR2_READ && std::ferror(f)) {
        warnfile(nullptr, cr2, "I can't read this file", cr2, EIO);
        return stopped(L, f, block, &line);
    }
    // The last line counts even without a line end.
    if (outcome == CR2_READ && line.len > 0) outcome = examine(&r, line.s, line.len);
    std::free(block);
    std::free(line.s);
    std::fclose(f);
    L->nm = r.k + 1;
    return outcome;
}
