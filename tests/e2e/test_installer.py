"""The install assistant KvCaptureCrxInstall under Wine on the virtual
display: its dialog, the browser launch (a stand-in chrome.exe), the link
label, real OLE drags with xdotool, and the host's "/install"."""
import os
import shutil
import struct
import subprocess
import tempfile
import time
from pathlib import Path

import pytest

from installer_helper import (
    ASSISTANT_EXE, BROWSER_MISSING, CLOSE, CLOSE_ID, FOLDER_MISSING, HINT, HINT_ID, LINK, LINK_ID,
    NOTE, NOTE_ID, OPEN_FOLDER, OPEN_FOLDER_ID, PACKAGE_MISSING, PICTURE, TITLE, UNPACKED_HINT,
    UNPACKED_HINT_ID, Assistant, ChromeStandIn, ToolWindow, centre,
    close_windows, compare_with_reference, drag, mean_difference, no_chrome, screenshot, wait_for,
    window_info, windows_path, xdotool)
from kvharness import BUILD, HOST_EXE, exit_code, kill_group, run_wine, wine_popen

DROPEFFECT_COPY = "1"
CF_BITMAP, CF_HDROP = "2", "15"


@pytest.fixture
def folder():
    """A scratch folder for copies of the programs (named apart from the
    folders other test runs clean up after themselves)."""
    with tempfile.TemporaryDirectory(prefix="kv-inst-") as d:
        yield Path(d)


@pytest.fixture
def chrome():
    standin = ChromeStandIn()
    yield standin
    standin.remove()


@pytest.fixture
def without_chrome():
    no_chrome()
    yield


@pytest.fixture
def assistant(folder, without_chrome):
    running = Assistant(folder)
    yield running
    running.kill()


def texts(info):
    return {int(k): v["text"] for k, v in info["controls"].items()}


# ---- the programs ------------------------------------------------------------

@pytest.mark.parametrize("arch,machine", [("win64", 0x8664), ("win32", 0x14C)])
def test_assistant_is_a_gui_program_for_each_target(arch, machine):
    exe = BUILD / arch / "KvCaptureCrxInstall.exe"
    if not exe.exists():
        pytest.skip(f"{arch} not built")
    data = exe.read_bytes()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    assert data[pe:pe + 4] == b"PE\0\0"
    assert struct.unpack_from("<H", data, pe + 4)[0] == machine
    assert struct.unpack_from("<H", data, pe + 24 + 68)[0] == 2  # IMAGE_SUBSYSTEM_WINDOWS_GUI


# ---- the dialog --------------------------------------------------------------

def test_dialog_is_centred_topmost_and_shows_its_chinese_texts(folder, chrome):
    assistant = Assistant(folder)
    try:
        info = assistant.wait_for_dialog()
        # The browser comes up meanwhile; the dialog is looked at once the
        # address has been typed in.
        wait_for(lambda: chrome.events("enter"), 30, what="Return in the stand-in")
        assistant.keep_above()
        assert info["topmost"]
        (left, top, right, bottom), work = info["rect"], info["work"]
        assert abs((left + right) - (work[0] + work[2])) <= 2
        assert abs((top + bottom) - (work[1] + work[3])) <= 2
        assert texts(info) == {PICTURE: "Static", HINT_ID: HINT, LINK_ID: LINK, NOTE_ID: NOTE,
                               CLOSE_ID: CLOSE, UNPACKED_HINT_ID: UNPACKED_HINT,
                               OPEN_FOLDER_ID: OPEN_FOLDER}
        compare_with_reference(assistant.client_shot(), "installer.png")
    finally:
        assistant.kill()


@pytest.mark.parametrize("key", ["Return", "Escape"])
def test_enter_and_escape_end_the_dialog_with_zero(assistant, key):
    assistant.wait_for_dialog()
    assistant.focus()
    xdotool("key", key)
    assert exit_code(assistant.wait()) == 0
    assert window_info(exe=assistant.exe) is None


def test_close_button_ends_the_dialog_with_zero(assistant):
    assistant.wait_for_dialog()
    xdotool("mousemove", *centre(assistant.control(CLOSE_ID)["rect"]))
    xdotool("click", 1)
    assert exit_code(assistant.wait()) == 0


def test_missing_package_is_said_in_chinese_and_nothing_is_dragged(folder, without_chrome):
    assistant = Assistant(folder, package=False)
    target = None
    try:
        info = assistant.wait_for_dialog()
        assert texts(info)[HINT_ID] == PACKAGE_MISSING
        assert texts(info)[NOTE_ID] == BROWSER_MISSING
        compare_with_reference(assistant.client_shot(), "installer-missing.png")
        target = ToolWindow("droptarget", 40, 100, 300, 300, 30000)
        drag(centre(assistant.control(PICTURE)["rect"]), (190, 250))
        assert target.finish() == []
        target = None
        assert assistant.proc.poll() is None  # still there to read
    finally:
        if target:
            target.finish()
        assistant.kill()


