#!/usr/bin/env python3
"""Draws the install assistant's artwork from its sizes and colours.

    make_artwork.py OUTDIR

writes OUTDIR/picture.bmp (400 x 128, 24 bits: the picture the user drags),
OUTDIR/dragimage.bmp (64 x 80, 24 bits: the package under the cursor during
the drag; pure white is its transparent colour), both again at 150 % and
200 % (picture-150.bmp, dragimage-200.bmp ...: drawn anew at that size, not
stretched) and OUTDIR/installer.ico (16 to 64 pixels, 32 bits with alpha:
the program icon).
Only the standard library is used; the output depends on nothing but this
file, so every build makes the same bytes.
"""
import struct
import sys
from pathlib import Path

WHITE = (255, 255, 255)
PAPER = (246, 248, 252)          # the package sheet (not pure white: white is the colour key)
PAPER_EDGE = (120, 132, 150)
FOLD = (214, 221, 232)
BRAND = (30, 108, 217)           # KvCapture blue
BRAND_DARK = (18, 72, 150)
LENS = (235, 243, 255)
BAND = (54, 64, 82)
BACKGROUND_TOP = (250, 252, 255)
BACKGROUND_BOTTOM = (226, 234, 246)
FRAME = (180, 192, 210)
ARROW = (96, 110, 132)
BROWSER_BAR = (205, 214, 228)
BROWSER_PAGE = (255, 255, 255)
CHROME_COLOURS = [(219, 68, 55), (244, 180, 0), (15, 157, 88)]


class Canvas:
    """RGBA pixels, origin top-left; coverage-weighted drawing. Drawing
    coordinates are those of the 100 % artwork: a canvas of scale 1.5 has
    1.5 times as many pixels each way and draws everything that much larger."""

    def __init__(self, width, height, fill=(0, 0, 0), alpha=255, scale=1.0):
        self.scale = scale
        self.w, self.h = round(width * scale), round(height * scale)
        self.px = [[list(fill) + [alpha] for _ in range(self.w)] for _ in range(self.h)]

    def blend(self, x, y, colour, coverage=1.0):
        if not (0 <= x < self.w and 0 <= y < self.h) or coverage <= 0:
            return
        p = self.px[y][x]
        a = min(coverage, 1.0)
        for i in range(3):
            p[i] = round(p[i] * (1 - a) + colour[i] * a)
        p[3] = round(p[3] + (255 - p[3]) * a)

    def shape(self, inside, box, colour, samples=4):
        """Fills the points for which inside(x, y) holds, antialiased."""
        k = self.scale
        x0, y0, x1, y1 = (max(0, int(box[0] * k)), max(0, int(box[1] * k)),
                          min(self.w, int(box[2] * k) + 1), min(self.h, int(box[3] * k) + 1))
        step = 1.0 / samples
        for y in range(y0, y1):
            for x in range(x0, x1):
                hits = 0
                for sy in range(samples):
                    for sx in range(samples):
                        if inside((x + (sx + 0.5) * step) / k, (y + (sy + 0.5) * step) / k):
                            hits += 1
                self.blend(x, y, colour, hits / (samples * samples))

    def rect(self, x0, y0, x1, y1, colour):
        self.shape(lambda x, y: x0 <= x < x1 and y0 <= y < y1, (x0, y0, x1, y1), colour)

    def round_rect(self, x0, y0, x1, y1, r, colour):
        def inside(x, y):
            if not (x0 <= x < x1 and y0 <= y < y1):
                return False
            cx = min(max(x, x0 + r), x1 - r)
            cy = min(max(y, y0 + r), y1 - r)
            return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
        self.shape(inside, (x0, y0, x1, y1), colour)

    def circle(self, cx, cy, r, colour):
        self.shape(lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r,
                   (cx - r, cy - r, cx + r, cy + r), colour)

    def ring(self, cx, cy, r_out, r_in, colour):
        self.shape(lambda x, y: r_in * r_in <= (x - cx) ** 2 + (y - cy) ** 2 <= r_out * r_out,
                   (cx - r_out, cy - r_out, cx + r_out, cy + r_out), colour)

    def polygon(self, points, colour):
        xs = [p[0] for p in points]
        ys = [p[1] for p in points]

        def inside(x, y):
            odd = False
            j = len(points) - 1
            for i in range(len(points)):
                (xi, yi), (xj, yj) = points[i], points[j]
                if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                    odd = not odd
                j = i
            return odd
        self.shape(inside, (min(xs), min(ys), max(xs), max(ys)), colour)

    def vertical_gradient(self, top, bottom):
        for y in range(self.h):
            t = y / max(1, self.h - 1)
            c = [round(top[i] + (bottom[i] - top[i]) * t) for i in range(3)]
            for x in range(self.w):
                self.px[y][x][:3] = c


