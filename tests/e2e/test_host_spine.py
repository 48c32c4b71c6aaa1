"""The host's entry, channel and event handlers, against the real program."""
import os
import shutil
import struct
import time

import pytest

from kvharness import (HOST_EXE, PROBE_EXE, RunningHost, exit_code, frame, probe, run_host,
                       run_wine, wine_popen, kill_group)

ON_EXIT = b'{"EventName":"OnExit"}\n'


def assert_on_exit(result):
    assert exit_code(result.returncode) == 255
    assert result.stdout == struct.pack("<I", len(ON_EXIT)) + ON_EXIT


@pytest.mark.parametrize("name,data", [
    ("closed input", b""),
    ("length zero", struct.pack("<I", 0)),
    # The lengths that overflow or exhaust a 32-bit address space.
    pytest.param("length 0xFFFFFFFF", b"\xff\xff\xff\xff{}", marks=pytest.mark.win32),
    pytest.param("length beyond any request", struct.pack("<I", 0x7FFFFFFF) + b"{}",
                 marks=pytest.mark.win32),
    ("short body", struct.pack("<I", 5) + b"abc"),
    ("half a prefix", b"\x02\x00"),
    ("not json", frame(b"garbage")),
    ("unknown command", frame({"Command": "Dance"})),
    ("empty command", frame({"Command": ""})),
    ("root is an array", frame(b'["StopCapture"]')),
    ("array where text is expected", frame(b'{"Command":"StopCapture","TipInfo":[1]}')),
    ("AutoMinimize string", frame(b'{"Command":"StopCapture","AutoMinimize":"yes"}')),
    ("coordinate string", frame(b'{"Command":"StopCapture","CaptureLeft":"1"}')),
    ("coordinate out of range", frame(b'{"Command":"StopCapture","CaptureTop":4294967296}')),
    ("zero byte cuts the command", frame(b'{"Command":"StopCapture"}'[:12] + b"\0rest")),
    ("upload with no address", frame({"Command": "Upload"})),
])
def test_unusable_requests_answer_on_exit(name, data):
    assert_on_exit(run_host(data, raw=True))


@pytest.mark.parametrize("request_text", [
    pytest.param(b'{"Command":"stopcapture"}', marks=pytest.mark.win32),
    b'{"Command":"StopCapture","Command":"StopCapture"}',
    b'/* c */ {"Command":"STOPCAPTURE"} // trailing',
    b'{"Command":"StopCapture","TipInfo":"bad \xff\xfe utf-8 \xc3"}',
    b'{"Command":"StopCapture\\u0000x"}',
])
def test_stop_capture_ends_silently_with_zero(request_text):
    result = run_host(request_text + b"", raw=False)
    assert exit_code(result.returncode) == 0
    assert result.stdout == b""


def test_embedded_zero_in_the_body_cuts_the_request():
    body = b'{"Command":"StopCapture"}\0{"Command":"x"'
    result = run_host(struct.pack("<I", len(body)) + body, raw=True)
    assert exit_code(result.returncode) == 0 and result.stdout == b""


def test_lower_case_key_is_not_recognised():
    assert_on_exit(run_host({"command": "StopCapture"}))


@pytest.mark.parametrize("arg", ["/install", "/INSTALL", "/Install"])
def test_install_argument_starts_the_assistant_without_reading_input(tmp_windir, arg):
    # In a folder whose name the (Western) ANSI code page cannot hold.
    folder = tmp_windir / "截图 Капча"
    folder.mkdir()
    shutil.copy(HOST_EXE, folder / "KvCaptureExt.exe")
    shutil.copy(PROBE_EXE, folder / "KvCaptureCrxInstall.exe")
    proc = wine_popen([folder / "KvCaptureExt.exe", arg])  # stdin stays open
    try:
        rc = proc.wait(timeout=30)
    finally:
        kill_group(proc)
    out = proc.stdout.read()
    assert exit_code(rc) == 0 and out == b""
    marker = folder / "installer-started.txt"
    for _ in range(100):
        if marker.exists():
            break
        time.sleep(0.1)
    assert marker.read_text().startswith("started args=0")


def test_install_without_assistant_still_exits_zero(tmp_windir):
    shutil.copy(HOST_EXE, tmp_windir / "KvCaptureExt.exe")
    rc, out, _ = run_wine([tmp_windir / "KvCaptureExt.exe", "/install"], input=b"")
    assert exit_code(rc) == 0 and out == b""


def test_second_host_exits_at_once_while_one_runs():
    first = RunningHost({"Command": "StartCapture"})
    try:
        first.wait_for_window()
        for request in [{"Command": "StopCapture"}, {"Command": "CaptureScreen"}, {}]:
            start = time.time()
            second = run_host(request, timeout=30)
            assert exit_code(second.returncode) == 255
            assert second.stdout == b""
        assert first.proc.poll() is None
    finally:
        first.kill()


# A running host's window or mutex refuses a new host (-1, no event); a
# host that has given up its window holds the mutex only while it ends, and
# the new one waits for it (about 2 s) instead of giving up.
@pytest.mark.parametrize("holder, hold_ms, code", [
    ("hold-window", "8000", 255), ("hold-mutex", "8000", 255), ("hold-mutex", "1200", 0)])
