#!/usr/bin/python3
"""Latency of "CaptureScreen" under Wine, on virtual screens of given sizes.

For each size: its own Xvfb, a page-like picture over the whole screen
(kvtestwin busy), then
  - the harness kvcapture_latency: the host's steps timed one by one
    (screen copy, encoding, the event made: file read, Base64, escaping
    and framing in one buffer; and its write into the pipe, which depends
    on the reader), median of the runs;
  - the real host: wall time from starting it with a "CaptureScreen"
    request to the event, and the same for "StopCapture" (process start
    and end alone), medians.

Usage (after tools/test or a win64 build):
  /usr/bin/python3 tests/bench/capture_latency.py [--runs N] [--sizes 1920x1080,3840x2160]
Uses its own Wine prefix (build/wineprefix-bench) so that a running test
session is not disturbed; KV_BENCH_DISPLAY=N puts its Xvfb on display :N.
"""
import argparse
import os
import statistics
import subprocess
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "e2e"))

import kvharness  # noqa: E402
from kvharness import BUILD, HOST_EXE, frame, run_wine, wine_popen  # noqa: E402
from screens import Scene  # noqa: E402

LATENCY_EXE = BUILD / "win64" / "bench" / "kvcapture_latency.exe"


def start_xvfb(size):
    """Xvfb of `size` on display :KV_BENCH_DISPLAY when set, else on the
    first free one."""
    number = os.environ.get("KV_BENCH_DISPLAY")
    if number:
        xvfb = subprocess.Popen(
            ["Xvfb", f":{number}", "-screen", "0", f"{size}x24", "-nolisten", "tcp"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(2)
        return xvfb, f":{number}"
    r, w = os.pipe()
    xvfb = subprocess.Popen(
        ["Xvfb", "-displayfd", str(w), "-screen", "0", f"{size}x24", "-nolisten", "tcp"],
        pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(w)
    num = os.read(r, 16).decode().strip()
    os.close(r)
    return xvfb, f":{num}"


def stop_wine():
    subprocess.run(["/usr/lib/wine/wineserver", "-k"], env={**os.environ, "WINEPREFIX": os.environ["KV_WINEPREFIX"]},
                   check=False, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def time_host(request, runs, expect_event):
    """Median wall time (ms) from starting the host to its complete event
    (or its end, when it sends none). A run that found no display (see
    busy_screen) is repeated."""
    times = []
    for _ in range(5 * runs):
        if len(times) == runs:
            break
        start = time.perf_counter()
        proc = wine_popen([HOST_EXE])
        out, _ = proc.communicate(frame(request), timeout=120)
        elapsed = 1000 * (time.perf_counter() - start)
        if proc.returncode == 0 and bool(out) == expect_event:
            times.append(elapsed)
    assert times, f"the host never answered {request}"
    return statistics.median(times)


def harness_rows(size, runs, attempts=10):
    """The harness's lines for `runs` runs on a screen of `size`."""
    for _ in range(attempts):
        rc, _, err = run_wine([LATENCY_EXE, str(runs + 1)], timeout=600)
        rows = [line.split() for line in err.decode().splitlines() if line[:1].isdigit()]
        if rc == 0 and rows and all(f"{r[5]}x{r[6]}" == size for r in rows):
            return rows[1:]  # the first run warms the caches and GDI+
        time.sleep(3)
    raise AssertionError(f"the harness never saw a {size} screen")


def busy_screen(attempts=5):
    """The page-like picture over the whole screen. For a while after Wine
    came up on a new display its programs may find no display driver (and
    a 1024 x 768 screen): try again."""
    for attempt in range(attempts):
        try:
            return Scene("busy", timeout=120)
        except AssertionError:
            if attempt == attempts - 1:
                raise
            time.sleep(3)


def measure(size, runs):
    xvfb, display = start_xvfb(size)
    os.environ["DISPLAY"] = display
    try:
        run_wine(["cmd.exe", "/c", "rem"], timeout=600)  # first start of the prefix
        with busy_screen():
            rows = harness_rows(size, runs)
            steps = [statistics.median(float(r[i]) for r in rows) for i in range(4)]
            file_bytes = int(rows[-1][4])
            event_bytes = int(rows[-1][7])
            host = time_host({"Command": "CaptureScreen", "FileName": "latency.png"}, runs, True)
            bare = time_host({"Command": "StopCapture"}, runs, False)
    finally:
        stop_wine()
        xvfb.kill()
        xvfb.wait()
    return steps, file_bytes, event_bytes, host, bare


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=9)
    parser.add_argument("--sizes", default="1920x1080,3840x2160")
    args = parser.parse_args()
    os.environ["KV_WINEPREFIX"] = str(BUILD / "wineprefix-bench")
    os.environ.pop("DISPLAY", None)
    print(f"CaptureScreen under Wine, medians of {args.runs} runs (ms)")
    print(f"{'screen':>10} {'copy':>8} {'encode':>8} {'event':>8} {'write':>8} {'sum':>8}"
          f" {'PNG bytes':>10} {'event B':>9} {'host':>8} {'no-op':>8}")
    for size in args.sizes.split(","):
        for session in range(3):
            # A Wine session that came up without its display driver stays
            # so: start a new one.
            try:
                steps, file_bytes, event_bytes, host, bare = measure(size, args.runs)
                break
            except AssertionError as e:
                print(f"({size}: {e}; new session)", file=sys.stderr)
        else:
            raise SystemExit(f"no usable Wine session on a {size} screen")
        print(f"{size:>10} {steps[0]:8.1f} {steps[1]:8.1f} {steps[2]:8.1f} {steps[3]:8.1f}"
              f" {sum(steps):8.1f} {file_bytes:>10} {event_bytes:>9} {host:8.0f} {bare:8.0f}",
              flush=True)
    print("event: the host's work on the event (file read, Base64, escaping, framing);"
          " write: the frame written into the pipe")
    print("host: start of the host with the request to its event; no-op: the same for"
          " StopCapture (process start and end alone)")


if __name__ == "__main__":
    main()
