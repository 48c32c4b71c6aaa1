#!/usr/bin/python3
"""Makes the screen pictures the PNG writer is measured on: a web page, a
code editor, a dialog (no font smoothing: few colours) and a photo-like
wallpaper, each at 1920 x 1080 and 3840 x 2160 (drawn at twice the scale),
as binary PPM files (P6), plus Pillow's PNG size for each at its default
level in sizes.txt. Deterministic (fixed seeds).

Usage: /usr/bin/python3 tests/bench/png_corpus.py <folder>
"""
import io
import random
import sys
from pathlib import Path

from PIL import Image, ImageDraw, ImageFilter, ImageFont

FONTS = Path("/usr/share/fonts/truetype/dejavu")
WORDS = ("the of and to in is for on that with as was by this are from at an be or have "
         "capture screen browser window extension native message region picture file "
         "toolbar select copy paste save image overlay region click menu option").split()


def font(name, size):
    return ImageFont.truetype(str(FONTS / name), size)


def sentence(rng, n):
    return " ".join(rng.choice(WORDS) for _ in range(n)).capitalize() + "."


def web_page(w, h, s):
    rng = random.Random(1)
    img = Image.new("RGB", (w, h), (255, 255, 255))
    d = ImageDraw.Draw(img)
    d.rectangle((0, 0, w, 40 * s), fill=(53, 54, 58))           # browser tabs
    d.rectangle((0, 40 * s, w, 80 * s), fill=(241, 243, 244))  # address bar
    d.rounded_rectangle((120 * s, 46 * s, w - 200 * s, 74 * s), 14 * s, fill=(255, 255, 255))
    d.text((140 * s, 52 * s), "https://example.org/articles/screen-capture", fill=(32, 33, 36),
           font=font("DejaVuSans.ttf", 14 * s))
    d.rectangle((0, 80 * s, w, 140 * s), fill=(25, 103, 210))   # site header
    d.text((40 * s, 95 * s), "Example News", fill=(255, 255, 255), font=font("DejaVuSans-Bold.ttf", 28 * s))
    side = w - 360 * s
    d.rectangle((side, 140 * s, w, h), fill=(248, 249, 250))
    body = font("DejaVuSerif.ttf", 16 * s)
    head = font("DejaVuSans-Bold.ttf", 22 * s)
    y = 160 * s
    while y < h - 40 * s:
        d.text((40 * s, y), sentence(rng, 6), fill=(20, 20, 20), font=head)
        y += 40 * s
        if rng.random() < 0.4:  # a picture in the article
            box = Image.new("RGB", (2, 2))
            box.putdata([tuple(rng.randrange(256) for _ in range(3)) for _ in range(4)])
            box = box.resize((400 * s, 160 * s), Image.BICUBIC)
            img.paste(box, (40 * s, y))
            y += 175 * s
        for _ in range(rng.randrange(3, 7)):
            d.text((40 * s, y), sentence(rng, 14)[: (side - 80 * s) // (8 * s)], fill=(60, 64, 67), font=body)
            y += 24 * s
        y += 16 * s
    for k in range(12):
        d.text((side + 20 * s, 170 * s + k * 60 * s), sentence(rng, 4), fill=(25, 103, 210),
               font=font("DejaVuSans.ttf", 15 * s))
    return img


def code_editor(w, h, s):
    rng = random.Random(2)
    img = Image.new("RGB", (w, h), (30, 30, 30))
    d = ImageDraw.Draw(img)
    d.rectangle((0, 0, 48 * s, h), fill=(51, 51, 51))            # activity bar
    d.rectangle((48 * s, 0, 300 * s, h), fill=(37, 37, 38))      # file tree
    d.rectangle((300 * s, 0, w, 35 * s), fill=(45, 45, 45))      # tabs
    d.rectangle((0, h - 22 * s, w, h), fill=(0, 122, 204))       # status bar
    mono = font("DejaVuSansMono.ttf", 14 * s)
    ui = font("DejaVuSans.ttf", 13 * s)
    for k in range(40):
        d.text((60 * s + (k % 3) * 12 * s, 45 * s + k * 22 * s), rng.choice(WORDS) + ".cpp",
               fill=(204, 204, 204), font=ui)
    colours = [(86, 156, 214), (206, 145, 120), (106, 153, 85), (220, 220, 170), (212, 212, 212),
               (197, 134, 192), (78, 201, 176)]
    y, line = 45 * s, 1
    while y < h - 40 * s:
        d.text((310 * s, y), f"{line:4d}", fill=(133, 133, 133), font=mono)
        x = 370 * s + rng.randrange(0, 5) * 4 * 8 * s
        for _ in range(rng.randrange(0, 9)):
            word = rng.choice(WORDS + ["{", "}", "();", "->", "::", "return", "const", "int"])
            d.text((x, y), word, fill=rng.choice(colours), font=mono)
            x += (len(word) + 1) * 8 * s + s
        y += 19 * s
        line += 1
    d.text((10 * s, h - 19 * s), "main  Ln 42, Col 7  UTF-8  C++", fill=(255, 255, 255), font=ui)
    return img


def dialog(w, h, s):
    rng = random.Random(3)
    img = Image.new("RGB", (w, h), (0, 120, 215))  # desktop
    d = ImageDraw.Draw(img)
    d.fontmode = "1"  # no smoothing: the classic look, few colours
    d.rectangle((0, h - 40 * s, w, h), fill=(32, 32, 32))  # taskbar
    ui = font("DejaVuSans.ttf", 12 * s)
    for k in range(8):
        d.rectangle((8 * s + k * 48 * s, h - 36 * s, 40 * s + k * 48 * s, h - 4 * s), fill=(60, 60, 60))
    left, top = w // 2 - 300 * s, h // 2 - 220 * s
    right, bottom = w // 2 + 300 * s, h // 2 + 220 * s
    d.rectangle((left + 4 * s, top + 4 * s, right + 4 * s, bottom + 4 * s), fill=(0, 80, 150))
    d.rectangle((left, top, right, bottom), fill=(240, 240, 240), outline=(100, 100, 100))
    d.rectangle((left, top, right, top + 30 * s), fill=(255, 255, 255))
    d.text((left + 10 * s, top + 8 * s), "Settings - KvCapture", fill=(0, 0, 0), font=ui)
    y = top + 50 * s
    for k in range(9):
        d.text((left + 20 * s, y + 4 * s), sentence(rng, 3), fill=(0, 0, 0), font=ui)
        if k % 3 == 0:
            d.rectangle((left + 240 * s, y, right - 20 * s, y + 22 * s), fill=(255, 255, 255),
                        outline=(122, 122, 122))
            d.text((left + 246 * s, y + 4 * s), sentence(rng, 2), fill=(0, 0, 0), font=ui)
        else:
            d.rectangle((left + 240 * s, y + 4 * s, left + 253 * s, y + 17 * s), fill=(255, 255, 255),
                        outline=(51, 51, 51))
            if k % 2:
                d.line((left + 243 * s, y + 10 * s, left + 246 * s, y + 14 * s, left + 251 * s, y + 6 * s),
                       fill=(0, 0, 0), width=2 * s)
        y += 36 * s
    for k, label in enumerate(["OK", "Cancel", "Apply"]):
        bx = right - 290 * s + k * 95 * s
        d.rectangle((bx, bottom - 40 * s, bx + 85 * s, bottom - 14 * s), fill=(225, 225, 225),
                    outline=(0, 120, 215) if k == 0 else (173, 173, 173))
        d.text((bx + 28 * s, bottom - 34 * s), label, fill=(0, 0, 0), font=ui)
    return img


def wallpaper(w, h, s):
    rng = random.Random(4)
    small = Image.new("RGB", (16, 9))
    small.putdata([(rng.randrange(40, 200), rng.randrange(60, 220), rng.randrange(80, 255))
                   for _ in range(16 * 9)])
    img = small.resize((w, h), Image.BICUBIC)
    # Fine detail and sensor noise, as in a photograph.
    detail = Image.effect_noise((w // 4, h // 4), 40).resize((w, h), Image.BICUBIC)
    noise = Image.effect_noise((w, h), 6)
    img = Image.merge("RGB", [Image.blend(c, detail, 0.15) for c in img.split()])
    img = Image.merge("RGB", [Image.blend(c, noise, 0.05) for c in img.split()])
    return img.filter(ImageFilter.SMOOTH)


PICTURES = {"web": web_page, "editor": code_editor, "dialog": dialog, "wallpaper": wallpaper}


def main():
    folder = Path(sys.argv[1])
    folder.mkdir(parents=True, exist_ok=True)
    lines = []
    for scale, (w, h) in ((1, (1920, 1080)), (2, (3840, 2160))):
        for name, make in PICTURES.items():
            img = make(w, h, scale)
            stem = f"{name}-{w}x{h}"
            with open(folder / f"{stem}.ppm", "wb") as f:
                f.write(b"P6\n%d %d\n255\n" % (w, h))
                f.write(img.tobytes())
            out = io.BytesIO()
            img.save(out, format="PNG")
            colours = img.getcolors(257)
            lines.append(f"{stem} {len(out.getvalue())} {len(colours) if colours else '>256'}")
            print(lines[-1], flush=True)
    (folder / "sizes.txt").write_text("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
