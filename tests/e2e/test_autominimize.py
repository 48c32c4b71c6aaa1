"""The AutoMinimize step: a stand-in browser (kvtestwin browser) owns a
frame window and starts the host through an intermediate process, as a
browser does through its command interpreter; it logs every change of its
frame's and of the target window's show state while the host runs."""
import json
import tempfile
from pathlib import Path

import pytest

from kvharness import HOST_EXE, HostResult, exit_code, frame, run_wine
from screens import TESTWIN_EXE

TARGET = "KvTest Target"


def run_through_browser(frame_class, request, normal=False):
    """Runs the host below a stand-in browser; returns the host's result and
    the list of show states [{"ms", "frame", "target"}, ...]."""
    with tempfile.TemporaryDirectory(prefix="kvam-") as d:
        log = Path(d) / "states.json"
        args = [TESTWIN_EXE, "browser"] + (["--normal"] if normal else [])
        args += [frame_class, "Z:" + str(log).replace("/", "\\"), HOST_EXE]
        rc, out, err = run_wine(args, input=frame(request), timeout=90)
        states = json.loads(log.read_text())
    result = HostResult(rc, out, err)
    assert exit_code(result.returncode) == 0, result
    assert result.event["EventName"] == "OnCaptureCompleted"
    return result, states


def first_ms(states, **match):
    """Time of the first logged state with all the given values, or None."""
    for s in states:
        if all(s[k] == v for k, v in match.items()):
            return s["ms"]
    return None


def rect_request(**extra):
    request = {"Command": "CaptureRect", "CaptureLeft": 0, "CaptureTop": 0, "CaptureWidth": 16,
               "CaptureHeight": 16, "FileName": "am.png", "AutoMinimize": True, "WinName": TARGET}
    request.update(extra)
    return request


@pytest.mark.parametrize("frame_class,command", [
    pytest.param("SE_SogouExplorerFrame", "CaptureRect", marks=pytest.mark.win32),
    ("SE_SogouExplorerFrame", "CaptureScreen"),
    ("360se6_Frame", "CaptureRect"),
    ("se_sogouexplorerframe", "CaptureRect"),  # class names compare without case
])
def test_recognised_frame_is_minimised_and_maximised_again(frame_class, command):
    _, states = run_through_browser(frame_class, rect_request(Command=command))
    assert states[0] == {"ms": 0, "frame": "maximized", "target": "normal"}
    frame_down = first_ms(states, frame="minimized")
    target_down = first_ms(states, target="minimized")
    assert frame_down is not None and target_down is not None
    assert frame_down <= target_down  # the browser goes first
    # Restored before the event: the host waits for the browser to handle it.
    assert states[-1]["frame"] == "maximized" and states[-1]["target"] == "normal"
    back = [s["ms"] for s in states if s["ms"] > target_down and s["frame"] == "maximized"][0]
    # The longer pause follows a minimised browser.
    assert back - target_down >= 350


def test_frame_that_was_not_maximised_is_restored():
    _, states = run_through_browser("SE_SogouExplorerFrame", rect_request(), normal=True)
    assert states[0]["frame"] == "normal"
    assert first_ms(states, frame="minimized") is not None
    assert states[-1]["frame"] == "normal" and states[-1]["target"] == "normal"


def test_unrecognised_frame_is_left_alone_and_only_the_target_minimised():
    _, states = run_through_browser("Chrome_WidgetWin_1", rect_request())
    assert all(s["frame"] == "maximized" for s in states)
    target_down = first_ms(states, target="minimized")
    assert target_down is not None
    back = first_ms([s for s in states if s["ms"] > target_down], target="normal")
    assert back is not None and back - target_down >= 200
    assert states[-1]["target"] == "normal"


def test_without_a_target_only_the_frame_is_minimised():
    _, states = run_through_browser("SE_SogouExplorerFrame", rect_request(WinName="No Such Window"))
    assert first_ms(states, frame="minimized") is not None
    assert all(s["target"] == "normal" for s in states)
    assert states[-1]["frame"] == "maximized"


@pytest.mark.parametrize("request_extra", [
    {"AutoMinimize": False},
    {"Command": "CaptureWindow"},  # the window capture never minimises
])
def test_nothing_is_minimised_without_the_step(request_extra):
    result, states = run_through_browser("SE_SogouExplorerFrame", rect_request(**request_extra))
    assert all(s["frame"] == "maximized" and s["target"] == "normal" for s in states), states
