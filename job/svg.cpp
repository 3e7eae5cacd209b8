// Mesh maps as SVG. The faces, sorted by material, are cut into parts; the
// cores format a part each into their own buffers, which then go to the
// sink in order, round after round.
#include "job/svg.h"
#include "port/threads.h"
#include "port/tuning.h"

#include <cmath>
#include <cstdlib>
#include <cstring>


namespace {

const size_t PARTBYTES = (size_t)4 << 20;  // a part's buffer; the largest face fits
const int MINFACES = 20000;                // below this one thread does it all
const int NAMEBYTES = 1024;                // of a material's name in its group's id and label
// A group's closing and opening tags at most: 9 bytes a name byte (3 in the
// id, 6 in the label) and the rest of the tags.
const size_t TAGBYTES = 160 + 9 * (size_t)NAMEBYTES;
const double LIMIT = 1073741824.0;         // corners are held to +-2^30 pixels, as the bitmap's

// Most bytes a face of c corners takes: 30 per corner (two numbers of 14
// characters at most, a comma and a space), 22 per polyline tag (one every
// two corners at most), and a polygon's tag.
size_t facebytes(int c)
{
    return 32 + 52 * (size_t)c;
}

char* put(char* d, const char* s)
{
    const size_t k = std::strlen(s);
    std::memcpy(d, s, k);
    return d + k;
}

char* putuint(char* d, unsigned long long v)
{
    char t[20];
    int k = 20;
    do {
        t[--k] = (char)('0' + v % 10);
        v /= 10;
    } while (v);
    std::memcpy(d, t + k, (size_t)(20 - k));
    return d + 20 - k;
}

// A corner's position in hundredths of a pixel, rounded half away from
// zero: at most 1/200 pixel off on a map of any size, far below what a line
// of one pixel shows, and a byte a number shorter than thousandths.
long long hundredths(float u, double n, bool flip)
{
    double p = n * (double)u;
    if (flip) p = n - p;
    p = p < -LIMIT ? -LIMIT : p > LIMIT ? LIMIT : p;
    return (long long)(p * 100 + (p < 0 ? -0.5 : 0.5));
}

// Two decimals at most, trailing zeros dropped.
char* putnum(char* d, long long h)
{
    if (h < 0) {
        *d++ = '-';
        h = -h;
    }
    d = putuint(d, (unsigned long long)h / 100);
    const int r = (int)(h % 100);
    if (r) {
        *d++ = '.';
        *d++ = (char)('0' + r / 10);
        if (r % 10) *d++ = (char)('0' + r % 10);
    }
    return d;
}

struct layout {
    const mesh* m;
    const int* order;  // the faces to draw, grouped by material
    int total;         // entries of order
    double n;          // map side
    bool flip;         // v = 0 at the bottom
    float du, dv;      // the corner of the map's tile, taken off every point
};

char* putpoint(char* d, const layout& L, const xy& t)
{
    d = putnum(d, hundredths(t.x - L.du, L.n, false));
    *d++ = ',';
    return putnum(d, hundredths(t.y - L.dv, L.n, L.flip));
}

// A face with every texture corner is a closed polygon, one of a single
// corner a dot; otherwise the runs of corners that have them are polylines,
// as the bitmap draws only the edges with both ends.
char* putface(char* d, const layout& L, const Face& f, int* leftout)
{
    const int c = f.n;
    int missing = -1;
    for (int k = 0; k < c; k++) {
        const xy* t = f.q[k].t;
        if (!t) missing = k;
        else if (!std::isfinite(t->x) || !std::isfinite(t->y)) {
            ++*leftout;
            return d;
        }
    }
    if (missing < 0) {
        if (c == 1) {
            d = put(d, "<polyline points=\"");
            d = putpoint(d, L, *f.q[0].t);
            *d++ = ' ';
            d = putpoint(d, L, *f.q[0].t);
        } else {
            d = put(d, "<polygon points=\"");
            for (int k = 0; k < c; k++) {
                if (k) *d++ = ' ';
                d = putpoint(d, L, *f.q[k].t);
            }
        }
        return put(d, "\"/>\n");
    }
    // From the corner after a missing one round to it, which ends the last run.
    const xy* first = nullptr;
    int run = 0;
    for (int i = 1, k = missing + 1; i <= c; i++, k++) {
        const xy* t = f.q[k < c ? k : k - c].t;
        if (!t) {
            if (run > 1) d = put(d, "\"/>\n");
            run = 0;
            continue;
        }
        if (run == 0) {
            first = t;
        } else {
            if (run == 1) {
                d = put(d, "<polyline points=\"");
                d = putpoint(d, L, *first);
            }
            *d++ = ' ';
            d = putpoint(d, L, *t);
        }
        run++;
    }
    return d;
}

// Windows-1252 for the bytes 0x80 to 0x9F; its five holes keep their code.
const unsigned short CP1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Bytes of a name the picture shows: the whole name, up to NAMEBYTES.
int namelength(const char* name)
{
    const void* z = std::memchr(name, 0, NAMEBYTES);
    return z ? (int)((const char*)z - name) : NAMEBYTES;
}

char* pututf8(char* d, unsigned c)
{
    if (c < 0x80) {
        *d++ = (char)c;
    } else if (c < 0x800) {
        *d++ = (char)(0xC0 | c >> 6);
        *d++ = (char)(0x80 | (c & 0x3F));
    } else {
        *d++ = (char)(0xE0 | c >> 12);
        *d++ = (char)(0x80 | (c >> 6 & 0x3F));
        *d++ = (char)(0x80 | (c & 0x3F));
    }
    return d;
}

// Length of the well-formed UTF-8 sequence at s (of k bytes), 0 when there
// is none: no overlong forms, surrogates or code points past U+10FFFF.
int utf8len(const unsigned char* s, int k)
{
    const unsigned c = s[0];
    int len;
    unsigned lo = 0x80, hi = 0xBF;  // bounds of the second byte
    if (c >= 0xC2 && c <= 0xDF) len = 2;
    else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        if (c == 0xE0) lo = 0xA0;
        if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;
    } else return 0;
    if (len > k || s[1] < lo || s[1] > hi) return 0;
    for (int i = 2; i < len; i++)
        if ((s[i] & 0xC0) != 0x80) return 0;
    return len;
}

