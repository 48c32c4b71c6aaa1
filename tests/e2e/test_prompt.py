"""The window-selection prompt of "StartCapture", driven with xdotool."""
import json
import os
import subprocess
import time
from pathlib import Path

import pytest
from PIL import Image, ImageChops, ImageStat

from kvharness import PROBE_EXE, REPO, RunningHost, exit_code, run_wine

REFERENCE = Path(__file__).parent / "reference"
WS_EX_TOPMOST, WS_EX_APPWINDOW, WS_EX_LAYERED = 0x8, 0x40000, 0x80000

TEXTS = {
    "en": ("Screen Capture", "Kelvo Screen Capture Control",
           "Please bring the window which you want", "to capture to the front.", "Capture"),
    "cn": ("准备截图", "凯沃在线屏幕截图控件", "请先调整窗口将需要截图的区域显示出来，",
           "然后点击下面的按钮开始截图...", "开始截图"),
    "tw": ("準備截圖", "凱沃線上螢幕截圖組件", "請先調整視窗將需要截圖的區域顯示出來，",
           "然後點擊下面的按鈕開始截圖...", "開始截圖"),
}


def dialogs():
    rc, out, _ = run_wine([PROBE_EXE, "dialog-info"])
    return [json.loads(line) for line in out.decode("utf-8").splitlines() if line.strip()]


def wait_for(predicate, timeout=15, step=0.2):
    end = time.time() + timeout
    while time.time() < end:
        value = predicate()
        if value:
            return value
        time.sleep(step)
    return None


def wait_for_prompt(title):
    found = wait_for(lambda: [d for d in dialogs() if d["title"] == title])
    assert found, f"no prompt titled {title!r}: {dialogs()}"
    return found[0]


def xdo(*args):
    subprocess.run(["xdotool"] + [str(a) for a in args], check=True)


def screenshot():
    data = subprocess.run(["sh", "-c", "xwd -root -silent | convert xwd:- png:-"],
                          check=True, capture_output=True).stdout
    from io import BytesIO
    return Image.open(BytesIO(data)).convert("RGB")


def overlay_built():
    return "KvVovoDodereWnd" in (REPO / "overlay" / "overlay.cpp").read_text()


@pytest.fixture
def prompt_host(request):
    hosts = []

    def start(**fields):
        host = RunningHost({"Command": "StartCapture", **fields})
        hosts.append(host)
        return host

    yield start
    for host in hosts:
        host.kill()


@pytest.mark.parametrize("lang", ["en", "cn", "tw"])
def test_prompt_texts_and_styles(prompt_host, lang):
    caption, heading, line1, line2, button = TEXTS[lang]
    prompt_host(UILanguage=lang if lang != "en" else "")
    dlg = wait_for_prompt(caption)
    texts = {c["id"]: c["text"] for c in dlg["controls"]}
    assert texts == {1200: heading, 208: line1, 209: line2, 1: button}
    assert dlg["exstyle"] & WS_EX_TOPMOST and dlg["exstyle"] & WS_EX_APPWINDOW
    assert dlg["exstyle"] & WS_EX_LAYERED
    # Centred on the 1600 x 900 test screen (its work area).
    left, top, right, bottom = dlg["rect"]
    assert abs((left + right) / 2 - 800) <= 1 and abs((top + bottom) / 2 - 450) <= 1
    # Top to bottom: the two lines, the button, the heading.
    y = {c["id"]: c["rect"][1] for c in dlg["controls"]}
    assert y[208] < y[209] < y[1] < y[1200]


def test_chinese_prompt_matches_reference(prompt_host):
    prompt_host(UILanguage="cn")
    dlg = wait_for_prompt(TEXTS["cn"][0])
    time.sleep(0.5)
    box = tuple(dlg["rect"])
    shot = screenshot().crop(box)
    reference = Image.open(REFERENCE / "prompt-cn.png").convert("RGB")
    assert shot.size == reference.size
    diff = ImageStat.Stat(ImageChops.difference(shot, reference)).mean
    assert max(diff) < 8, diff


def test_close_box_cancels(prompt_host):
    host = prompt_host()
    dlg = wait_for_prompt("Screen Capture")
    left, top, right, bottom = dlg["rect"]
    xdo("mousemove", right - 11, top + 11)
    xdo("click", 1)
    result = host.finish(timeout=20)
    assert exit_code(result.returncode) == 0
    assert result.stdout == b'\x22\x00\x00\x00{"EventName":"OnCaptureCanceled"}\n'


def test_escape_leaves_the_prompt_open(prompt_host):
    host = prompt_host()
    dlg = wait_for_prompt("Screen Capture")
    button = [c for c in dlg["controls"] if c["id"] == 1][0]["rect"]
    xdo("mousemove", button[0] - 30, button[1])  # focus the prompt, touch nothing
    xdo("click", 1)
    xdo("key", "Escape")
    xdo("key", "Return")
    time.sleep(1.5)
    assert host.proc.poll() is None
    assert [d for d in dialogs() if d["title"] == "Screen Capture"]


@pytest.mark.skipif(not overlay_built(), reason="the overlay is not built yet")
def test_button_opens_the_overlay(prompt_host):
    host = prompt_host()
    dlg = wait_for_prompt("Screen Capture")
    button = [c for c in dlg["controls"] if c["id"] == 1][0]["rect"]
    xdo("mousemove", (button[0] + button[2]) // 2, (button[1] + button[3]) // 2)
    xdo("click", 1)
    assert wait_for(lambda: not [d for d in dialogs() if d["title"] == "Screen Capture"])
    assert wait_for(lambda: run_wine([PROBE_EXE, "find-window", "KvVovoDodereWnd"])[0] == 0)
    assert host.proc.poll() is None


@pytest.mark.parametrize("request_fields", [
    {"Command": "StartCapture", "AutoMinimize": True},
    {"Command": "Capture"},
    {"Command": "capture", "AutoMinimize": True},
])
def test_prompt_is_skipped(request_fields):
    host = RunningHost(request_fields)
    try:
        # Either the overlay is up or the capture already ended; no prompt
        # appears in the meantime.
        for _ in range(10):
            assert not dialogs(), dialogs()
            time.sleep(0.2)
    finally:
        host.kill()
