#!/usr/bin/env python3
"""Runs the capture host with real requests and shows what came back.

Each step prints its request, the exit code and every event, decoded:
pictures that arrive as Base64 text in "arg2" are written into the output
folder, next to a screenshot of the display taken before the request.
"""
import base64
import io
import json
import os
import shutil
import subprocess
import sys
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tests" / "e2e"))
import kvharness  # noqa: E402
from kvharness import RunningHost, exit_code, frame, run_host  # noqa: E402
from browser_server import UploadServer  # noqa: E402

OUT = Path(sys.argv[1])
failures = []


def screenshot(name):
    path = OUT / name
    subprocess.run(["sh", "-c", f"xwd -root -silent | convert xwd:- '{path}'"], check=False)
    return path


def indented(output):
    return "\n".join("      " + line for line in output.decode("utf-8", "replace").splitlines())


def release_folder():
    """The release folder as a user copies it (build/win32/release/KvCapture),
    with the win64 programs in place of the 32-bit ones, which cannot run on
    this machine; None when win32 is not built."""
    source = kvharness.BUILD / "win32" / "release" / "KvCapture"
    if not source.exists():
        print("\n(no release folder: the win32 build with chromium makes it)")
        failures.append("release folder")
        return None
    folder = OUT / "KvCapture"
    shutil.copytree(source, folder)
    for name in ("KvCaptureExt.exe", "KvCaptureCrxInstall.exe"):
        shutil.copy(kvharness.WIN64 / name, folder / name)
    return folder


def show(title, request, result, raw=False):
    print(f"\n--- {title}")
    print(f"    request : {request!r}" if raw else f"    request : {json.dumps(request, ensure_ascii=False)}")
    print(f"    exit    : {exit_code(result.returncode)}"
          f"{' (-1)' if exit_code(result.returncode) == 255 else ''}")
    if not result.events:
        print("    events  : none")
    for i, event in enumerate(result.events):
        shown = dict(event)
        picture = event.get("arg2", "")
        if event.get("EventName") == "OnCaptureCompleted" and picture:
            data = base64.b64decode(picture)
            name = OUT / f"{title.split()[0].lower()}-{Path(event.get('arg1', 'x.png').replace(chr(92), '/')).name}"
            name.write_bytes(data)
            size = ""
            try:
                from PIL import Image
                with Image.open(io.BytesIO(data)) as img:
                    size = f", {img.format} {img.size[0]}x{img.size[1]}"
            except Exception:  # noqa: BLE001 - a demo shows what it can
                pass
            shown["arg2"] = f"<{len(picture)} characters of Base64: {len(data)} bytes{size}, saved as {name.name}>"
        print(f"    event   : {json.dumps(shown, ensure_ascii=False)}")
    (OUT / "events.jsonl").open("a").write(
        json.dumps({"step": title, "exit": exit_code(result.returncode), "events": result.events},
                   ensure_ascii=False) + "\n")


def step(title, request, raw=False, expect_exit=None, timeout=60, **kw):
    try:
        result = run_host(request, raw=raw, timeout=timeout, **kw)
    except subprocess.TimeoutExpired:
        print(f"\n--- {title}\n    request : {request!r}\n    no answer within {timeout} s")
        failures.append(title)
        return None
    show(title, request, result, raw=raw)
    if expect_exit is not None and exit_code(result.returncode) != expect_exit:
        failures.append(title)
    return result


