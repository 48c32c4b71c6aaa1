"""Drives the install assistant (KvCaptureCrxInstall.exe) under Wine: starts
it, finds its dialog, drags with xdotool, takes screenshots, and places a
stand-in browser where the assistant looks for Google Chrome.

Run as a program it shows the assistant and saves a screenshot of it:
    python3 tests/e2e/installer_helper.py screenshot OUT.png
(with DISPLAY and KV_WINEPREFIX set as for tools/wine-run; the dialog is
closed again afterwards).
"""
import contextlib
import io
import json
import os
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).parent))
from kvharness import (  # noqa: E402
    ASSISTANT_EXE, WIN64, WIN_TESTS, kill_group, run_wine, unix_path, wine_popen)

DRAGTOOL_EXE = WIN_TESTS / "kvdragtool.exe"
FAKECHROME_EXE = WIN_TESTS / "fakechrome.exe"
TITLE = "Chrome插件安装助手"
REFERENCE = Path(__file__).parent / "reference"

# The dialog's own texts (control id: text).
HINT = "要完成Chrome浏览器插件的安装，请将上面的图标拖拽至："
NOTE = "如果已安装过，建议先将旧版本移除后再拖拽。"
LINK = "Chrome://extensions  页面"
CLOSE = "关闭(&C)"
PACKAGE_MISSING = "未找到安装包KvCapture.crx，请将它放到本程序所在的文件夹。"
BROWSER_MISSING = "未找到Chrome浏览器，请先安装Google Chrome。"
UNPACKED_HINT = ("新版Chrome可能不接受拖入的安装包。此时请在扩展程序页面打开右上角的“开发者模式”，"
                 "点击“加载已解压的扩展程序”，然后选择本程序文件夹中的extension文件夹。")
OPEN_FOLDER = "打开extension文件夹(&O)"
FOLDER_MISSING = "未找到extension文件夹，请重新复制整个程序文件夹。"
PICTURE, HINT_ID, NOTE_ID, LINK_ID, CLOSE_ID = 1011, 1012, 1013, 1200, 1
UNPACKED_HINT_ID, OPEN_FOLDER_ID = 1014, 1015


def windows_path(path):
    """The Wine path of a Linux path (through drive Z:)."""
    return "Z:" + str(path).replace("/", "\\")


def window_info(title=TITLE, exe=None):
    """The dialog (of the program exe, when given) as kvdragtool sees it, or
    None when it is not there."""
    args = [DRAGTOOL_EXE, "window", title] + ([windows_path(exe)] if exe else [])
    rc, out, _ = run_wine(args, timeout=30)
    return json.loads(out.decode("utf-8")) if rc == 0 else None


