#!/usr/bin/env python3
"""Writes the extension's toolbar and store icons as PNG files.

usage: make_icons.py OUTPUT_DIR

The icon is a rounded blue square with the four white corner marks of a
viewfinder and a red dot in the middle, drawn for each size from the
proportions below (no anti-aliasing: the shapes sit on whole pixels).
"""
import struct
import sys
import zlib
from pathlib import Path

SIZES = (16, 32, 48, 128)
BLUE = (26, 115, 232)
WHITE = (255, 255, 255)
RED = (234, 67, 53)
CLEAR = (0, 0, 0, 0)

CORNER_RADIUS = 0.18   # of the size: the rounding of the square
MARK_INSET = 0.20      # distance of the corner marks from the edge
MARK_LENGTH = 0.22     # length of each arm of a corner mark
MARK_WIDTH = 0.09      # thickness of the arms (at least one pixel)
DOT_RADIUS = 0.10      # the red dot in the middle


def inside_rounded_square(x, y, n, r):
    cx = min(max(x + 0.5, r), n - r)
    cy = min(max(y + 0.5, r), n - r)
    return (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= r * r


def on_corner_mark(x, y, n):
    inset = round(n * MARK_INSET)
    length = max(2, round(n * MARK_LENGTH))
    width = max(1, round(n * MARK_WIDTH))
    for fx in (False, True):
        for fy in (False, True):
            lx = n - 1 - x if fx else x
            ly = n - 1 - y if fy else y
            lx -= inset
            ly -= inset
            if 0 <= lx < length and 0 <= ly < width:
                return True
            if 0 <= ly < length and 0 <= lx < width:
                return True
    return False


def on_dot(x, y, n):
    r = max(1.0, n * DOT_RADIUS)
    c = n / 2
    return (x + 0.5 - c) ** 2 + (y + 0.5 - c) ** 2 <= r * r


def pixel(x, y, n):
    if not inside_rounded_square(x, y, n, n * CORNER_RADIUS):
        return CLEAR
    if on_corner_mark(x, y, n):
        return WHITE + (255,)
    if on_dot(x, y, n):
        return RED + (255,)
    return BLUE + (255,)


def png_bytes(n):
    rows = bytearray()
    for y in range(n):
        rows.append(0)  # no filter
        for x in range(n):
            rows.extend(pixel(x, y, n))

    def chunk(tag, data):
        return (struct.pack(">I", len(data)) + tag + data +
                struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF))

    header = struct.pack(">IIBBBBB", n, n, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + chunk(b"IEND", b""))


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    for n in SIZES:
        (out / f"icon{n}.png").write_bytes(png_bytes(n))


if __name__ == "__main__":
    main()