# ---- the browser launch and the link label -------------------------------------

USER_TEXT = "the user's own text"


def clipboard_text():
    rc, out, _ = run_wine([BUILD / "win64" / "tests" / "kvdragtool.exe", "clipboard"])
    assert rc == 0
    return out.decode().strip()


def set_clipboard_text(text):
    rc, _, _ = run_wine([BUILD / "win64" / "tests" / "kvoverlaywin.exe", "set-text",
                         text.encode().hex()])
    assert rc == 0


@pytest.mark.win32
def test_browser_opens_and_gets_the_extensions_page_typed_in(folder, chrome):
    set_clipboard_text(USER_TEXT)
    assistant = Assistant(folder)
    try:
        assistant.wait_for_dialog()
        enters = wait_for(lambda: chrome.events("enter"), 30, what="Return in the stand-in")
        starts = chrome.events("start")
        assert len(starts) == 1
        assert starts[0]["show"] == "3"  # SW_SHOWMAXIMIZED
        assert starts[0]["args"] == ""
        assert enters[0]["text"] == "chrome://extensions"
        keys = [k["vk"] for k in chrome.events("key")]
        assert keys[:3] == ["11", "56", "0d"]  # Ctrl, V, Return
        # After the browser's two seconds (its start is recorded a little
        # after the assistant started it), and only once it had the focus.
        typed = chrome.tick("key")
        assert typed - chrome.tick("start") >= 1000
        assert chrome.tick("focus") <= typed
        # The user's text goes back once the browser has taken the address.
        wait_for(lambda: clipboard_text() == USER_TEXT, 10, what="the user's text back")
        assert texts(assistant.refresh())[NOTE_ID] == NOTE

        # The link label opens it again, with the same wait.
        assistant.keep_above()
        xdotool("mousemove", *centre(assistant.control(LINK_ID)["rect"]))
        xdotool("click", 1)
        wait_for(lambda: len(chrome.events("start")) == 2, what="the second start")
        second = wait_for(lambda: chrome.events("enter")[1:], 30, what="the second Return")
        assert second[0]["text"] == "chrome://extensions"
        assert assistant.proc.poll() is None
    finally:
        assistant.kill()


def test_the_dialog_answers_while_it_waits_for_the_browser(folder, chrome):
    """A browser that never comes to the front: the assistant waits its two
    and six seconds for it, answering messages all the while, then leaves
    the address on the clipboard and types nothing."""
    chrome.stay_behind()
    assistant = Assistant(folder)
    try:
        assistant.wait_for_dialog()
        start = int(wait_for(lambda: chrome.events("start"), what="the start")[0]["tick"])
        answer = assistant.ping(1000)
        assert answer is not None, "no answer within a second"
        assert answer["tick"] < start + 6000  # well within the wait
        time.sleep(max(0, start + 9000 - answer["tick"]) / 1000)
        rc, out, _ = run_wine([BUILD / "win64" / "tests" / "kvdragtool.exe", "clipboard"])
        assert rc == 0 and out.decode().strip() == "chrome://extensions"
        assert chrome.events("key") == []
        assert assistant.ping(1000) is not None
        assert texts(assistant.refresh())[NOTE_ID] == NOTE
    finally:
        assistant.kill()


def test_keys_go_only_to_the_browser_it_started(folder, chrome):
    """Another program's window in front (a chat window, say) gets neither
    the address nor Return."""
    chrome.stay_behind()
    assistant = Assistant(folder)
    chat = ChromeStandIn(folder / "chat", name="chat.exe")
    proc = None
    try:
        assistant.wait_for_dialog()
        proc = wine_popen([chat.exe])
        wait_for(lambda: chat.events("focus"), what="the other window in front")
        time.sleep(9)  # past the two and six seconds of waiting
        assert chat.events("key") == [] and chrome.events("key") == []
        assert clipboard_text() == "chrome://extensions"  # for pasting by hand
    finally:
        assistant.kill()
        if proc:
            kill_group(proc)


def test_a_chrome_for_all_users_is_found_through_app_paths(folder, without_chrome):
    standin = ChromeStandIn(folder / "Google Chrome for all")
    key = r"HKCU\Software\Microsoft\Windows\CurrentVersion\App Paths\chrome.exe"
    assert run_wine(["reg", "add", key, "/ve", "/d", windows_path(standin.exe), "/f"])[0] == 0
    assistant = Assistant(folder)
    try:
        enters = wait_for(lambda: standin.events("enter"), 30, what="Return in the stand-in")
        assert enters[0]["text"] == "chrome://extensions"
    finally:
        assistant.kill()
        run_wine(["reg", "delete", key, "/f"])
        standin.remove()


