"""The annotation editor driven like a user: tools, colours and pen sizes
chosen on the toolbar and its option bars, shapes and text drawn with the
pointer and the keyboard, undo, Save As, and the picture that comes out.

The screen shows the position pattern (xdo.pattern_at), so every pixel of
the completed picture that is not an annotation tells where it was taken.
"""
import io
import subprocess

import pytest
from PIL import Image, ImageChops

import xdo
from browser_server import UploadServer, multipart_fields
from kvharness import run_host, run_wine
from xdo import (OVERLAYWIN_EXE, Toolbar, assert_matches_reference, click, completed_image,
                 drag, fix_region, key, move, pattern_at, screenshot)

REGION = (300, 200, 900, 600)
TOOLBAR = Toolbar(REGION)
BAR = TOOLBAR.origin
BLUE, GREEN, YELLOW, MAGENTA = (0, 0, 255), (0, 255, 0), (255, 255, 0), (255, 0, 255)
press_button = TOOLBAR.press
use = TOOLBAR.use


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
    assert xdo.wait_for(xdo.save_as_open, timeout=15), "no Save As dialog"
    saved = tmp_path / "annotated.png"
    xdo.save_through_dialog(saved)

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

    # And the upload of the capture carries the annotated picture.
    with UploadServer() as server:
        result = run_host({"Command": "Upload", "PostUrl": server.url("/up"),
                           "FileName": "interactive.png"})
        assert result.event["EventName"] == "OnUploadCompleted", result
        (upload,) = server.uploads
    (_, _, _, sent), = [f for f in multipart_fields(upload.headers["Content-Type"], upload.body)
                        if f[1]]
    assert ImageChops.difference(Image.open(io.BytesIO(sent)).convert("RGB"), image).getbbox() is None


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
    # While typing, a dashed frame shows around the box, the picture between
    # its dashes.
    frame = [(shot.getpixel((BOX[0], y)), pattern_at(BOX[0], y)) for y in range(BOX[1], BOX[3])]
    assert sum(p == (0, 0, 0) for p, _ in frame) > len(frame) // 3
    assert all(p in ((0, 0, 0), plain) for p, plain in frame)
    move(700, 500)
    click()  # elsewhere in the region: the text is committed
    press_button("complete")
    image = completed_image(host)
    inside = (BOX[0] + 1, BOX[1] + 1, BOX[2] - 1, BOX[3] - 1)
    assert_only_pattern_and(image, set(), exclude=[inside])
    crop = image.crop((inside[0] - REGION[0], inside[1] - REGION[1],
                       inside[2] - REGION[0], inside[3] - REGION[1]))
    assert_matches_reference(crop, "text-annotation.png")



# ---- keys, redo and the mosaic -------------------------------------------------

def pointer():
    out = subprocess.run(["xdotool", "getmouselocation", "--shell"], check=True,
                         capture_output=True, text=True).stdout
    values = dict(line.split("=") for line in out.split())
    return int(values["X"]), int(values["Y"])


def test_keys_step_the_pointer_then_move_and_resize_the_region(capture):
    host = capture()
    move(400, 300)
    key("shift+Right")
    key("Down")
    assert pointer() == (410, 301)
    fix_region([(700, 400), (701, 401), (900, 560)])
    key("shift+Left")          # the region: 10 left
    key("Up")                  # 1 up
    key("ctrl+Right")          # the right edge 1 right, twice
    key("ctrl+Right")
    key("ctrl+shift+Down")     # the top edge 1 down
    expected = (691, 401, 892, 559)
    xdo.wait_for_region(expected)
    key("ctrl+c")
    image = completed_image(host)
    assert image.size == (201, 158)
    for x, y in [(0, 0), (200, 157), (100, 80)]:
        assert image.getpixel((x, y)) == pattern_at(expected[0] + x, expected[1] + y)


def test_undo_redo_then_a_new_shape_forgets_what_was_undone(capture):
    host = capture()
    fix_region([(REGION[0] - 1, REGION[1] - 1), REGION[:2], REGION[2:]])
    use("rectangle", BLUE, 1)
    drag([(400, 250), (401, 251), (500, 350)])        # A
    drag([(600, 250), (601, 251), (700, 350)])        # B
    key("ctrl+z")
    key("ctrl+z")                                     # A and B gone
    key("ctrl+y")                                     # A back
    key("ctrl+shift+z")                               # B back
    key("ctrl+z")                                     # B gone again
    drag([(400, 420), (401, 421), (500, 520)])        # C forgets B
    key("ctrl+y")                                     # nothing to redo
    press_button("complete")
    image = completed_image(host)
    assert at(image, 400, 300) == BLUE                # A
    assert at(image, 400, 470) == BLUE                # C
    assert at(image, 600, 300) == pattern_at(600, 300)  # B


@pytest.mark.win32
def test_mosaic_blocks_and_save_as_by_key(capture, tmp_path):
    host = capture()
    fix_region([(REGION[0] - 1, REGION[1] - 1), REGION[:2], REGION[2:]])
    use("mosaic", pen=5)                              # 24-pixel blocks
    area = (405, 255, 561, 381)
    drag([area[:2], (area[0] + 1, area[1] + 1), area[2:]])
    key("ctrl+s")
    assert xdo.wait_for(xdo.save_as_open, timeout=15), "no Save As dialog"
    saved = tmp_path / "mosaic.png"
    xdo.save_through_dialog(saved)
    press_button("complete")
    image = completed_image(host)
    assert ImageChops.difference(Image.open(saved).convert("RGB"), image).getbbox() is None
    # Outside the dragged area the picture is untouched; inside, each block
    # of the grid that starts at the region's corner is one colour.
    assert_only_pattern_and(image, set(), exclude=[area])
    blocks = {}
    for y in range(area[1], area[3]):
        for x in range(area[0], area[2]):
            cell = ((x - REGION[0]) // 24, (y - REGION[1]) // 24)
            blocks.setdefault(cell, set()).add(at(image, x, y))
    assert all(len(colours) == 1 for colours in blocks.values())
    assert len(set().union(*blocks.values())) > 20  # not one flat colour
