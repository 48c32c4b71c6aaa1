"""The direct captures ("CaptureRect", "CaptureScreen", "CaptureWindow")
against the real host, checked against X screenshots of known windows."""
import io
import os
from pathlib import Path

import pytest
from PIL import Image

from kvharness import exit_code, run_host
from screens import Scene, decode_arg2, pattern_image, same_pixels


@pytest.fixture(scope="module")
def scene(display):
    with Scene() as s:
        yield s


def completed(result):
    """The one "OnCaptureCompleted" event of a host that ended with 0."""
    assert exit_code(result.returncode) == 0, result
    event = result.event
    assert event["EventName"] == "OnCaptureCompleted"
    return event


def image_of(event, capture_folder, name):
    """The picture of a completed event, checking arg1 and arg2 against the
    file in the capture folder."""
    win_folder, folder = capture_folder
    assert event["arg1"] == win_folder + name
    data = decode_arg2(event)
    assert data == (folder / name).read_bytes()
    return Image.open(io.BytesIO(data))


def rect_request(x, y, w, h, name, **extra):
    request = {"Command": "CaptureRect", "CaptureLeft": x, "CaptureTop": y, "CaptureWidth": w,
               "CaptureHeight": h, "FileName": name}
    request.update(extra)
    return request


@pytest.mark.parametrize("box", [
    (300, 60, 320, 240),   # exactly the pattern window
    pytest.param((20, 30, 700, 400), marks=pytest.mark.win32),  # across windows and the desktop
    (0, 0, 1, 1),
])
def test_capture_rect_has_the_screen_pixels(scene, capture_folder, box):
    x, y, w, h = box
    event = completed(run_host(rect_request(x, y, w, h, "rect.png")))
    img = image_of(event, capture_folder, "rect.png")
    assert img.format == "PNG" and img.size == (w, h)
    assert scene.differences(img, (x, y, x + w, y + h)) == 0


def test_capture_rect_shows_the_known_pattern(scene, capture_folder):
    win = scene.windows["KvTest Pattern"]
    x, y = win.rect[0] + 7, win.rect[1] + 5
    event = completed(run_host(rect_request(x, y, 100, 80, "known.png")))
    img = image_of(event, capture_folder, "known.png").convert("RGB")
    assert same_pixels(img, pattern_image(100, 80, 11, 7, 5)) == 0


@pytest.mark.win32
@pytest.mark.large_screen
def test_capture_screen_is_the_whole_display(scene, capture_folder):
    event = completed(run_host({"Command": "CaptureScreen", "FileName": "screen.png"}))
    img = image_of(event, capture_folder, "screen.png")
    assert img.size == scene.shot.size
    assert scene.differences(img, (0, 0) + scene.shot.size) == 0


@pytest.mark.parametrize("name,stored,fmt", [
    ("f.png", "f.png", "PNG"),
    ("f.jpg", "f.jpg", "JPEG"),
    ("f.JPEG", "f.JPEG", "JPEG"),
    ("f.bmp", "f.bmp", "BMP"),
    ("f.gif", "f.gif", "GIF"),
    ("f.tif", "f.tif", "TIFF"),
    ("nodot", "nodot.png", "PNG"),
])
def test_format_follows_the_extension(scene, capture_folder, name, stored, fmt):
    event = completed(run_host(rect_request(40, 40, 64, 48, name)))
    img = image_of(event, capture_folder, stored)
    assert img.format == fmt and img.size == (64, 48)
    if fmt in ("PNG", "BMP", "TIFF"):
        assert scene.differences(img, (40, 40, 104, 88)) == 0


