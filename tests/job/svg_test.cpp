// The SVG mesh map, read back by python3's XML parser and drawn by
// rsvg-convert beside the bitmap mesh map of the same mesh.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "job/finish.h"
#include "job/paint.h"
#include "job/svg.h"
#include "port/tuning.h"
#include "tests/support/support.h"

namespace {

typedef std::vector<std::pair<int, std::vector<int>>> facelist;  // material, texture indices (-1: none)

struct testmesh {
    std::vector<xy> t;
    std::vector<fcinfo> corners;
    std::vector<Face> faces;
    std::vector<Mat> mats;
    std::vector<std::string> names;  // the materials' names, which mats point into
    mesh m;
    testmesh(std::vector<xy> pts, std::vector<std::string> matnames, const facelist& list)
        : t(pts), mats(matnames.size()), names(matnames)
    {
        size_t c = 0;
        for (auto& f : list) c += f.second.size();
        corners.reserve(c);
        for (auto& f : list) {
            faces.push_back(Face{f.second.empty() ? nullptr : corners.data() + corners.size(),
                                 (short)f.second.size(), (short)f.first, 0});
            for (int k : f.second) corners.push_back(fcinfo{nullptr, k < 0 ? nullptr : &t[k]});
        }
        for (size_t i = 0; i < names.size(); i++) mats[i].name = names[i].c_str();
        std::memset(&m, 0, sizeof m);
        m.fac = faces.data();
        m.nf = (int)faces.size();
        m.mat = mats.data();
        m.nmat = (int)mats.size();
    }
};

int tostring(void* ctx, const unsigned char* p, size_t n)
{
    ((std::string*)ctx)->append((const char*)p, n);
    return 1;
}

std::string svgof(const mesh& m, int n, int invert, int material, int* leftout = nullptr)
{
    std::string s;
    EXPECT_EQ(svgencode(&m, n, invert, material, bytesink{&s, tostring}, leftout), 1);
    return s;
}

// Prints the picture a line an element (labels in hex of their UTF-8, numbers
// as python reads them) and fails on what would trip a reader up: ids that
// are not XML names or repeat, numbers with more than two decimals, trailing
// zeros or "-0", text between elements, anything but outlines in a group.
const char* CHECKER = R"PY(
import re, sys, xml.etree.ElementTree as ET
NS, INK = '{http://www.w3.org/2000/svg}', '{http://www.inkscape.org/namespaces/inkscape}'
NUM, NAME = re.compile(r'-?(0|[1-9][0-9]*)(\.[0-9]?[1-9])?'), re.compile(r'[A-Za-z_][A-Za-z0-9_.-]*')
def check(ok, what):
    if not ok: sys.exit('bad ' + what)
root = ET.parse(sys.argv[1]).getroot()
check(root.tag == NS + 'svg', root.tag)
for e in root.iter(): check(not (e.text or '').strip() and not (e.tail or '').strip(), 'text')
a = root.attrib
print('svg', a['viewBox'].replace(' ', ','), a['width'], a['height'], a['fill'], a['stroke'], a['stroke-width'])
ids = set()
for e in root:
    if e.tag == NS + 'rect':
        print('rect', e.get('width'), e.get('height'), e.get('fill'), e.get('stroke'))
        continue
    i = e.get('id')
    check(e.tag == NS + 'g' and NAME.fullmatch(i) and i not in ids, 'group ' + str(i))
    ids.add(i)
    print('g', i, e.get(INK + 'label').encode('utf-8').hex(), e.get(INK + 'groupmode'))
    for s in e:
        check(s.tag in (NS + 'polygon', NS + 'polyline'), s.tag)
        pts = [p.split(',') for p in s.get('points').split(' ')]
        check(all(len(p) == 2 and all(NUM.fullmatch(v) and v != '-0' for v in p) for p in pts), 'point')
        print(s.tag[len(NS):], ' '.join(','.join(repr(float(v)).removesuffix('.0') for v in p) for p in pts))
)PY";

std::string checked(const std::string& svg)
{
    tempdir dir;
    const std::string cmd =
        std::string(PYTHON) + " '" + dir.put("check.py", CHECKER) + "' '" + dir.put("m.svg", svg) + "' 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    std::string text;
    char buf[4096];
    for (size_t k; p && (k = std::fread(buf, 1, sizeof buf, p)) > 0;) text.append(buf, k);
    EXPECT_TRUE(p && pclose(p) == 0) << text;
    return text;
}

