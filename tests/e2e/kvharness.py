"""Helpers for driving the Windows programs under Wine as black boxes."""
import base64
import hashlib
import json
import os
import signal
import struct
import subprocess
import tempfile
import threading
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
BUILD = Path(os.environ.get("KV_BUILD_ROOT", REPO / "build"))
# The programs under test: "win64", the x86_64 build under the system's
# Wine, or "win32", the deliverable itself, in the 32-bit Wine of
# tools/test-win32 (which sets KV_TARGET and runs tools/wine-run there).
TARGET = os.environ.get("KV_TARGET", "win64")
assert TARGET in ("win64", "win32"), f"KV_TARGET={TARGET}: win64 or win32"
WIN64 = BUILD / "win64"
PROGRAMS = BUILD / TARGET
# The helper programs are x86_64 for either set: the 32-bit runtime's Wine
# runs them natively beside the emulated 32-bit programs.
WIN_TESTS = WIN64 / "tests"
WINE_RUN = REPO / "tools" / "wine-run"
HOST_EXE = PROGRAMS / "KvCaptureExt.exe"
ASSISTANT_EXE = PROGRAMS / "KvCaptureCrxInstall.exe"
# How much longer the programs take to handle input: the 32-bit ones run
# emulated, about 3.4 times slower than natively.
# Wine keeps a clipboard bitmap (CF_BITMAP) in the record layout of the
# process that set it: a 64-bit reader cannot take a 32-bit program's bitmap
# (Windows converts it).
CLIPBOARD_BITMAP_READABLE = TARGET == "win64"
# Whether Wine hands top-level windows to a window manager (tools/wine-run's
# KV_WINE_MANAGED default): then the X focus is the harness's to give.
MANAGED_WINDOWS = os.environ.get("KV_WINE_MANAGED", "Y" if TARGET == "win32" else "N") == "Y"
SLOWNESS = float(os.environ.get("KV_SLOWNESS", "4" if TARGET == "win32" else "1"))
PROBE_EXE = WIN_TESTS / "kvprobe.exe"
# Scratch folders of this build tree carry this tag in their names.
TMP_TAG = "kvtest-" + hashlib.sha1(str(BUILD).encode()).hexdigest()[:8] + "-"


def wine_env(extra=None):
    env = dict(os.environ)
    env.setdefault("KV_WINEPREFIX", str(BUILD / "wineprefix"))
    if extra:
        env.update(extra)
    return env


def frame(body):
    """One native-messaging frame: little-endian length, then the body."""
    if isinstance(body, dict):
        body = json.dumps(body, ensure_ascii=False)
    if isinstance(body, str):
        body = body.encode("utf-8")
    return struct.pack("<I", len(body)) + body


def host_base64(data):
    """Base64 as the host writes it: a CR LF after every 76 characters of
    whole 3-byte groups, none after the padded tail."""
    text = base64.b64encode(data).decode()
    full = len(data) // 57 * 76
    return "".join(text[i:i + 76] + ("\r\n" if i + 76 <= full else "")
                   for i in range(0, len(text), 76))


def parse_frames(raw):
    """Splits stdout bytes into frames; returns a list of bytes bodies."""
    frames, pos = [], 0
    while pos < len(raw):
        assert pos + 4 <= len(raw), f"truncated length prefix in {raw!r}"
        (n,) = struct.unpack_from("<I", raw, pos)
        body = raw[pos + 4 : pos + 4 + n]
        assert len(body) == n, f"frame announces {n} bytes, {len(body)} arrived"
        frames.append(body)
        pos += 4 + n
    return frames


class HostResult:
    def __init__(self, returncode, stdout, stderr):
        self.returncode = returncode
        self.stdout = stdout
        self.stderr = stderr
        self.frames = parse_frames(stdout)
        self.events = [json.loads(f.decode("utf-8")) for f in self.frames]

    @property
    def event(self):
        assert len(self.events) == 1, f"expected one event, got {self.events}"
        return self.events[0]

    def __repr__(self):
        return f"HostResult(rc={self.returncode}, events={self.events})"


def wine_popen(args, cwd=None, env=None, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
               stderr=subprocess.PIPE):
    return subprocess.Popen(
        [str(WINE_RUN)] + [str(a) for a in args],
        stdin=stdin,
        stdout=stdout,
        stderr=stderr,
        cwd=cwd,
        env=wine_env(env),
        start_new_session=True,
    )


def kill_group(proc):
    try:
        os.killpg(proc.pid, signal.SIGKILL)
    except ProcessLookupError:
        pass