@pytest.mark.parametrize("name,on_disk", [("a.b", "a.b"), ("trailing.", "trailing")])
def test_unknown_extension_writes_nothing_but_reports(scene, capture_folder, name, on_disk):
    """The event names the file although nothing was written; an earlier
    file at that path (Windows drops a trailing dot) is removed, so that it
    cannot pass for this capture."""
    win_folder, folder = capture_folder
    folder.mkdir(parents=True, exist_ok=True)
    (folder / on_disk).write_bytes(b"earlier capture")
    event = completed(run_host(rect_request(0, 0, 10, 10, name)))
    assert event == {"EventName": "OnCaptureCompleted", "arg1": win_folder + name}
    assert not (folder / on_disk).exists()


@pytest.mark.win32
@pytest.mark.large_screen
def test_large_file_leaves_arg2_present_and_empty(scene, capture_folder):
    win_folder, folder = capture_folder
    result = run_host({"Command": "CaptureScreen", "FileName": "big.bmp"})
    event = completed(result)
    assert (folder / "big.bmp").stat().st_size > 800_000
    assert event["arg1"] == win_folder + "big.bmp"
    assert "arg2" in event and event["arg2"] == ""
    assert b'"arg2":""' in result.frames[0]


def test_the_largest_capture_ends_with_its_event(scene, capture_folder):
    """8192 x 8192 (the most a capture makes) to a .bmp file of about
    256 MB: the host neither runs out of memory nor goes silent."""
    win_folder, folder = capture_folder
    result = run_host(rect_request(0, 0, 8192, 8192, "huge.bmp"), timeout=240)
    event = completed(result)
    assert event == {"EventName": "OnCaptureCompleted", "arg1": win_folder + "huge.bmp",
                     "arg2": ""}
    path = folder / "huge.bmp"
    with Image.open(path) as image:
        assert image.size == (8192, 8192)
        assert image.getpixel((8191, 8191))[:3] == (0, 0, 0)  # off the screen: black
    path.unlink()


@pytest.mark.parametrize("w,h", [(0, 10), (10, 0), (0, 0), (-20, 10), (10, -1),
                                 (2147483647, 2147483647)])
def test_empty_rectangle_reports_a_missing_file(scene, capture_folder, w, h):
    """No picture can be made: nothing is written, an earlier file of that
    name is removed, and the completed event names the missing file."""
    win_folder, folder = capture_folder
    folder.mkdir(parents=True, exist_ok=True)
    (folder / "empty.png").write_bytes(b"earlier capture")
    event = completed(run_host(rect_request(100, 100, w, h, "empty.png")))
    assert event == {"EventName": "OnCaptureCompleted", "arg1": win_folder + "empty.png"}
    assert not (folder / "empty.png").exists()


def test_rectangle_partly_off_screen_keeps_its_size(scene, capture_folder):
    sw, sh = scene.shot.size
    x, y = sw - 50, sh - 30
    event = completed(run_host(rect_request(x, y, 200, 100, "edge.png")))
    img = image_of(event, capture_folder, "edge.png").convert("RGB")
    assert img.size == (200, 100)
    assert scene.differences(img.crop((0, 0, 50, 30)), (x, y, sw, sh)) == 0
    # What lies beyond the screen comes out black.
    assert img.crop((50, 0, 200, 100)).getcolors() == [(150 * 100, (0, 0, 0))]
    assert img.crop((0, 30, 50, 100)).getcolors() == [(50 * 70, (0, 0, 0))]


def test_rectangle_left_of_and_above_the_screen(scene, capture_folder):
    event = completed(run_host(rect_request(-40, -20, 100, 80, "neg.png")))
    img = image_of(event, capture_folder, "neg.png").convert("RGB")
    assert img.size == (100, 80)
    assert scene.differences(img.crop((40, 20, 100, 80)), (0, 0, 60, 60)) == 0
    assert img.getpixel((40 + 45, 20 + 45)) == (255, 0, 0)  # the red window
    assert img.crop((0, 0, 40, 80)).getcolors() == [(40 * 80, (0, 0, 0))]