// A material name as an attribute value: UTF-8 as it stands, any other
// byte read as Windows-1252, so a name from any editor stays legible and
// the file well-formed. What XML cannot hold (control characters, U+FFFE,
// U+FFFF) becomes U+FFFD; tab and line ends are escaped, or a reader would
// turn them into spaces. Six bytes a name byte at most.
char* putlabel(char* d, const char* name)
{
    const unsigned char* s = (const unsigned char*)name;
    const int k = namelength(name);
    for (int i = 0; i < k;) {
        const unsigned c = s[i];
        if (c >= 0x80) {
            const int len = utf8len(s + i, k - i);
            if (len == 3 && c == 0xEF && s[i + 1] == 0xBF && s[i + 2] >= 0xBE) {
                d = pututf8(d, 0xFFFD);
            } else if (len) {
                std::memcpy(d, s + i, (size_t)len);
                d += len;
            } else {
                d = pututf8(d, c < 0xA0 ? CP1252[c - 0x80] : c);
                i++;
                continue;
            }
            i += len;
            continue;
        }
        switch (c) {
        case '&': d = put(d, "&amp;"); break;
        case '<': d = put(d, "&lt;"); break;
        case '>': d = put(d, "&gt;"); break;
        case '"': d = put(d, "&quot;"); break;
        case '\t': d = put(d, "&#9;"); break;
        case '\n': d = put(d, "&#10;"); break;
        case '\r': d = put(d, "&#13;"); break;
        default: d = c < 0x20 ? pututf8(d, 0xFFFD) : pututf8(d, c);
        }
        i++;
    }
    return d;
}

// A material's id: "mat-" and the name, with every byte but ASCII letters,
// digits, '-' and '_' written as '.' and two hex digits. Names differ, so
// do ids (but for names alike in their first NAMEBYTES bytes).
char* putid(char* d, const char* name)
{
    static const char HEX[] = "0123456789ABCDEF";
    d = put(d, "mat-");
    const int k = namelength(name);
    for (int i = 0; i < k; i++) {
        const unsigned char c = (unsigned char)name[i];
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_') {
            *d++ = (char)c;
        } else {
            *d++ = '.';
            *d++ = HEX[c >> 4];
            *d++ = HEX[c & 15];
        }
    }
    return d;
}

char* opengroup(char* d, const Mat& mt)
{
    d = put(d, "<g id=\"");
    d = putid(d, mt.name);
    d = put(d, "\" inkscape:groupmode=\"layer\" inkscape:label=\"");
    d = putlabel(d, mt.name);
    return put(d, "\">\n");
}

bool groupstarts(const layout& L, int p)
{
    return p == 0 || L.m->fac[L.order[p]].mat != L.m->fac[L.order[p - 1]].mat;
}

// Faces a to b - 1 of the order, each group's tags where it starts.
char* putpart(const layout& L, int a, int b, char* d, int* leftout)
{
    for (int p = a; p < b; p++) {
        const Face& f = L.m->fac[L.order[p]];
        if (groupstarts(L, p)) {
            if (p > 0) d = put(d, "</g>\n");
            d = opengroup(d, L.m->mat[f.mat]);
        }
        d = putface(d, L, f, leftout);
    }
    return d;
}

// End of the part from a: faces while their bytes at most fit the budget,
// one at least.
int cutpart(const layout& L, int a, size_t budget)
{
    size_t bytes = 0;
    int b = a;
    for (; b < L.total; b++) {
        const size_t s = facebytes(L.m->fac[L.order[b]].n) + (groupstarts(L, b) ? TAGBYTES : 0);
        if (b > a && bytes + s > budget) break;
        bytes += s;
    }
    return b;
}