def test_without_a_browser_the_dialog_says_so_and_stays_open(assistant):
    info = assistant.wait_for_dialog()
    assert texts(info)[NOTE_ID] == BROWSER_MISSING
    time.sleep(3)  # past the wait a started browser would have had
    assert assistant.proc.poll() is None
    # Clicking the link label tries again, and keeps saying so.
    xdotool("mousemove", *centre(assistant.control(LINK_ID)["rect"]))
    xdotool("click", 1)
    time.sleep(1)
    assert assistant.proc.poll() is None
    assert texts(assistant.refresh())[NOTE_ID] == BROWSER_MISSING


def explorer_windows():
    """X windows titled like the folder the assistant opens."""
    return subprocess.run(["xdotool", "search", "--name", "^extension$"], capture_output=True,
                          text=True).stdout.split()


@pytest.mark.parametrize("present", [True, False])
def test_the_button_opens_the_unpacked_extension_folder(folder, without_chrome, present):
    """For "Load unpacked": the file manager shows the folder; without one
    the hint above the button turns into a red notice."""
    if present:
        (folder / "extension").mkdir()
        (folder / "extension" / "manifest.json").write_text("{}")
    before = set(explorer_windows())
    assistant = Assistant(folder)
    try:
        assistant.wait_for_dialog()
        xdotool("mousemove", *centre(assistant.control(OPEN_FOLDER_ID)["rect"]))
        xdotool("click", 1)
        if present:
            wait_for(lambda: set(explorer_windows()) - before, 20, what="the folder's window")
            assert texts(assistant.refresh())[UNPACKED_HINT_ID] == UNPACKED_HINT
        else:
            wait_for(lambda: texts(assistant.refresh())[UNPACKED_HINT_ID] == FOLDER_MISSING, 10,
                     what="the notice")
            assert not set(explorer_windows()) - before
        assert assistant.proc.poll() is None
    finally:
        assistant.kill()
        for window in set(explorer_windows()) - before:
            subprocess.run(["xdotool", "windowclose", window], capture_output=True)


def test_hovering_the_link_underlines_it(assistant):
    assistant.wait_for_dialog()
    link = assistant.control(LINK_ID)["rect"]
    away = centre(assistant.control(HINT_ID)["rect"])
    xdotool("mousemove", *away)
    time.sleep(0.5)
    plain = screenshot().crop(tuple(link))
    xdotool("mousemove", *centre(link))
    time.sleep(0.5)
    hovered = screenshot().crop(tuple(link))
    xdotool("mousemove", *away)
    time.sleep(0.5)
    left = screenshot().crop(tuple(link))

    def blue(image):
        return sum(1 for r, g, b in image.getdata() if b > 150 and r < 120 and g < 120)
    assert blue(hovered) > blue(plain) + 20  # the underline
    assert mean_difference(plain, left) < 0.5


# ---- drags ---------------------------------------------------------------------------

@pytest.mark.win32
def test_dragging_the_picture_delivers_the_package_file(folder, without_chrome):
    # A release folder copied where the ANSI code page (1252 here) cannot
    # name it: Greek, Hebrew and Chinese.
    release = folder / "KvCapture Ελληνικά עברית 中文"
    release.mkdir()
    assistant = Assistant(release)
    target = None
    try:
        assert texts(assistant.wait_for_dialog())[HINT_ID] == HINT  # the package is found
        target = ToolWindow("droptarget", 40, 100, 300, 300, 30000)
        assistant.focus()
        drag(centre(assistant.control(PICTURE)["rect"]), (190, 250))
    finally:
        lines = target.finish() if target else []
        running = assistant.proc.poll() is None
        picture_text = assistant.refresh()["controls"][str(PICTURE)]["text"] if running else None
        assistant.kill()
    enter = [line for line in lines if line.startswith("enter ")]
    drop = [line for line in lines if line.startswith("drop ")]
    assert enter and drop, lines
    assert f"formats={CF_BITMAP},{CF_HDROP} " in enter[0]
    assert f"effect={DROPEFFECT_COPY} " in enter[0]  # never a move out of the folder
    assert drop[0].endswith("files=" + windows_path(release / "KvCapture.crx"))
    assert running
    assert picture_text == "Static"  # the picture is still the assistant's own


