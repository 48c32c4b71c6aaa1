"""Screens for the capture tests: the known windows of kvtestwin, X
screenshots, and the images the host wrote."""
import base64
import io
import os
import subprocess
import time
from dataclasses import dataclass

from PIL import Image

from kvharness import WIN64, kill_group, run_host, wine_popen

# Outside the tests folder, whose programs are ended between tests.
TESTWIN_EXE = WIN64 / "testwindows" / "kvtestwin.exe"


def pattern_pixel(x, y, seed):
    """The colour kvtestwin paints at client (x, y) of a pattern window."""
    return ((5 * x + seed) & 255, (3 * y + 7 * seed) & 255, (16 * ((x + y) // 8) + seed) & 255)


def pattern_image(width, height, seed, dx=0, dy=0):
    """The pattern of `seed` from client (dx, dy), width x height."""
    img = Image.new("RGB", (width, height))
    img.putdata([pattern_pixel(x + dx, y + dy, seed) for y in range(height) for x in range(width)])
    return img


@dataclass
class SceneWindow:
    title: str
    class_name: str
    rect: tuple  # left, top, right, bottom

    @property
    def size(self):
        return (self.rect[2] - self.rect[0], self.rect[3] - self.rect[1])


# Windows that Wine draws for its programs but leaves black on the X
# screen (pop-ups owned by an owned pop-up): screen comparisons skip them.
X_HIDDEN = ("KvTest Inner Corner", "KvTest Inner Offset")


class Scene:
    """kvtestwin started in one of its screen modes; ends with close()."""

    def __init__(self, mode="scene", timeout=30):
        self.proc = wine_popen([TESTWIN_EXE, mode])
        self.windows = {}
        end = time.time() + timeout
        while time.time() < end:
            line = self.proc.stdout.readline().decode().strip()
            if line == "ready":
                break
            if not line:
                if self.proc.poll() is not None:
                    raise AssertionError(f"kvtestwin ended: {self.proc.returncode} "
                                         f"{self.proc.stderr.read()[-2000:]!r}")
                continue
            title, cls, rect = line.split("|")
            self.windows[title] = SceneWindow(title, cls, tuple(int(v) for v in rect.split(",")))
        else:
            raise AssertionError("kvtestwin never got ready")
        settle()
        self.shot = screenshot()

    def differences(self, image, box):
        """Pixels of `image` that differ from the X screen's area `box`
        (left, top, right, bottom), leaving out what X does not show."""
        shot = self.shot.crop(box).copy()
        image = image.convert("RGB").copy()
        for title in X_HIDDEN:
            l, t, r, b = self.windows[title].rect
            hole = (l - box[0], t - box[1], r - box[0], b - box[1])
            shot.paste((0, 0, 0), hole)
            image.paste((0, 0, 0), hole)
        return same_pixels(image, shot)

    def close(self):
        try:
            self.proc.stdin.close()
            self.proc.wait(timeout=10)
        except Exception:
            kill_group(self.proc)
            self.proc.wait()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def settle(seconds=0.5):
    """Gives Wine and X time to show what was drawn."""
    time.sleep(seconds)


def screenshot(display=None):
    """The whole X screen as an RGB image."""
    display = display or os.environ["DISPLAY"]
    xwd = subprocess.run(["xwd", "-root", "-silent", "-display", display], check=True,
                         capture_output=True).stdout
    png = subprocess.run(["convert", "xwd:-", "png:-"], input=xwd, check=True,
                         capture_output=True).stdout
    return Image.open(io.BytesIO(png)).convert("RGB")


def capture(request, timeout=60):
    """Runs the host with a capture request; returns the HostResult."""
    return run_host(request, timeout=timeout)


def decode_arg2(event):
    """The bytes of the Base64 text in arg2, checking its line layout: CR LF
    after every 76 characters of full groups, never after the tail."""
    text = event["arg2"]
    lines = text.split("\r\n")
    for line in lines[:-1]:
        assert len(line) == 76, f"line of {len(line)} characters"
    assert len(lines[-1]) <= 76 and "\n" not in lines[-1] and "\r" not in lines[-1]
    return base64.b64decode("".join(lines), validate=True)


def same_pixels(a, b):
    """Number of pixels that differ between two RGB images of equal size."""
    assert a.size == b.size, (a.size, b.size)
    da, db = a.convert("RGB").tobytes(), b.convert("RGB").tobytes()
    return sum(1 for i in range(0, len(da), 3) if da[i:i + 3] != db[i:i + 3])