const float NaN = std::numeric_limits<float>::quiet_NaN();

TEST(Svg, FacesInFileOrderWithinMaterialGroups)
{
    testmesh k({xy(0.1, 0.2), xy(0.5, 0.25), xy(0.3, 0.9), xy(1, 1), xy(0, 0), xy(0.25, 0.5), xy(NaN, 0.5),
                xy(0.9, 0.1), xy(1e30f, -1e-7f), xy(-0.25, 1.5)},
               {"Skin", "Eyes", "Unused"},
               {{1, {0, 1, 2}},
                {0, {4, 7, 3, 5}},
                {1, {0, 1, -1, 3, 5}},   // a gap: one polyline round from 3 to 1
                {0, {2, -1}},            // a lone corner draws nothing
                {0, {5}},                // a dot
                {1, {6, 0, 1}},          // NaN: left out
                {0, {-1, 1, -1, 2, 3}},  // only 2 to 3 has both ends
                {0, {4, 3}},             // two corners, closed
                {0, {8, 9}},             // held to 2^30 pixels; a hair below 0 is 0; off the map
                {0, {}}});
    const std::string head = "svg 0,0,7,7 7 7 none #fff 1\nrect 7 7 #000 none\n";
    int leftout = 0;
    EXPECT_EQ(checked(svgof(k.m, 7, 0, -1, &leftout)),
              head +
              "g mat-Skin 536b696e layer\n"  // "Skin"
              "polygon 0,0 6.3,0.7 7,7 1.75,3.5\n"
              "polyline 1.75,3.5 1.75,3.5\n"
              "polyline 2.1,6.3 7,7\n"
              "polygon 0,0 7,7\n"
              "polygon 1073741824,0 -1.75,10.5\n"
              "g mat-Eyes 45796573 layer\n"  // "Eyes"; no group for "Unused"
              "polygon 0.7,1.4 3.5,1.75 2.1,6.3\n"
              "polyline 7,7 1.75,3.5 0.7,1.4 3.5,1.75\n");
    EXPECT_EQ(leftout, 1);
    // One material's map, turned upside down; one with no faces has its group.
    EXPECT_EQ(checked(svgof(k.m, 7, 1, 1, &leftout)),
              head +
              "g mat-Eyes 45796573 layer\n"
              "polygon 0.7,5.6 3.5,5.25 2.1,0.7\n"
              "polyline 7,0 1.75,3.5 0.7,5.6 3.5,5.25\n");
    EXPECT_EQ(leftout, 1);
    EXPECT_EQ(checked(svgof(k.m, 7, 0, 2)), head + "g mat-Unused 556e75736564 layer\n");
    // Two decimals are enough on the largest map.
    EXPECT_NE(checked(svgof(k.m, 32768, 0, 1)).find("\npolygon 3276.8,6553.6 16384,8192 9830.4,29491.2\n"),
              std::string::npos);
}

std::string hexof(const std::string& s)
{
    std::string h;
    for (unsigned char c : s) h += "0123456789abcdef"[c >> 4], h += "0123456789abcdef"[c & 15];
    return h;
}