# A 5 x 7 pixel font for the few capitals the artwork writes.
GLYPHS = {
    "C": ["01110", "10001", "10000", "10000", "10000", "10001", "01110"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "X": ["10001", "10001", "01010", "00100", "01010", "10001", "10001"],
}


def text(canvas, x, y, word, colour, scale=1):
    for ch in word:
        for row, bits in enumerate(GLYPHS[ch]):
            for col, bit in enumerate(bits):
                if bit == "1":
                    canvas.rect(x + col * scale, y + row * scale,
                                x + (col + 1) * scale, y + (row + 1) * scale, colour)
        x += 6 * scale


def emblem(canvas, cx, cy, r):
    """The KvCapture mark: a blue disc with a light lens and a shutter dot."""
    canvas.circle(cx, cy, r, BRAND)
    canvas.ring(cx, cy, r * 0.62, r * 0.42, LENS)
    canvas.circle(cx, cy, r * 0.22, LENS)
    canvas.circle(cx + r * 0.55, cy - r * 0.55, r * 0.16, LENS)


def package(canvas, x, y):
    """The extension package: a sheet with a folded corner, the mark and a
    'CRX' band; 64 x 80 pixels at (x, y)."""
    fold = 16
    outline = [(x + 6, y + 2), (x + 58 - fold, y + 2), (x + 58, y + 2 + fold),
               (x + 58, y + 78), (x + 6, y + 78)]
    canvas.polygon(outline, PAPER_EDGE)
    inner = [(x + 8, y + 4), (x + 57 - fold, y + 4), (x + 56, y + 3 + fold),
             (x + 56, y + 76), (x + 8, y + 76)]
    canvas.polygon(inner, PAPER)
    canvas.polygon([(x + 58 - fold, y + 2), (x + 58 - fold, y + 2 + fold), (x + 58, y + 2 + fold)],
                   FOLD)
    emblem(canvas, x + 32, y + 36, 15)
    canvas.rect(x + 8, y + 58, x + 56, y + 72, BAND)
    text(canvas, x + 23, y + 61, "CRX", WHITE, scale=1)


def arrow(canvas, x0, x1, y):
    for x in range(x0, x1 - 14, 10):
        canvas.rect(x, y - 2, x + 6, y + 2, ARROW)
    canvas.polygon([(x1 - 14, y - 9), (x1, y), (x1 - 14, y + 9)], ARROW)


def browser(canvas, x, y, w, h):
    """A browser window with its tab strip and a page that accepts the package."""
    canvas.round_rect(x, y, x + w, y + h, 5, PAPER_EDGE)
    canvas.round_rect(x + 1, y + 1, x + w - 1, y + h - 1, 4, BROWSER_BAR)
    canvas.rect(x + 2, y + 16, x + w - 2, y + h - 2, BROWSER_PAGE)
    for i, c in enumerate(CHROME_COLOURS):
        canvas.circle(x + 9 + i * 9, y + 8, 3, c)
    canvas.round_rect(x + 36, y + 4, x + w - 8, y + 12, 3, BROWSER_PAGE)
    # the drop zone on the page
    for xx in range(x + 14, x + w - 14, 8):
        canvas.rect(xx, y + 26, xx + 4, y + 27, FRAME)
        canvas.rect(xx, y + h - 12, xx + 4, y + h - 11, FRAME)
    for yy in range(y + 26, y + h - 11, 8):
        canvas.rect(x + 14, yy, x + 15, yy + 4, FRAME)
        canvas.rect(x + w - 15, yy, x + w - 14, yy + 4, FRAME)
    emblem(canvas, x + w // 2, y + (h + 16) // 2 + 1, 9)


def draw_picture(scale=1.0):
    c = Canvas(400, 128, scale=scale)
    c.vertical_gradient(BACKGROUND_TOP, BACKGROUND_BOTTOM)
    c.rect(0, 127, 400, 128, FRAME)
    package(c, 92, 24)
    arrow(c, 172, 236, 64)
    browser(c, 248, 26, 104, 76)
    return c


def draw_drag_image(scale=1.0):
    c = Canvas(64, 80, fill=WHITE, scale=scale)
    package(c, 0, 0)
    return c


def draw_icon(size):
    c = Canvas(size, size, fill=(0, 0, 0), alpha=0)
    r = size / 2 - max(1, size / 16)
    emblem(c, size / 2, size / 2, r)
    return c


def bmp24(canvas):
    """A bottom-up 24-bit BMP file."""
    row = (canvas.w * 3 + 3) & ~3
    pixels = bytearray()
    for y in range(canvas.h - 1, -1, -1):
        line = bytearray()
        for r, g, b, _ in canvas.px[y]:
            line += bytes((b, g, r))
        pixels += line + bytes(row - len(line))
    header = struct.pack("<IiiHHIIiiII", 40, canvas.w, canvas.h, 1, 24, 0, len(pixels),
                         2835, 2835, 0, 0)
    offset = 14 + len(header)
    return struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset) + header + pixels


def ico(canvases):
    """An icon file with one 32-bit image (alpha plus AND mask) per canvas."""
    images = []
    for c in canvases:
        xor = bytearray()
        mask_row = ((c.w + 31) // 32) * 4
        mask = bytearray()
        for y in range(c.h - 1, -1, -1):
            bits = bytearray(mask_row)
            for x, (r, g, b, a) in enumerate(c.px[y]):
                xor += bytes((b, g, r, a))
                if a == 0:
                    bits[x // 8] |= 0x80 >> (x % 8)
            mask += bits
        header = struct.pack("<IiiHHIIiiII", 40, c.w, c.h * 2, 1, 32, 0, len(xor) + len(mask),
                             0, 0, 0, 0)
        images.append((c.w, c.h, header + xor + mask))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for w, h, data in images:
        out += struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for _, _, data in images:
        out += data
    return out


def main(argv):
    if len(argv) != 2:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    out = Path(argv[1])
    out.mkdir(parents=True, exist_ok=True)
    files = {"installer.ico": ico([draw_icon(s) for s in (16, 20, 24, 32, 40, 48, 64)])}
    for suffix, scale in (("", 1.0), ("-150", 1.5), ("-200", 2.0)):
        files[f"picture{suffix}.bmp"] = bmp24(draw_picture(scale))
        files[f"dragimage{suffix}.bmp"] = bmp24(draw_drag_image(scale))
    for name, data in files.items():
        path = out / name
        if not path.exists() or path.read_bytes() != data:
            path.write_bytes(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
