"""The host on Chinese Windows: ANSI code page 936 (Simplified) or 950
(Traditional). tools/test runs this module once per code page, each in a
Wine session of its own started under the Chinese locale (KV_CODE_PAGE,
LC_ALL and KV_WINEPREFIX set); elsewhere it is skipped.

The names and titles hold characters whose second byte in the code page is
0x5C (a backslash) or 0x7C (a vertical bar): text handled byte by byte
would split them."""
import base64
import os
import subprocess
import urllib.parse

import pytest

import xdo

from kvharness import PROBE_EXE, exit_code, kill_group, run_host, run_wine, wine_popen
from test_interactive import MENU_BOX, MENU_REGION, open_menu
from xdo import assert_matches_reference, fix_region
from test_upload import CLOSING, PNG_BYTES, file_part, one_request, text_part, upload
from upload_server import UploadServer, http_answer

CODE_PAGE = os.environ.get("KV_CODE_PAGE", "")
pytestmark = pytest.mark.skipif(CODE_PAGE not in ("936", "950"),
                                reason="needs a Wine session under a Chinese locale")

# Per code page: the Python codec, a file name with an extension, one
# without, a window title, PostParams, a file field, an upload path and a
# server answer (each within the code page's characters).
CASES = {
    "936": dict(codec="gbk", name="截图乗俓億.png", bare="截图嘰", title="窗口标题 乗俓億 (截图)",
                params="标题=截图乗&说明=億|俓", field="图片", path="/上传", answer="已保存 乗俓億"),
    "950": dict(codec="cp950", name="截圖功許四.png", bare="功能許", title="視窗標題 功許四 (截圖)",
                params="標題=截圖功&說明=許|四", field="圖片", path="/上傳", answer="已儲存 功許四"),
}
CASE = CASES.get(CODE_PAGE, CASES["936"])


def test_the_session_runs_under_the_code_page():
    rc, out, _ = run_wine([PROBE_EXE, "acp"])
    assert rc == 0 and out.decode().strip() == CODE_PAGE
    # The cases hold what they are meant to.
    assert b"\\" in CASE["name"].encode(CASE["codec"])
    assert b"\\" in CASE["bare"].encode(CASE["codec"])
    assert b"\\" in CASE["title"].encode(CASE["codec"])
    assert b"|" in CASE["title"].encode(CASE["codec"])


def completed(result):
    assert exit_code(result.returncode) == 0, result
    assert result.event["EventName"] == "OnCaptureCompleted"
    return result.event


@pytest.mark.parametrize("requested,stored", [(CASE["name"], CASE["name"]),
                                              (CASE["bare"], CASE["bare"] + ".png")],
                         ids=["with extension", "extension added"])
def test_capture_to_a_chinese_file_name(capture_folder, requested, stored):
    # The event is UTF-8 JSON (strictly decoded here, as a browser does)
    # naming the file by its characters, and the file lies in the capture
    # folder under that name: no trail byte was taken for a separator.
    win_folder, folder = capture_folder
    (folder / stored).unlink(missing_ok=True)
    before = set(folder.parent.rglob("*"))
    event = completed(run_host({"Command": "CaptureRect", "FileName": requested, "CaptureLeft": 0,
                                "CaptureTop": 0, "CaptureWidth": 16, "CaptureHeight": 8}))
    assert event["arg1"] == win_folder + stored
    assert base64.b64decode(event["arg2"]) == (folder / stored).read_bytes()
    assert set(folder.parent.rglob("*")) - before <= {folder, folder / stored}


def test_a_real_separator_after_chinese_text_is_still_refused(capture_folder):
    win_folder, folder = capture_folder
    before = set(folder.parent.rglob("*"))
    result = run_host({"Command": "CaptureRect", "FileName": "..\\" + CASE["name"],
                       "CaptureWidth": 4, "CaptureHeight": 4})
    assert exit_code(result.returncode) == 0
    assert result.event == {"EventName": "OnCaptureCompleted"}
    assert set(folder.parent.rglob("*")) - before <= {folder}


@pytest.fixture
def titled_window():
    proc = wine_popen([PROBE_EXE, "titled-window", CASE["title"], 170, 130],
                      stdin=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    assert proc.stdout.readline().strip() == b"ready"
    yield
    kill_group(proc)
    proc.wait()


def test_capture_window_found_by_a_chinese_title(capture_folder, titled_window):
    win_folder, folder = capture_folder
    event = completed(run_host({"Command": "CaptureWindow", "WinName": CASE["title"],
                                "FileName": CASE["name"]}))
    assert event["arg1"] == win_folder + CASE["name"]
    from io import BytesIO

    from PIL import Image
    with Image.open(BytesIO(base64.b64decode(event["arg2"]))) as img:
        assert img.size == (170, 130)


def test_upload_with_chinese_fields_file_name_and_answer(capture_folder):
    # Fields and the announced path go out as UTF-8, the URL's path
    # percent-encoded (raw, it passed through the code page: mangled on 950);
    # an answer without the mark is text in the code page and arrives in
    # arg1 as its characters.
    win_folder, folder = capture_folder
    folder.mkdir(parents=True, exist_ok=True)
    (folder / CASE["name"]).write_bytes(PNG_BYTES)
    with UploadServer() as server:
        server.answer = http_answer(CASE["answer"].encode(CASE["codec"]))
        result = upload(server.url(CASE["path"]), CASE["name"], PostParams=CASE["params"],
                        FileField=CASE["field"])
        assert exit_code(result.returncode) == 0
        assert result.event == {"EventName": "OnUploadCompleted", "arg1": CASE["answer"]}
        req = one_request(server)
    # The path as browsers send it: percent-encoded UTF-8.
    assert req.request_line == b"POST %s HTTP/1.0" % urllib.parse.quote(CASE["path"]).encode()
    fields = [item.split("=", 1) for item in CASE["params"].split("&")]
    assert req.body == (b"".join(text_part(n.encode(), v.encode()) for n, v in fields)
                        + file_part(CASE["field"].encode(), (win_folder + CASE["name"]).encode(), b"png",
                                    PNG_BYTES) + CLOSING)


@pytest.mark.parametrize("lang", ["cn", "tw"])
def test_menu_texts(capture, lang):
    # Under a Chinese locale Wine draws menus with another UI font than on a
    # Western system, hence references of their own (the same for 936 and 950).
    host = capture(UILanguage=lang)
    fix_region([(900, 300), MENU_REGION[:2], MENU_REGION[2:]])
    open_menu()
    shot = xdo.screenshot()
    xdo.key("Escape", settle=0.5)  # the menu closes; the fixture ends the host
    assert host.proc.poll() is None
    assert_matches_reference(shot.crop(MENU_BOX), f"overlay-menu-{lang}-chinese-system.png")