def test_rectangle_wholly_off_screen_is_black(scene, capture_folder):
    event = completed(run_host(rect_request(5000, -3000, 30, 20, "away.png")))
    img = image_of(event, capture_folder, "away.png").convert("RGB")
    assert img.size == (30, 20) and img.getcolors() == [(600, (0, 0, 0))]


# The parent rule of the window capture. Windows of another process print
# as black under Wine (its PrintWindow cannot reach another process's
# drawing), so this checks which area was taken; the pixels of the rule
# are checked in the Win32-level tests, where the windows are the test's.
@pytest.mark.parametrize("title,size", [
    # Fills its owner's corner: the owner's owner.
    pytest.param("KvTest Inner Corner", (400, 300), marks=pytest.mark.win32),
    ("KvTest Inner Offset", (150, 50)),   # its owner, clipped to the top-level window
    ("KvTest Middle", (400, 300)),        # its owner
    ("KvTest Lone", (160, 120)),          # no parent: the window itself
    ("KvTest Owner", (400, 300)),
])
def test_capture_window_parent_rule(scene, capture_folder, title, size):
    event = completed(run_host({"Command": "CaptureWindow", "WinName": title, "FileName": "win.png"}))
    img = image_of(event, capture_folder, "win.png")
    assert img.format == "PNG" and img.size == size


@pytest.mark.parametrize("request_extra", [{"WinName": "No Such Window Anywhere"}, {}])
def test_capture_window_without_a_window(scene, capture_folder, request_extra):
    win_folder, folder = capture_folder
    folder.mkdir(parents=True, exist_ok=True)
    (folder / "nowin.png").write_bytes(b"earlier capture")
    request = {"Command": "CaptureWindow", "FileName": "nowin.png", **request_extra}
    event = completed(run_host(request))
    assert event == {"EventName": "OnCaptureCompleted", "arg1": win_folder + "nowin.png"}
    assert not (folder / "nowin.png").exists()


# "FileName" names a file in the capture folder and nothing else.
REFUSED_NAMES = [
    "..\\escape.png", "../escape.png", "..", ".", "...", " ", "sub\\inner.png",
    "C:\\escape.png", "C:escape.png", "Z:\\tmp\\escape.png", "\\\\host\\share\\escape.png",
    "escape.png:stream", "CON", "nul.png", "COM1.bmp", "x" * 300 + ".png", "y" * 250,
]


@pytest.mark.parametrize("command,name", [("CaptureRect", n) for n in REFUSED_NAMES] + [
    (c, n) for c in ("CaptureScreen", "CaptureWindow") for n in ("..\\escape.png", "C:\\escape.png")])
def test_names_reaching_outside_the_folder_are_refused(scene, capture_folder, name, command):
    win_folder, folder = capture_folder
    before = set(folder.parent.rglob("*")) if folder.parent.exists() else set()
    request = rect_request(0, 0, 20, 20, name)
    request.update({"Command": command, "WinName": "KvTest Lone"})
    result = run_host(request)
    assert exit_code(result.returncode) == 0
    assert result.event == {"EventName": "OnCaptureCompleted"}
    after = set(folder.parent.rglob("*")) if folder.parent.exists() else set()
    assert {p for p in after - before if p.name != "KvCapture"} == set()
    assert not Path("/tmp/escape.png").exists()
    drive_c = folder.parents[3] if len(folder.parents) > 3 else folder.parent
    assert not (drive_c / "escape.png").exists()


def test_default_name_and_long_name_that_fits(scene, capture_folder):
    win_folder, folder = capture_folder
    event = completed(run_host({"Command": "CaptureRect", "CaptureLeft": 0, "CaptureTop": 0,
                                "CaptureWidth": 5, "CaptureHeight": 5}))
    assert event["arg1"] == win_folder + "VovoDodere.png"
    name = "n" * (259 - len(win_folder) - 4) + ".png"
    event = completed(run_host(rect_request(0, 0, 5, 5, name)))
    assert event["arg1"] == win_folder + name
    assert (folder / name).exists()
