"""The editor's extras driven like a user: step markers, the highlighter,
the colour picker, the region history and pinning a capture.

The screen shows the position pattern (xdo.pattern_at), so every pixel of
a completed picture that is not an annotation tells where it was taken.
"""
import subprocess

import pytest

import xdo
from kvharness import MANAGED_WINDOWS, PROBE_EXE, WIN_TESTS, run_wine
from xdo import Toolbar, click, completed_image, fix_region, key, move, pattern_at, screenshot

# Also run against the 32-bit programs.
pytestmark = pytest.mark.win32

REGION = (300, 200, 900, 600)
TOOLBAR = Toolbar(REGION)
BLUE, WHITE, YELLOW = (0, 0, 255), (255, 255, 255), (255, 255, 0)


def at(image, x, y):
    return image.getpixel((x - REGION[0], y - REGION[1]))


def inner_square(image, x, y, origin=(0, 0), half=11):
    """The square inside a marker's disc centred on (x, y)."""
    x, y = x - origin[0], y - origin[1]
    return image.crop((x - half, y - half, x + half + 1, y + half + 1))


def test_step_markers_count_on_after_an_undo(capture):
    host = capture()
    fix_region([(REGION[0] - 1, REGION[1] - 1), REGION[:2], REGION[2:]])
    TOOLBAR.use("marker", BLUE, 5)  # discs of radius 18
    for x in (400, 500, 600):
        move(x, 300)
        click(settle=0.3)
    move(700, 450)
    third = inner_square(screenshot(), 600, 300)
    TOOLBAR.press("undo")
    move(700, 300)
    click(settle=0.3)  # takes the number the undone marker had
    TOOLBAR.press("complete")
    image = completed_image(host)

    assert at(image, 600, 300) == pattern_at(600, 300)  # the undone marker left nothing
    squares = [inner_square(image, x, 300, REGION) for x in (400, 500, 700)]
    for x, square in zip((400, 500, 700), squares):
        # A disc of the pen's colour, its number in white.
        assert at(image, x - 15, 300) == BLUE and at(image, x, 300 + 15) == BLUE, x
        assert set(square.getdata()) == {BLUE, WHITE}, x
    assert squares[0].tobytes() != squares[1].tobytes()  # 1 and 2 differ
    assert squares[2].tobytes() == third.tobytes()  # the new marker is a 3 again


def test_a_highlighter_stroke_tints_what_lies_under_it(capture):
    host = capture()
    fix_region([(REGION[0] - 1, REGION[1] - 1), REGION[:2], REGION[2:]])
    TOOLBAR.use("highlighter", YELLOW, 5)  # 24 pixels wide
    xdo.drag([(400, 400), (401, 401), (500, 402), (600, 403), (700, 404)])
    TOOLBAR.press("complete")
    image = completed_image(host)

    # Under the stroke each pixel is the screen's own times yellow: red and
    # green (what the pattern encodes) kept exactly, blue gone.
    for x in range(420, 680, 7):
        for dy in (-9, 0, 9):
            y = 402 + dy
            r, g, b = pattern_at(x, y)
            assert b and at(image, x, y) == (r, g, 0), (x, y)
    for x, y in [(500, 380), (500, 425), (380, 400), (720, 404)]:
        assert at(image, x, y) == pattern_at(x, y), (x, y)


@pytest.fixture
def fresh_settings():
    """The user's capture settings start empty and are left empty."""
    def clear():
        run_wine(["reg", "delete", "HKCU\\Software\\KvCapture", "/f"])
    clear()
    yield
    clear()


def clipboard_text():
    rc, out, _ = run_wine([WIN_TESTS / "kvdragtool.exe", "clipboard"])
    assert rc == 0
    return out.decode().strip()


def test_c_copies_the_pointed_colour_in_the_magnifiers_form(capture, fresh_settings):
    host = capture()
    move(450, 320, settle=0.3)
    r, g, b = pattern_at(450, 320)
    key("c", settle=0.3)
    assert clipboard_text() == f"#{r:02X}{g:02X}{b:02X}"
    key("shift", settle=0.3)  # a tap of Shift: the other form
    key("c", settle=0.3)
    assert clipboard_text() == f"RGB:({r},{g},{b})"
    assert xdo.overlay_open()  # the capture stays open
    key("Escape")
    host.finish(timeout=30)

    # The form is kept for the next capture.
    _, out, _ = run_wine(["reg", "query", "HKCU\\Software\\KvCapture", "/v",
                          "MagnifierColourFormat"])
    assert "0x1" in out.decode()


def test_comma_brings_back_earlier_regions_and_completing_adds_one(capture, fresh_settings):
    newer, older = (700, 400, 900, 560), (350, 250, 650, 400)
    history = ";".join("{},{},{},{},{},{}".format(*r, *screen) for r, screen in [
        (newer, (1600, 900)), ((2000, 100, 2400, 300), (3840, 2160)), (older, (1600, 900))])
    run_wine(["reg", "add", "HKCU\\Software\\KvCapture", "/v", "RegionHistory", "/t", "REG_SZ",
              "/d", history, "/f"])
    host = capture()
    move(450, 320, settle=0.3)
    key("comma")
    xdo.wait_for_region(newer)
    key("comma")  # past the region of a larger screen
    xdo.wait_for_region(older)
    key("period")
    xdo.wait_for_region(newer)
    key("ctrl+c")
    image = completed_image(host)
    assert image.size == (200, 160)
    assert image.getpixel((0, 0)) == pattern_at(700, 400)
    assert image.getpixel((199, 159)) == pattern_at(899, 559)
    # The completed region is the newest again, kept once.
    _, out, _ = run_wine(["reg", "query", "HKCU\\Software\\KvCapture", "/v", "RegionHistory"])
    assert "700,400,900,560,1600,900;2000,100,2400,300,3840,2160;350,250,650,400" in out.decode()


def pin_open():
    return run_wine([PROBE_EXE, "find-window", "KvCapturePin"])[0] == 0


def test_f3_completes_and_pins_the_picture_at_the_region_until_escape(capture):
    host = capture()
    region = fix_region([(REGION[0] - 1, REGION[1] - 1), REGION[:2], REGION[2:]])
    TOOLBAR.use("rectangle", BLUE, 5)
    xdo.drag([(400, 300), (401, 301), (600, 450)])
    key("F3")
    image = completed_image(host)  # completed as Ctrl+C does; the host has ended
    assert xdo.wait_for(pin_open, timeout=15), "no pin window"
    move(REGION[2] + 40, REGION[3] + 40)

    def shows_the_picture():
        return screenshot().crop(region).tobytes() == image.tobytes()

    assert xdo.wait_for(shows_the_picture, timeout=10)
    assert at(image, 400, 350) == BLUE
    move(500, 380)
    if MANAGED_WINDOWS:
        # Wine leaves a managed window's X focus to the window manager,
        # which these displays lack: the harness does its part.
        pins = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^KvCapture$"],
                              capture_output=True, text=True).stdout.split()
        assert pins, "the pin's X window was not found"
        xdo.xdo("windowfocus", "--sync", pins[-1])
    key("Escape", settle=0.5)
    assert xdo.wait_for(lambda: not pin_open(), timeout=10)
    assert screenshot().getpixel((400, 350)) == pattern_at(400, 350)
