#!/usr/bin/env python3
"""Draws the capture overlay's artwork into OUTDIR: the toolbar button strips,
the backgrounds of the toolbar and its option bars (24-bit BMP) at 100, 150
and 200 % (NAME.bmp, NAME-150.bmp, NAME-200.bmp), and the two cursors (CUR,
32, 48 and 64 pixels in one file). Sizes and colours are those the toolbar's
layout expects; every set is drawn at its own size, never stretched.

usage: make_overlay_art.py OUTDIR
"""
import math
import os
import struct
import sys

# ---- colours -------------------------------------------------------------

BAR_TOP = (208, 235, 255)
BAR_BOTTOM = (229, 242, 255)
BAR_BORDER = (62, 128, 195)
SEPARATOR = (124, 179, 222)
SEPARATOR_LIGHT = (239, 248, 255)
OPTION_BACK = (218, 238, 255)
BUTTON_FRAME = (90, 134, 179)
HOVER_FILL = (246, 250, 255)
PRESSED_FILL = (170, 200, 235)
SWATCH_BORDER = (185, 200, 204)
INK = (30, 60, 120)
SWATCHES = [
    [(0, 0, 0), (128, 128, 128), (128, 0, 0), (128, 128, 0),
     (0, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128)],
    [(255, 255, 255), (192, 192, 192), (255, 0, 0), (255, 255, 0),
     (0, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255)],
]

# Sizes at 100 %.
TOOL_W, TOOL_H = 24, 22      # toolbar button images (strips 96 x 22)
PEN_W, PEN_H = 24, 29        # pen-size button images (strips 96 x 29)
TOOLBAR_SIZE = (362, 28)
COLOUR_BAR_SIZE = (165, 36)
PEN_BAR_SIZE = (83, 36)
TEXT_BAR_SIZE = (83, 35)
SCALES = (100, 150, 200)
CURSOR_SIZES = (32, 48, 64)