// The faces on the map, grouped by material in the mesh's order, in file
// order within each; the count, or -1 when there is no room.
int sortfaces(const mesh* m, int material, int** order)
{
    auto onmap = [=](const Face& f) {
        return f.q && f.n >= 1 && f.mat >= 0 && f.mat < m->nmat && (material < 0 || f.mat == material);
    };
    int total = 0;
    int* at = material < 0 ? (int*)std::calloc((size_t)m->nmat + 1, sizeof(int)) : nullptr;
    if (material < 0 && !at) return -1;
    for (int i = 0; i < m->nf; i++)
        if (onmap(m->fac[i])) {
            total++;
            if (at) at[m->fac[i].mat + 1]++;
        }
    *order = (int*)std::malloc((size_t)(total ? total : 1) * sizeof(int));
    if (!*order) {
        std::free(at);
        return -1;
    }
    if (at)
        for (int j = 0; j < m->nmat; j++) at[j + 1] += at[j];
    for (int i = 0, k = 0; i < m->nf; i++)
        if (onmap(m->fac[i])) (*order)[at ? at[m->fac[i].mat]++ : k++] = i;
    std::free(at);
    return total;
}

}  // namespace

int svgencode(const mesh* m, int n, int invert, int material, bytesink out, int* leftout, float du, float dv)
{
    if (leftout) *leftout = 0;
    if (n < 1 || material >= m->nmat) return 0;
    layout L = {m, nullptr, 0, (double)n, invert != 0, du, dv};
    int* order = nullptr;
    L.total = sortfaces(m, material, &order);
    if (L.total < 0) return 0;
    L.order = order;

    int threads = knobs.svg_partbytes > 0 || L.total >= MINFACES ? corecount() : 1;
    const size_t budget = knobs.svg_partbytes > 0 && (size_t)knobs.svg_partbytes < PARTBYTES ? (size_t)knobs.svg_partbytes : PARTBYTES;
    char* buf = (char*)std::malloc(PARTBYTES * (size_t)threads);
    if (!buf && threads > 1) buf = (char*)std::malloc(PARTBYTES * (size_t)(threads = 1));
    if (!buf) {
        std::free(order);
        return 0;
    }

    // The picture: a black square, white strokes of one pixel, no fills.
    char* d = put(buf, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<svg xmlns=\"http://www.w3.org/2000/svg\""
                       " xmlns:inkscape=\"http://www.inkscape.org/namespaces/inkscape\" width=\"");
    d = putuint(d, (unsigned)n);
    d = put(d, "\" height=\"");
    d = putuint(d, (unsigned)n);
    d = put(d, "\" viewBox=\"0 0 ");
    d = putuint(d, (unsigned)n);
    *d++ = ' ';
    d = putuint(d, (unsigned)n);
    d = put(d, "\" fill=\"none\" stroke=\"#fff\" stroke-width=\"1\" stroke-linejoin=\"round\""
               " stroke-linecap=\"round\">\n<rect id=\"background\" width=\"");
    d = putuint(d, (unsigned)n);
    d = put(d, "\" height=\"");
    d = putuint(d, (unsigned)n);
    d = put(d, "\" fill=\"#000\" stroke=\"none\"/>\n");
    bool ok = out.put(out.ctx, (const unsigned char*)buf, (size_t)(d - buf)) != 0;

    char* end[MAXTHREADS];
    int left[MAXTHREADS] = {};
    for (int a = 0; ok && a < L.total;) {
        int cut[MAXTHREADS + 1] = {a};
        int parts = 0;
        while (parts < threads && cut[parts] < L.total) {
            cut[parts + 1] = cutpart(L, cut[parts], budget);
            parts++;
        }
        onthreads(parts, [&](int k) {
            end[k] = putpart(L, cut[k], cut[k + 1], buf + PARTBYTES * (size_t)k, &left[k]);
        });
        for (int k = 0; ok && k < parts; k++) {
            char* b = buf + PARTBYTES * (size_t)k;
            ok = out.put(out.ctx, (const unsigned char*)b, (size_t)(end[k] - b)) != 0;
        }
        a = cut[parts];
    }

    // The last group's end; a per-material map has its group, empty or not.
    d = buf;
    if (L.total > 0) d = put(d, "</g>\n");
    else if (material >= 0) d = put(opengroup(d, m->mat[material]), "</g>\n");
    d = put(d, "</svg>\n");
    ok = ok && out.put(out.ctx, (const unsigned char*)buf, (size_t)(d - buf)) != 0;
    if (leftout)
        for (int k = 0; k < threads; k++) *leftout += left[k];
    std::free(buf);
    std::free(order);
    return ok ? 1 : 0;
}
