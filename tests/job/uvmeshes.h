// What the UV check's tests share: small .OBJ texts built face by face,
// and a fixture that reads one and checks it. Every corner gets a vertex of
// its own at (u, v, 0) x scale, so a face's texel density is the map size
// over the scale. A polygon's texture coordinates come before its
// vertices, then its face line.
#pragma once
#include "job/uvcheck.h"
#include "port/tuning.h"
#include "tests/support/support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

struct objbuilder {
    typedef std::pair<double, double> uvpoint;
    std::string text;
    std::vector<uvpoint> uv;  // the texture coordinates so far; numbered from 1
    int nv = 0;

    void line(const char* key, double a, double b, const char* tail = "")
    {
        char t[96];
        std::snprintf(t, sizeof t, "%s %.9g %.9g%s\n", key, a, b, tail);
        text += t;
    }
    int vt(double u, double v)
    {
        uv.push_back({u, v});
        line("vt", u, v);
        return (int)uv.size();
    }
    void material(const char* name) { text += std::string("usemtl ") + name + "\n"; }
    // A face through the texture coordinates numbered ts.
    void face(const std::vector<int>& ts, double scale = 1)
    {
        std::string f = "f";
        for (int t : ts) {
            line("v", uv[t - 1].first * scale, uv[t - 1].second * scale, " 0");
            f += " " + std::to_string(++nv) + "/" + std::to_string(t);
        }
        text += f + "\n";
    }
    void polygon(const std::vector<uvpoint>& corners, double scale = 1)
    {
        std::vector<int> ts;
        for (const uvpoint& c : corners) ts.push_back(vt(c.first, c.second));
        face(ts, scale);
    }
    // Anticlockwise, with u to the right and v up.
    void quad(double u0, double v0, double u1, double v1, double scale = 1)
    {
        polygon({{u0, v0}, {u1, v0}, {u1, v1}, {u0, v1}}, scale);
    }
    void tri(double u0, double v0, double u1, double v1, double u2, double v2) { polygon({{u0, v0}, {u1, v1}, {u2, v2}}); }
    // k x k quads over u0..u1, v0..v1, sharing their corners: one island.
    void grid(double u0, double v0, double u1, double v1, int k)
    {
        const int first = (int)uv.size() + 1;
        for (int y = 0; y <= k; y++)
            for (int x = 0; x <= k; x++) vt(u0 + (u1 - u0) * x / k, v0 + (v1 - v0) * y / k);
        for (int y = 0; y < k; y++)
            for (int x = 0; x < k; x++) {
                const int a = first + y * (k + 1) + x;
                face({a, a + 1, a + k + 2, a + k + 1});
            }
    }
};

class UVTest : public ::testing::Test {
  protected:
    tempdir files;
    mesh m;
    uvreport r = {};
    std::string path;

    void SetUp() override { m.initialize(0); }
    void TearDown() override
    {
        freeuvreport(&r);
        m.delarrays();
        knobs.uvcheck_threads = knobs.uvcheck_bandrows = 0;
    }
    // Reads the text and checks it at map size n.
    void check(const std::string& text, int n)
    {
        path = files.put("mesh.obj", text);
        ASSERT_EQ(m.readOBJ(path.c_str(), nullptr), 1);
        freeuvreport(&r);
        ASSERT_EQ(uvcheck(&m, n, &r), 1);
    }
    std::vector<int> tiles() const
    {
        std::vector<int> t;
        for (int k = 0; k < r.ntiles; k++) t.push_back(r.tiles[k].tile);
        return t;
    }
    int count(int kind) const  // faces of the kind
    {
        int c = 0;
        for (int i = 0; i < r.nf; i++) c += (r.kinds[i] >> kind) & 1;
        return c;
    }
};
