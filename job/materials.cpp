// The list of a figure's or a library's materials, and its look-up by name.
#include "job/materials.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "port/names.h"

namespace {
// Grows the block a of room cap bytes to hold need, doubling; false
// without memory.
bool growbytes(void** a, size_t* cap, size_t need, size_t least)
{
    if (need <= *cap) return true;
    size_t want = *cap < least ? least : 2 * *cap;
    if (want < need) want = need;
    void* b = std::realloc(*a, want);
    if (!b) return false;
    *a = b;
    *cap = want;
    return true;
}

// Puts material k in the table, unless a material of the same name is in
// it already: the first of a name is the one found.
void hashin(MaterialList* L, int k)
{
    const char* s = materialname(L, k);
    unsigned m = L->ncell - 1;
    for (unsigned h = namehash(s) & m; L->cell[h]; h = (h + 1) & m)
        if (std::strcmp(materialname(L, L->cell[h] - 1), s) == 0) return;
    for (unsigned h = namehash(s) & m;; h = (h + 1) & m)
        if (!L->cell[h]) {
            L->cell[h] = k + 1;
            return;
        }
}

// Brings the table up to the list: every material in, at most half the
// cells used; false without memory.
bool hashall(MaterialList* L)
{
    if (L->hashed == L->nm) return true;
    if ((unsigned)L->nm * 2 >= L->ncell) {
        unsigned n = 64;
        while (n <= (unsigned)L->nm * 2) n *= 2;
        int* cell = (int*)std::calloc(n, sizeof(int));
        if (!cell) return false;
        std::free(L->cell);
        L->cell = cell;
        L->ncell = n;
        L->hashed = 0;
    }
    for (; L->hashed < L->nm; L->hashed++) hashin(L, L->hashed);
    return true;
}
}  // namespace

int addmaterial(MaterialList* L, const char* s, size_t n, pal3 col)
{
    if (L->nm == INT_MAX || n > SIZE_MAX / 2 - L->ntext) return -1;
    size_t room = L->nm_ * sizeof(material);
    if ((size_t)L->nm == (size_t)L->nm_) {
        if (!growbytes((void**)&L->m, &room, room + sizeof(material), 16 * sizeof(material))) return -1;
        L->nm_ = (int)(room / sizeof(material) < INT_MAX ? room / sizeof(material) : INT_MAX);
    }
    if (!growbytes((void**)&L->text, &L->ntext_, L->ntext + n + 1, 1024)) return -1;
    std::memcpy(L->text + L->ntext, s, n);
    L->text[L->ntext + n] = 0;
    L->m[L->nm] = material{L->ntext, col, false};
    L->ntext += n + 1;
    return L->nm++;
}

int findmaterial(MaterialList* L, const char* s)
{
    if (L->nm == 0) return -1;
    if (!hashall(L)) {  // without memory for the table, one by one
        for (int k = 0; k < L->nm; k++)
            if (std::strcmp(materialname(L, k), s) == 0) return k;
        return -1;
    }
    unsigned m = L->ncell - 1;
    for (unsigned h = namehash(s) & m; L->cell[h]; h = (h + 1) & m)
        if (std::strcmp(materialname(L, L->cell[h] - 1), s) == 0) return L->cell[h] - 1;
    return -1;
}

void freematerials(MaterialList* L)
{
    std::free(L->m);
    std::free(L->text);
    std::free(L->cell);
    *L = nomaterials();
}
