"""A desk of three monitors: the primary 1920 x 1080 at (0, 0), 1280 x 1024
to its left, 1024 x 768 above it. tools/test runs this module on an Xorg
display of its own whose RandR outputs are laid out so (kv_monitor_tests,
KV_MONITORS=3), in a Wine session of its own; elsewhere it is skipped.

The X screen is the virtual screen: X root (1280, 768) is Windows' (0, 0).
Its corners that no monitor shows still hold pixels on the X screen, so a
screenshot shows whatever the overlay draws there."""
import os
import subprocess

import pytest
from PIL import Image, ImageChops

import xdo
from kvharness import PROBE_EXE, exit_code, kill_group, run_host, wine_popen
from test_prompt import TEXTS, prompt_host, wait_for_prompt  # noqa: F401 (a fixture)

pytestmark = pytest.mark.skipif(os.environ.get("KV_MONITORS") != "3",
                                reason="needs the three-monitor desk of tools/test")

ORIGIN = (1280, 768)  # Windows' (0, 0) on the X screen
DESK = (-1280, -768, 1920, 1080)  # the virtual screen (left, top, right, bottom)
MONITORS = {"primary": (0, 0, 1920, 1080),
            "left": (-1280, 0, 0, 1024),
            "upper": (0, -768, 1024, 0)}


def on_x(x, y):
    return x + ORIGIN[0], y + ORIGIN[1]


def box_on_x(box):
    left, top, right, bottom = box
    return (*on_x(left, top), *on_x(right, bottom))


def inside(box, bounds):
    return (box[0] >= bounds[0] and box[1] >= bounds[1] and box[2] <= bounds[2]
            and box[3] <= bounds[3])


def on_one_monitor(x_box):
    """The name of the monitor wholly holding a box of X coordinates."""
    for name, monitor in MONITORS.items():
        if inside(x_box, box_on_x(monitor)):
            return name
    return None


def pattern_of(box):
    """The position pattern of a box of Windows coordinates."""
    left, top, right, bottom = box
    image = Image.new("RGB", (right - left, bottom - top))
    image.putdata([xdo.pattern_at(x, y) for y in range(top, bottom) for x in range(left, right)])
    return image


def completed(result):
    assert exit_code(result.returncode) == 0, result
    assert result.event["EventName"] == "OnCaptureCompleted", result.event
    return xdo.event_image(result.event)


@pytest.fixture
def screen():
    """The position pattern over the whole virtual screen, the corners that
    no monitor shows included (replaces the one-monitor backdrop)."""
    left, top, right, bottom = DESK
    windows = xdo.PatternWindows((left, top, right - left, bottom - top))
    yield right - left, bottom - top
    windows.close()


def test_the_session_has_three_monitors():
    out = subprocess.run(["xrandr", "--listactivemonitors"], capture_output=True, text=True,
                         check=True).stdout
    assert out.startswith("Monitors: 3"), out


def test_capture_screen_covers_every_monitor(screen):
    image = completed(run_host({"Command": "CaptureScreen", "FileName": "desk.png"}))
    assert image.size == (3200, 1848)
    shot = xdo.screenshot()
    for name, monitor in MONITORS.items():
        box = box_on_x(monitor)
        assert image.crop(box).tobytes() == shot.crop(box).tobytes(), name
        # Each pixel is the one of its Windows position, negative ones too.
        left, top, right, bottom = monitor
        for x, y in [(left, top), (right - 1, top), (left, bottom - 1), (right - 1, bottom - 1)]:
            assert image.getpixel(on_x(x, y)) == xdo.pattern_at(x, y), (name, x, y)


@pytest.mark.parametrize("box", [(-1000, 300, -600, 600),   # on the left monitor
                                 (-150, 500, 150, 620),      # across its seam with the primary
                                 (100, -700, 300, -500)])    # on the upper monitor
def test_capture_rect_on_other_monitors(screen, box):
    left, top, right, bottom = box
    image = completed(run_host({"Command": "CaptureRect", "CaptureLeft": left, "CaptureTop": top,
                                "CaptureWidth": right - left, "CaptureHeight": bottom - top,
                                "FileName": "rect.png"}))
    assert image.tobytes() == pattern_of(box).tobytes()


