// The UV check's reports, text and JSON, and what a pipeline makes of them:
// the kinds it allows and the exit status.
#include "job/uvcheck.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

const char* const KINDNAMES[UV_KINDS] = {"degenerate", "flipped", "stray", "crossing", "offudim", "folds", "overlaps"};

// What each kind means, for the text report.
const char* const KINDLABELS[UV_KINDS] = {"degenerate faces", "flipped faces",  "stray faces",
                                          "crossing faces",   "off-UDIM faces", "faces in folds",
                                          "faces over other islands"};

const char* const WHYNAMES[] = {"", "corners", "no-texture", "non-finite", "zero-area"};
const char* const WHYLABELS[] = {"", "under 3 corners", "corner without texture coordinate",
                                 "coordinate not finite", "no area"};

// Bytes gathered and handed to the sink in blocks; after a refusal nothing
// more is taken.
struct writer {
    bytesink* sink;
    bool ok;
    size_t len;
    unsigned char buf[4096];

    void put(const void* p, size_t n)
    {
        const unsigned char* s = (const unsigned char*)p;
        while (ok && n) {
            if (len == sizeof buf) flush();
            size_t k = sizeof buf - len < n ? sizeof buf - len : n;
            std::memcpy(buf + len, s, k);
            len += k;
            s += k;
            n -= k;
        }
    }
    void puts(const char* s) { put(s, std::strlen(s)); }
    void flush()
    {
        if (ok && len && !sink->put(sink->ctx, buf, len)) ok = false;
        len = 0;
    }
    __attribute__((format(printf, 2, 3))) void print(const char* f, ...)
    {
        char t[512];
        va_list a;
        va_start(a, f);
        int k = std::vsnprintf(t, sizeof t, f, a);
        va_end(a);
        if (k < 0) ok = false;
        else put(t, (size_t)k < sizeof t ? (size_t)k : sizeof t - 1);
    }
    int end()
    {
        flush();
        return ok ? 1 : 0;
    }
};

// A number as JSON has it: no NaN or infinity, and a point whatever the
// locale says.
void number(writer* w, double v)
{
    if (!std::isfinite(v)) return w->puts("null");
    char t[40];
    std::snprintf(t, sizeof t, "%.6g", v);
    for (char* p = t; *p; p++)
        if (*p == ',') *p = '.';
    w->puts(t);
}

// The length of the well-formed UTF-8 sequence at s (n bytes left), or 0.
int utf8len(const unsigned char* s, size_t n)
{
    const unsigned c = s[0];
    int k;
    unsigned lo = 0x80, hi = 0xbf;  // the range of the second byte
    if (c >= 0xc2 && c <= 0xdf) k = 2;
    else if (c >= 0xe0 && c <= 0xef) k = 3, lo = c == 0xe0 ? 0xa0 : 0x80, hi = c == 0xed ? 0x9f : 0xbf;
    else if (c >= 0xf0 && c <= 0xf4) k = 4, lo = c == 0xf0 ? 0x90 : 0x80, hi = c == 0xf4 ? 0x8f : 0xbf;
    else return 0;
    if (n < (size_t)k || s[1] < lo || s[1] > hi) return 0;
    for (int i = 2; i < k; i++)
        if (s[i] < 0x80 || s[i] > 0xbf) return 0;
    return k;
}

// A JSON string of the bytes of s. Well-formed UTF-8 is kept; a byte that
// is not part of it becomes \u00XX, the character of that number, so no
// byte is lost.
void string(writer* w, const char* s)
{
    const unsigned char* p = (const unsigned char*)s;
    size_t n = std::strlen(s);
    w->puts("\"");
    while (n) {
        const unsigned c = *p;
        int k = 1;
        if (c == '"' || c == '\\') {
            const char e[2] = {'\\', (char)c};
            w->put(e, 2);
        } else if (c == '\n') {
            w->puts("\\n");
        } else if (c == '\r') {
            w->puts("\\r");
        } else if (c == '\t') {
            w->puts("\\t");
        } else if (c < 0x20 || c == 0x7f) {
            w->print("\\u%04x", c);
        } else if (c < 0x80) {
            w->put(p, 1);
        } else if ((k = utf8len(p, n)) > 0) {
            w->put(p, (size_t)k);
        } else {
            k = 1;
            w->print("\\u%04x", c);
        }
        p += k;
        n -= (size_t)k;
    }
    w->puts("\"");
}

// The share of the pixels of `tiles` tiles of n x n covered.
double share(long long covered, int n, int tiles)
{
    return tiles ? (double)covered / ((double)n * n * tiles) : 0;
}

