// Pairing the figure's materials with the mesh's by name, and the two
// reports of the names found on one side only.
#include "job/match.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Joins the n names that name(i) gives (null for one that is paired) with
// ", " and shows them under title; returns how many were listed.
template <class Names>
int report(int n, Names name, const char* title, message id)
{
    size_t size = 16;
    int listed = 0;
    for (int i = 0; i < n; i++)
        if (const char* s = name(i)) {
            size += std::strlen(s) + 2;
            listed++;
        }
    if (listed == 0) return 0;
    char* text = (char*)std::malloc(size);
    if (!text) return listed;  // the pairing stands; only the report is lost
    char* p = text;
    bool first = true;  // an empty name is listed too
    for (int i = 0; i < n; i++)
        if (const char* s = name(i)) {
            if (!first) *p++ = ',', *p++ = ' ';
            first = false;
            size_t len = std::strlen(s);
            std::memcpy(p, s, len);
            p += len;
        }
    *p = 0;
    warn(nullptr, text, title, id);
    std::free(text);
    return listed;
}

}  // namespace

int matchmaterials(window wn, mesh* m, MaterialList* L, const char* side)
{
    SetTitle(wn, STAGE_MATCH);
    for (int i = 0; i < m->nmat; i++) m->mat[i].cf = 0;
    for (int k = 0; k < L->nm; k++) L->m[k].paired = false;

    for (int i = 0; i < m->nmat; i++) {
        Mat& mt = m->mat[i];
        const int k = findmaterial(L, mt.name);
        if (k >= 0) {
            mt.col = L->m[k].col;
            mt.cf = 1;
            L->m[k].paired = true;
        }
    }

    char title[96];
    std::snprintf(title, sizeof title, "these materials are in the %s but not in the .OBJ file", side);
    int listed = report(
        L->nm, [L](int k) -> const char* { return L->m[k].paired ? nullptr : materialname(L, k); }, title,
        MSG_FIGUREONLY);
    std::snprintf(title, sizeof title, "these materials are in the .OBJ file but not in the %s", side);
    listed += report(
        m->nmat, [m](int i) -> const char* { return m->mat[i].cf ? nullptr : m->mat[i].name; }, title,
        MSG_MESHONLY);
    return listed;
}
