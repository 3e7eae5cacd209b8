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

const char* slot(const void* L, int k) { return materialname((const MaterialList*)L, k); }
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

int findmaterial(MaterialList* L, const char* s) { return findname(&L->names, L, L->nm, slot, s); }

void freematerials(MaterialList* L)
{
    std::free(L->m);
    std::free(L->text);
    freenames(&L->names);
    *L = nomaterials();
}
