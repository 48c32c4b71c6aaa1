#!/usr/bin/python3
"""A capture too large for its event, brought into the extension in pieces.

On a virtual screen of the given size (its own Xvfb, a page-like picture
over the whole screen, as in capture_latency.py), Chromium with the
extension runs "CaptureScreen" through the real host under Wine; the
extension then reads the file with "ReadCapture". Reported per run: the
file size, the number of pieces and the time from the arrival of
"OnCaptureCompleted" to the whole file in the extension (the service
worker's own clock), and per piece the wall time of one host run
answering "ReadCapture" of a full piece, started directly.

Usage (after tools/test or a win64 build):
  /usr/bin/python3 tests/bench/read_capture_bench.py [--runs N] [--size 3840x2160]
Uses its own Wine prefix (build/wineprefix-bench).
"""
import argparse
import json
import os
import statistics
import sys
import tempfile
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "e2e"))
sys.path.insert(0, str(HERE))

from capture_latency import busy_screen, start_xvfb, stop_wine  # noqa: E402
from chromium import Browser  # noqa: E402
from kvharness import BUILD, run_host, run_wine  # noqa: E402


def capture_in_browser(page):
    return page.evaluate("chrome.runtime.sendMessage({type: 'runAndWait',"
                         " command: 'CaptureScreen'})", timeout=300)


def host_piece_runs(file_name, runs):
    """Median wall time (ms) of a host run answering a full piece."""
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        result = run_host({"Command": "ReadCapture", "FileName": file_name, "Offset": 0})
        times.append(1000 * (time.perf_counter() - start))
        assert result.event["EventName"] == "OnCaptureData", result
    return statistics.median(times)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--size", default="3840x2160")
    args = parser.parse_args()
    os.environ["KV_WINEPREFIX"] = str(BUILD / "wineprefix-bench")
    xvfb, display = start_xvfb(args.size)
    os.environ["DISPLAY"] = display
    try:
        run_wine(["cmd.exe", "/c", "rem"], timeout=600)  # first start of the prefix
        with busy_screen(), tempfile.TemporaryDirectory(prefix="kv-bench-") as tmp:
            browser = Browser(tmp)
            try:
                page = browser.open("popup.html")
                capture_in_browser(page)  # warms Wine, the browser and the worker
                rows = []
                for _ in range(args.runs):
                    outcome = capture_in_browser(page)
                    assert outcome.get("kind") == "captured" and "pieces" in outcome, outcome
                    rows.append((outcome["pieces"], outcome["readMs"]))
                    time.sleep(0.5)
                size = page.evaluate("self.KvPictures.get().then(p => p.blob.size)")
            finally:
                browser.close()
            per_piece = host_piece_runs("KvCapture.png", args.runs)
    finally:
        stop_wine()
        xvfb.kill()
        xvfb.wait()
    times = [ms for _, ms in rows]
    print(json.dumps({"screen": args.size, "file bytes": size, "pieces": rows[0][0],
                      "read ms (runs)": times, "read ms median": statistics.median(times),
                      "one host run per piece ms median": round(per_piece)}, indent=1))


if __name__ == "__main__":
    main()
