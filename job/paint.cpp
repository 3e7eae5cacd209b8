#include "job/paint.h"

#include <cstring>

namespace {

// Whole pixel position of a texture coordinate: n x u in double, cut toward
// zero. Held to +-2^30 so the cut is defined and the edge sums stay exact.
long long pixelof(float u, int n)
{
    double p = (double)n * (double)u;
    if (!(p > -1073741824.0)) return p != p ? 0 : -1073741824LL;
    if (p > 1073741824.0) return 1073741824LL;
    return (long long)p;
}

// Reports the share of faces done, once per whole percent.
struct progress {
    window wn;
    int nf, next, step;
};

void tick(progress* p, int i)
{
    if (i < p->next) return;
    Progress(p->wn, (int)((long long)i * 100 / p->nf));
    p->next = i + p->step;
}

}  // namespace

bool setupmap(TextureJob* T)
{
    return T->J.reset(T->n, T->n, 24, -1) != nullptr;
}

void clearmap(TextureJob* T)
{
    image& J = T->J;
    for (int y = 0; y < T->n; y++) std::memset((void*)J.Row(y), 0, (size_t)T->n * sizeof(pal3));
    std::memset(used, 0, (size_t)T->n * (size_t)T->n);
}

bool onmap(const TextureJob* T, const Face& f)
{
    return f.q && (T->nmat < 2 || f.mat == T->M);
}

void paintfilled(window wn, TextureJob* T, const mesh* m)
{
    SetTitle(wn, "making texture map");
    progress p = {wn, m->nf, 0, m->nf / 100 + 1};
    for (int i = 0; i < m->nf; i++) {
        tick(&p, i);
        const Face& f = m->fac[i];
        if (!onmap(T, f)) continue;
        pal3 col = m->mat[f.mat].col;
        for (int k = 2; k < f.n; k++) T->J.filltriangle(f.q[0].t, f.q[k - 1].t, f.q[k].t, col);
    }
    Progress(wn, 100);
}

void paintoutline(window wn, TextureJob* T, const mesh* m)
{
    SetTitle(wn, "making texture map");
    progress p = {wn, m->nf, 0, m->nf / 100 + 1};
    for (int i = 0; i < m->nf; i++) {
        tick(&p, i);
        const Face& f = m->fac[i];
        if (!onmap(T, f)) continue;
        for (int k = 0; k < f.n; k++) {
            const xy* u = f.q[k == 0 ? f.n - 1 : k - 1].t;
            const xy* v = f.q[k].t;
            if (u && v) drawedge(&T->J, T->n, *u, *v, T->white);
        }
    }
    Progress(wn, 100);
}

void drawedge(image* J, int n, const xy& s0, const xy& t0, pal3 colour)
{
    const xy* s = &s0;
    const xy* t = &t0;
    if (s->y > t->y) {  // run downwards; equal v keeps the order
        const xy* ww = s;
        s = t;
        t = ww;
    }
    long long sx = pixelof(s->x, n), sy = pixelof(s->y, n);
    long long tx = pixelof(t->x, n), ty = pixelof(t->y, n);
    long long dx = tx - sx, dy = ty - sy;
    if (dy * dy >= dx * dx) {  // steep, a single point included
        double r = (dx == 0 && dy == 0) ? 1 : (double)dx / (double)dy;
        long long last = ty < n - 1 ? ty : n - 1;
        for (long long i = sy > 0 ? sy : 0; i <= last; i++) {
            double w = (double)(i - sy) * r + (double)sx;
            if (w >= 0 && w < n) J->Row((int)i)[(int)w] = colour;
        }
    } else {
        if (sx > tx) {  // run rightwards
            long long ox = sx;
            sx = tx;
            sy = ty;
            tx = ox;
            dx = -dx;
            dy = -dy;
        }
        double r = (double)dy / (double)dx;
        long long last = tx < n - 1 ? tx : n - 1;
        for (long long i = sx > 0 ? sx : 0; i <= last; i++) {
            double w = (double)(i - sx) * r + (double)sy;
            if (w >= 0 && w < n) J->Row((int)w)[(int)i] = colour;
        }
    }
}
