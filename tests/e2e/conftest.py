import os
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).parent))
import kvharness  # noqa: E402


def pytest_configure(config):
    config.addinivalue_line(
        "markers", "win32: one of the tests tools/test-win32 runs against the 32-bit programs")
    config.addinivalue_line(
        "markers", "large_screen: run by tools/test-win32 on a 3840 x 2160 display")
    if kvharness.TARGET == "win32" and not os.environ.get("KV_WIN32_CHROOT"):
        pytest.exit("the 32-bit programs run only in the runtime of tools/test-win32 "
                    "(tools/test-win32 run <pytest command>)", returncode=2)


@pytest.fixture(scope="session", autouse=True)
def display():
    """The X display the Wine programs use: tools/test provides one; a
    standalone pytest run starts its own."""
    if os.environ.get("DISPLAY"):
        yield os.environ["DISPLAY"]
        return
    r, w = os.pipe()
    xvfb = subprocess.Popen(
        ["Xvfb", "-displayfd", str(w), "-screen", "0", "1600x900x24", "-nolisten", "tcp"],
        pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(w)
    num = os.read(r, 16).decode().strip()
    os.close(r)
    os.environ["DISPLAY"] = f":{num}"
    yield os.environ["DISPLAY"]
    xvfb.kill()


@pytest.fixture(scope="session", autouse=True)
def desktop_anchor(display):
    anchor = kvharness.start_desktop_anchor()
    # Its window up means Wine's desktop process runs, started by the anchor
    # (with the anchor's streams, not a test program's pipes: the Wine
    # session may still be starting when the first test begins).
    end = time.time() + 120
    while kvharness.run_wine([kvharness.PROBE_EXE, "find-window", "KvTestAnchor"])[0] != 0:
        assert anchor.poll() is None and time.time() < end, "the desktop anchor did not start"
        time.sleep(0.2)
    yield anchor
    kvharness.kill_group(anchor)
    anchor.wait()


@pytest.fixture(autouse=True)
def no_stray_hosts():
    kvharness.kill_stray_hosts()
    yield
    kvharness.kill_stray_hosts()


@pytest.fixture(scope="session")
def capture_folder():
    """Linux path of the host's capture folder in the Wine session."""
    rc, out, _ = kvharness.run_wine(["cmd.exe", "/c", "echo %TEMP%"])
    temp_win = out.decode().strip()
    folder = kvharness.unix_path(temp_win.rstrip("\\") + "\\KvCapture")
    return temp_win.rstrip("\\") + "\\KvCapture\\", folder


@pytest.fixture
def tmp_windir():
    """A scratch folder the Wine programs can reach (Linux paths work as
    Z: paths)."""
    with tempfile.TemporaryDirectory(prefix=kvharness.TMP_TAG) as d:
        yield Path(d)


@pytest.fixture
def screen():
    """A backdrop over the whole display and one test window on it, both
    showing the position pattern."""
    import xdo
    width, height = xdo.screenshot().size
    left, top, right, bottom = xdo.WINDOW
    windows = xdo.PatternWindows((0, 0, width, height), (left, top, right - left, bottom - top))
    yield width, height
    windows.close()


@pytest.fixture
def capture(screen):
    """Starts an interactive capture; the overlay is up and taking clicks
    when it returns the running host."""
    import xdo
    hosts = []

    def start(**fields):
        xdo.move(5, 5)
        # A host ended by an earlier test may still hold its window a moment.
        assert xdo.wait_for(xdo.no_host_running, timeout=15)
        host = kvharness.RunningHost({"Command": "Capture", "FileName": "interactive.png", **fields})
        hosts.append(host)
        if not xdo.wait_for(xdo.overlay_open, timeout=20):
            host.kill()
            raise AssertionError(f"the overlay did not open: {host.finish()}")
        time.sleep(0.5)  # the first timer tick makes releases count
        return host

    yield start
    for host in hosts:
        host.kill()
