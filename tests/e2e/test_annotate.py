"""The annotation editor driven like a user: tools, colours and pen sizes
chosen on the toolbar and its option bars, shapes and text drawn with the
pointer and the keyboard, undo, Save As, and the picture that comes out.

The screen shows the position pattern (xdo.pattern_at), so every pixel of
the completed picture that is not an annotation tells where it was taken.
"""
from PIL import Image, ImageChops, ImageStat

import xdo
from kvharness import run_wine
from xdo import (OVERLAYWIN_EXE, TOOLBAR_BORDER, TOOLBAR_W, assert_matches_reference, click,
                 completed_image, drag, fix_region, key, move, pattern_at, screenshot)

REGION = (300, 200, 900, 600)
BAR = (REGION[2] - TOOLBAR_W, REGION[3] + 5)  # under the region, right-aligned
BUTTON_X = {"rectangle": 15, "ellipse": 41, "arrow": 67, "brush": 93, "text": 119,
            "undo": 152, "save": 178, "cancel": 214, "complete": 240}
PEN_X = {1: 16, 2: 43, 5: 70}
# Swatch (column, row) of each colour on the colour bar.
SWATCH = {(0, 0, 0): (0, 0), (255, 0, 0): (2, 1), (255, 255, 0): (3, 1), (0, 255, 0): (4, 1),
          (0, 0, 255): (5, 1), (255, 0, 255): (6, 1)}
BLUE, GREEN, YELLOW, MAGENTA = (0, 0, 255), (0, 255, 0), (255, 255, 0), (255, 0, 255)


def press_button(name):
    move(BAR[0] + BUTTON_X[name], BAR[1] + 14)
    click(settle=0.3)


def option_row():
    """Left edge of the colour bar and top of the option row, read off the
    screen: the row starts where the toolbar's left border ends, and the
    colour bar's preview square (24 pixels of the pen's colour) lies 9
    pixels into the colour bar."""
    move(BAR[0] - 40, BAR[1] + 120)  # away from the toolbar, whose tooltip then goes
    found = xdo.wait_for(read_option_row, timeout=5, step=0.2)
    assert found, "no colour bar in the option row"
    return found


def read_option_row():
    shot = screenshot()
    row = BAR[1]
    while shot.getpixel((BAR[0], row)) == TOOLBAR_BORDER:
        row += 1
    line = [shot.getpixel((x, row + 17)) for x in range(BAR[0], BAR[0] + 250)]
    for i in range(len(line) - 24):
        # The preview square: 24 pixels of one saturated colour (the pen's).
        if min(line[i]) == 0 and max(line[i]) == 255 and len(set(line[i:i + 24])) == 1:
            return BAR[0] + i - 9, row
    return None


def use(tool, colour=None, pen=None):
    press_button(tool)
    colour_x, row = option_row()
    if pen is not None:
        move(BAR[0] + PEN_X[pen], row + 17)
        click()
    if colour is not None:
        column, line = SWATCH[colour]
        move(colour_x + 45 + 15 * column, row + 9 + 15 * line)
        click()
    return colour_x, row


def assert_only_pattern_and(image, colours, region=REGION, exclude=()):
    """Every pixel is the screen's own or one of `colours`; nothing else
    (no frame, handles, size label, magnifier or dashed box)."""
    left, top = region[:2]
    stray = []
    for y in range(image.height):
        for x in range(image.width):
            p = image.getpixel((x, y))
            if p == pattern_at(left + x, top + y) or p in colours:
                continue
            if any(a <= left + x < c and b <= top + y < d for a, b, c, d in exclude):
                continue
            stray.append((left + x, top + y, p))
    assert not stray, stray[:10]


def at(image, x, y):
    return image.getpixel((x - REGION[0], y - REGION[1]))