@contextlib.contextmanager
def wine_session():
    """For use outside the test session (which has its desktop anchor).
    Keeps one program of ours running meanwhile: Wine ends its desktop
    process when the last program ends, and a program starting at that
    moment can wait for a desktop that is going away. A desktop that this
    program starts also lives in its process group, out of reach of the
    ends of the assistants' groups."""
    holder = wine_popen([DRAGTOOL_EXE, "hold", "3600000"])
    assert holder.stdout.readline().strip() == b"ready"
    try:
        yield
    finally:
        # Only the holder itself: the desktop stays for whatever runs next
        # (and keeps the holder's output open, so that is not waited for).
        try:
            os.kill(holder.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        holder.wait()
        holder.stdout.close()
        holder.stderr.close()


def close_windows(title, exe=None):
    """Asks the windows of that title (of the program exe) to close."""
    run_wine([DRAGTOOL_EXE, "close", title] + ([windows_path(exe)] if exe else []), timeout=30)


def wait_for(predicate, timeout=20, step=0.2, what="condition"):
    end = time.time() + timeout
    while time.time() < end:
        value = predicate()
        if value:
            return value
        time.sleep(step)
    raise AssertionError(f"timed out waiting for {what}")


def centre(rect):
    return ((rect[0] + rect[2]) // 2, (rect[1] + rect[3]) // 2)


def xdotool(*args):
    subprocess.run(["xdotool"] + [str(a) for a in args], check=True)


def screenshot():
    from PIL import Image
    xwd = subprocess.run(["xwd", "-root", "-silent", "-display", os.environ["DISPLAY"]],
                         check=True, capture_output=True).stdout
    png = subprocess.run(["convert", "xwd:-", "png:-"], input=xwd, check=True,
                         capture_output=True).stdout
    return Image.open(io.BytesIO(png)).convert("RGB")


def mean_difference(a, b):
    """Mean absolute difference per channel of two images of one size."""
    from PIL import ImageChops, ImageStat
    if a.size != b.size:
        return 255.0
    return sum(ImageStat.Stat(ImageChops.difference(a, b)).mean) / 3


def compare_with_reference(image, name, tolerance=3.0):
    """Compares with tests/e2e/reference/NAME; KV_UPDATE_REFERENCES=1 writes
    it instead. A mismatch leaves the actual picture beside the build."""
    path = REFERENCE / name
    if os.environ.get("KV_UPDATE_REFERENCES") == "1":
        image.save(path)
    from PIL import Image
    diff = mean_difference(image, Image.open(path).convert("RGB"))
    if diff > tolerance:
        actual = WIN64.parent / f"actual-{name}"
        image.save(actual)
        raise AssertionError(f"{name} differs by {diff:.2f} (actual picture: {actual})")


class Assistant:
    """One run of the install assistant from a folder of ours."""

    def __init__(self, folder, package=True, exe=ASSISTANT_EXE):
        self.folder = Path(folder)
        self.exe = self.folder / "KvCaptureCrxInstall.exe"
        shutil.copy(exe, self.exe)
        if package:
            (self.folder / "KvCapture.crx").write_bytes(b"Cr24 stand-in package")
        self.proc = wine_popen([self.exe])
        self.started = time.time()
        self.info = None

    def wait_for_dialog(self, timeout=30):
        def shown():
            if self.proc.poll() is not None:
                raise AssertionError(f"assistant ended early: {self.proc.returncode}")
            info = window_info(exe=self.exe)
            return info if info and info["visible"] else None
        self.info = wait_for(shown, timeout, what="the assistant's dialog")
        time.sleep(0.5)  # let it paint
        return self.info

    def control(self, control_id):
        return self.info["controls"][str(control_id)]

    def refresh(self):
        self.info = window_info(exe=self.exe)
        return self.info

    def x_window(self):
        """The dialog's X window (of this run)."""
        named = subprocess.run(["xdotool", "search", "--name", TITLE], capture_output=True,
                               text=True).stdout.split()
        window = [w for w in named if in_group_of(self.proc, subprocess.run(
            ["xdotool", "getwindowpid", w], capture_output=True, text=True).stdout.strip())]
        assert window, f"no X window of this run among {named}"
        return window[0]

    def focus(self):
        """Gives the dialog the X keyboard focus, as a window manager would
        (the virtual display has none), with the pointer resting on its hint
        text: then keys reach it, also while a drag moves the pointer away."""
        window = self.x_window()
        xdotool("mousemove", *centre(self.control(1012)["rect"]))
        xdotool("windowfocus", window)
        time.sleep(0.3)

    def keep_above(self):
        """Raises the dialog over a browser window that came up after it, as
        a window manager keeps a topmost window above the others (Wine alone
        on the virtual display stacks its windows by their mapping)."""
        xdotool("windowraise", self.x_window())
        time.sleep(0.3)

    def ping(self, timeout_ms=1000):
        """Sends the dialog a message that it answers from its message loop:
        {"ms": time taken, "tick": when answered}, or None without an answer
        within timeout_ms."""
        rc, out, _ = run_wine([DRAGTOOL_EXE, "ping", TITLE, windows_path(self.exe), timeout_ms],
                              timeout=30)
        fields = dict(part.split("=") for part in out.decode().split() if "=" in part)
        return {"ms": int(fields["ms"]), "tick": int(fields["tick"])} if rc == 0 else None

    def client_shot(self):
        return screenshot().crop(tuple(self.info["client"]))

    def wait(self, timeout=15):
        return self.proc.wait(timeout=timeout)

    def kill(self):
        if self.proc.poll() is None:
            kill_group(self.proc)
        try:
            self.proc.communicate(timeout=10)
        except subprocess.TimeoutExpired:
            # A program it started may hold its output open.
            self.proc.stdout.close()
            self.proc.stderr.close()


def in_group_of(proc, pid):
    """Whether process `pid` (text) belongs to what wine_popen started: the
    program itself, or (32-bit Wine hands the program to a process of its
    own) a process of its group."""
    try:
        return pid.isdigit() and os.getpgid(int(pid)) == proc.pid
    except ProcessLookupError:
        return False


def drag(start, end, steps=10, before_release=None, modifier=None):
    """Presses the left button at start, moves to end in small steps (the
    first ones inside the start window), runs before_release, releases."""
    if modifier:
        xdotool("keydown", modifier)
    try:
        xdotool("mousemove", *start)
        time.sleep(0.3)
        xdotool("mousedown", 1)
        time.sleep(0.3)
        for i in range(1, steps + 1):
            if i <= 3:
                x, y = start[0] - 3 * i, start[1] - 2 * i
            else:
                t = i / steps
                x = round(start[0] + (end[0] - start[0]) * t)
                y = round(start[1] + (end[1] - start[1]) * t)
            xdotool("mousemove", x, y)
            time.sleep(0.15)
        time.sleep(0.5)
        if before_release:
            before_release()
        xdotool("mouseup", 1)
        time.sleep(1.0)
    finally:
        if modifier:
            xdotool("keyup", modifier)


class ToolWindow:
    """A kvdragtool window (drop target or drag source) reporting on stdout."""

    def __init__(self, *args):
        self.proc = wine_popen([DRAGTOOL_EXE] + [str(a) for a in args])
        line = self.proc.stdout.readline().decode().strip()
        assert line == "ready", f"kvdragtool said {line!r}"
        time.sleep(0.5)

    def finish(self):
        kill_group(self.proc)
        out, _ = self.proc.communicate()
        return out.decode("utf-8").splitlines()


def local_appdata():
    rc, out, _ = run_wine(["cmd.exe", "/c", "echo %LOCALAPPDATA%"], timeout=30)
    assert rc == 0
    return unix_path(out.decode().strip())


class ChromeStandIn:
    """fakechrome.exe placed as the per-user chrome.exe of the Wine prefix."""

    def __init__(self, folder=None, name="chrome.exe"):
        """In `folder` (it is removed afterwards) or the per-user place."""
        self.root = folder or local_appdata() / "Google"
        folder = folder or self.root / "Chrome" / "Application"
        folder.mkdir(parents=True, exist_ok=True)
        self.exe = folder / name
        shutil.copy(FAKECHROME_EXE, self.exe)
        self.record = folder / "chrome-record.txt"
        self.record.unlink(missing_ok=True)
        (folder / "stay-behind").unlink(missing_ok=True)

    def stay_behind(self):
        """From now on the stand-in never comes to the front."""
        (self.exe.parent / "stay-behind").write_text("")

    def lines(self):
        if not self.record.exists():
            return []
        return self.record.read_text(encoding="utf-8").splitlines()

    def tick(self, kind, index=0):
        """The tick of the index-th event of that kind."""
        return int(self.events(kind)[index]["tick"])

    def events(self, kind):
        """Lines of one kind as dicts of their key=value fields."""
        found = []
        for line in self.lines():
            head, _, rest = line.partition(" ")
            if head != kind:
                continue
            fields = {}
            for part in rest.split(" "):
                key, eq, value = part.partition("=")
                if eq:
                    fields[key] = value
                elif fields:  # a value with blanks (args, text)
                    last = list(fields)[-1]
                    fields[last] += " " + part
            found.append(fields)
        return found

    def remove(self):
        # The stand-ins were started by the assistant, outside our process
        # groups: ask them to close.
        close_windows("Stand-in Chrome")
        shutil.rmtree(self.root, ignore_errors=True)


def no_chrome():
    shutil.rmtree(local_appdata() / "Google", ignore_errors=True)


def main(argv):
    if len(argv) != 3 or argv[1] != "screenshot":
        print("usage: installer_helper.py screenshot OUT.png", file=sys.stderr)
        return 2
    import tempfile
    with wine_session(), tempfile.TemporaryDirectory(prefix="kv-demo-") as folder:
        # The real package when the browser side has been built.
        crx = WIN64.parent / "win32" / "KvCapture.crx"
        if crx.exists():
            shutil.copy(crx, Path(folder) / "KvCapture.crx")
        assistant = Assistant(folder, package=not crx.exists())
        try:
            assistant.wait_for_dialog()
            assistant.client_shot().save(argv[2])
        finally:
            assistant.kill()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