class Canvas:
    """A pixel grid of (r, g, b) or (r, g, b, a) tuples; right and bottom
    edges of rectangles are exclusive."""

    def __init__(self, w, h, fill):
        self.w, self.h = w, h
        self.px = [[fill] * w for _ in range(h)]

    def set(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = c

    def get(self, x, y):
        return self.px[y][x]

    def fill_rect(self, l, t, r, b, c):
        for y in range(max(t, 0), min(b, self.h)):
            for x in range(max(l, 0), min(r, self.w)):
                self.px[y][x] = c

    def frame_rect(self, l, t, r, b, c, width=1):
        for i in range(width):
            for x in range(l + i, r - i):
                self.set(x, t + i, c)
                self.set(x, b - 1 - i, c)
            for y in range(t + i, b - i):
                self.set(l + i, y, c)
                self.set(r - 1 - i, y, c)

    def dot(self, x, y, c, width):
        lo = -(width // 2)
        for dy in range(lo, lo + width):
            for dx in range(lo, lo + width):
                self.set(x + dx, y + dy, c)

    def line(self, x0, y0, x1, y1, c, width=1):
        steps = max(abs(x1 - x0), abs(y1 - y0), 1)
        for i in range(steps + 1):
            x = round(x0 + (x1 - x0) * i / steps)
            y = round(y0 + (y1 - y0) * i / steps)
            self.dot(x, y, c, width)

    def polyline(self, points, c, width=1):
        for (x0, y0), (x1, y1) in zip(points, points[1:]):
            self.line(x0, y0, x1, y1, c, width)

    def disc(self, cx, cy, r, c):
        for y in range(self.h):
            for x in range(self.w):
                if (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= r * r:
                    self.px[y][x] = c

    def ellipse(self, cx, cy, rx, ry, c, width=1):
        n = int(8 * (rx + ry))
        for i in range(n):
            a = 2 * math.pi * i / n
            self.dot(round(cx + rx * math.cos(a)), round(cy + ry * math.sin(a)), c, width)

    def polygon(self, points, c):
        """Even-odd scanline fill, sampled at pixel centres."""
        for y in range(self.h):
            yc = y + 0.5
            xs = []
            for (x0, y0), (x1, y1) in zip(points, points[1:] + points[:1]):
                if (y0 <= yc < y1) or (y1 <= yc < y0):
                    xs.append(x0 + (yc - y0) * (x1 - x0) / (y1 - y0))
            xs.sort()
            for a, b in zip(xs[0::2], xs[1::2]):
                for x in range(self.w):
                    if a <= x + 0.5 < b:
                        self.px[y][x] = c

    def paste(self, other, x0, y0):
        for y in range(other.h):
            for x in range(other.w):
                self.set(x0 + x, y0 + y, other.px[y][x])


def lerp(a, b, t):
    return tuple(round(p + (q - p) * t) for p, q in zip(a, b))


class Drawing:
    """Draws on a canvas in the units of the 100 % artwork, multiplied out
    to `percent`: lengths round to the nearest pixel (halves up, as the
    program's layout rounds them), shapes with fractional coordinates are
    rasterised at the target size."""

    def __init__(self, canvas, percent):
        self.c = canvas
        self.p = percent

    def i(self, v):
        return (v * self.p + 50) // 100

    def f(self, v):
        return v * self.p / 100 if self.p != 100 else v

    def width(self, w):
        return max(1, self.i(w))

    def fill_rect(self, l, t, r, b, c):
        self.c.fill_rect(self.i(l), self.i(t), self.i(r), self.i(b), c)

    def frame_rect(self, l, t, r, b, c, width=1):
        self.c.frame_rect(self.i(l), self.i(t), self.i(r), self.i(b), c, self.width(width))

    def line(self, x0, y0, x1, y1, c, width=1):
        self.c.line(self.i(x0), self.i(y0), self.i(x1), self.i(y1), c, self.width(width))

    def polyline(self, points, c, width=1):
        for (x0, y0), (x1, y1) in zip(points, points[1:]):
            self.line(x0, y0, x1, y1, c, width)

    def disc(self, cx, cy, r, c):
        self.c.disc(self.f(cx), self.f(cy), self.f(r), c)

    def ellipse(self, cx, cy, rx, ry, c, width=1):
        self.c.ellipse(self.f(cx), self.f(cy), self.f(rx), self.f(ry), c, self.width(width))

    def polygon(self, points, c):
        self.c.polygon([(self.f(x), self.f(y)) for x, y in points], c)


def new_drawing(size, fill, percent):
    """A canvas of `size` (at 100 %) multiplied out, with its Drawing."""
    d = Drawing(None, percent)
    d.c = Canvas(d.i(size[0]), d.i(size[1]), fill)
    return d


def write_bmp(path, canvas):
    """24-bit bottom-up BMP, rows padded to 4 bytes."""
    row = (canvas.w * 3 + 3) & ~3
    data = bytearray()
    for y in range(canvas.h - 1, -1, -1):
        line = bytearray()
        for x in range(canvas.w):
            r, g, b = canvas.px[y][x][:3]
            line += bytes((b, g, r))
        line += b"\0" * (row - len(line))
        data += line
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, canvas.w, canvas.h, 1, 24, 0, len(data),
                       2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)


def cursor_image(canvas):
    """A 32-bit image with an AND mask; transparent where alpha is 0."""
    w, h = canvas.w, canvas.h
    xor = bytearray()
    mask_row = ((w + 31) // 32) * 4
    mask = bytearray()
    for y in range(h - 1, -1, -1):
        bits = bytearray(mask_row)
        for x in range(w):
            r, g, b, a = canvas.px[y][x]
            xor += bytes((b, g, r, a)) if a else b"\0\0\0\0"
            if not a:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    info = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return info + xor + mask


def write_cur(path, images):
    """A cursor file of several sizes: (canvas, hotspot) pairs. The system
    picks the size nearest the one it shows cursors at."""
    header = struct.pack("<HHH", 0, 2, len(images))
    entries, data = b"", b""
    offset = 6 + 16 * len(images)
    for canvas, (hx, hy) in images:
        image = cursor_image(canvas)
        entries += struct.pack("<BBBBHHII", canvas.w % 256, canvas.h % 256, 0, 0, hx, hy,
                               len(image), offset + len(data))
        data += image
    with open(path, "wb") as f:
        f.write(header + entries + data)


# ---- toolbar and bars ----------------------------------------------------

def toolbar_row_colour(y, percent):
    """The toolbar's gradient at pixel row y of the artwork at `percent`."""
    height = (TOOLBAR_SIZE[1] * percent + 50) // 100
    return lerp(BAR_TOP, BAR_BOTTOM, y / (height - 1))


def toolbar_background(percent):
    d = new_drawing(TOOLBAR_SIZE, BAR_TOP, percent)
    c = d.c
    for y in range(c.h):
        c.fill_rect(0, y, c.w, y + 1, toolbar_row_colour(y, percent))
    d.frame_rect(0, 0, *TOOLBAR_SIZE, BAR_BORDER)
    h = TOOLBAR_SIZE[1]
    for x in (213, 300):  # between the tools, Undo/Save/Pin and Cancel/Complete
        d.fill_rect(x, 3, x + 1, h - 3, SEPARATOR)
        d.fill_rect(x + 1, 3, x + 2, h - 3, SEPARATOR_LIGHT)
    return c


def right_separator(d, size):
    w, h = size
    d.fill_rect(w - 2, 3, w - 1, h - 3, SEPARATOR)
    d.fill_rect(w - 1, 3, w, h - 3, SEPARATOR_LIGHT)


def colour_bar_background(percent):
    d = new_drawing(COLOUR_BAR_SIZE, OPTION_BACK, percent)
    d.frame_rect(8, 4, 34, 30, BUTTON_FRAME)      # around the preview square (9,5)-(33,29)
    d.fill_rect(9, 5, 33, 29, (255, 0, 0))
    for row, top in enumerate((2, 17)):
        for col in range(8):
            left = 38 + 15 * col
            d.fill_rect(left, top, left + 15, top + 15, SWATCH_BORDER)
            d.fill_rect(left + 2, top + 2, left + 13, top + 13, SWATCHES[row][col])
    return d.c


def pen_bar_background(percent):
    d = new_drawing(PEN_BAR_SIZE, OPTION_BACK, percent)
    right_separator(d, PEN_BAR_SIZE)
    return d.c


def letter_a(d, x, y, height, colour, width):
    """A capital A standing on (x, y + height), its apex at the top."""
    half = height * 0.42
    apex = (round(x + half), y)
    d.line(x, y + height, *apex, colour, width)
    d.line(round(x + 2 * half), y + height, *apex, colour, width)
    bar = y + round(height * 0.62)
    d.line(round(x + half * 0.45), bar, round(x + half * 1.55), bar, colour, width)


def text_bar_background(percent):
    d = new_drawing(TEXT_BAR_SIZE, OPTION_BACK, percent)
    letter_a(d, 6, 8, 18, (20, 70, 200), 2)
    right_separator(d, TEXT_BAR_SIZE)
    return d.c


# ---- button icons (drawn on a transparent 24 x h canvas) -----------------

def icon_rectangle(d):
    d.frame_rect(5, 5, 20, 17, INK, 2)


def icon_ellipse(d):
    d.ellipse(12, 11, 7, 5.5, INK, 2)


def icon_arrow(d):
    d.line(6, 16, 15, 7, INK, 2)
    d.polygon([(18, 4), (11, 6), (16, 11)], INK)


def icon_brush(d):
    d.line(17, 4, 11, 12, (140, 90, 40), 2)            # handle
    d.polygon([(10, 11), (13, 14), (8, 19), (5, 18)], (60, 60, 60))  # bristles
    d.line(5, 18, 4, 19, (60, 60, 60), 1)


def icon_text(d):
    letter_a(d, 6, 4, 14, INK, 2)


def icon_mosaic(d):
    """A 4 x 4 grid of blocks in shades of blue and grey."""
    shades = [(60, 90, 150), (150, 170, 200), (100, 130, 180), (200, 210, 225)]
    for row in range(4):
        for col in range(4):
            d.fill_rect(5 + 4 * col, 3 + 4 * row, 9 + 4 * col, 7 + 4 * row,
                        shades[(row * 3 + col) % 4])
    d.frame_rect(4, 2, 22, 20, INK)


def icon_step_marker(d):
    """A red disc holding a white 1."""
    d.disc(12, 11, 8, (215, 40, 40))
    white = (255, 255, 255)
    d.line(12, 6, 12, 16, white, 2)
    d.line(10, 8, 12, 6, white, 1)


def icon_highlighter(d):
    """A yellow band across a line of text, a marker pen's tip at its end."""
    d.fill_rect(3, 9, 17, 16, (255, 235, 60))
    d.line(5, 12, 15, 12, INK, 1)
    d.polygon([(16, 16), (21, 5), (23, 6), (19, 17)], (60, 60, 60))
    d.polygon([(16, 16), (19, 17), (17, 19)], (230, 200, 0))


def icon_pin(d):
    """A red push pin, its needle pointing down to the left."""
    red = (210, 40, 40)
    d.line(6, 18, 11, 13, (90, 90, 90), 2)               # needle
    d.polygon([(9, 9), (15, 15), (17, 13), (11, 7)], red)  # body
    d.polygon([(12, 4), (20, 12), (18, 14), (10, 6)], red)  # head
    d.line(14, 8, 16, 10, (255, 160, 160), 1)


def icon_undo(d):
    """A curved arrow over the top, its head at the left pointing down."""
    green = (40, 160, 60)
    pts = [(round(12 + 6 * math.cos(a)), round(12 - 5 * math.sin(a)))
           for a in [math.pi * i / 14 for i in range(15)]]
    d.polyline([(18, 17)] + pts, green, 2)
    x, y = pts[-1]
    d.polygon([(x - 4, y), (x + 4, y), (x, y + 5)], green)


def icon_save(d):
    d.fill_rect(5, 4, 19, 18, (40, 80, 160))
    d.fill_rect(8, 4, 16, 9, (220, 225, 235))           # shutter
    d.fill_rect(13, 5, 15, 8, (40, 80, 160))
    d.fill_rect(7, 12, 17, 18, (250, 250, 250))         # label


def icon_cancel(d):
    orange = (240, 120, 20)
    d.line(7, 6, 17, 16, orange, 3)
    d.line(17, 6, 7, 16, orange, 3)


def icon_complete(d):
    green = (30, 160, 40)
    d.polyline([(5, 11), (10, 16), (19, 6)], green, 3)


def icon_dot(radius):
    def draw(d):
        d.disc(12, 14.5, radius, (30, 30, 30))
    return draw


def strip(icon, size, background_at, percent):
    """Four state images side by side: framed, bare, framed with a light
    fill (hover), framed with a darker fill (pressed)."""
    probe = Drawing(None, percent)
    w, h = probe.i(size[0]), probe.i(size[1])
    out = Canvas(4 * w, h, (0, 0, 0))
    for state in range(4):
        d = new_drawing(size, (0, 0, 0), percent)
        img = d.c
        for y in range(h):
            img.fill_rect(0, y, w, y + 1, background_at(y))
        if state == 2:
            d.fill_rect(1, 1, size[0] - 1, size[1] - 1, HOVER_FILL)
        elif state == 3:
            d.fill_rect(1, 1, size[0] - 1, size[1] - 1, PRESSED_FILL)
        if state != 1:
            d.frame_rect(0, 0, *size, BUTTON_FRAME)
        icon(d)
        out.paste(img, state * w, 0)
    return out


def tool_strip(icon):
    # The buttons sit 3 pixels (at 100 %) down the toolbar: their bare image
    # shows the toolbar's gradient at those rows.
    def make(percent):
        top = (3 * percent + 50) // 100
        return strip(icon, (TOOL_W, TOOL_H), lambda y: toolbar_row_colour(y + top, percent),
                     percent)
    return make


def pen_strip(icon):
    return lambda percent: strip(icon, (PEN_W, PEN_H), lambda y: OPTION_BACK, percent)


# ---- cursors -------------------------------------------------------------

def select_arrow_cursor(size):
    """An arrow pointer, tip at (0, 0): black outline, multicoloured fill."""
    d = Drawing(Canvas(size, size, (0, 0, 0, 0)), size * 100 // 32)
    c = d.c
    outline = [(0, 0), (0, 24), (6, 18), (10, 28), (14, 26), (10, 17), (18, 17)]
    d.polygon(outline, (0, 0, 0, 255))
    inner = [(1.5, 3.5), (1.5, 20.5), (6.5, 15.5), (10.8, 25.3), (12, 24.8),
             (7.8, 15.5), (14.5, 15.5)]
    fill = Drawing(Canvas(size, size, (0, 0, 0, 0)), d.p)
    fill.polygon(inner, (255, 255, 255, 255))
    for y in range(size):
        for x in range(size):
            if fill.c.get(x, y)[3]:
                hue = (x + y) * 32 / size / 30.0
                r, g, b = (round(255 * (0.5 + 0.5 * math.cos(2 * math.pi * (hue + k / 3))))
                           for k in range(3))
                c.set(x, y, (r, g, b, 255))
    return c, (0, 0)


def tool_cross_cursor(size):
    """A cross centred on the middle: dark teal core with a white outline."""
    d = Drawing(Canvas(size, size, (0, 0, 0, 0)), size * 100 // 32)
    white, teal = (255, 255, 255, 255), (0, 84, 124, 255)
    d.fill_rect(14, 3, 19, 30, white)
    d.fill_rect(3, 14, 30, 19, white)
    d.fill_rect(15, 4, 18, 29, teal)
    d.fill_rect(4, 15, 29, 18, teal)
    return d.c, (size // 2, size // 2)


ARTWORK = {
    "arrow_tool": tool_strip(icon_arrow),
    "brush_tool": tool_strip(icon_brush),
    "ellipse_tool": tool_strip(icon_ellipse),
    "cancel": tool_strip(icon_cancel),
    "pen_large": pen_strip(icon_dot(4.5)),
    "pen_medium": pen_strip(icon_dot(2.5)),
    "pen_small": pen_strip(icon_dot(1.2)),
    "complete": tool_strip(icon_complete),
    "text_tool": tool_strip(icon_text),
    "rectangle_tool": tool_strip(icon_rectangle),
    "save": tool_strip(icon_save),
    "undo": tool_strip(icon_undo),
    "mosaic_tool": tool_strip(icon_mosaic),
    "step_marker_tool": tool_strip(icon_step_marker),
    "highlighter_tool": tool_strip(icon_highlighter),
    "pin": tool_strip(icon_pin),
    "toolbar_back": toolbar_background,
    "colour_bar_back": colour_bar_background,
    "pen_size_bar_back": pen_bar_background,
    "text_size_bar_back": text_bar_background,
}
CURSORS = {
    "tool_cross.cur": tool_cross_cursor,
    "select_arrow.cur": select_arrow_cursor,
}


def art_file_name(name, percent):
    return f"{name}.bmp" if percent == 100 else f"{name}-{percent}.bmp"


def main(argv):
    if len(argv) != 2:
        sys.stderr.write(__doc__)
        return 2
    out = argv[1]
    os.makedirs(out, exist_ok=True)
    for name, make in ARTWORK.items():
        for percent in SCALES:
            write_bmp(os.path.join(out, art_file_name(name, percent)), make(percent))
    for name, make in CURSORS.items():
        write_cur(os.path.join(out, name), [make(size) for size in CURSOR_SIZES])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
