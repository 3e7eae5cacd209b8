#!/usr/bin/env python3
"""Writes the program's icon: uvpaint.ico, one 32 x 32 image of 16 colours
for the Windows program; uvpaint-48.png and uvpaint-256.png for the Linux
desktop; and uvpaint_icon.h, the 48 x 48 picture the Linux window shows.

The picture: a dark UV square with a grey grid, a red painted triangle with a
white outline, and a yellow margin along its lower edge. It is drawn on a
32 x 32 plan and, at other sizes, at that scale.
Usage: make_icon.py [OUT.ico | DIR]   (default: every file, beside this script)
"""
import os
import struct
import sys
import zlib

SIZE = 32
PNG_SIZES = (48, 256)
HEADER_SIZE = 48

# The 16 standard VGA colours, red-green-blue.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, NAVY, GREY, RED, YELLOW, WHITE = 0, 4, 8, 9, 11, 15


def inside(x, y, tri):
    """True when the point lies in the triangle (either winding)."""
    (ax, ay), (bx, by), (cx, cy) = tri
    d1 = (x - bx) * (ay - by) - (ax - bx) * (y - by)
    d2 = (x - cx) * (by - cy) - (bx - cx) * (y - cy)
    d3 = (x - ax) * (cy - ay) - (cx - ax) * (y - ay)
    neg = d1 < 0 or d2 < 0 or d3 < 0
    pos = d1 > 0 or d2 > 0 or d3 > 0
    return not (neg and pos)


def picture(size=SIZE):
    """Rows top to bottom, one palette index per pixel. Pixel x covers plan
    units x * 32 / size onwards; lines and the outline grow with the size."""
    k = size / SIZE
    line = max(1, size // SIZE)
    plan = [int(i / k) for i in range(size)]
    px = [[NAVY] * size for _ in range(size)]
    for y in range(size):
        for x in range(size):
            if min(x, y) < line or max(x, y) >= size - line:
                px[y][x] = BLACK
            elif plan[x] % 8 == 4 or plan[y] % 8 == 4:
                px[y][x] = GREY
    tri = ((6, 25), (26, 25), (12, 6))
    for y in range(size):
        for x in range(size):
            if inside((x + 0.5) / k, (y + 0.5) / k, tri):
                px[y][x] = RED
    # White outline: painted pixels with an unpainted one within line steps.
    near = [(d, 0) for d in range(1, line + 1)] + [(-d, 0) for d in range(1, line + 1)]
    near += [(b, a) for a, b in near]
    edge = []
    for y in range(1, size - 1):
        for x in range(1, size - 1):
            if px[y][x] == RED and any(px[y + dy][x + dx] != RED for dx, dy in near
                                       if 0 <= x + dx < size and 0 <= y + dy < size):
                edge.append((x, y))
    for x, y in edge:
        px[y][x] = WHITE
    for y in range(size):
        for x in range(size):
            if plan[y] == 27 and 5 <= plan[x] < 28:
                px[y][x] = YELLOW
    return px


def ico(px):
    """The .ico bytes: directory, entry, BITMAPINFOHEADER, palette, XOR, AND."""
    xor_row = SIZE // 2                      # 4 bits a pixel, already 4-aligned
    and_row = ((SIZE + 31) // 32) * 4
    xor = bytearray()
    for row in reversed(px):                 # bottom-up
        for x in range(0, SIZE, 2):
            xor.append(row[x] << 4 | row[x + 1])
    mask = bytes(and_row * SIZE)             # fully opaque
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, 2 * SIZE, 1, 4, 0,
                         len(xor) + len(mask), 0, 0, 16, 0)
    image = header + pal + bytes(xor) + mask
    assert len(xor) == xor_row * SIZE
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


def png(px):
    """A truecolour PNG of the picture."""
    size = len(px)
    raw = b"".join(b"\0" + bytes(c for i in row for c in PALETTE[i]) for row in px)

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def header(px):
    """C++ source of the picture: the palette and a row of hex digits each."""
    size = len(px)
    rows = "\n".join('    "%s",' % "".join("%x" % i for i in row) for row in px)
    colours = ", ".join("0x%02x%02x%02x" % c for c in PALETTE)
    return ("// The icon of the Linux window, %d x %d: made by resources/make_icon.py.\n"
            "#pragma once\n\n"
            "enum { ICONSIZE = %d };\n"
            "// 0xRRGGBB of each palette index\n"
            "const unsigned ICONPALETTE[16] = {%s};\n"
            "// Rows top to bottom, one hex digit (a palette index) per pixel.\n"
            "const char* const ICONROWS[ICONSIZE] = {\n%s\n};\n" % (size, size, size, colours, rows))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    if len(sys.argv) > 1 and not os.path.isdir(sys.argv[1]):
        outputs = {sys.argv[1]: lambda: ico(picture())}
    else:
        here = sys.argv[1] if len(sys.argv) > 1 else here
        outputs = {os.path.join(here, "uvpaint.ico"): lambda: ico(picture()),
                   os.path.join(here, "uvpaint_icon.h"): lambda: header(picture(HEADER_SIZE)).encode()}
        for n in PNG_SIZES:
            outputs[os.path.join(here, "uvpaint-%d.png" % n)] = lambda n=n: png(picture(n))
    for path, make in outputs.items():
        with open(path, "wb") as f:
            f.write(make())


if __name__ == "__main__":
    main()