// Names as modellers write them: XML's own characters, other code pages,
// controls, broken UTF-8, the longest escapes. Each keeps the file
// well-formed with an id of its own, and reads back as written (as
// Windows-1252 where it is not UTF-8).
TEST(Svg, HostileMaterialNamesKeepTheFileWellFormed)
{
    const struct {
        std::string name, label;
    } cases[] = {
        {"a\"b<c&d>'", "a\"b<c&d>'"},
        {"", ""},
        {"\xe9t\xe9", u8"\u00e9t\u00e9"},                 // Latin-1
        {"caf\xc3\xa9 \xf0\x9f\x8e\xa8", u8"caf\u00e9 \U0001F3A8"},  // UTF-8 as it stands
        {"\x80\x9d\x99", u8"\u20ac\u009d\u2122"},         // Windows-1252, a hole kept
        {"x\ty\nz\r", "x\ty\nz\r"},                       // not turned into spaces
        {"\x01\x1f" "ctl", u8"\ufffd\ufffdctl"},
        {"\xed\xa0\x80", u8"\u00ed\u00a0\u20ac"},         // a surrogate is not UTF-8
        {"\xc0\xaf", u8"\u00c0\u00af"},                   // nor an overlong form
        {"\xef\xbf\xbe\xef\xbf\xbf", u8"\ufffd\ufffd"},   // not XML characters
        {"ok\xc3", u8"ok\u00c3"},                         // cut short
        {"a b", "a b"},
        {"a.20b", "a.20b"},
        {"1st", "1st"},
        {std::string(31, '"'), std::string(31, '"')},
    };
    std::vector<std::string> names;
    facelist faces;
    for (auto& c : cases) {
        faces.push_back({(int)names.size(), {0, 1, 2}});
        names.push_back(c.name);
    }
    testmesh t({xy(0.1, 0.1), xy(0.9, 0.2), xy(0.5, 0.8)}, names, faces);
    std::string want = "svg 0,0,16,16 16 16 none #fff 1\nrect 16 16 #000 none\n";
    for (auto& c : cases) want += "g " + hexof(c.label) + " layer\npolygon 1.6,1.6 14.4,3.2 8,12.8\n";
    std::string got = checked(svgof(t.m, 16, 0, -1));
    for (size_t at = 0; (at = got.find("\ng ", at)) != std::string::npos; at++)  // the checker checks the ids
        got.erase(at + 2, got.find(' ', at + 3) - at - 2);
    EXPECT_EQ(got, want);
    EXPECT_NE(checked(svgof(t.m, 16, 0, 11)).find("\ng mat-a.20b " + hexof("a b")), std::string::npos);
    EXPECT_NE(checked(svgof(t.m, 16, 0, 0)).find(" " + hexof(cases[0].label) + " layer\n"), std::string::npos);
}

// Red of the SVG drawn by rsvg-convert, or of the bitmap mesh map; rows from the top.
std::vector<unsigned char> rasterise(const std::string& svg, int n)
{
    tempdir dir;
    const std::string png = dir.at("m.png"), raw = dir.at("m.rgb"), size = std::to_string(n);
    const std::string cmd = std::string(RSVG_CONVERT) + " -w " + size + " -h " + size + " -b black '" +
                            dir.put("m.svg", svg) + "' -o '" + png + "' && " + CONVERT + " '" + png +
                            "' -depth 8 rgb:'" + raw + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
    std::vector<unsigned char> rgb = readbytes(raw), red((size_t)n * n);
    for (size_t i = 0; i < red.size() && 3 * i < rgb.size(); i++) red[i] = rgb[3 * i];
    return red;
}

std::vector<unsigned char> bitmap(const mesh& m, int n, int invert)
{
    TextureJob T;
    startjob(&T, nullptr, "");
    T.n = n;
    T.OB = const_cast<mesh*>(&m);
    std::vector<unsigned char> flags((size_t)n * n), red;
    T.used = flags.data();
    EXPECT_TRUE(setupmap(&T));
    clearmap(&T);
    paintoutline(&T);
    if (invert) invertmap(&T.J, n);
    for (int y = 0; y < n; y++)
        for (int x = 0; x < n; x++) red.push_back(T.J.Row(y)[x].red);
    return red;
}

// Share of the pixels of a at least `least` bright with a pixel of b at
// least `near` bright at most one row and column away.
double nearshare(const std::vector<unsigned char>& a, int least, const std::vector<unsigned char>& b, int near, int n)
{
    int lit = 0, found = 0;
    for (int y = 0; y < n; y++)
        for (int x = 0; x < n; x++) {
            if (a[(size_t)y * n + x] < least) continue;
            lit++;
            bool hit = false;
            for (int yy = std::max(0, y - 1); yy <= std::min(n - 1, y + 1); yy++)
                for (int xx = std::max(0, x - 1); xx <= std::min(n - 1, x + 1); xx++)
                    hit |= b[(size_t)yy * n + xx] >= near;
            found += hit;
        }
    return lit ? (double)found / lit : 0;
}

// How alike a bitmap and a drawn SVG are: the lesser share of lit pixels of
// either near a lit pixel of the other. A line of the SVG running between
// two pixels lights both at half strength, so its pixels count as lit from a
// quarter when looked for, from half when looking.
double likeness(const std::vector<unsigned char>& bmp, const std::vector<unsigned char>& svg, int n)
{
    return std::min(nearshare(bmp, 255, svg, 64, n), nearshare(svg, 128, bmp, 255, n));
}

