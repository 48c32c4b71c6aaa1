"""The interactive capture ("Capture"), driven like a user with xdotool on the
test display: window snap, dragging, moving and resizing the region, the
context menu, Save As, cancelling, and the picture that comes out.

The screen is covered by test windows whose every pixel tells its own
position (xdo.pattern_at), so a captured picture shows where it was taken.
"""
import time

import pytest
from PIL import ImageChops

from kvharness import CLIPBOARD_BITMAP_READABLE, exit_code
import xdo
from xdo import (CHOOSING_FRAME, CROSS_HAIR, FIXED_FRAME, LABEL_BACK, MAGNIFIER_BACK,
                 TOOLBAR_BORDER, TOOLBAR_W, WINDOW, PatternWindows, assert_matches_reference,
                 click, close_to, completed_image, dimmed, double_click, drag, fix_region, key,
                 move, pattern_at, position_of, screenshot, wait_for_region)

CANCELED = b'\x22\x00\x00\x00{"EventName":"OnCaptureCanceled"}\n'


def assert_taken_from(image, rect):
    """The picture is exactly the screen's rectangle (left, top, right, bottom)."""
    left, top, right, bottom = rect
    assert image.size == (right - left, bottom - top)
    assert position_of(image.getpixel((0, 0))) == (left, top)
    w, h = image.size
    for x, y in [(w - 1, h - 1), (w // 2, h // 3), (w - 1, 0), (0, h - 1)]:
        assert image.getpixel((x, y)) == pattern_at(left + x, top + y), (x, y)


def assert_cancelled(host):
    result = host.finish(timeout=30)
    assert exit_code(result.returncode) == 0
    assert result.stdout == CANCELED


@pytest.mark.win32
def test_window_snap_frames_the_window_and_a_double_click_captures_it(capture, tmp_path):
    host = capture()
    left, top, right, bottom = WINDOW
    move(400, 300)
    shot = xdo.wait_for_pixels({(left, 300): CHOOSING_FRAME, (403, 425): MAGNIFIER_BACK})
    # Thick frame on the window's edges, bright inside, dimmed outside.
    assert shot.getpixel((left, 300)) == CHOOSING_FRAME
    assert shot.getpixel((right - 1, 200)) == CHOOSING_FRAME
    assert shot.getpixel((300, top)) == CHOOSING_FRAME
    assert shot.getpixel((250, 250)) == pattern_at(250, 250)
    assert close_to(shot.getpixel((100, 500)), dimmed(pattern_at(100, 500)))
    # The magnifier below and right of the pointer, the size label on the
    # window's top edge.
    assert shot.getpixel((403, 300 + 25 + 100)) == MAGNIFIER_BACK
    assert shot.getpixel((410, 300 + 25 + 49)) == CROSS_HAIR
    assert shot.getpixel((left + 2, top - 17)) == LABEL_BACK
    assert_matches_reference(shot.crop((left, top - 18, left + 100, top)), "overlay-label.png")

    click()  # fixes the window's rectangle
    shot = xdo.wait_for_pixels({(left, 250): FIXED_FRAME})
    assert shot.getpixel((left, 250)) == FIXED_FRAME  # 1 pixel wide, off the handles
    assert shot.getpixel((left + 1, 250)) == pattern_at(left + 1, 250)
    assert shot.getpixel((right - 3 + 2, bottom - 3 + 2)) == FIXED_FRAME  # handle 8
    assert shot.getpixel((right - TOOLBAR_W, bottom + 5)) == TOOLBAR_BORDER

    double_click()
    image = completed_image(host)
    assert_taken_from(image, WINDOW)
    if CLIPBOARD_BITMAP_READABLE:
        clip = xdo.clipboard_image(tmp_path)
        assert clip is not None and clip.size == image.size
        assert ImageChops.difference(clip, image).getbbox() is None


def test_drag_is_anchored_at_the_first_qualifying_move(capture):
    host = capture()
    fix_region([(100, 100), (98, 97), (50, 40)])
    move(70, 60)
    double_click()
    assert_taken_from(completed_image(host), (50, 40, 98, 97))


@pytest.mark.parametrize("to,expected", [
    ((3, 400), (0, 350, 200, 450)),           # left edge
    ((700, 2), (600, 0, 800, 100)),           # top edge
    ((1597, 400), "right"),
    ((700, 898), "bottom"),
])
def test_moving_stops_at_each_screen_edge(capture, screen, to, expected):
    width, height = screen
    if expected == "right":
        expected = (width - 200, 350, width, 450)
    elif expected == "bottom":
        expected = (600, height - 100, 800, height)
    host = capture()
    fix_region([(699, 399), (700, 400), (900, 500)])
    drag([(800, 450), (790, 440), to])          # grabbed at its middle
    wait_for_region(expected)
    move((expected[0] + expected[2]) // 2, (expected[1] + expected[3]) // 2)
    double_click()
    assert_taken_from(completed_image(host), expected)


REGION = (701, 401, 900, 560)


def handle_centre(handle, region=REGION):
    left, top, right, bottom = region
    mx, my = (left + right) // 2, (top + bottom) // 2
    corners = {1: (left - 2, top - 2), 2: (mx - 2, top - 2), 3: (right - 3, top - 2),
               4: (left - 2, my - 2), 5: (right - 3, my - 2), 6: (left - 2, bottom - 3),
               7: (mx - 2, bottom - 3), 8: (right - 3, bottom - 3)}
    x, y = corners[handle]
    return x + 2, y + 2


def resized(handle, press, to, region=REGION):
    left, top, right, bottom = region
    dl, dt, dr, db = press[0] - left, press[1] - top, right - press[0], bottom - press[1]
    x, y = to
    if handle in (1, 4, 6):
        left = x - dl
    if handle in (1, 2, 3):
        top = y - dt
    if handle in (3, 5, 8):
        right = x + dr
    if handle in (6, 7, 8):
        bottom = y + db
    return left, top, right, bottom


@pytest.mark.parametrize("handle", range(1, 9))
def test_resize_by_each_handle(capture, handle):
    host = capture()
    fix_region([(700, 400), REGION[:2], REGION[2:]])
    press = handle_centre(handle)
    to = (press[0] + 37, press[1] + 23)
    drag([press, (press[0] + 5, press[1] + 5), to])
    expected = resized(handle, press, to)
    wait_for_region(expected)
    move((expected[0] + expected[2]) // 2, (expected[1] + expected[3]) // 2)
    double_click()
    assert_taken_from(completed_image(host), expected)


def test_crossed_edges_complete_in_order(capture, screen):
    """The left handle dragged past the right edge leaves crossed edges; the
    toolbar's Complete button still gives the region, its edges in order."""
    host = capture()
    fix_region([(700, 400), REGION[:2], REGION[2:]])
    press = handle_centre(4)
    to = (1000, press[1])
    drag([press, (press[0] + 5, press[1] + 1), to])
    left, top, right, bottom = resized(4, press, to)
    assert left > right
    # The toolbar stays where the crossed region puts it: x = R - w, under B.
    bar_x, bar_y = right - TOOLBAR_W, bottom + 5
    move(bar_x + xdo.Toolbar.BUTTON_X["complete"], bar_y + 14)  # Complete, the last button
    click()
    assert_taken_from(completed_image(host), (right, top, left, bottom))


@pytest.mark.parametrize("modifier", ["shift", "ctrl"])
def test_shift_or_ctrl_held_prevents_dragging(capture, modifier):
    host = capture()
    xdo.xdo("keydown", modifier)
    try:
        drag([(300, 250), (298, 247), (250, 200)])
    finally:
        xdo.xdo("keyup", modifier)
    move(400, 300)
    double_click()
    # The release fixed the window under the pointer instead.
    assert_taken_from(completed_image(host), WINDOW)


def test_right_click_outside_returns_to_choosing(capture):
    host = capture()
    fix_region([(900, 600), (901, 601), (1000, 700)])
    move(100, 800)
    click(3)
    move(400, 300)
    shot = xdo.wait_for_pixels({(WINDOW[0], 300): CHOOSING_FRAME})
    assert shot.getpixel((WINDOW[0], 300)) == CHOOSING_FRAME
    assert shot.getpixel((1000 - TOOLBAR_W, 705)) != TOOLBAR_BORDER
    click()
    double_click()
    assert_taken_from(completed_image(host), WINDOW)


def test_right_click_before_a_region_cancels(capture):
    host = capture()
    move(400, 300)
    click(3)
    assert_cancelled(host)


def test_escape_cancels_and_writes_nothing(capture, capture_folder):
    name = f"cancelled-{time.time_ns()}.png"
    host = capture(FileName=name)
    key("Escape")
    assert_cancelled(host)
    assert not (capture_folder[1] / name).exists()


def test_escape_cancels_while_the_toolbar_has_the_focus(capture):
    host = capture()
    fix_region([(900, 600), (901, 601), (1000, 700)])
    move(1000 - TOOLBAR_W + 213, 705 + 10)  # between the button groups
    click()
    key("Escape")
    assert_cancelled(host)


def test_the_picture_is_frozen_when_the_overlay_opens(capture):
    change_after = 8.0
    opened = time.time()
    changing = PatternWindows((1100, 100, 300, 200), change_after_ms=int(change_after * 1000))
    try:
        host = capture()
        assert time.time() - opened < change_after - 1, "the overlay opened too late"
        time.sleep(max(0.0, opened + change_after + 0.5 - time.time()))
        # The window has turned magenta on the real screen by now.
        move(1200, 200, settle=0.3)
        click()
        double_click()
        assert_taken_from(completed_image(host), (1100, 100, 1400, 300))
    finally:
        changing.close()


# ---- the context menu and Save As --------------------------------------------

# Down presses from the menu's top to each command (separators are skipped).
MENU_STEPS = {"Reset Capture Area": 11, "Complete Capture": 12, "Save As": 14,
              "Cancel Capture": 15}
MENU_REGION = (901, 301, 1100, 500)


def open_menu(at=(1000, 400)):
    move(*at)
    click(3)
    time.sleep(0.5)


def choose(command):
    for _ in range(MENU_STEPS[command]):
        key("Down", settle=0.05)
    key("Return", settle=0.3)


def save_as_dialog():
    return xdo.wait_for(xdo.save_as_open, timeout=15)


def test_menu_complete_capture(capture):
    host = capture()
    fix_region([(900, 300), MENU_REGION[:2], MENU_REGION[2:]])
    open_menu()
    choose("Complete Capture")
    assert_taken_from(completed_image(host), MENU_REGION)


def test_menu_cancel_capture(capture):
    host = capture()
    fix_region([(900, 300), MENU_REGION[:2], MENU_REGION[2:]])
    open_menu()
    choose("Cancel Capture")
    assert_cancelled(host)


def test_menu_reset_then_escape_closes_only_the_menu(capture):
    host = capture()
    fix_region([(900, 300), MENU_REGION[:2], MENU_REGION[2:]])
    open_menu()
    choose("Reset Capture Area")
    move(400, 300)
    xdo.wait_for_pixels({(WINDOW[0], 250): CHOOSING_FRAME})
    click()
    wait_for_region(WINDOW)
    open_menu(at=(400, 300))
    key("Escape", settle=0.6)  # closes the menu; the capture goes on
    double_click()
    assert_taken_from(completed_image(host), WINDOW)


@pytest.mark.parametrize("lang", ["en", "cn", "tw"])
def test_menu_texts_match_the_reference(capture, lang):
    host = capture(UILanguage=lang)
    fix_region([(900, 300), MENU_REGION[:2], MENU_REGION[2:]])
    open_menu()
    shot = screenshot()
    key("Escape", settle=0.5)
    key("Escape")
    assert_cancelled(host)
    assert_matches_reference(shot.crop(MENU_BOX), f"overlay-menu-{lang}.png")


MENU_BOX = (1000, 400, 1180, 700)  # the menu opens at the pointer


@pytest.mark.parametrize("name,fmt", [("saved.bmp", "BMP"), ("saved.jpg", "JPEG"), ("saved", "PNG")])
def test_menu_save_as_writes_the_region_and_keeps_the_overlay(capture, tmp_path, name, fmt):
    host = capture()
    fix_region([(900, 300), MENU_REGION[:2], MENU_REGION[2:]])
    open_menu()
    choose("Save As")
    assert save_as_dialog(), "no Save As dialog"
    target = tmp_path / name
    key("ctrl+a")
    xdo.xdo("type", "--delay", 20, "Z:" + str(target).replace("/", "\\"))
    key("Return", settle=0.5)
    written = target if target.suffix else target.with_suffix(".png")
    assert xdo.wait_for(written.exists, timeout=10), list(tmp_path.iterdir())
    # The file exists from its first byte on: wait until it is whole.
    saved = xdo.wait_for(lambda: readable_image(written), timeout=10)
    assert saved and saved.format == fmt
    if fmt != "JPEG":
        assert_taken_from(saved.convert("RGB"), MENU_REGION)
    # The overlay is still there with its region.
    xdo.wait_for(lambda: not xdo.save_as_open())
    move(1000, 400)
    double_click()
    assert_taken_from(completed_image(host), MENU_REGION)


def readable_image(path):
    from PIL import Image
    try:
        image = Image.open(path)
        image.load()
        return image
    except OSError:
        return None


def test_save_as_title_in_chinese_on_a_western_code_page(capture):
    host = capture(UILanguage="cn")
    fix_region([(900, 300), MENU_REGION[:2], MENU_REGION[2:]])
    open_menu()
    choose("Save As")
    assert xdo.wait_for(lambda: xdo.save_as_open("截图另存为"), timeout=15), xdo.dialogs()
    key("Escape", settle=0.5)
    assert xdo.wait_for(lambda: not xdo.save_as_open("截图另存为"), timeout=10)
    move(1000, 400)
    double_click()
    assert_taken_from(completed_image(host), MENU_REGION)


def test_escape_in_save_as_closes_the_dialog_not_the_capture(capture, tmp_path):
    host = capture()
    fix_region([(900, 300), MENU_REGION[:2], MENU_REGION[2:]])
    open_menu()
    choose("Save As")
    assert save_as_dialog(), "no Save As dialog"
    time.sleep(0.3)
    key("Escape", settle=0.5)
    assert xdo.wait_for(lambda: not xdo.save_as_open(), timeout=10)
    time.sleep(0.5)  # several timer ticks: the capture is still open
    assert host.proc.poll() is None
    move(1000, 400)
    double_click()
    assert_taken_from(completed_image(host), MENU_REGION)