def test_escape_during_the_drag_cancels_it(assistant):
    assistant.wait_for_dialog()
    target = ToolWindow("droptarget", 40, 100, 300, 300, 30000)
    try:
        assistant.focus()
        drag(centre(assistant.control(PICTURE)["rect"]), (190, 250),
             before_release=lambda: (xdotool("key", "Escape"), time.sleep(0.5)))
    finally:
        lines = target.finish()
    assert any(line.startswith("enter ") for line in lines), lines
    assert "leave" in lines
    assert not any(line.startswith("drop ") for line in lines), lines
    assert assistant.proc.poll() is None  # Escape went to the drag, not to the dialog


@pytest.mark.parametrize("modifier", ["shift", "ctrl"])
def test_shift_or_ctrl_held_prevents_the_drag(assistant, modifier):
    assistant.wait_for_dialog()
    target = ToolWindow("droptarget", 40, 100, 300, 300, 30000)
    try:
        assistant.focus()
        drag(centre(assistant.control(PICTURE)["rect"]), (190, 250), modifier=modifier)
    finally:
        lines = target.finish()
    assert lines == []


def write_bmp(path, width, height, colour, corner):
    row = (width * 3 + 3) & ~3
    rows = []
    for y in range(height):  # bottom row first
        line = bytearray()
        for x in range(width):
            r, g, b = corner if (x == 0 and y == height - 1) else colour
            line += bytes((b, g, r))
        rows.append(bytes(line) + bytes(row - len(line)))
    pixels = b"".join(rows)
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 0, 0, 0, 0)
    path.write_bytes(struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54) + header + pixels)


def test_a_bitmap_file_dropped_on_the_picture_is_shown_centred(assistant):
    assistant.wait_for_dialog()
    bmp = assistant.folder / "dropped.bmp"
    # Red, but for the top-left pixel: a centred picture's background takes
    # that pixel's colour.
    write_bmp(bmp, 120, 60, (255, 0, 0), (0, 255, 0))
    source = ToolWindow("dragsource", 40, 600, 200, 150, windows_path(bmp), 30000)
    picture = assistant.control(PICTURE)["rect"]
    try:
        drag((140, 675), centre(picture))
        time.sleep(0.5)
        shot = screenshot().crop(tuple(picture))
    finally:
        lines = source.finish()
    assert any(line.startswith("done result=00040100") for line in lines), lines  # dropped
    assert any(line.endswith("effect=0") for line in lines)  # and told nothing was done
    width, height = shot.size
    cx, cy = width // 2, height // 2
    assert shot.getpixel((cx, cy)) == (255, 0, 0)
    assert shot.getpixel((5, 5)) == (0, 255, 0)
    red = [(x, y) for x in range(width) for y in range(height) if shot.getpixel((x, y)) == (255, 0, 0)]
    xs = [x for x, _ in red]
    ys = [y for _, y in red]
    assert max(xs) - min(xs) + 1 == 120 and max(ys) - min(ys) + 1 == 60  # its own size
    assert abs((min(xs) + max(xs)) / 2 - (width - 1) / 2) <= 1
    assert abs((min(ys) + max(ys)) / 2 - (height - 1) / 2) <= 1


def test_dropping_the_picture_on_itself_changes_nothing(assistant):
    assistant.wait_for_dialog()
    picture = assistant.control(PICTURE)["rect"]
    before = screenshot().crop(tuple(picture))
    assistant.focus()
    start = centre(picture)
    drag(start, (start[0] + 60, start[1] + 20))
    xdotool("mousemove", *centre(assistant.control(NOTE_ID)["rect"]))
    time.sleep(0.5)
    after = screenshot().crop(tuple(picture))
    assert mean_difference(before, after) < 0.5
    assert assistant.proc.poll() is None


# ---- the host's "/install" -------------------------------------------------------------

def test_install_argument_starts_the_real_assistant(folder, without_chrome):
    shutil.copy(HOST_EXE, folder / "KvCaptureExt.exe")
    shutil.copy(ASSISTANT_EXE, folder / "KvCaptureCrxInstall.exe")
    (folder / "KvCapture.crx").write_bytes(b"Cr24")
    host = wine_popen([folder / "KvCaptureExt.exe", "/install"], stdin=subprocess.DEVNULL)
    copy = folder / "KvCaptureCrxInstall.exe"
    try:
        assert exit_code(host.wait(timeout=30)) == 0
        # The copy next to the host, not the one in the build tree.
        # Its window may be found before its controls are made.
        def started():
            info = window_info(exe=copy)
            return info if info and HINT_ID in texts(info) else None
        info = wait_for(started, what="the assistant started by the host")
        assert info["image"].lower() == windows_path(copy).lower()
        assert texts(info)[HINT_ID] == HINT
    finally:
        # The assistant runs on its own (not in the host's process group).
        close_windows(TITLE, exe=copy)
        wait_for(lambda: window_info(exe=copy) is None, what="the assistant to close")
        kill_group(host)
        host.stdout.close()
        host.stderr.close()
