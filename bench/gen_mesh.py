#!/usr/bin/env python3
"""Writes a big test mesh for the benchmark: a UV sphere as an exporter
would write it.

  gen_mesh.py OUT.obj --tris N [--tri] [--groups G] [--no-normals] [--seed S]

The sphere has `rings` latitude rings of 2 * rings vertices between its two
poles, lightly jittered so that every digit of a coordinate varies. Texture
coordinates form a grid one column wider than the vertex rings, so the
meridian u = 0 / u = 1 is a seam and "vt" numbers differ from "v" numbers.
Faces are quads "f v/t/n v/t/n v/t/n v/t/n" (two triangles each with --tri)
and triangle fans at the poles, in G latitude bands, each band under its own
"g", "usemtl" and "s" lines. Floats are written "%.6f". OUT.mtl beside the
mesh names the G materials with a Kd colour each.

N is the number of triangles after triangulation: the sphere is the smallest
with at least N (within 0.4 % of a million). Same options, same bytes.
"""
import argparse
import math
import os
import random
import sys


def sphere_size(tris):
    """Rings r with 2r segments: (r - 2) * 2r quads + 4r pole triangles."""
    r = 4
    while 2 * (2 * r) * (r - 1) < tris:
        r += 1
    return r


def material_colour(k):
    """A spread of colours, material 0 black, so some are dark."""
    return ((k * 37) % 100 / 100.0, (k * 61) % 100 / 100.0, (k * 83) % 100 / 100.0)


def write_mtl(path, names):
    with open(path, "w", newline="\n") as m:
        for k, name in enumerate(names):
            m.write("newmtl %s\nKa 0 0 0\nKd %.4f %.4f %.4f\nKs 0 0 0\nd 1\nillum 2\n\n"
                    % ((name,) + material_colour(k)))


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__,
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("out", help="the .obj to write (OUT.mtl goes beside it)")
    ap.add_argument("--tris", type=int, default=1000000, help="triangles wanted (default 1000000)")
    ap.add_argument("--tri", action="store_true", help="triangles instead of quads")
    ap.add_argument("--groups", type=int, default=12, help="groups and materials (default 12)")
    ap.add_argument("--no-normals", action="store_true", help="no vn lines; corners v/t")
    ap.add_argument("--seed", type=int, default=1, help="jitter seed (default 1)")
    a = ap.parse_args(argv)
    if a.tris < 1 or a.groups < 1:
        ap.error("--tris and --groups must be at least 1")

    rings = sphere_size(a.tris)
    seg = 2 * rings
    bands = min(a.groups, rings)
    jitter = random.Random(a.seed)
    stem = os.path.splitext(a.out)[0]
    names = ["material_%02d" % k for k in range(bands)]
    write_mtl(stem + ".mtl", names)

    # Vertex numbers: 1 is the north pole, ring i (1 .. rings-1) holds
    # 2 + (i-1)*seg .. 1 + i*seg, the south pole comes last. Normals share them.
    def vnum(i, j):
        if i == 0:
            return 1
        if i == rings:
            return 2 + (rings - 1) * seg
        return 2 + (i - 1) * seg + j % seg

    # Texture grid: (rings + 1) rows of seg + 1 columns, v = 1 at the north.
    def tnum(i, j):
        return 1 + i * (seg + 1) + j

    def ring_points(i):
        if i == 0:
            return [(0.0, 1.0, 0.0)]
        if i == rings:
            return [(0.0, -1.0, 0.0)]
        lat = math.pi * i / rings
        y, r = math.cos(lat), math.sin(lat)
        return [(r * math.cos(2 * math.pi * j / seg), y, r * math.sin(2 * math.pi * j / seg))
                for j in range(seg)]

    normals = not a.no_normals
    if normals:
        def c(i, j):
            v = vnum(i, j)
            return "%d/%d/%d" % (v, tnum(i, j), v)
    else:
        def c(i, j):
            return "%d/%d" % (vnum(i, j), tnum(i, j))

    out = open(a.out, "w", newline="\n", buffering=1 << 20)
    out.write("# gen_mesh.py sphere: %d rings of %d, %s\nmtllib %s\no sphere\n"
              % (rings, seg, "triangles" if a.tri else "quads", os.path.basename(stem) + ".mtl"))
    for i in range(rings + 1):
        pts = ring_points(i)
        if 0 < i < rings:
            pts = [tuple(x * (1.0 + 0.01 * (jitter.random() - 0.5)) for x in p) for p in pts]
        out.write("".join("v %.6f %.6f %.6f\n" % p for p in pts))
    if normals:
        for i in range(rings + 1):
            out.write("".join("vn %.6f %.6f %.6f\n" % p for p in ring_points(i)))
    us = ["%.6f" % (j / seg) for j in range(seg + 1)]
    for i in range(rings + 1):
        v = "%.6f" % (1.0 - i / rings)
        out.write("".join("vt %s %s\n" % (u, v) for u in us))

    faces = tris = 0
    for g in range(bands):
        out.write("g group_%02d\nusemtl %s\ns 1\n" % (g, names[g]))
        lines = []
        for b in range(g * rings // bands, (g + 1) * rings // bands):
            for j in range(seg):
                if b == 0:  # fan round the north pole
                    lines.append("f %s %s %s\n" % (c(0, j), c(1, j), c(1, j + 1)))
                    faces += 1
                    tris += 1
                elif b == rings - 1:  # fan round the south pole
                    lines.append("f %s %s %s\n" % (c(b, j), c(rings, j), c(b, j + 1)))
                    faces += 1
                    tris += 1
                else:
                    q = (c(b, j), c(b + 1, j), c(b + 1, j + 1), c(b, j + 1))
                    if a.tri:
                        lines.append("f %s %s %s\nf %s %s %s\n" % (q[0], q[1], q[2], q[0], q[2], q[3]))
                        faces += 2
                    else:
                        lines.append("f %s %s %s %s\n" % q)
                        faces += 1
                    tris += 2
            out.write("".join(lines))
            lines = []
    out.close()
    nv = 2 + (rings - 1) * seg
    sys.stderr.write("%s: v=%d vt=%d vn=%d f=%d triangles=%d groups=%d bytes=%d\n"
                     % (a.out, nv, (rings + 1) * (seg + 1), nv if normals else 0, faces, tris,
                        bands, os.path.getsize(a.out)))


if __name__ == "__main__":
    main()