def test_single_instance_marks(holder, hold_ms, code):
    proc = wine_popen([PROBE_EXE, holder, hold_ms])
    try:
        assert proc.stdout.readline().strip() == b"ready"
        result = run_host({"Command": "StopCapture"})
        assert exit_code(result.returncode) == code and result.stdout == b""
    finally:
        kill_group(proc)
        proc.communicate()


def whole_frame(host, timeout=30):
    """Waits until the running host has written one whole frame."""
    end = time.time() + timeout
    while time.time() < end:
        data = os.pread(host._out.fileno(), 1 << 20, 0)
        if len(data) >= 4 and len(data) >= 4 + struct.unpack_from("<I", data)[0]:
            return
        time.sleep(0.005)
    raise AssertionError("no event")


@pytest.mark.win32
def test_hosts_started_back_to_back(capture_folder):
    # As the extension does: the next request leaves as soon as the event of
    # the last one arrives.
    name = "spine-back-to-back.png"
    first = RunningHost({"Command": "CaptureRect", "FileName": name, "CaptureLeft": 0,
                         "CaptureTop": 0, "CaptureWidth": 40, "CaptureHeight": 30})
    try:
        whole_frame(first)
        second = run_host({"Command": "ReadCapture", "FileName": name})
        assert exit_code(second.returncode) == 0
        assert second.event["EventName"] == "OnCaptureData"
        assert exit_code(first.finish().returncode) == 0
    finally:
        first.kill()


@pytest.mark.win32
def test_capture_done_reports_path_and_base64(capture_folder):
    win_folder, folder = capture_folder
    folder.mkdir(parents=True, exist_ok=True)
    (folder / "spine-abc.png").write_bytes(b"abc")
    host = RunningHost({"Command": "StartCapture", "FileName": "spine-abc.png"})
    try:
        host.wait_for_window()
        assert probe("post", "501") == 0
        result = host.finish()
    finally:
        host.kill()
    assert exit_code(result.returncode) == 0
    assert result.event == {"EventName": "OnCaptureCompleted",
                            "arg1": win_folder + "spine-abc.png", "arg2": "YWJj"}
    assert b"\r" not in result.frames[0].replace(b"\\r", b"")
    assert result.frames[0].endswith(b"}\n") and result.frames[0].count(b"\n") == 1


def test_capture_done_with_missing_file_and_no_dot(capture_folder):
    win_folder, folder = capture_folder
    (folder / "spine-missing.png").unlink(missing_ok=True)
    host = RunningHost({"Command": "StartCapture", "FileName": "spine-missing"})
    try:
        host.wait_for_window()
        probe("post", "501")
        result = host.finish()
    finally:
        host.kill()
    assert exit_code(result.returncode) == 0
    assert result.event == {"EventName": "OnCaptureCompleted",
                            "arg1": win_folder + "spine-missing.png"}


def test_capture_done_over_the_size_limit_drops_arg2(capture_folder):
    win_folder, folder = capture_folder
    folder.mkdir(parents=True, exist_ok=True)
    (folder / "spine-big.bin").write_bytes(bytes(range(256)) * 3200)  # 819,200 bytes
    host = RunningHost({"Command": "StartCapture", "FileName": "spine-big.bin"})
    try:
        host.wait_for_window()
        probe("post", "501")
        result = host.finish()
    finally:
        host.kill()
    assert result.frames[0] == (b'{"EventName":"OnCaptureCompleted","arg1":"'
                                + (win_folder + "spine-big.bin").replace("\\", "\\\\").encode()
                                + b'","arg2":""}\n')


def test_capture_done_with_empty_file_name_carries_no_arguments():
    host = RunningHost({"Command": "StartCapture", "FileName": ""})
    try:
        host.wait_for_window()
        probe("post", "501")
        result = host.finish()
    finally:
        host.kill()
    assert exit_code(result.returncode) == 0
    assert result.stdout == frame(b'{"EventName":"OnCaptureCompleted"}\n')


def test_capture_cancel_writes_the_exact_event():
    host = RunningHost({"Command": "StartCapture"})
    try:
        host.wait_for_window()
        probe("post", "502")
        result = host.finish()
    finally:
        host.kill()
    assert exit_code(result.returncode) == 0
    assert result.stdout == frame(b'{"EventName":"OnCaptureCanceled"}\n')


def test_non_ascii_file_name_arrives_as_utf8(capture_folder):
    win_folder, folder = capture_folder
    folder.mkdir(parents=True, exist_ok=True)
    (folder / "caf\u00e9.png").write_bytes(b"ab")
    host = RunningHost({"Command": "StartCapture", "FileName": "caf\u00e9.png"})
    try:
        host.wait_for_window()
        probe("post", "501")
        result = host.finish()
    finally:
        host.kill()
    assert result.event["arg1"] == win_folder + "caf\u00e9.png"
    assert "caf\u00e9".encode("utf-8") in result.frames[0]
    assert result.event["arg2"] == "YWI="