def test_capture_window_on_the_left_monitor(screen):
    title = "KvTest Left Monitor"
    proc = wine_popen([PROBE_EXE, "titled-window", title, 300, 200, -900, 250],
                      stdin=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        assert proc.stdout.readline().strip() == b"ready"
        image = completed(run_host({"Command": "CaptureWindow", "WinName": title,
                                    "FileName": "win.png"}))
    finally:
        kill_group(proc)
        proc.wait()
    # The window's area (another process's window prints black under Wine).
    assert image.size == (300, 200)


@pytest.mark.parametrize("points", [
    [(-1000, 200), (-990, 210), (-600, 500)],   # on the left monitor
    [(-200, 400), (-190, 410), (200, 600)],     # across the seam of the left and the primary
    [(500, -300), (510, -290), (700, 100)],     # across the seam of the upper and the primary
], ids=["left", "left-primary seam", "upper-primary seam"])
def test_interactive_region_is_pixel_exact(capture, points):
    host = capture()
    region = xdo.fix_region([on_x(*p) for p in points])
    xdo.key("ctrl+c")
    image = xdo.completed_image(host)
    left, top = region[0] - ORIGIN[0], region[1] - ORIGIN[1]
    box = (left, top, left + region[2] - region[0], top + region[3] - region[1])
    assert box[:2] == points[1] and box[2:] == points[2]
    assert image.tobytes() == pattern_of(box).tobytes()


def colour_box(shot, rgb):
    """The bounding box of the pixels of exactly that colour, or None."""
    r, g, b = (band.point(lambda v, want=want: 255 if v == want else 0)
               for band, want in zip(shot.split(), rgb))
    return ImageChops.multiply(ImageChops.multiply(r, g), b).getbbox()


def magnifier_box(shot):
    """Where the magnifier's zoom frame and cross-hair are (X coordinates).
    The backdrop's pattern has those colours at one position each, in a
    corner no monitor shows: it is painted over first."""
    for x, y in [(-256, -1), (-256, -136)]:
        shot.putpixel(on_x(x, y), (0, 0, 0))
    found = [colour_box(shot, c) for c in (xdo.CROSS_HAIR, (0, 120, 255))]
    found = [b for b in found if b]
    if not found:
        return None
    return (min(b[0] for b in found), min(b[1] for b in found),
            max(b[2] for b in found), max(b[3] for b in found))


def test_the_magnifier_stays_on_the_monitor_of_the_pointer(capture):
    """The placement itself is checked at every corner in the unit tests;
    here one corner of each monitor where the box would cross a seam or
    fall off the desk."""
    capture()
    corners = {"primary": (1919, 0), "left": (-1, 1023), "upper": (1023, -1)}
    for name, (x, y) in corners.items():
        xdo.move(*on_x(x, y), settle=0.4)
        box = xdo.wait_for(lambda: magnifier_box(xdo.screenshot()), timeout=5)
        assert box, (name, x, y)
        # The zoom is 120 x 100: the frame and bars span nearly all of it.
        assert box[2] - box[0] >= 116 and box[3] - box[1] >= 98, (name, x, y, box)
        assert on_one_monitor(box) == name, (name, x, y, box)


def toolbar_box():
    """The toolbar's extent on the screen (its border's colour is nowhere
    else), in X coordinates."""
    return colour_box(xdo.screenshot(), xdo.TOOLBAR_BORDER)


def regions_at_the_edges(monitor):
    """Regions (press, anchor, end; Windows coordinates) at the edges of a
    monitor: its bottom, its whole height at its right edge, its left edge."""
    left, top, right, bottom = monitor
    return [[(left + 100, bottom - 300), (left + 110, bottom - 290), (left + 500, bottom - 1)],
            [(right - 400, top), (right - 390, top + 1), (right - 1, bottom - 1)],
            [(left, top + 100), (left + 1, top + 101), (left + 150, top + 300)]]


def test_the_toolbar_stays_on_the_monitor_of_the_region(capture):
    """One edge of each monitor (each edge of every monitor: the unit tests)."""
    capture()
    for edge, (name, monitor) in enumerate(MONITORS.items()):
        points = regions_at_the_edges(monitor)[edge]
        xdo.fix_region([on_x(*p) for p in points])
        box = xdo.wait_for(toolbar_box, timeout=5)
        assert box, (name, points)
        assert box[2] - box[0] == xdo.TOOLBAR_W, box
        assert on_one_monitor(box) == name, (name, points, box)
        # Back to choosing: a right click outside the region.
        left, top, right, bottom = monitor
        xdo.move(*on_x((left + right) // 2 + 30, top + 40 if points[0][1] > top + 50
                       else bottom - 40))
        xdo.click(3, settle=0.4)
        assert xdo.wait_for(lambda: toolbar_box() is None, timeout=5), (name, points)


@pytest.mark.parametrize("name", ["left", "upper", "primary"])
def test_the_prompt_is_centred_on_the_monitor_under_the_pointer(prompt_host, name):
    left, top, right, bottom = MONITORS[name]  # without a task bar: the work area
    xdo.move(*on_x(left + 100, bottom - 100))
    prompt_host()
    l, t, r, b = wait_for_prompt(TEXTS["en"][0])["rect"]
    assert abs((l + r) / 2 - (left + right) / 2) <= 1, (name, (l, t, r, b))
    assert abs((t + b) / 2 - (top + bottom) / 2) <= 1, (name, (l, t, r, b))
