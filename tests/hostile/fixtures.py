"""The hostile fixtures: every .OBJ and .CR2 file the cases feed the program,
made at test time (the big ones must not live in the source tree). Each maker
returns the file's bytes; FIXTURES maps a file name to its maker.

    fixtures.py DIR NAME...   writes the named fixtures into DIR
"""
import gzip
import os
import sys
import zlib

# A square of two triangles with an asymmetric layout, so a flipped or
# shifted map shows. Materials skin and lips.
HEAD = ("v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n"
        "vt 0.1 0.1\nvt 0.9 0.1\nvt 0.9 0.8\nvt 0.1 0.8\n")
HEADLINES = 8
FACES = "usemtl skin\nf 1/1 2/2 3/3\nusemtl lips\nf 1/1 3/3 4/4\n"
CLEAN = "# a square\n" + HEAD + FACES

CLEANCR2 = ("{\nversion\n\t{\n\tnumber 4.01\n\t}\nfigure\n\t{\n"
            "\tmaterial skin\n\t\t{\n\t\tKdColor 1 0.5 0.2 1\n\t\ttMax 0.3\n\t\t}\n"
            "\tmaterial lips\n\t\t{\n\t\tKdColor 0 0 1 1\n\t\ttMax 0\n\t\t}\n\t}\n}\n")


# The same colours and transparencies as a library, as Blender writes one.
CLEANMTL = ("# Blender 3.4.1 MTL File: 'clean.blend'\n# www.blender.org\n\n"
            "newmtl lips\nNs 250.000000\nKa 1.000000 1.000000 1.000000\nKd 0.000000 0.000000 1.000000\n"
            "Ks 0.500000 0.500000 0.500000\nNi 1.450000\nd 1.000000\nillum 2\n\n"
            "newmtl skin\nNs 250.000000\nKa 1.000000 1.000000 1.000000\nKd 1.000000 0.500000 0.200000\n"
            "Ks 0.500000 0.500000 0.500000\nNi 1.450000\nd 0.700000\nTr 0.900000\nillum 2\n"
            "map_Kd textures/skin.png\n")


def b(s):
    return s.encode("latin-1")


def u(s):
    return s.encode("utf-8")


# Material names in several scripts: Chinese, Greek, an emoji (beyond the
# first 65536 characters) and e with a combining accent.
WORLDNAMES = ["\u76ae\u80a4", "\u03a9mega", "\U0001f600", "e\u0301"]
# Names that Windows takes for the same file, and Linux does not.
FOLDEDNAMES = ["caf\u00e9", "CAF\u00c9", "\u03a9MEGA", "\u03c9mega"]


def named(names):
    """The square, one triangle per material, and a figure that colours all."""
    obj = HEAD + "".join("usemtl %s\nf 1/1 2/2 3/3\n" % n for n in names)
    cr2 = ("{\nfigure\n\t{\n" + "".join("\tmaterial %s\n\t\t{\n\t\tKdColor %g 0.5 0.2 1\n\t\t}\n"
                                          % (n, i / 8) for i, n in enumerate(names)) + "\t}\n}\n")
    return u(obj), u(cr2)


def gz(data, level=6):
    return gzip.compress(data, compresslevel=level, mtime=0)


def bomb(gib, byte, head, tail):
    """head, then gib GiB of one byte, then tail, as gzip members: the
    byte's member (1 GiB inflated, about 1 MB) repeated, so the file is made
    in a second."""
    one = zlib.compressobj(9, zlib.DEFLATED, 31)
    block = byte * (1 << 20)
    part = b"".join(one.compress(block) for _ in range(1024)) + one.flush()
    return gz(b(head)) + part * gib + gz(b(tail))