void jsonblock(writer* w, const uvblock& b, int n, const char* indent)
{
    w->print("%s\"faces\": %d,\n%s\"triangles\": %lld,\n%s\"islands\": %d,\n%s\"tiles\": %d,\n", indent, b.faces,
             indent, b.triangles, indent, b.islands, indent, b.tiles);
    w->print("%s\"degenerate\": %d,\n%s\"flipped\": %d,\n%s\"stray\": %d,\n%s\"crossing\": %d,\n%s\"offudim\": %d,\n",
             indent, b.degenerate, indent, b.flipped, indent, b.stray, indent, b.crossing, indent, b.offudim);
    w->print("%s\"pixels\": {\"covered\": %lld, \"coverage\": ", indent, b.covered);
    number(w, share(b.covered, n, b.tiles));
    w->print(", \"overlap\": %lld, \"within_island\": %lld, \"between_islands\": %lld},\n", b.overlap,
             b.overlap - b.between, b.between);
    w->print("%s\"overlap_faces\": %d,\n", indent, b.overlapfaces);
    const uvdensity& d = b.density;
    w->print("%s\"density\": {\"faces\": %d, \"skipped\": %d", indent, d.faces, d.skipped);
    const char* names[] = {"min", "p5", "median", "p95", "max", "spread"};
    const double values[] = {d.min, d.p5, d.median, d.p95, d.max, d.spread};
    for (int k = 0; k < 6; k++) {
        w->print(", \"%s\": ", names[k]);
        if (d.faces) number(w, values[k]);
        else w->puts("null");
    }
    w->puts("}\n");
}

// A name for the text report: control bytes shown as '?'.
void plainname(writer* w, const char* s)
{
    for (; *s; s++) {
        const char c = (unsigned char)*s < 0x20 || *s == 0x7f ? '?' : *s;
        w->put(&c, 1);
    }
}

void textblock(writer* w, const uvblock& b, int n)
{
    w->print("  %-20s %12d  (%lld triangles)\n", "faces", b.faces, b.triangles);
    w->print("  %-20s %12d\n", "islands", b.islands);
    w->print("  %-20s %12d\n", "UDIM tiles", b.tiles);
    w->print("  %-20s %12d\n", KINDLABELS[UV_DEGENERATE], b.degenerate);
    w->print("  %-20s %12d  (mirrored in texture space)\n", KINDLABELS[UV_FLIPPED], b.flipped);
    w->print("  %-20s %12d  (reaching beyond 0..1)\n", KINDLABELS[UV_STRAY], b.stray);
    w->print("  %-20s %12d  (across a UDIM tile border)\n", KINDLABELS[UV_CROSSING], b.crossing);
    w->print("  %-20s %12d  (beyond u 0..10, v 0..100)\n", KINDLABELS[UV_OFFUDIM], b.offudim);
    w->print("  %-20s %12lld  (%.1f %% of %d tile%s)\n", "covered pixels", b.covered,
             100 * share(b.covered, n, b.tiles), b.tiles, b.tiles == 1 ? "" : "s");
    w->print("  %-20s %12lld  (%lld within one island, %lld between islands)\n", "overlapping pixels", b.overlap,
             b.overlap - b.between, b.between);
    w->print("  %-20s %12d\n", "faces sharing pixels", b.overlapfaces);
    const uvdensity& d = b.density;
    if (d.faces)
        w->print("  %-20s min %.4g, 5 %% %.4g, median %.4g, 95 %% %.4g, max %.4g pixels a unit;"
                 " 95/5 spread %.3g (%d face%s left out)\n",
                 "texel density", d.min, d.p5, d.median, d.p95, d.max, d.spread, d.skipped,
                 d.skipped == 1 ? "" : "s");
    else
        w->print("  %-20s none measured (%d face%s left out)\n", "texel density", d.skipped,
                 d.skipped == 1 ? "" : "s");
}

}  // namespace

int writetextreport(const uvreport* r, const mesh* m, const char* name, bytesink* out)
{
    writer w = {out, true, 0, {}};
    w.print("UV check of ");
    plainname(&w, name ? name : "the mesh");
    w.print(", map %d x %d\n\nWhole mesh\n", r->n, r->n);
    textblock(&w, r->all, r->n);
    for (int j = 0; j < r->nmat; j++) {
        w.puts("\nMaterial \"");
        plainname(&w, m->mat[j].name);
        w.puts("\", on a map of its own\n");
        textblock(&w, r->mats[j], r->n);
    }
    w.print("\nTiles\n  %6s %12s %14s %9s %14s %14s\n", "tile", "faces", "covered", "coverage", "overlapping",
            "between");
    for (int k = 0; k < r->ntiles; k++) {
        const uvtile& t = r->tiles[k];
        w.print("  %6d %12d %14lld %7.1f %% %14lld %14lld\n", t.tile, t.faces, t.covered,
                100 * share(t.covered, r->n, 1), t.overlap, t.between);
    }
    w.print("\nFaces of each kind, the first %d by line\n", (int)UV_LISTED);
    for (int j = 0; j < UV_KINDS; j++) {
        const uvlist& l = r->lists[j];
        w.print("  %-24s %8d", KINDLABELS[j], l.count);
        for (int k = 0; k < l.nlisted; k++) {
            const uvface& f = l.listed[k];
            w.puts(k ? ", " : ": ");
            if (f.line) w.print("line %lld", f.line);
            else w.print("face %d", f.face + 1);
            if (f.why) w.print(" (%s)", WHYLABELS[f.why]);
        }
        w.puts(l.count > l.nlisted ? ", ...\n" : "\n");
    }
    return w.end();
}

