#!/usr/bin/env python3
"""Writes uvpaint.ico: one 32 x 32 image of 16 colours.

The picture: a dark UV square with a grey grid, a red painted triangle with a
white outline, and a yellow margin along its lower edge.
Usage: make_icon.py [OUT]   (default: uvpaint.ico beside this script)
"""
import os
import struct
import sys

SIZE = 32

# The 16 standard VGA colours, red-green-blue.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, NAVY, GREY, RED, YELLOW, WHITE = 0, 4, 8, 9, 11, 15


def inside(px, py, tri):
    """True when the pixel centre lies in the triangle (either winding)."""
    x, y = px + 0.5, py + 0.5
    (ax, ay), (bx, by), (cx, cy) = tri
    d1 = (x - bx) * (ay - by) - (ax - bx) * (y - by)
    d2 = (x - cx) * (by - cy) - (bx - cx) * (y - cy)
    d3 = (x - ax) * (cy - ay) - (cx - ax) * (y - ay)
    neg = d1 < 0 or d2 < 0 or d3 < 0
    pos = d1 > 0 or d2 > 0 or d3 > 0
    return not (neg and pos)


def picture():
    """Rows top to bottom, one palette index per pixel."""
    px = [[NAVY] * SIZE for _ in range(SIZE)]
    for y in range(SIZE):
        for x in range(SIZE):
            if x in (0, SIZE - 1) or y in (0, SIZE - 1):
                px[y][x] = BLACK
            elif x % 8 == 4 or y % 8 == 4:
                px[y][x] = GREY
    tri = ((6, 25), (26, 25), (12, 6))
    for y in range(SIZE):
        for x in range(SIZE):
            if inside(x, y, tri):
                px[y][x] = RED
    # White outline: painted pixels with an unpainted neighbour.
    edge = []
    for y in range(1, SIZE - 1):
        for x in range(1, SIZE - 1):
            if px[y][x] == RED and any(px[y + dy][x + dx] != RED
                                       for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1))):
                edge.append((x, y))
    for x, y in edge:
        px[y][x] = WHITE
    for x in range(5, 28):
        px[27][x] = YELLOW
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


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "uvpaint.ico")
    with open(out, "wb") as f:
        f.write(ico(picture()))


if __name__ == "__main__":
    main()
