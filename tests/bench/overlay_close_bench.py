#!/usr/bin/python3
"""How long an interactive capture takes to end, under Wine, on virtual
screens of given sizes.

For each size (its own Xvfb) and each setting of the Wine X11 driver's
"Managed" value (tools/wine-run sets it from KV_WINE_MANAGED at every
session start; without a window manager, "Y" makes Wine wait up to 2 s
for one whenever a managed window is unmapped): a position-pattern
backdrop over the screen and a pattern window over all of it but a strip
at the bottom; a "Capture" request; the pointer on the window (the snap
offers it as the region); then the action, sent through XTEST:
  escape        Escape
  ctrl+c        a click that fixes the region, then Ctrl+C
  double-click  a double click on the offered region
Timed from the action (the last input event flushed to the X server):
  gone   the strip shows bright again (the overlay is off the screen),
  event  the host's event has arrived,
  exit   the host process has ended.
Ctrl+C and the double click capture the window: nearly the whole screen.

Usage (after a win64 build):
  /usr/bin/python3 tests/bench/overlay_close_bench.py [--runs N]
      [--sizes 1920x1080,3840x2160] [--managed N,Y] [--actions escape,ctrl+c]
Uses its own Wine prefix (build/wineprefix-bench).
"""
import argparse
import ctypes
import os
import statistics
import subprocess
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "e2e"))

import kvharness  # noqa: E402
from kvharness import BUILD, RunningHost, run_wine  # noqa: E402
from capture_latency import start_xvfb, stop_wine  # noqa: E402

STRIP = 60  # pixels at the bottom that the pattern window leaves free


