"""ReadCapture: the capture file handed out in pieces, each within one
message to the browser."""
import random

import pytest

from kvharness import exit_code, host_base64, run_host
from test_host_spine import assert_on_exit

PIECE = 737280
# Two whole pieces and a short last one, of bytes that repeat nowhere.
KNOWN = random.Random(14).randbytes(2 * PIECE + 1001)


@pytest.fixture(scope="module")
def known_file(capture_folder):
    folder = capture_folder[1]
    folder.mkdir(parents=True, exist_ok=True)
    (folder / "read-known.bin").write_bytes(KNOWN)
    (folder / "read-folder.png").mkdir(exist_ok=True)
    # Beside the capture folder: a name that reached it would be a leak.
    (folder.parent / "read-outside.png").write_bytes(b"secret")
    return "read-known.bin"


def read(file_name, offset):
    request = {"Command": "ReadCapture", "FileName": file_name}
    if offset is not None:
        request["Offset"] = offset
    return run_host(request)


@pytest.mark.parametrize("offset,length", [
    (None, PIECE),          # first piece, "Offset" absent
    pytest.param(PIECE, PIECE, marks=pytest.mark.win32),  # middle
    (2 * PIECE, 1001),      # the short last one
    (2 * PIECE + 1000, 1),  # the last byte
])
def test_pieces_of_a_known_file(known_file, offset, length):
    result = read(known_file, offset)
    start = offset or 0
    assert exit_code(result.returncode) == 0
    assert result.event == {"EventName": "OnCaptureData",
                            "arg1": f"{start} {length} {len(KNOWN)}",
                            "arg2": host_base64(KNOWN[start:start + length])}
    assert len(result.frames[0]) < 1 << 20


@pytest.mark.parametrize("offset", [len(KNOWN), 4294967295])
def test_offset_at_or_past_the_end_gives_an_empty_piece(known_file, offset):
    result = read(known_file, offset)
    assert exit_code(result.returncode) == 0
    assert result.event == {"EventName": "OnCaptureData", "arg1": f"{offset} 0 {len(KNOWN)}"}


@pytest.mark.parametrize("file_name,offset", [
    ("read-missing.png", 0),
    ("read-folder.png", 0),
    ("", 0),
    ("..\\read-outside.png", 0),
    ("C:\\windows\\win.ini", 0),
    ("CON", 0),
    ("read-known.bin", -1),
    ("read-known.bin", "0"),
    ("read-known.bin", 4294967296),
])
def test_what_cannot_be_read_answers_on_exit(known_file, file_name, offset):
    assert_on_exit(read(file_name, offset))