def interactive_capture():
    """Drives an interactive capture with scripted pointer moves: the
    prompt's button, a drag over the display, a double click inside."""
    host = RunningHost({"Command": "StartCapture", "FileName": "demo-interactive.png",
                        "TipInfo": "Drag to select, double-click to finish"})
    try:
        host.wait_for_window()
        time.sleep(2)
        screenshot("interactive-1-prompt.png")
        rc, out, _ = kvharness.run_wine([kvharness.PROBE_EXE, "dialog-info"])
        prompt = [json.loads(line) for line in out.decode().splitlines() if line.strip()]
        if not prompt:
            print("    (no prompt on screen)")
            return
        button = [c for c in prompt[0]["controls"] if c["id"] == 1][0]["rect"]
        xdo = lambda *a: subprocess.run(["xdotool"] + [str(x) for x in a], check=False)  # noqa: E731
        xdo("mousemove", (button[0] + button[2]) // 2, (button[1] + button[3]) // 2)
        xdo("click", 1)
        # The prompt closes, then the overlay opens over the frozen screen.
        deadline = time.time() + 20
        while kvharness.probe("find-window", "KvVovoDodereWnd") != 0 and time.time() < deadline:
            time.sleep(0.2)
        time.sleep(0.5)  # its first timer tick makes releases count
        xdo("mousemove", 200, 150)
        time.sleep(0.3)
        screenshot("interactive-2-window-snap.png")
        xdo("mousedown", 1)
        for x, y in [(205, 155), (300, 220), (420, 300), (560, 380)]:
            xdo("mousemove", x, y)
            time.sleep(0.05)
        screenshot("interactive-3-dragging.png")
        xdo("mouseup", 1)
        time.sleep(0.5)
        screenshot("interactive-4-fixed.png")
        xdo("mousemove", 380, 260)
        xdo("click", "--repeat", "2", "--delay", "80", 1)
        result = host.finish(timeout=30)
        show("Interactive capture (StartCapture)", {"Command": "StartCapture"}, result)
    finally:
        host.kill()


def annotated_capture():
    """An interactive capture annotated like a user would: a region over
    the windows adjusted by keys, a rectangle, an arrow, a brush stroke, a
    mosaic and typed text, then Complete on the toolbar."""
    import xdo
    region = (40, 40, 1000, 440)
    host = RunningHost({"Command": "Capture", "FileName": "demo-annotated.png"})
    try:
        deadline = time.time() + 20
        while kvharness.probe("find-window", "KvVovoDodereWnd") != 0 and time.time() < deadline:
            time.sleep(0.2)
        time.sleep(0.6)  # its first timer tick makes releases count
        # Dragged 10 pixels short on the left and bottom, then set right by
        # keys: Shift+Right moves it 10 pixels, Ctrl+Down ten times brings
        # the bottom edge down.
        xdo.drag([(region[0] - 11, region[1] - 1), (region[0] - 10, region[1]),
                  (region[2] - 10, region[3] - 10)])
        xdo.key("shift+Right")
        for _ in range(10):
            xdo.key("ctrl+Down", settle=0.05)
        time.sleep(0.3)
        screenshot("annotated-0-keys.png")
        toolbar = xdo.Toolbar(region)
        toolbar.use("rectangle", (255, 0, 0), 5)
        xdo.drag([(55, 50), (56, 51), (370, 290)])
        toolbar.use("arrow", (0, 0, 255))
        xdo.drag([(560, 380), (561, 381), (420, 250)])
        toolbar.use("brush", (255, 0, 255), 2)
        xdo.drag([(760, 130), (790, 170), (840, 120), (890, 190), (940, 140)])
        toolbar.use("mosaic", pen=5)
        xdo.drag([(700, 60), (701, 61), (990, 250)])
        toolbar.use("text", (0, 0, 0))
        xdo.drag([(600, 360), (601, 361), (980, 420)])
        xdo.xdo("type", "--delay", 30, "The clock, marked for the demo")
        time.sleep(0.3)
        screenshot("annotated-1-editing.png")
        xdo.move(900, 300)
        xdo.click()  # commits the text
        screenshot("annotated-2-committed.png")
        toolbar.press("complete")
        result = host.finish(timeout=30)
        show("Annotated capture (Capture)", {"Command": "Capture"}, result)
    finally:
        host.kill()


def main():
    OUT.mkdir(parents=True, exist_ok=True)
    screenshot("display.png")
    print(f"display {os.environ.get('DISPLAY')}: screenshot in {OUT / 'display.png'}")

    step("Unknown command", {"Command": "Dance"}, expect_exit=255)
    step("Empty request (length 0)", b"\x00\x00\x00\x00", raw=True, expect_exit=255)
    step("StopCapture", {"Command": "StopCapture"}, expect_exit=0)
    step("CaptureScreen", {"Command": "CaptureScreen", "FileName": "demo-screen.png"}, expect_exit=0)
    step("CaptureRect", {"Command": "CaptureRect", "FileName": "demo-rect.png",
                         "CaptureLeft": 40, "CaptureTop": 40, "CaptureWidth": 720,
                         "CaptureHeight": 300}, expect_exit=0)
    step("CaptureRect (JPEG)", {"Command": "CaptureRect", "FileName": "demo-rect.jpg",
                                "CaptureLeft": 400, "CaptureTop": 60, "CaptureWidth": 300,
                                "CaptureHeight": 280}, expect_exit=0)
    step("CaptureWindow", {"Command": "CaptureWindow", "FileName": "demo-window.png",
                           "WinName": "Untitled - Notepad"}, expect_exit=0)

    with UploadServer(lambda u: json.dumps({"stored": True, "bytes": len(u.body)}).encode()) as server:
        step("Upload", {"Command": "Upload", "PostUrl": server.url("/upload.php?album=demo"),
                        "FileName": "demo-rect.png", "PostParams": "title=Demo&tags=kv,capture"})
        for upload in server.uploads:
            print(f"    server  : POST {upload.path}, {len(upload.body)} bytes, "
                  f"Content-Type {upload.headers.get('Content-Type')}")
            (OUT / "upload-request-body.bin").write_bytes(upload.body)

    print("\n--- Interactive capture")
    interactive_capture()
    print("\n--- Annotated capture")
    annotated_capture()

    folder = release_folder()
    if folder:
        print("\n--- Registration and self-check, from the release folder")
        rc, out, _ = kvharness.run_wine(["cmd.exe", "/c", "register-host.cmd"], cwd=folder)
        print(f"    register-host.cmd (exit {rc}):")
        print(indented(out))
        for language in ("en", "cn"):
            rc, out, _ = kvharness.run_wine([folder / "KvCaptureExt.exe", "/check", language],
                                            timeout=90)
            (OUT / f"check-{language}.txt").write_bytes(out)
            print(f"    KvCaptureExt.exe /check {language} (exit {rc}):")
            print(indented(out))
            if rc != 0:
                failures.append(f"/check {language}")

        print("\n--- Install assistant, from the release folder")
        proc = kvharness.wine_popen([folder / "KvCaptureCrxInstall.exe"], cwd=folder)
        time.sleep(5)
        screenshot("install-assistant.png")
        print(f"    screenshot: {OUT / 'install-assistant.png'}")
        kvharness.kill_group(proc)
        proc.communicate()
        kvharness.run_wine(["cmd.exe", "/c", "unregister-host.cmd"], cwd=folder)

    if failures:
        print(f"\nsteps that did not answer as expected: {failures}")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