std::vector<unsigned char> moved(const std::vector<unsigned char>& a, int n, int dx, int dy)
{
    std::vector<unsigned char> b(a.size(), 0);
    for (int y = std::max(0, -dy); y < std::min(n, n - dy); y++)
        for (int x = std::max(0, -dx); x < std::min(n, n - dx); x++)
            b[(size_t)(y + dy) * n + x + dx] = a[(size_t)y * n + x];
    return b;
}

TEST(Svg, DrawnAsTheBitmapIsDrawn)
{
    // Scattered faces of all sizes, some across the map's edge, one with a
    // gap, on a map of odd size.
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> unit(0, 1);
    std::vector<xy> pts;
    facelist faces;
    for (int i = 0; i < 9; i++) {
        const float cu = unit(rng), cv = unit(rng), s = 0.1f + 0.4f * unit(rng);
        faces.push_back({i % 2, {}});
        for (int k = 0; k < 3 + i % 2; k++) {
            faces.back().second.push_back(i == 4 && k == 1 ? -1 : (int)pts.size());
            pts.push_back(xy(cu + s * (unit(rng) - 0.5f), cv + s * (unit(rng) - 0.5f)));
        }
    }
    testmesh t(pts, {"a", "b"}, faces);
    const int n = 101;
    for (int inv = 0; inv < 2; inv++) {
        SCOPED_TRACE(inv ? "inverted" : "upright");
        const auto svg = rasterise(svgof(t.m, n, inv, -1), n), bmp = bitmap(t.m, n, inv);
        EXPECT_GE(likeness(bmp, svg, n), 0.98);
        // The measure tells a drawing turned over or moved by two pixels.
        EXPECT_LT(likeness(bitmap(t.m, n, !inv), svg, n), 0.9);
        EXPECT_LT(likeness(moved(bmp, n, 2, 0), svg, n), 0.95);
        EXPECT_LT(likeness(moved(bmp, n, 0, -2), svg, n), 0.95);
    }
}

struct refusing {
    int calls = 0, after = 1 << 30;  // puts so far; how many are taken
    std::string got;
};

int refuse(void* ctx, const unsigned char* p, size_t n)
{
    refusing* r = (refusing*)ctx;
    if (r->calls++ >= r->after) return 0;
    r->got.append((const char*)p, n);
    return 1;
}

// Many faces of several materials in turn, some with gaps or NaN corners,
// formatted in small parts on every core: the bytes of one part on one
// thread, up to where the sink refuses them.
TEST(Svg, PartsOnEveryCoreWriteTheSameBytesUntilTheSinkRefuses)
{
    std::mt19937 rng(99);
    std::uniform_real_distribution<float> unit(0, 1);
    std::vector<xy> pts;
    facelist faces;
    for (int i = 0; i < 2000; i++) {
        faces.push_back({(int)(rng() % 5), {}});
        for (int k = 0; k < 1 + i % 5; k++) {
            faces.back().second.push_back(i % 11 == k ? -1 : (int)pts.size());
            pts.push_back(xy(unit(rng), i % 97 == k ? NaN : unit(rng)));
        }
    }
    testmesh t(pts, {"a", "b", "c", "d", "e"}, faces);
    int left = 0, l = 0;
    const std::string one = svgof(t.m, 512, 1, -1, &left);
    knobs.svg_partbytes = 1;
    EXPECT_TRUE(svgof(t.m, 512, 1, -1, &l) == one);
    EXPECT_TRUE(l == left && left > 0);
    knobs.svg_partbytes = 4000;
    refusing all;
    ASSERT_EQ(svgencode(&t.m, 512, 1, -1, bytesink{&all, refuse}), 1);
    EXPECT_TRUE(all.got == one);
    ASSERT_GT(all.calls, 10);
    for (int after : {0, 1, all.calls / 2, all.calls - 1}) {
        refusing r;
        r.after = after;
        EXPECT_EQ(svgencode(&t.m, 512, 1, -1, bytesink{&r, refuse}), 0);
        EXPECT_EQ(r.calls, after + 1) << "no put after the refusal";
        EXPECT_EQ(one.compare(0, r.got.size(), r.got), 0);
    }
    knobs.svg_partbytes = 0;
    // No picture of no size, nor of a material the mesh lacks.
    EXPECT_EQ(svgencode(&t.m, 0, 0, -1, bytesink{&all, refuse}), 0);
    EXPECT_EQ(svgencode(&t.m, 8, 0, 5, bytesink{&all, refuse}), 0);
}

}  // namespace
