"""Pointer, keyboard and screen of the test display, for driving the capture
overlay like a user: xdotool for input, xwd for screenshots, and test windows
whose every pixel tells its screen position."""
import base64
import io
import subprocess
import time
from pathlib import Path

from PIL import Image, ImageChops, ImageStat

from kvharness import (PROBE_EXE, SLOWNESS, WIN_TESTS, exit_code, kill_group, run_wine, unix_path,
                       wine_popen)

OVERLAYWIN_EXE = WIN_TESTS / "kvoverlaywin.exe"

# The overlay's colours.
CHOOSING_FRAME = (0, 180, 245)
FIXED_FRAME = (45, 120, 225)
LABEL_BACK = (50, 50, 50)
MAGNIFIER_BACK = (60, 60, 60)
CROSS_HAIR = (0, 255, 255)
TOOLBAR_BORDER = (62, 128, 195)
TOOLBAR_W = 362

WINDOW = (200, 150, 600, 450)  # the test window over the backdrop (the screen fixture)


def xdo(*args):
    subprocess.run(["xdotool"] + [str(a) for a in args], check=True)


def settle_for(seconds):
    """Waits for the programs to handle what was just sent (longer for
    programs that run emulated)."""
    time.sleep(seconds * SLOWNESS)


def move(x, y, settle=0.08):
    xdo("mousemove", x, y)
    settle_for(settle)


def click(button=1, settle=0.15):
    xdo("click", button)
    settle_for(settle)


def double_click(settle=0.15):
    xdo("click", "--repeat", 2, "--delay", 80, 1)
    settle_for(settle)


def drag(points, settle=0.2):
    """Presses at the first point, moves through the others, releases."""
    move(*points[0], settle)
    xdo("mousedown", 1)
    settle_for(settle)
    for p in points[1:]:
        move(*p, settle)
    xdo("mouseup", 1)
    settle_for(settle)


def key(name, settle=0.1):
    xdo("key", name)
    settle_for(settle)


def screenshot():
    data = subprocess.run(["sh", "-c", "xwd -root -silent | convert xwd:- png:-"],
                          check=True, capture_output=True).stdout
    return Image.open(io.BytesIO(data)).convert("RGB")


def wait_for(predicate, timeout=15, step=0.1):
    end = time.time() + timeout
    while time.time() < end:
        value = predicate()
        if value:
            return value
        time.sleep(step)
    return None


def wait_for_pixels(expected, timeout=8):
    """Waits until the screen shows each colour at its point ({(x, y): rgb});
    returns the last screenshot, which the caller asserts on."""
    shot = None

    def shows():
        nonlocal shot
        shot = screenshot()
        return all(shot.getpixel(xy) == rgb for xy, rgb in expected.items())

    wait_for(shows, timeout=timeout, step=0.2)
    return shot


# ---- the position pattern of kvoverlaywin --------------------------------------

def pattern_at(x, y):
    return (x & 0xFF, y & 0xFF, ((x >> 8) & 0x0F) | (((y >> 8) & 0x0F) << 4))


def position_of(rgb):
    r, g, b = rgb[:3]
    return r | ((b & 0x0F) << 8), g | ((b >> 4) << 8)