def _feed(stream, data):
    """Writes the whole input and closes the stream (in a thread: the
    program may end without reading)."""
    def write():
        try:
            if data:
                stream.write(data)
            stream.close()
        except (BrokenPipeError, OSError):
            pass
    thread = threading.Thread(target=write, daemon=True)
    thread.start()
    return thread


def run_wine(args, input=None, timeout=60, cwd=None, env=None):
    """Runs a Windows program to its end; returns (returncode, stdout, stderr).

    The output goes through files, not pipes, and the end of the program is
    its exit: a Wine process that the program caused to start (Wine's
    desktop process is one) inherits its standard streams and may keep a
    pipe open long after the program has ended."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        proc = wine_popen(args, cwd=cwd, env=env, stdout=out, stderr=err)
        _feed(proc.stdin, input)
        try:
            proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            kill_group(proc)
            proc.wait()
            raise subprocess.TimeoutExpired(proc.args, timeout)
        out.seek(0)
        err.seek(0)
        return proc.returncode, out.read(), err.read()


def run_host(request=b"", args=(), timeout=60, raw=False, exe=None, env=None):
    """Runs the host with one request (dict, str or framed bytes when raw)."""
    data = request if raw else frame(request)
    rc, out, err = run_wine([exe or HOST_EXE] + list(args), input=data, timeout=timeout, env=env)
    return HostResult(rc, out, err)


class RunningHost:
    """A host started in the background, for tests that act while it runs.
    Its output goes to a file (see run_wine)."""

    def __init__(self, request, args=(), env=None, exe=None):
        self._out = tempfile.TemporaryFile()
        self._err = tempfile.TemporaryFile()
        self.proc = wine_popen([exe or HOST_EXE] + list(args), env=env, stdout=self._out,
                               stderr=self._err)
        self.proc.stdin.write(frame(request))
        self.proc.stdin.flush()

    def wait_for_window(self, timeout=20):
        end = time.time() + timeout
        while time.time() < end:
            if self.proc.poll() is not None:
                raise AssertionError(f"host ended early: {self.proc.returncode}")
            if probe("find-host") == 0:
                return
            time.sleep(0.1)
        raise AssertionError("host window never appeared")

    def finish(self, timeout=30):
        try:
            self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            kill_group(self.proc)
            self.proc.wait()
            raise
        self._out.seek(0)
        self._err.seek(0)
        return HostResult(self.proc.returncode, self._out.read(), self._err.read())

    def kill(self):
        if self.proc.poll() is None:
            kill_group(self.proc)
            self.proc.wait()


def probe(*args, timeout=30):
    rc, _, _ = run_wine([PROBE_EXE] + list(args), timeout=timeout)
    return rc


def exit_code(signed):
    """The Linux view of a Windows exit code (-1 arrives as 255)."""
    return signed & 0xFF


def unix_path(win_path):
    """Linux path of a path in the Wine session (through winepath)."""
    rc, out, _ = run_wine(["winepath.exe", "-u", win_path], timeout=30)
    assert rc == 0, win_path
    return Path(out.decode("utf-8").strip())


def kill_stray_hosts():
    """Ends programs of this build tree that a failed test left running (and
    only those: other build trees may be testing at the same time). The
    session's desktop anchor stays."""
    patterns = [str(HOST_EXE), str(ASSISTANT_EXE), f"{WIN_TESTS}/", f"/{TMP_TAG}"]
    # A program that Wine started as a process of its own shows its
    # Windows path (Z:\...).
    patterns += [p.replace("/", "\\") for p in patterns]
    for pid in os.listdir("/proc"):
        if not pid.isdigit() or int(pid) == os.getpid():
            continue
        try:
            cmdline = Path(f"/proc/{pid}/cmdline").read_bytes().replace(b"\0", b" ").decode(
                "utf-8", "replace")
        except OSError:
            continue
        if "kvprobe.exe anchor" in cmdline or "pytest" in cmdline:
            continue
        if any(p in cmdline for p in patterns):
            try:
                os.kill(int(pid), signal.SIGKILL)
            except (ProcessLookupError, PermissionError):
                pass


def start_desktop_anchor():
    """Starts a hidden Windows program that keeps Wine's desktop process
    alive for the whole session, with its standard streams on /dev/null, so
    that no test program's pipes are inherited by it."""
    return wine_popen([PROBE_EXE, "anchor"], stdin=subprocess.DEVNULL,
                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