def sphere(tris):
    """A closed mesh of about tris triangles as exporters write them: a grid
    of quads with texture coordinates, in a few materials."""
    n = max(4, int((tris / 2) ** 0.5))
    out = ["mtllib sphere.mtl\n"]
    for i in range(n + 1):
        out.append("".join("v %.6f %.6f %.6f\n" % (j / n, i / n, (i * j % 7) / 70.0) for j in range(n + 1)))
    for i in range(n + 1):
        out.append("".join("vt %.6f %.6f\n" % (j / n, i / n) for j in range(n + 1)))
    for i in range(n):
        out.append("usemtl band%d\n" % (i * 12 // n))
        row = []
        for j in range(n):
            a = i * (n + 1) + j + 1
            c = a + n + 1
            row.append("f %d/%d %d/%d %d/%d %d/%d\n" % (a, a, a + 1, a + 1, c + 1, c + 1, c, c))
        out.append("".join(row))
    return b("".join(out))


def lcg(seed, n):
    """n pseudo-random bytes, the same on every Python."""
    out = bytearray(n)
    x = seed
    for i in range(n):
        x = (x * 6364136223846793005 + 1442695040888963407) & 0xFFFFFFFFFFFFFFFF
        out[i] = x >> 56
    return bytes(out)


def bmpbytes(w, h):
    """A small 24-bit .BMP: a map that a user might pick by mistake."""
    row = (3 * w + 3) & ~3
    size = 54 + row * h
    head = (b"BM" + size.to_bytes(4, "little") + bytes(4) + (54).to_bytes(4, "little")
            + (40).to_bytes(4, "little") + w.to_bytes(4, "little") + h.to_bytes(4, "little")
            + (1).to_bytes(2, "little") + (24).to_bytes(2, "little") + bytes(24))
    pixels = bytearray()
    for y in range(h):
        line = bytearray()
        for x in range(w):
            line += bytes(((x * 40) & 255, (y * 40) & 255, 10 if (x + y) % 2 else 13))
        pixels += line + bytes(row - 3 * w)
    return head + bytes(pixels)


def face(n):
    """A face line of n corners cycling over the square's corners."""
    return "f " + " ".join("%d/%d" % ((k % 4) + 1, (k % 4) + 1) for k in range(n)) + "\n"


def manymaterials(n, faces):
    out = [HEAD]
    for i in range(1, n + 1):
        out.append("usemtl m%d\n" % i)
        if faces:
            out.append("f 1/1 2/2 3/3\n")
    out.append(FACES)
    return b("".join(out))


def groups(n, cycle):
    out = [HEAD, "usemtl skin\n"]
    for i in range(n):
        out.append("g g%d\n" % (i % cycle if cycle else i))
    out.append(FACES)
    return b("".join(out))


def groupsatlimit(repeats):
    """As many groups as indices allow, then their names again and again."""
    out = [HEAD, "usemtl skin\n"]
    out += ["g g%d\n" % i for i in range(32767)]
    out += ["g g%d\n" % (i * 7919 % 32767) for i in range(repeats)]
    out.append(FACES)
    return b("".join(out))


def cr2materials(n):
    out = ["{\nfigure\n\t{\n"]
    for i in range(1, n + 1):
        out.append("\tmaterial m%d\n\t\t{\n\t\tKdColor 0.5 0.5 0.5 1\n\t\t}\n" % i)
    out.append("\tmaterial skin\n\t\t{\n\t\tKdColor 1 0.5 0.2 1\n\t\t}\n}\n")
    return b("".join(out))


LONG = 10_000_000
NAME10K = "n" * 9_990 + "0123456789"
# 40 characters, the first 31 alike
LONGL = "material_with_a_rather_long_nam" + "e_of_left"
LONGR = "material_with_a_rather_long_nam" + "e_of_righ"


def longpair(left, right, times):
    """The square's two triangles in the materials LONGL and LONGR, by turns."""
    pair = ("usemtl %s\nf 1/1 2/2 3/3\n" % LONGL if left else "") + \
           ("usemtl %s\nf 1/1 3/3 4/4\n" % LONGR if right else "")
    return b(HEAD + pair * times)

DIRECTORY = None  # a folder where a file belongs

# No name may be a Windows device name (nul.obj is the NUL device there).

def tiles(n):
    """A small square in each of n UDIM tiles (u across, then v up), then a
    face far beyond every tile."""
    out = ["v 0 0 0\nv 1 0 0\nv 1 1 0\n"]
    for k in range(n):
        u, v = k % 10 + 0.25, k // 10 + 0.25
        out.append("vt %g %g\nvt %g %g\nvt %g %g\n" % (u, v, u + 0.5, v, u, v + 0.5))
    out.append("vt 1e30 0.5\nvt 2e30 0.5\nvt 1e30 0.7\n")
    for k in range(n + 1):
        out.append("f 1/%d 2/%d 3/%d\n" % (3 * k + 1, 3 * k + 2, 3 * k + 3))
    return b("".join(out))


FIXTURES = {
    "dir.obj": DIRECTORY,
    "dir.cr2": DIRECTORY,
    "sub": DIRECTORY,
    # -- the clean references --------------------------------------------
    "clean.obj": lambda: b(CLEAN),
    "clean.cr2": lambda: b(CLEANCR2),
    # -- tiles -------------------------------------------------------------
    "tiles3.obj": lambda: tiles(3),
    "tiles1000.obj": lambda: tiles(1000),
    # -- line structure ----------------------------------------------------
    "empty.obj": lambda: b"",
    "blank.obj": lambda: b("\n\n   \n\t\t\n\r\n \r \n" * 50),
    "cronly.obj": lambda: b(CLEAN.replace("\n", "\r")),
    "mixedends.obj": lambda: b("".join(
        line + ("\n", "\r\n", "\r", "\n\n\r\n")[i % 4]
        for i, line in enumerate(CLEAN.split("\n")[:-1]))),
    "nulbytes.obj": lambda: b(HEAD.replace("v 1 1 0", "v 1\0 1 0") + "usemtl skin\0junk\n"
                         "f 1/1\x002/2 3/3\nusemtl lips\nf 1/1 3/3 4/4\0\n"),
    "bom.obj": lambda: b"\xef\xbb\xbf" + b(HEAD + FACES),
    "nonewline.obj": lambda: b(CLEAN[:-1]),
    "longcomment.obj": lambda: b(HEAD + "#" + "x" * LONG + "\n" + FACES),
    "longnumber.obj": lambda: b(HEAD.replace("vt 0.9 0.1", "vt 0.9" + "0" * LONG + " 0.1")
                                + FACES),
    "longface.obj": lambda: b(HEAD + "usemtl skin\nf 1/1 2/2 3/3" + " " * LONG
                              + "\nusemtl lips\nf 1/1 3/3 4/4\n"),
    "binary.obj": lambda: lcg(1, 64 * 1024),
    "bmpasobj.obj": lambda: bmpbytes(33, 17),
    # CLEAN compressed, as bytes: another zlib might compress it differently;
    # read as it is, whatever its name
    "gzip.obj": lambda: bytes.fromhex(
        "1f8b080000000000020353564854282e2c4d2c4ae52a53300041206d08a70dc1b401842e5130d0330461"
        "08d3129569815060c1555a9c9a5b92a3509c9d99c795a660a86fa860a46fa460ac6f0c93c9c92c2886ca"
        "0045154cf44db800c4d315898b000000"),
    # -- faces and corners -------------------------------------------------
    "face100000.obj": lambda: b(HEAD + face(100_000) + FACES),
    "face32767.obj": lambda: b(HEAD + "usemtl skin\n" + face(32767) + "usemtl lips\n"
                               + "f 1/1 3/3 4/4\n"),
    "index0.obj": lambda: b(HEAD + "f 0/1 2/2 3/3\n"),
    "indexbeyond.obj": lambda: b(HEAD + "f 1/1 2/2 5/3\n"),
    "forwardref.obj": lambda: b("v 0 0 0\nvt 0 0\nf 1/1 2/1 3/1\nv 1 0 0\nv 1 1 0\n"),
    "index2147483648.obj": lambda: b(HEAD + "f 1/1 2/2 2147483648/3\n"),
    "index4294967297.obj": lambda: b(HEAD + "f 4294967297/1 2/2 3/3\n"),
    "index99999999999.obj": lambda: b(HEAD + "f 1/1 99999999999/2 3/3\n"),
    "indexmin64.obj": lambda: b(HEAD + "f 1/1 2/2 -9223372036854775808/3\n"),
    "indexneg4294967295.obj": lambda: b(HEAD + "f 1/1 2/2 -4294967295/3\n"),
    "texindexhuge.obj": lambda: b(HEAD + "usemtl skin\nf 1/1 2/99999999999 3/3\nusemtl lips\n"
                                  "f 1/1 3/-9223372036854775808 4/4\n"),
    "texindexone.obj": lambda: b(HEAD + "usemtl skin\nf 1/1 2/1 3/3\nusemtl lips\n"
                                 "f 1/1 3/1 4/4\n"),
    "slash3.obj": lambda: b(HEAD + "f /3 2/2 3/3\n"),
    "slashslash.obj": lambda: b(HEAD + "usemtl skin\nf 1// 2// 3//\nusemtl lips\n"
                                "f 1/1 3/3 4/4\n"),
    "lipsonly.obj": lambda: b(HEAD + "usemtl lips\nf 1/1 3/3 4/4\n"),
    "face1and2.obj": lambda: b(HEAD + "usemtl skin\nf 2/2\nf 1/1 3/3\nusemtl lips\n"
                               "f 1/1 3/3 4/4\n"),
    # what a mesh map draws for them: a point, and a line drawn both ways
    "face1and2ref.obj": lambda: b(HEAD + "usemtl skin\nf 2/2 2/2 2/2\nf 1/1 3/3 3/3\n"
                                  "usemtl lips\nf 1/1 3/3 4/4\n"),
    "vtwonumbers.obj": lambda: b("# one\n\n\nv 1 2\n" + HEAD + FACES),
    "novt.obj": lambda: b("v 0 0 0\nv 1 0 0\nv 1 1 0\nf 1 2 3\n"),
    # -- numbers -----------------------------------------------------------
    "nancoords.obj": lambda: b("v nan inf -inf\nv 1e999 -1e999 1\nv 1 1 0\nv 0 1 0\n"
                               "vt 0.1 0.1\nvt nan 1e999\nvt 0.9 0.8\nvt 0.1 inf\n" + FACES),
    "zerocoords.obj": lambda: b("v 0 0 0\nv 0 0 1\nv 1 1 0\nv 0 1 0\n"
                                "vt 0.1 0.1\nvt 0 0\nvt 0.9 0.8\nvt 0.1 0\n" + FACES),
    # -- names -------------------------------------------------------------
    "longnames.obj": lambda: b(HEAD + "g " + NAME10K + "\nusemtl " + NAME10K + "\n"
                               "f 1/1 2/2 3/3\nusemtl lips\nf 1/1 3/3 4/4\n"),
    "longpair.obj": lambda: longpair(True, True, 20_000),
    "longpair1.obj": lambda: longpair(True, True, 1),
    "longpairl.obj": lambda: longpair(True, False, 1),
    "longpairr.obj": lambda: longpair(False, True, 1),
    "materials40000.obj": lambda: manymaterials(40_000, True),
    "materials40000faceless.obj": lambda: manymaterials(40_000, False),
    "groups1m.obj": lambda: groups(1_000_000, 0),
    "groups1mcycle.obj": lambda: groups(1_000_000, 30_000),
    "groupsatlimit.obj": lambda: groupsatlimit(1_000_000),
    # -- the figure file ---------------------------------------------------
    "empty.cr2": lambda: b"",
    "cronly.cr2": lambda: b(CLEANCR2.replace("\n", "\r")),
    "materials256.cr2": lambda: cr2materials(255),
    "materials257.cr2": lambda: cr2materials(256),
    "kdnaninf.cr2": lambda: b(CLEANCR2.replace("KdColor 1 0.5 0.2 1", "KdColor nan inf -1")),
    "kdclamped.cr2": lambda: b(CLEANCR2.replace("KdColor 1 0.5 0.2 1", "KdColor 0 1 0")),
    "kdhuge.cr2": lambda: b(CLEANCR2.replace("KdColor 1 0.5 0.2 1", "KdColor 1e999 -1e999 0.2")),
    "kdhugeref.cr2": lambda: b(CLEANCR2.replace("KdColor 1 0.5 0.2 1", "KdColor 1 0 0.2")),
    "kdtwonumbers.cr2": lambda: b(CLEANCR2.replace("KdColor 1 0.5 0.2 1", "KdColor 0.1 0.2")),
    "white.cr2": lambda: b(CLEANCR2.replace("KdColor 1 0.5 0.2 1", "")),
    "longline.cr2": lambda: b("{\n#" + "y" * LONG + "\n" + CLEANCR2[2:]),
    "longpair.cr2": lambda: b(CLEANCR2.replace("material skin", "material " + LONGL)
                               .replace("material lips", "material " + LONGR)),
    "longname.cr2": lambda: b(CLEANCR2.replace("material lips", "material " + NAME10K)),
    "longnameref.cr2": lambda: b(CLEANCR2.replace("material lips", "material " + NAME10K[:63])),
    "nulbytes.cr2": lambda: b(CLEANCR2.replace("KdColor 1 0.5 0.2 1", "KdColor 1\x000.5\x000.2 1")),
    "binary.cr2": lambda: lcg(2, 64 * 1024),
    "gzip.cr2": lambda: gzip.compress(b(CLEANCR2), mtime=0),
    # -- names outside any 8-bit code page ---------------------------------
    "\u03a9.obj": lambda: b(CLEAN),
    "O.obj": lambda: b(HEAD + "usemtl lips\nf 1/1 3/3 4/4\n"),  # what a lost omega would read
    "\u4eba\u7269.obj": lambda: b(CLEAN),
    "\u03c6\u03b9\u03b3\u03bf\u03cd\u03c1\u03b1.cr2": lambda: b(CLEANCR2),
    "worldnames.obj": lambda: named(WORLDNAMES)[0],
    "worldnames.cr2": lambda: named(WORLDNAMES)[1],
    "foldednames.obj": lambda: named(FOLDEDNAMES)[0],
    "foldednames.cr2": lambda: named(FOLDEDNAMES)[1],
    # -- material libraries ------------------------------------------------
    "clean.mtl": lambda: b(CLEANMTL),
    "cleanlib.obj": lambda: b("mtllib clean.mtl\n" + CLEAN),
    # several libraries on one line and on several lines, one in a folder
    "twolibs.obj": lambda: b("mtllib lips.mtl\t\n# the rest\nmtllib lib/skin.mtl lips.mtl\n" + CLEAN),
    "lips.mtl": lambda: b(CLEANMTL[:CLEANMTL.index("newmtl skin")]),
    "lib/skin.mtl": lambda: b(CLEANMTL[CLEANMTL.index("newmtl skin"):]),
    "missinglib.obj": lambda: b("mtllib clean.mtl missing.mtl\n" + CLEAN),
    "dirlib.obj": lambda: b("mtllib dir.mtl\n" + CLEAN),
    "dir.mtl": DIRECTORY,
    "empty.mtl": lambda: b"",
    "binary.mtl": lambda: lcg(3, 64 * 1024),
    "crlf.mtl": lambda: b(CLEANMTL.replace("\n", "\r\n")[:-2]),
    "badkd.mtl": lambda: b(CLEANMTL.replace("Kd 1.000000 0.500000 0.200000", "Kd 1.0 0.5")),
    "longlines.mtl": lambda: b("#" + "x" * LONG + "\n" + CLEANMTL.replace(
        "illum 2\n\nnewmtl skin", "map_Kd -s 1 1 1 " + "y" * LONG + ".png\nnewmtl " + NAME10K
        + "\nKd 0 1 0\n\nnewmtl skin")),
    "materials10000.mtl": lambda: b("".join("newmtl m%d\nKd 0.5 0.5 0.5\n" % i for i in range(1, 10001))
                                    + CLEANMTL),
    "clean.txt": lambda: b(CLEANMTL),
    # -- compressed files --------------------------------------------------
    "clean.obz": lambda: gz(b(CLEAN), 9),
    "cleanlib.obz": lambda: gz(b("mtllib clean.mtl.gz\n" + CLEAN)),
    "clean.mtl.gz": lambda: gz(b(CLEANMTL)),
    "clean.crz": lambda: gz(b(CLEANCR2)),
    "clean.mcz": lambda: gz(b("{\nversion\n\t{\n\tnumber 6\n\t}\nmtlCollection\n\t{\n"
                              + CLEANCR2[CLEANCR2.index("\tmaterial skin"):])),
    "clean.pz2": lambda: b("{\nversion\n\t{\n\tnumber 4.01\n\t}\nactor BODY:1\n\t{\n"
                           + CLEANCR2[CLEANCR2.index("\tmaterial skin"):]),
    "members.obz": lambda: gz(b(HEAD)) + gz(b"") + gz(b(FACES), 1) + bytes(64),
    "cut.obz": lambda: gz(b(CLEAN))[:-9],
    "corrupt.obz": lambda: (lambda d: d[:40] + bytes([d[40] ^ 0x55]) + d[41:])(gz(b(CLEAN * 20))),
    "garbage.obz": lambda: gz(b(CLEAN)) + b"trailing garbage\n",
    "cut.crz": lambda: gz(b(CLEANCR2))[:60],
    "cut.mtl.gz": lambda: gz(b(CLEANMTL))[:-1],
    # 10 GiB of spaces on one line, and of empty lines, in about 10 MB
    "bombspaces.obz": lambda: bomb(10, b" ", HEAD + "usemtl skin\nf 1/1 2/2 3/3\n", "\n" + FACES),
    "bomblines.obz": lambda: bomb(10, b"\n", HEAD, FACES),
    # -- big meshes --------------------------------------------------------
    "sphere1m.obj": lambda: sphere(1_000_000),
}


def write(directory, name):
    path = os.path.join(directory, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    if FIXTURES[name] is DIRECTORY:
        os.mkdir(path)
        return path
    data = FIXTURES[name]()
    with open(path, "wb") as f:
        f.write(data)
    return path


if __name__ == "__main__":
    for n in sys.argv[2:]:
        write(sys.argv[1], n)