def test_shapes_in_their_colours_and_pens_undo_and_save_as(capture, tmp_path):
    host = capture()
    fix_region([(REGION[0] - 1, REGION[1] - 1), REGION[:2], REGION[2:]])

    use("rectangle", BLUE, 5)
    # Released over the toolbar: the stroke still ends there, at its last
    # point inside the region.
    drag([(600, 400), (599, 399), (400, 250), (BAR[0] + 60, BAR[1] + 10)])
    use("ellipse", GREEN, 1)
    drag([(650, 250), (651, 251), (850, 400)])
    use("arrow", YELLOW)
    drag([(320, 450), (321, 451), (500, 452)])
    use("brush", MAGENTA, 2)
    drag([(550, 450), (560, 470), (600, 430), (640, 480)])
    use("rectangle", BLUE, 1)
    drag([(700, 450), (701, 451), (850, 580)])
    press_button("undo")  # takes the last rectangle away

    press_button("save")
    assert xdo.wait_for(save_as_open, timeout=15), "no Save As dialog"
    saved = tmp_path / "annotated.png"
    key("ctrl+a")
    xdo.xdo("type", "--delay", 20, "Z:" + str(saved).replace("/", "\\"))
    key("Return", settle=0.5)
    assert xdo.wait_for(saved.exists, timeout=10)
    assert xdo.wait_for(lambda: not save_as_open(), timeout=10)

    press_button("complete")
    image = completed_image(host)
    assert image.size == (600, 400)
    assert_only_pattern_and(image, {BLUE, GREEN, YELLOW, MAGENTA})
    # The rectangle (400, 250)-(600, 400), 5 pixels wide on its edges.
    for x, y in [(400, 300), (402, 300), (398, 300), (500, 250), (597, 350)]:
        assert at(image, x, y) == BLUE, (x, y)
    for x, y in [(404, 300), (500, 320), (393, 300)]:
        assert at(image, x, y) == pattern_at(x, y), (x, y)
    # The ellipse in (650, 250)-(850, 400), one pixel wide.
    assert at(image, 650, 325) == GREEN and at(image, 750, 250) == GREEN
    assert at(image, 652, 325) == pattern_at(652, 325)
    # The arrow: its tip, its head filled, its 1-pixel line.
    assert at(image, 500, 452) == YELLOW
    assert at(image, 494, 452) == YELLOW
    assert [at(image, 410, y) for y in range(448, 455)].count(YELLOW) == 1
    # The brush through each of its points.
    for x, y in [(550, 450), (560, 470), (600, 430), (620, 455)]:
        assert at(image, x, y) == MAGENTA, (x, y)
    # The undone rectangle left nothing.
    assert at(image, 700, 500) == pattern_at(700, 500)

    # Save As took the same picture and left the annotations in place.
    assert ImageChops.difference(Image.open(saved).convert("RGB"), image).getbbox() is None


def save_as_open():
    import json
    from kvharness import PROBE_EXE
    _, out, _ = run_wine([PROBE_EXE, "dialog-info"])
    return [d for d in (json.loads(line) for line in out.decode("utf-8").splitlines()
                        if line.strip()) if d["title"] == "Save As"]


def set_clipboard_text(text):
    rc, _, _ = run_wine([OVERLAYWIN_EXE, "set-text", text.encode("utf-8").hex()])
    assert rc == 0


BOX = (350, 250, 650, 330)  # the dragged box; the text box lies one pixel inside


def test_typed_and_pasted_text_lands_in_its_box(capture):
    host = capture()
    fix_region([(REGION[0] - 1, REGION[1] - 1), REGION[:2], REGION[2:]])
    use("text", BLUE)
    drag([BOX[:2], (BOX[0] + 1, BOX[1] + 1), BOX[2:]])
    xdo.xdo("type", "--delay", 30, "Hello, KvCapture")
    key("Return")
    set_clipboard_text("截图 表格 ")
    key("ctrl+v", settle=0.3)
    shot = screenshot()
    # While typing, a dashed frame shows around the box.
    frame = [shot.getpixel((BOX[0], y)) for y in range(BOX[1], BOX[3])]
    assert frame.count((0, 0, 0)) > len(frame) // 3
    move(700, 500)
    click()  # elsewhere in the region: the text is committed
    press_button("complete")
    image = completed_image(host)
    inside = (BOX[0] + 1, BOX[1] + 1, BOX[2] - 1, BOX[3] - 1)
    assert_only_pattern_and(image, set(), exclude=[inside])
    crop = image.crop((inside[0] - REGION[0], inside[1] - REGION[1],
                       inside[2] - REGION[0], inside[3] - REGION[1]))
    assert_matches_reference(crop, "text-annotation.png")