int writejsonreport(const uvreport* r, const mesh* m, const char* name, bytesink* out)
{
    writer w = {out, true, 0, {}};
    w.puts("{\n  \"schema\": \"uvpaint-report/1\",\n  \"mesh\": ");
    if (name) string(&w, name);
    else w.puts("null");
    w.print(",\n  \"map_size\": %d,\n  \"whole\": {\n", r->n);
    jsonblock(&w, r->all, r->n, "    ");
    w.puts("  },\n  \"materials\": [");
    for (int j = 0; j < r->nmat; j++) {
        w.puts(j ? ",\n    {\n      \"name\": " : "\n    {\n      \"name\": ");
        string(&w, m->mat[j].name);
        w.puts(",\n");
        jsonblock(&w, r->mats[j], r->n, "      ");
        w.puts("    }");
    }
    w.puts(r->nmat ? "\n  ],\n  \"tiles\": [" : "],\n  \"tiles\": [");
    for (int k = 0; k < r->ntiles; k++) {
        const uvtile& t = r->tiles[k];
        w.print("%s\n    {\"tile\": %d, \"faces\": %d, \"covered\": %lld, \"coverage\": ", k ? "," : "", t.tile,
                t.faces, t.covered);
        number(&w, share(t.covered, r->n, 1));
        w.print(", \"overlap\": %lld, \"within_island\": %lld, \"between_islands\": %lld}", t.overlap,
                t.overlap - t.between, t.between);
    }
    w.puts(r->ntiles ? "\n  ],\n  \"kinds\": {" : "],\n  \"kinds\": {");
    for (int j = 0; j < UV_KINDS; j++) {
        const uvlist& l = r->lists[j];
        w.print("%s\n    \"%s\": {\"count\": %d, \"listed\": [", j ? "," : "", KINDNAMES[j], l.count);
        for (int k = 0; k < l.nlisted; k++) {
            const uvface& f = l.listed[k];
            w.print("%s{\"face\": %d, \"line\": ", k ? ", " : "", f.face + 1);
            if (f.line) w.print("%lld", f.line);
            else w.puts("null");
            if (j == UV_DEGENERATE) w.print(", \"reason\": \"%s\"", WHYNAMES[f.why]);
            w.puts("}");
        }
        w.puts("]}");
    }
    w.puts("\n  },\n  \"found\": [");
    const unsigned found = foundkinds(r, 0), foundpm = foundkinds(r, 1);
    for (int j = 0, k = 0; j < UV_KINDS; j++)
        if (found & (1u << j)) w.print("%s\"%s\"", k++ ? ", " : "", KINDNAMES[j]);
    w.puts("],\n  \"found_per_material\": [");
    for (int j = 0, k = 0; j < UV_KINDS; j++)
        if (foundpm & (1u << j)) w.print("%s\"%s\"", k++ ? ", " : "", KINDNAMES[j]);
    w.puts("]\n}\n");
    return w.end();
}

const char* uvkindname(int k) { return k >= 0 && k < UV_KINDS ? KINDNAMES[k] : nullptr; }

int parsekinds(const char* s, unsigned* kinds, char* msg, int size)
{
    *kinds = 0;
    if (size > 0) msg[0] = 0;
    for (const char* p = s; *p;) {
        while (*p == ' ' || *p == ',') p++;
        const char* e = p;
        while (*e && *e != ',') e++;
        const char* end = e;
        while (end > p && end[-1] == ' ') end--;
        if (end == p) {
            p = e;
            continue;
        }
        int k = 0;
        while (k < UV_KINDS && !(std::strlen(KINDNAMES[k]) == (size_t)(end - p) &&
                                 std::strncmp(KINDNAMES[k], p, (size_t)(end - p)) == 0))
            k++;
        if (k == UV_KINDS) {
            if (size > 0) {
                int len = (int)(end - p) > 40 ? 40 : (int)(end - p);
                std::snprintf(msg, (size_t)size,
                              "\"%.*s\" is no kind of finding; the kinds are degenerate, flipped, stray, "
                              "crossing, offudim, folds and overlaps",
                              len, p);
            }
            *kinds = 0;
            return 0;
        }
        *kinds |= 1u << k;
        p = e;
    }
    return 1;
}

unsigned foundkinds(const uvreport* r, int permaterial)
{
    unsigned k = 0;
    for (int j = UV_DEGENERATE; j <= UV_OFFUDIM; j++)
        if (r->lists[j].count) k |= 1u << j;
    long long overlap = r->all.overlap, between = r->all.between;
    if (permaterial) {
        overlap = between = 0;
        for (int j = 0; j < r->nmat; j++) {
            overlap += r->mats[j].overlap;
            between += r->mats[j].between;
        }
    }
    if (overlap > between) k |= 1u << UV_FOLDS;
    if (between) k |= 1u << UV_OVERLAPS;
    return k;
}

int uvstatus(const uvreport* r, unsigned allowed, int permaterial)
{
    return (foundkinds(r, permaterial) & ~allowed) ? 1 : 0;
}
