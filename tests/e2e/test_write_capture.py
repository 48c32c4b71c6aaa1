"""WriteCapture: a picture made in the browser written into the capture
file in pieces; the capture file changes only with the last one."""
import base64
import os
import random

import pytest

from kvharness import exit_code, host_base64, run_host
from test_host_spine import assert_on_exit

PIECE = 737280
NAME = "write-known.png"
KNOWN = random.Random(27).randbytes(2 * PIECE + 1001)
EARLIER = b"an earlier capture"


def write(offset, data, last=False, file_name=NAME):
    request = {"Command": "WriteCapture", "FileName": file_name, "Offset": offset}
    if data is not None:
        request["Data"] = data if isinstance(data, str) else host_base64(data)
    if last:
        request["Last"] = True
    return run_host(request)


@pytest.fixture
def folder(capture_folder):
    windows, linux = capture_folder
    linux.mkdir(parents=True, exist_ok=True)
    (linux / NAME).write_bytes(EARLIER)
    (linux / (NAME + ".part")).unlink(missing_ok=True)
    return windows, linux


@pytest.mark.win32
def test_pieces_in_order_replace_the_file_only_with_the_last(folder):
    windows, linux = folder
    pieces = [(0, KNOWN[:PIECE]), (PIECE, KNOWN[PIECE:2 * PIECE]), (2 * PIECE, KNOWN[2 * PIECE:])]
    for i, (offset, data) in enumerate(pieces):
        last = i == len(pieces) - 1
        # Line breaks are optional: the browser's own Base64 has none.
        text = host_base64(data) if i % 2 == 0 else base64.b64encode(data).decode()
        result = write(offset, text, last=last)
        assert exit_code(result.returncode) == 0
        expected = {"EventName": "OnCaptureData",
                    "arg1": f"{offset} {len(data)} {offset + len(data)}"}
        if last:
            expected["arg2"] = windows + NAME  # where the picture now lies
        assert result.event == expected
        if not last:
            assert (linux / NAME).read_bytes() == EARLIER
    assert (linux / NAME).read_bytes() == KNOWN
    assert not (linux / (NAME + ".part")).exists()
    # What was written reads back like any capture.
    read = run_host({"Command": "ReadCapture", "FileName": NAME, "Offset": 2 * PIECE})
    assert read.event["arg1"] == f"{2 * PIECE} 1001 {len(KNOWN)}"


def test_bad_pieces_answer_on_exit_and_leave_the_earlier_file(folder):
    _, linux = folder
    partial = linux / (NAME + ".part")
    bad = [
        ("not Base64", 0, "YWJj!"),
        ("a piece too large", 0, b"\0" * (PIECE + 1)),
        ("no partial file to append to", 3, b"abc"),
    ]
    for why, offset, data in bad:
        assert_on_exit(write(offset, data, last=True))
        assert (linux / NAME).read_bytes() == EARLIER, why
    # A wrong offset ends the sequence: the partial file is gone, so even
    # the right offset afterwards is refused until a new start.
    assert exit_code(write(0, b"abc").returncode) == 0
    assert_on_exit(write(2, b"def", last=True))
    assert not partial.exists()
    assert_on_exit(write(3, b"def", last=True))
    # A file that would grow above 512 MiB (a sparse partial file of exactly
    # that size stands for the pieces before).
    assert exit_code(write(0, b"abc").returncode) == 0
    os.truncate(partial, 512 << 20)
    assert_on_exit(write(512 << 20, b"x", last=True))
    assert (linux / NAME).read_bytes() == EARLIER
    assert not partial.exists()


@pytest.mark.parametrize("file_name", ["..\\write-outside.png", "CON", ""])
def test_refused_names_answer_on_exit(folder, file_name):
    assert_on_exit(write(0, b"abc", last=True, file_name=file_name))