def dimmed(rgb):
    return tuple(c * 155 // 255 for c in rgb)


def close_to(a, b, tolerance=2):
    return all(abs(p - q) <= tolerance for p, q in zip(a, b))


class PatternWindows:
    """kvoverlaywin windows on the display, given as (x, y, w, h), each later
    one above the earlier ones; with change_after_ms they turn magenta that
    long after they appeared."""

    def __init__(self, *rects, change_after_ms=None):
        args = [OVERLAYWIN_EXE, "window"]
        if change_after_ms is not None:
            args += ["--change-after", change_after_ms]
        for rect in rects:
            args += list(rect)
        self.proc = wine_popen(args)
        line = self.proc.stdout.readline()
        assert line.strip() == b"ready", line
        time.sleep(0.3)

    def close(self):
        if self.proc.poll() is None:
            kill_group(self.proc)
            self.proc.communicate()


def clipboard_image(folder):
    """The clipboard's bitmap, read by a Windows program, or None."""
    path = folder / "clipboard.bmp"
    rc, _, _ = run_wine([OVERLAYWIN_EXE, "clipboard", path])
    if rc != 0:
        return None
    return Image.open(path).convert("RGB")


def overlay_open():
    return run_wine([PROBE_EXE, "find-window", "KvVovoDodereWnd"])[0] == 0


def no_host_running():
    return run_wine([PROBE_EXE, "find-host"])[0] != 0


def event_image(event, mode="RGB"):
    """The picture of an OnCaptureCompleted event: its Base64 text, or the
    file it names when the text was left out; converted to `mode` unless
    that is None."""
    if event.get("arg2"):
        image = Image.open(io.BytesIO(base64.b64decode(event["arg2"])))
    else:
        image = Image.open(unix_path(event["arg1"]))
    return image.convert(mode) if mode else image


# ---- an interactive capture ---------------------------------------------------

def fix_region(points):
    """Drags out a region and waits until it shows as fixed; returns it."""
    drag(points)
    (ax, ay), (x, y) = points[1], points[-1]
    region = (min(ax, x), min(ay, y), max(ax, x), max(ay, y))
    wait_for_region(region)
    return region


def wait_for_region(region):
    """Waits until the fixed region's left edge shows (below its handle)."""
    left, top, right, bottom = region
    wait_for_pixels({(max(left, 0), (top + bottom) // 2 + 7): FIXED_FRAME})


def completed_image(host):
    """The picture of the capture's OnCaptureCompleted event (24 bits)."""
    result = host.finish(timeout=30)
    assert exit_code(result.returncode) == 0, result
    event = result.event
    assert event["EventName"] == "OnCaptureCompleted", event
    assert event_image(event, mode=None).mode == "RGB"  # 24 bits, no alpha
    return event_image(event)


def assert_matches_reference(image, name, tolerance=8):
    """The picture matches tests/e2e/reference/<name> within a mean
    difference of `tolerance` per channel (font rendering varies slightly).
    Without a reference the picture is left in /tmp to be looked at."""
    path = Path(__file__).parent / "reference" / name
    if not path.exists():
        image.save(Path("/tmp") / name)
        raise AssertionError(f"no reference {name}; this run's picture is /tmp/{name}")
    reference = Image.open(path).convert("RGB")
    assert image.size == reference.size
    diff = ImageStat.Stat(ImageChops.difference(image, reference)).mean
    assert max(diff) < tolerance, diff


class Toolbar:
    """The toolbar of a fixed region (under it, right-aligned: the region
    leaves room below), its buttons and the bars of its option row."""

    BUTTON_X = {"rectangle": 15, "ellipse": 41, "arrow": 67, "brush": 93, "text": 119,
                "mosaic": 145, "marker": 171, "highlighter": 197, "undo": 230, "save": 256,
                "pin": 282, "cancel": 318, "complete": 344}
    PEN_X = {1: 16, 2: 43, 5: 70}
    # (column, row) of the colour bar's swatches.
    SWATCH = {(0, 0, 0): (0, 0), (255, 255, 255): (0, 1), (255, 0, 0): (2, 1),
              (255, 255, 0): (3, 1), (0, 255, 0): (4, 1), (0, 0, 255): (5, 1),
              (255, 0, 255): (6, 1), (0, 255, 255): (7, 1)}

    def __init__(self, region):
        self.origin = (region[2] - TOOLBAR_W, region[3] + 5)

    def press(self, name):
        move(self.origin[0] + self.BUTTON_X[name], self.origin[1] + 14)
        click(settle=0.3)

    def use(self, tool, colour=None, pen=None):
        """Chooses a tool, then a pen size and a colour on its bars."""
        self.press(tool)
        if tool == "mosaic":  # block sizes only, no colour bar
            move(self.origin[0] - 40, self.origin[1] + 120)
            if pen is not None:
                move(self.origin[0] + self.PEN_X[pen], self.origin[1] + 28 + 17)
                click()
            return
        colour_x, row = self.option_row()
        if pen is not None:
            move(self.origin[0] + self.PEN_X[pen], row + 17)
            click()
        if colour is not None:
            column, line = self.SWATCH[colour]
            move(colour_x + 45 + 15 * column, row + 9 + 15 * line)
            click()

    def option_row(self):
        """Left edge of the colour bar and top of the option row, read off
        the screen: the row starts where the toolbar's left border ends, and
        the colour bar's preview square (24 pixels of the pen's colour, a
        saturated one) lies 9 pixels into the colour bar."""
        x0, y0 = self.origin
        move(x0 - 40, y0 + 120)  # away from the toolbar, whose tooltip then goes

        def read():
            shot = screenshot()
            row = y0
            while shot.getpixel((x0, row)) == TOOLBAR_BORDER:
                row += 1
            line = [shot.getpixel((x, row + 17)) for x in range(x0, x0 + 250)]
            for i in range(len(line) - 24):
                if min(line[i]) == 0 and max(line[i]) == 255 and len(set(line[i:i + 24])) == 1:
                    return x0 + i - 9, row
            return None

        found = wait_for(read, timeout=5, step=0.2)
        assert found, "no colour bar in the option row"
        return found


# ---- dialogs -----------------------------------------------------------------

def dialogs():
    """The visible dialogs on the display, as kvprobe describes them."""
    import json
    _, out, _ = run_wine([PROBE_EXE, "dialog-info"])
    return [json.loads(line) for line in out.decode("utf-8").splitlines() if line.strip()]


def save_as_open(title="Save As"):
    return [d for d in dialogs() if d["title"] == title]


def save_through_dialog(path):
    """Types `path` into the open Save As dialog and waits until it closed
    and the file exists."""
    key("ctrl+a")
    xdo("type", "--delay", 20, "Z:" + str(path).replace("/", "\\"))
    key("Return", settle=0.5)
    assert wait_for(path.exists, timeout=10), path
    assert wait_for(lambda: not save_as_open(), timeout=10)
