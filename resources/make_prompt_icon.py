#!/usr/bin/env python3
"""Writes the prompt's small icon (resource 1233): a camera-like frame with
a blue lens on a white card, at 16, 24, 32 and 48 pixels (the small and
large icon sizes at 100 and 150 %), as a Windows .ico file."""
import struct
import sys


def pixels(size):
    """Rows top to bottom of (b, g, r, a) tuples."""
    s = size
    rows = []
    for y in range(s):
        row = []
        for x in range(s):
            edge = x in (0, s - 1) or y in (0, s - 1)
            cx, cy, r = (s - 1) / 2, (s - 1) / 2 + s / 16, s * 0.28
            d2 = (x - cx) ** 2 + (y - cy) ** 2
            if edge:
                row.append((179, 134, 90, 255))        # frame RGB(90,134,179)
            elif d2 <= (r * 0.55) ** 2:
                row.append((245, 180, 0, 255))         # lens RGB(0,180,245)
            elif d2 <= r ** 2:
                row.append((124, 84, 0, 255))          # rim RGB(0,84,124)
            elif y < s // 4 and s // 4 <= x < s // 2:
                row.append((124, 84, 0, 255))          # viewfinder
            else:
                row.append((255, 255, 255, 255))
        rows.append(row)
    return rows


def icon_image(size):
    rows = pixels(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = b"".join(bytes(c for px in row for c in px) for row in reversed(rows))
    mask_row = ((size + 31) // 32) * 4
    andmask = bytes(mask_row * size)
    return header + xor + andmask


def main(out):
    sizes = (16, 24, 32, 48)
    images = [icon_image(s) for s in sizes]
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, img in zip(sizes, images):
        data += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    data += b"".join(images)
    with open(out, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main(sys.argv[1])
