"""The programs on a display of 144 dpi (150 %). tools/test runs this module in a
Wine session of its own whose display DPI is 144 (KV_LOGPIXELS and
KV_WINEPREFIX set); elsewhere it is skipped.

Wine hands every program the physical screen whatever its DPI awareness, so
what can be shown here is that everything the programs draw follows the
display's DPI while captures stay in physical pixels."""
import os
from pathlib import Path

import pytest
from PIL import Image

import xdo
from installer_helper import PICTURE, Assistant, mean_difference
from kvharness import WIN64
from test_installer import folder, without_chrome  # noqa: F401 (fixtures)
from test_prompt import TEXTS, prompt_host, wait_for_prompt  # noqa: F401 (a fixture)

pytestmark = pytest.mark.skipif(os.environ.get("KV_LOGPIXELS") != "144",
                                reason="needs a Wine session at 144 dpi")

ART = WIN64 / "resources" / "host"
REFERENCE = Path(__file__).parent / "reference"


def art(name):
    return Image.open(ART / f"{name}-150.bmp").convert("RGB")


def at_150(length):
    return (length * 150 + 50) // 100


def expected_bar(background, buttons):
    """A bar as the 150 % artwork draws it: its background, and each button's
    image of the given state (1 bare, 3 pressed; images of a strip are side
    by side) 5 pixels down, `offset` (at 100 %) beyond the buttons before."""
    bar = art(background)
    for i, (name, offset, state) in enumerate(buttons):
        strip = art(name)
        w, h = strip.width // 4, strip.height
        bar.paste(strip.crop((state * w, 0, (state + 1) * w, h)), (i * w + at_150(offset), 5))
    return bar


TOOLBAR = [(name, offset, 1) for name, offset in zip(
    ["rectangle_tool", "ellipse_tool", "arrow_tool", "brush_tool", "text_tool", "mosaic_tool",
     "step_marker_tool", "highlighter_tool", "undo", "save", "pin", "cancel", "complete"],
    [3, 5, 7, 9, 11, 13, 15, 17, 26, 28, 30, 42, 44])]
# Pen sizes 1, 2 (chosen from the start) and 5.
PEN_SIZE_BAR = [("pen_small", 4, 1), ("pen_medium", 7, 3), ("pen_large", 10, 1)]


def test_the_overlay_is_drawn_for_the_dpi_and_the_capture_stays_physical(capture):
    host = capture()
    # The magnifier: 30 x 25 screen pixels enlarged 6 times (180 x 150).
    xdo.move(700, 300, settle=0.4)
    shot = xdo.screenshot()
    box_top = 300 + 38  # the gap of 25 pixels at 96 dpi
    assert shot.getpixel((700 + 3, box_top + 150 + 10)) == xdo.MAGNIFIER_BACK
    assert shot.getpixel((700 + 179, box_top + 150 + 10)) == xdo.MAGNIFIER_BACK
    assert shot.getpixel((700 + 181, box_top + 150 + 10)) != xdo.MAGNIFIER_BACK
    # One screen pixel is a 6 x 6 block of the zoom.
    zoom_x, zoom_y = 700 + 6 * 3, box_top + 6 * 3
    block = {shot.getpixel((zoom_x + dx, zoom_y + dy)) for dx in range(6) for dy in range(6)}
    assert len(block) == 1

    region = xdo.fix_region([(650, 250), (660, 260), (1000, 500)])
    # The toolbar: under the region, right-aligned, 8 pixels below it, and
    # pixel for pixel the 150 % artwork (not the 100 % one stretched).
    toolbar = expected_bar("toolbar_back", TOOLBAR)
    assert toolbar.size == (543, 42)
    shot = xdo.screenshot()
    left, top = region[2] - toolbar.width, region[3] + 8
    on_screen = shot.crop((left, top, left + toolbar.width, top + toolbar.height))
    assert on_screen.tobytes() == toolbar.tobytes()

    # The option row of the rectangle tool starts with the pen-size bar.
    xdo.move(left + 15 * 3 // 2, top + 20)
    xdo.click()
    xdo.move(800, 350, settle=0.5)  # the tooltip goes with the pointer
    shot = xdo.screenshot()
    pen_bar = expected_bar("pen_size_bar_back", PEN_SIZE_BAR)
    assert pen_bar.size == (125, 54)
    row = shot.crop((left, top + 42, left + pen_bar.width, top + 42 + pen_bar.height))
    assert row.tobytes() == pen_bar.tobytes()

    # The capture is the screen's own pixels, whatever the DPI.
    xdo.key("ctrl+c")
    image = xdo.completed_image(host)
    assert image.size == (region[2] - region[0], region[3] - region[1])
    for x, y in [(0, 0), (123, 77), (image.width - 1, image.height - 1)]:
        assert image.getpixel((x, y)) == xdo.pattern_at(region[0] + x, region[1] + y)


def test_the_prompt_grows_with_the_dpi(prompt_host):
    prompt_host(UILanguage="cn")
    dlg = wait_for_prompt(TEXTS["cn"][0])
    left, top, right, bottom = dlg["rect"]
    # The same prompt at 96 dpi is the size of its reference picture.
    at_96 = Image.open(REFERENCE / "prompt-cn.png").size
    assert 1.35 < (right - left) / at_96[0] < 1.65
    assert 1.35 < (bottom - top) / at_96[1] < 1.65


def expected_picture(size, art):
    """The assistant's picture control as it paints itself: the artwork at
    its own size, centred, on the colour of its top-left pixel."""
    image = Image.new("RGB", size, art.getpixel((0, 0)))
    image.paste(art, ((size[0] - art.width) // 2, (size[1] - art.height) // 2))
    return image


def test_the_assistant_is_half_as_large_again_with_its_150_percent_artwork(
        folder, without_chrome):
    assistant = Assistant(folder)
    try:
        assistant.wait_for_dialog(60)
        client = assistant.client_shot()
        shot = xdo.screenshot().crop(tuple(assistant.control(PICTURE)["rect"]))
    finally:
        assistant.kill()
    # The same dialog at 96 dpi is the size of its reference picture.
    at_96 = Image.open(REFERENCE / "installer.png").size
    assert 1.4 <= client.width / at_96[0] <= 1.6 and 1.4 <= client.height / at_96[1] <= 1.6
    # Its picture is the 150 % artwork, not the 100 % one enlarged.
    artwork = WIN64 / "installer" / "artwork"
    drawn = Image.open(artwork / "picture-150.bmp").convert("RGB")
    stretched = Image.open(artwork / "picture.bmp").convert("RGB").resize(drawn.size,
                                                                          Image.BILINEAR)
    crisp = mean_difference(shot, expected_picture(shot.size, drawn))
    assert crisp < 1.0, crisp
    assert crisp < mean_difference(shot, expected_picture(shot.size, stretched))