class X:
    """Just enough of Xlib and XTEST: one pixel of the root window, fake
    input."""

    def __init__(self, display):
        self.x11 = ctypes.CDLL("libX11.so.6")
        self.xtst = ctypes.CDLL("libXtst.so.6")
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x11.XDefaultRootWindow.restype = ctypes.c_ulong
        self.x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        self.x11.XGetImage.restype = ctypes.c_void_p
        self.x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                       ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        self.x11.XGetPixel.restype = ctypes.c_ulong
        self.x11.XGetPixel.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int]
        self.x11.XDestroyImage.argtypes = [ctypes.c_void_p]
        self.x11.XFlush.argtypes = [ctypes.c_void_p]
        self.x11.XStringToKeysym.restype = ctypes.c_ulong
        self.x11.XStringToKeysym.argtypes = [ctypes.c_char_p]
        self.x11.XKeysymToKeycode.restype = ctypes.c_ubyte
        self.x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                                ctypes.c_ulong]
        self.xtst.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                                   ctypes.c_ulong]
        self.xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int,
                                                   ctypes.c_int, ctypes.c_ulong]
        # A failed request (a read while the screen changes) must not end
        # the process, as Xlib's default handler does.
        handler_type = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)
        self._handler = handler_type(lambda dpy, event: 0)
        self.x11.XSetErrorHandler(self._handler)
        self.dpy = self.x11.XOpenDisplay(display.encode())
        assert self.dpy, f"cannot open {display}"
        self.root = self.x11.XDefaultRootWindow(self.dpy)

    def pixel(self, x, y):
        image = self.x11.XGetImage(self.dpy, self.root, x, y, 1, 1, 0xFFFFFFFF, 2)  # ZPixmap
        if not image:
            return (-1, -1, -1)
        value = self.x11.XGetPixel(image, 0, 0)
        self.x11.XDestroyImage(image)
        return (value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF

    def move(self, x, y):
        self.xtst.XTestFakeMotionEvent(self.dpy, -1, x, y, 0)
        self.x11.XFlush(self.dpy)

    def click(self):
        self.xtst.XTestFakeButtonEvent(self.dpy, 1, 1, 0)
        self.x11.XFlush(self.dpy)
        time.sleep(0.012)
        self.xtst.XTestFakeButtonEvent(self.dpy, 1, 0, 0)
        self.x11.XFlush(self.dpy)

    def keys(self, *names):
        """Presses the keys in order, then releases them in reverse."""
        codes = [self.x11.XKeysymToKeycode(self.dpy, self.x11.XStringToKeysym(n.encode()))
                 for n in names]
        for c in codes:
            self.xtst.XTestFakeKeyEvent(self.dpy, c, 1, 0)
            self.x11.XFlush(self.dpy)
            time.sleep(0.012)  # as xdotool does: some readers poll the key state
        for c in reversed(codes):
            self.xtst.XTestFakeKeyEvent(self.dpy, c, 0, 0)
        self.x11.XFlush(self.dpy)


def wait_until(predicate, timeout, step=0.002):
    end = time.perf_counter() + timeout
    while time.perf_counter() < end:
        if predicate():
            return True
        time.sleep(step)
    return False


def one_run(x, action, size):
    """Times one capture ended by `action`; (gone, event, exit) in ms, or
    None when the overlay never came up."""
    width, height = size
    probe = (250, height - STRIP // 2)  # red 250 there; 155/255 of it dimmed
    bright = lambda: x.pixel(*probe)[0] > 220  # noqa: E731
    dark = lambda: 0 <= x.pixel(*probe)[0] < 200  # noqa: E731
    x.move(width // 2, (height - STRIP) // 2)
    host = RunningHost({"Command": "Capture", "FileName": "closebench.png"})
    try:
        if not wait_until(dark, 30):
            return None
        time.sleep(1.5)  # the opening done, the first poll tick passed (releases count)
        x.move(width // 2 + 1, (height - STRIP) // 2)  # the snap offers the window
        time.sleep(0.4)
        if action == "ctrl+c":
            x.click()  # fixes the offered region
            time.sleep(1.0)
        out = Path(f"/proc/self/fd/{host._out.fileno()}")
        if action == "escape":
            x.keys("Escape")
        elif action == "ctrl+c":
            x.keys("Control_L", "c")
        else:
            x.click()
            time.sleep(0.08)
            x.click()
        start = time.perf_counter()
        times = {}
        end = start + 30
        while len(times) < 3 and time.perf_counter() < end:
            now = time.perf_counter()
            if "gone" not in times and bright():
                times["gone"] = now
            if "event" not in times and out.stat().st_size >= 4:
                times["event"] = now
            if "exit" not in times and host.proc.poll() is not None:
                times["exit"] = now
            time.sleep(0.002)
        if len(times) < 3:
            print(f"({action}: no end within 30 s: {sorted(times)}; run left out)", file=sys.stderr)
            import xdo
            xdo.screenshot().save("/tmp/speed-fail.png")
            return None
        result = host.finish(timeout=30)
        assert result.events and result.events[0]["EventName"] in (
            "OnCaptureCanceled", "OnCaptureCompleted"), result
        return tuple(1000 * (times[k] - start) for k in ("gone", "event", "exit"))
    finally:
        host.kill()


def measure(size, managed, actions, runs):
    width, height = (int(v) for v in size.split("x"))
    os.environ["KV_WINE_MANAGED"] = managed
    stop_wine()
    xvfb, display = start_xvfb(size)
    os.environ["DISPLAY"] = display
    rows = {}
    anchor = windows = None
    try:
        import xdo
        # For a while after Wine came up on a new display its programs may
        # find no display driver, and a session that came up so stays so:
        # start a new one.
        for attempt in range(10):
            run_wine(["cmd.exe", "/c", "rem"], timeout=600)  # the session comes up
            time.sleep(1)
            try:
                windows = xdo.PatternWindows((0, 0, width, height), (0, 0, width, height - STRIP))
                break
            except AssertionError:
                if attempt == 9:
                    raise
                stop_wine()
                subprocess.run(["/usr/lib/wine/wineserver", "-w"], check=False,
                               env={**os.environ, "WINEPREFIX": os.environ["KV_WINEPREFIX"]})
                time.sleep(3)
        anchor = kvharness.start_desktop_anchor()
        time.sleep(1)
        x = X(display)
        for action in actions:
            samples = []
            for _ in range(3 * runs):
                if len(samples) == runs:
                    break
                sample = one_run(x, action, (width, height))
                if sample:
                    samples.append(sample)
                time.sleep(0.5)
            rows[action] = ([statistics.median(s[i] for s in samples) for i in range(3)]
                            if samples else None)
    finally:
        if windows:
            windows.close()
        if anchor:
            kvharness.kill_group(anchor)
            anchor.wait()
        stop_wine()
        xvfb.kill()
        xvfb.wait()
    return rows


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--sizes", default="1920x1080,3840x2160")
    parser.add_argument("--managed", default="N,Y")
    parser.add_argument("--actions", default="escape,ctrl+c,double-click")
    args = parser.parse_args()
    os.environ["KV_WINEPREFIX"] = str(BUILD / "wineprefix-bench")
    os.environ.pop("DISPLAY", None)
    print(f"End of an interactive capture under Wine, medians of {args.runs} runs (ms from"
          " the action)")
    print(f"{'screen':>10} {'Managed':>8} {'action':>13} {'gone':>8} {'event':>8} {'exit':>8}")
    for size in args.sizes.split(","):
        for managed in args.managed.split(","):
            rows = measure(size, managed, args.actions.split(","), args.runs)
            for action, row in rows.items():
                if not row:
                    print(f"{size:>10} {managed:>8} {action:>13}   (never ended)", flush=True)
                    continue
                gone, event, end = row
                print(f"{size:>10} {managed:>8} {action:>13} {gone:8.0f} {event:8.0f} {end:8.0f}",
                      flush=True)


if __name__ == "__main__":
    main()
