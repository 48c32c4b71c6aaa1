#!/usr/bin/python3
"""Time of a whole-page capture, from the request to the picture in the
popup: the test page six screens tall of the end-to-end tests, in headless
Chromium with the extension, written into the capture file by the real host
under Wine. Reported per zoom: the screens taken, the picture's size and
bytes, and the wall time of each run.

Usage (after a win64 build, on an X display, e.g. under xvfb-run):
  KV_WINEPREFIX=build/wineprefix /usr/bin/python3 tests/bench/whole_page_bench.py [--runs N]
"""
import argparse
import math
import shutil
import statistics
import sys
import tempfile
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "e2e"))

from chromium import Browser  # noqa: E402
from kvharness import run_wine  # noqa: E402
from test_whole_page import PageServer, open_page, tab_id  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    run_wine(["cmd.exe", "/c", "exit"], timeout=180)
    folder = Path(tempfile.mkdtemp(prefix="kv-whole-page-bench-"))
    browser = Browser(folder)
    server = PageServer()
    try:
        popup = browser.open("popup.html")
        url = server.url("/tall")
        for zoom in (1, 2):
            page = open_page(browser, url)
            page.wait_for("document.body.dataset.rows")
            tab = tab_id(popup, url)
            popup.evaluate("chrome.tabs.setZoom(%d, %d)" % (tab, zoom))
            page.wait_for("devicePixelRatio === %d" % zoom)
            screens = page.evaluate("document.documentElement.scrollHeight / innerHeight")
            times = []
            for _ in range(args.runs):
                start = time.monotonic()
                outcome = popup.evaluate(
                    "chrome.runtime.sendMessage({type: 'runAndWait', command: 'WholePage',"
                    " tabId: %d})" % tab, timeout=300)
                times.append(time.monotonic() - start)
                assert outcome["kind"] == "captured", outcome
            print(f"zoom {zoom}: {math.ceil(screens)} screens, picture "
                  f"{outcome['width']} x {outcome['height']}, runs "
                  + ", ".join(f"{t:.2f} s" for t in times)
                  + f" (median {statistics.median(times):.2f} s)")
            page.close()
    finally:
        server.close()
        browser.close()
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
