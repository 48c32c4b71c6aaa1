#!/usr/bin/env python3
"""Upload throughput and peak memory of the capture host under Wine.

Uploads capture files of 1 KB (the baseline), 1 MB and 50 MB to the
recording server on 127.0.0.1 and reports, per size and run:
  - wall time of the host process (start to exit, Wine start included);
  - transfer time and throughput seen by the server (first request byte to
    last body byte);
  - peak resident memory of the host process: its VmHWM in
    /proc/<pid>/status, read every 5 ms while it runs (the mark only grows,
    so the last reading holds the peak; the body is freed before the answer
    is read, well before the process ends).

Usage (after tools/test or a win64 build):
  /usr/bin/python3 tests/bench/upload_wine_bench.py [runs]
KV_BUILD_ROOT selects the build tree (default: <repo>/build). Without
DISPLAY a private Xvfb is started.
"""
import os
import subprocess
import sys
import threading
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "e2e"))
import kvharness  # noqa: E402
from kvharness import frame, wine_popen  # noqa: E402
from upload_server import UploadServer  # noqa: E402

SIZES = [("1 KB", 1 << 10), ("1 MB", 1 << 20), ("50 MB", 50 << 20)]


def start_display():
    if os.environ.get("DISPLAY"):
        return None
    r, w = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "1600x900x24",
                             "-nolisten", "tcp"], pass_fds=(w,),
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(w)
    os.environ["DISPLAY"] = ":" + os.read(r, 16).decode().strip()
    os.close(r)
    return xvfb


def capture_folder():
    rc, out, _ = kvharness.run_wine(["cmd.exe", "/c", "echo %TEMP%"])
    temp = out.decode().strip().rstrip("\\") + "\\KvCapture"
    folder = kvharness.unix_path(temp)
    folder.mkdir(parents=True, exist_ok=True)
    return folder


def peak_hwm_kb(pid, stop, result):
    """Samples VmHWM until `stop` is set; keeps the last value read."""
    path = f"/proc/{pid}/status"
    while not stop.is_set():
        try:
            for line in open(path):
                if line.startswith("VmHWM:"):
                    result[0] = max(result[0], int(line.split()[1]))
        except OSError:
            pass
        time.sleep(0.005)


def run_once(server, name, size):
    server.requests.clear()
    request = {"Command": "Upload", "PostUrl": server.url("/bench"), "FileName": name,
               "PostParams": "title=bench&size=%d" % size}
    start = time.perf_counter()
    proc = wine_popen([kvharness.HOST_EXE], env={"no_proxy": "127.0.0.1"})
    hwm, stop = [0], threading.Event()
    sampler = threading.Thread(target=peak_hwm_kb, args=(proc.pid, stop, hwm), daemon=True)
    sampler.start()
    proc.stdin.write(frame(request))
    proc.stdin.close()
    out = proc.stdout.read()
    proc.wait()
    wall = time.perf_counter() - start
    stop.set()
    sampler.join()
    ok = b"OnUploadCompleted" in out and proc.returncode == 0
    req = server.requests[0] if server.requests else None
    transfer = (req.last_byte_at - req.first_byte_at) if req and req.last_byte_at else float("nan")
    return ok, wall, transfer, hwm[0], server.bytes_received


def main():
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 3
    xvfb = start_display()
    try:
        folder = capture_folder()
        for label, size in SIZES:
            (folder / f"bench-{size}.png").write_bytes(os.urandom(size))
        print(f"{'file':>6} {'run':>3} {'wall s':>7} {'transfer s':>10} {'MB/s':>7} "
              f"{'VmHWM MB':>8}")
        with UploadServer(keep_bodies=False) as server:
            server.respond(b"stored")
            for label, size in SIZES:
                for run in range(runs):
                    server.bytes_received = 0
                    ok, wall, transfer, hwm, got = run_once(server, f"bench-{size}.png",
                                                                    size)
                    rate = size / transfer / 1e6 if transfer == transfer and transfer > 0 else 0
                    print(f"{label:>6} {run + 1:>3} {wall:7.2f} {transfer:10.3f} {rate:7.1f} "
                          f"{hwm / 1024:8.1f}"
                          f"{'' if ok and got > size else '  FAILED'}")
    finally:
        if xvfb:
            xvfb.kill()


if __name__ == "__main__":
    main()
