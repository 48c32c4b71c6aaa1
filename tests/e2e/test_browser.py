"""The browser side: the extension in Debian's chromium, the host reached
through the browser's own native messaging, the package and the host
registration."""
import base64
import io
import json
import os
import random
import re
import shutil
import subprocess
import time
import zipfile
from pathlib import Path

import pytest
from PIL import Image, ImageChops, ImageStat

import chromium  # makes packaging/ importable too
from chromium import BLOB_AS_DATA_URL, Browser, decode_data_url
from crx import key_crx_id, read_crx
from host_manifest import HOST_NAME, extension_id_of_manifest
from kvharness import BUILD, REPO, RunningHost, host_base64, run_wine
from browser_server import UploadServer
from screens import Scene, pattern_image, same_pixels

WIN32 = BUILD / "win32"
WIN64 = BUILD / "win64"
REFERENCE = Path(__file__).parent / "reference"
CAPTURE_PATH = "C:\\users\\kv\\Temp\\KvCapture\\KvCapture.png"


# ---------------------------------------------------------------- helpers

def run(page, command, fields=None, timeout=90):
    """Runs a command through the service worker as the popup does; waits
    until the popup shows its outcome, and returns it."""
    outcome = page.evaluate(
        "chrome.runtime.sendMessage({type: 'runAndWait', command: %s, fields: %s})"
        % (json.dumps(command), json.dumps(fields or {})), timeout=timeout)
    wait_status(page, outcome["kind"])
    return outcome


def status(page):
    return page.evaluate("""(() => {
        const s = document.getElementById('status');
        return {kind: s.dataset.kind, tone: s.dataset.tone, text: s.textContent};
    })()""")


def wait_status(page, kind, timeout=90):
    page.wait_for("document.getElementById('status').dataset.kind === %s" % json.dumps(kind),
                  timeout=timeout)
    return status(page)


def message(locale, key):
    path = chromium.EXTENSION / "_locales" / locale / "messages.json"
    return json.loads(path.read_text(encoding="utf-8"))[key]["message"]


def click(page, element_id):
    page.evaluate("document.getElementById(%s).click()" % json.dumps(element_id))


def shown_picture(page):
    """(type, bytes) of the picture the popup shows, or None."""
    src = page.evaluate("""(async () => {
        const p = document.getElementById('picture');
        if (p.hidden || document.getElementById('capture-box').hidden || !p.src) return '';
        const blob = await (await fetch(p.src)).blob();
        return %s;
    })()""" % BLOB_AS_DATA_URL)
    return decode_data_url(src) if src else None


def png_bytes(image):
    out = io.BytesIO()
    image.save(out, "PNG")
    return out.getvalue()


def set_options(browser, **values):
    page = browser.open("options.html")
    try:
        for element_id, value in values.items():
            page.evaluate("document.getElementById(%s).value = %s"
                          % (json.dumps(element_id), json.dumps(value)))
        click(page, "save")
        page.wait_for("document.getElementById('save-status').textContent !== ''")
        return page.evaluate("""(() => {
            const s = document.getElementById('save-status');
            return {tone: s.dataset.tone, text: s.textContent};
        })()""")
    finally:
        page.close()


def screenshot():
    data = subprocess.run(["sh", "-c", "xwd -root -silent | convert xwd:- png:-"],
                          check=True, capture_output=True).stdout
    return Image.open(io.BytesIO(data)).convert("RGB")


@pytest.fixture(scope="module", autouse=True)
def wine_started():
    """Wine's first start in a session (server, prefix update) done by one
    program alone: programs that start at the same moment while it is under
    way can wait forever."""
    run_wine(["cmd.exe", "/c", "exit"], timeout=180)


@pytest.fixture(scope="module")
def browser(tmp_path_factory):
    b = Browser(tmp_path_factory.mktemp("chromium-en"))
    yield b
    b.close()


@pytest.fixture
def popup(browser):
    """A fresh popup (in a tab) with no stored state or options, talking to
    the real host."""
    browser.use_host("real")
    browser.fake_reply(b"")
    page = browser.open("popup.html")
    page.evaluate("Promise.all([chrome.storage.session.clear(), chrome.storage.local.clear()])"
                  ".then(() => chrome.storage.session.set({busy: ''}))")
    wait_status(page, "idle")
    yield page
    page.close()


# ---------------------------------------------------------- the browser's language

@pytest.mark.parametrize("language,locale,code", [("zh-CN", "zh_CN", "cn"),
                                                  ("zh-TW", "zh_TW", "tw")])
def test_chinese_browser_gets_a_chinese_prompt(tmp_path, language, locale, code):
    """The browser's language reaches the host: the popup's own texts and
    the request follow it, and for exactly the request the browser sent the
    host shows its Chinese prompt."""
    b = Browser(tmp_path, language=language)
    try:
        page = b.open("popup.html")
        assert page.evaluate("document.getElementById('start-capture').textContent") == \
            message(locale, "captureArea")
        b.use_host("fake")
        b.fake_reply(event("OnCaptureCanceled"))
        click(page, "start-capture")
        assert wait_status(page, "canceled")["text"] == message(locale, "resultCanceled")
        request = b.fake_requests()[-1]
    finally:
        b.close()
    assert request["UILanguage"] == code
    if code == "cn":
        prompt_matches_reference(request)


PROMPT_BOX = (658, 358, 942, 542)  # the prompt, centred on the 1600 x 900 test screen


def prompt_matches_reference(request):
    """Runs the host with `request`; its prompt must look like the kept
    picture (watched on the X screen, closed with its close box)."""
    reference = Image.open(REFERENCE / "browser-prompt-cn.png").convert("RGB")
    host = RunningHost(request)
    try:
        end = time.time() + 90
        while True:
            shot = screenshot().crop(PROMPT_BOX)
            difference = max(ImageStat.Stat(ImageChops.difference(shot, reference)).mean)
            if difference < 8 or time.time() > end:
                break
            time.sleep(0.5)
        if os.environ.get("KV_UPDATE_REFERENCE"):
            shot.save(REFERENCE / "browser-prompt-cn.png")
        assert difference < 8, f"the prompt differs from the reference by {difference}"
        subprocess.run(["xdotool", "mousemove", str(PROMPT_BOX[2] - 11), str(PROMPT_BOX[1] + 11),
                        "click", "1"], check=True)  # the close box
        assert host.finish().event == {"EventName": "OnCaptureCanceled"}
    finally:
        host.kill()


# ------------------------------------------- the extension with a stand-in host

SMALL_PNG = png_bytes(Image.new("RGB", (3, 2), (200, 30, 40)))
SMALL_PNG_BASE64 = host_base64(SMALL_PNG)


def event(name, **args):
    return {"EventName": name, **args}


@pytest.mark.parametrize("reply,kind,tone", [
    (event("OnCaptureCompleted", arg1=CAPTURE_PATH, arg2=SMALL_PNG_BASE64), "captured", "ok"),
    (event("OnCaptureCompleted", arg1=CAPTURE_PATH, arg2=""), "tooLarge", "warning"),
    (event("OnCaptureCompleted", arg1=CAPTURE_PATH), "noPicture", "error"),
    (event("OnCaptureCompleted"), "noPicture", "error"),
    (event("OnCaptureCanceled"), "canceled", "ok"),
    (event("OnUploadFailed"), "uploadFailed", "error"),
    (event("OnExit"), "refused", "error"),
    (event("OnSomethingNew", arg1="x"), "unknown", "error"),
    (b"", "noAnswer", "error"),
    (b"{not json", "brokenAnswer", "error"),
])
def test_every_answer_of_the_host_is_shown(browser, popup, reply, kind, tone):
    browser.use_host("fake")
    browser.fake_reply(reply)
    run(popup, "CaptureScreen")
    shown = status(popup)
    assert (shown["kind"], shown["tone"]) == (kind, tone)
    assert shown["text"]
    picture = shown_picture(popup)
    if kind == "captured":
        assert picture == ("image/png", SMALL_PNG)
    else:
        assert picture is None
    capture_box = not popup.evaluate("document.getElementById('capture-box').hidden")
    assert capture_box == (kind in ("captured", "tooLarge", "noPicture") and "arg1" in reply)


def test_too_large_picture_is_explained_and_upload_offered(browser, popup):
    """The picture could not be read in pieces either (the stand-in answers
    every ReadCapture with the capture event again)."""
    browser.use_host("fake")
    browser.fake_reply(event("OnCaptureCompleted", arg1=CAPTURE_PATH, arg2=""))
    assert popup.evaluate("document.getElementById('upload').disabled")
    run(popup, "CaptureScreen")
    assert status(popup)["text"] == message("en", "resultTooLarge")
    assert browser.fake_requests()[-1] == {"Command": "ReadCapture", "FileName": "KvCapture.png",
                                           "Offset": 0}
    assert popup.evaluate("document.getElementById('capture-path').textContent").endswith(
        CAPTURE_PATH)
    assert popup.evaluate("""(() => {
        const b = document.getElementById('upload');
        return !b.disabled && b.classList.contains('suggested');
    })()""")


PIECE = 737280


def pieces_of(data, total=None):
    """The host's OnCaptureData answers for `data`, piece by piece; `total`
    stands in for the file size announced."""
    total = len(data) if total is None else total
    return [event("OnCaptureData", arg1=f"{at} {len(data[at:at + PIECE])} {total}",
                  arg2=host_base64(data[at:at + PIECE])) for at in range(0, len(data), PIECE)]


@pytest.mark.parametrize("replacements", [0, 1, 2])
def test_large_picture_is_read_in_pieces(browser, popup, replacements):
    """After a capture event without its picture the extension asks for the
    file piece by piece. A size that changes between pieces (another capture
    replaced the file) starts the reading over once; a second change is
    reported."""
    data = random.Random(3).randbytes(2 * PIECE + 5)
    replies = [event("OnCaptureCompleted", arg1=CAPTURE_PATH, arg2="")]
    for _ in range(replacements):
        replies += pieces_of(data, total=len(data) + 1)[:1]  # begun on one file...
        replies += pieces_of(data)[1:2]                      # ...continued on another
    if replacements < 2:
        replies += pieces_of(data)
    browser.use_host("fake")
    browser.fake_reply(event("OnExit"))
    browser.fake_replies(replies)
    sent = len(browser.fake_requests())
    outcome = run(popup, "CaptureScreen")
    offsets = [r.get("Offset") for r in browser.fake_requests()[sent + 1:]]
    if replacements < 2:
        assert outcome["kind"] == "captured" and outcome["pieces"] == 3
        assert shown_picture(popup) == ("image/png", data)
        assert offsets == [0, PIECE] * replacements + [0, PIECE, 2 * PIECE]
    else:
        assert status(popup)["text"] == message("en", "resultCaptureChanged")
        assert shown_picture(popup) is None
        assert offsets == [0, PIECE, 0, PIECE]
        assert popup.evaluate("document.getElementById('upload').classList.contains('suggested')")


def jpeg_bytes(image):
    out = io.BytesIO()
    image.save(out, "JPEG", quality=95)
    return out.getvalue()


@pytest.mark.parametrize("name,data", [
    ("KvCapture.png", SMALL_PNG),
    ("KvCapture.jpg", jpeg_bytes(Image.new("RGB", (4, 3), (20, 120, 220)))),
])
def test_picture_is_copied_as_png_and_saved_as_is(browser, popup, tmp_path, name, data):
    path = CAPTURE_PATH.replace("KvCapture.png", name)
    browser.use_host("fake")
    browser.fake_reply(event("OnCaptureCompleted", arg1=path, arg2=host_base64(data)))
    run(popup, "CaptureScreen")
    browser.cdp.call("Browser.grantPermissions", {"permissions": ["clipboardReadWrite"],
                                                  "origin": f"chrome-extension://{browser.id}"})
    browser.cdp.call("Browser.setDownloadBehavior", {"behavior": "allow",
                                                     "downloadPath": str(tmp_path)})
    popup.cdp.call("Emulation.setFocusEmulationEnabled", {"enabled": True}, session=popup.session)
    click(popup, "copy-picture")
    popup.wait_for("document.getElementById('picture-note').dataset.key === 'pictureCopied'")
    copied = popup.evaluate("""navigator.clipboard.read().then(async (items) => {
        const blob = await items[0].getType('image/png');
        return %s;
    })""" % BLOB_AS_DATA_URL)
    kind, png = decode_data_url(copied)
    assert kind == "image/png"
    assert max(ImageStat.Stat(ImageChops.difference(
        Image.open(io.BytesIO(png)).convert("RGB"),
        Image.open(io.BytesIO(data)).convert("RGB"))).mean) < 2
    click(popup, "save-picture")
    saved = tmp_path / name
    for _ in range(100):
        if saved.exists() and saved.stat().st_size == len(data):
            break
        time.sleep(0.1)
    assert saved.read_bytes() == data


@pytest.mark.parametrize("reply,truncated", [
    (event("OnUploadCompleted", arg1="stored as <b>7</b> & done"), False),
    (event("OnUploadCompleted", arg1="x" * 5000, arg2="truncated"), True),
])
def test_upload_answer_is_shown_as_text(browser, popup, reply, truncated):
    browser.use_host("fake")
    browser.fake_reply(reply)
    run(popup, "Upload", timeout=30)  # no capture yet: the request is not sent
    assert status(popup)["kind"] == "notSent"
    popup.evaluate("chrome.storage.session.set({lastCapture: {path: %s, kind: 'tooLarge'}})"
                   % json.dumps(CAPTURE_PATH))
    assert set_options(browser, **{"upload-url": "http://127.0.0.1:9/up"})["tone"] == "ok"
    run(popup, "Upload")
    # The host cannot know the HTTP status: no word of success, the server's own.
    assert status(popup) == {"kind": "uploaded", "tone": "info",
                             "text": message("en", "resultServerAnswered")}
    assert popup.evaluate("document.getElementById('answer').textContent") == reply["arg1"]
    assert popup.evaluate("document.getElementById('answer').children.length") == 0
    note = popup.evaluate("document.getElementById('answer-note').dataset.truncated")
    assert note == ("1" if truncated else "0")


def test_upload_refused_by_the_host_says_why(browser, popup):
    browser.use_host("fake")
    browser.fake_reply(event("OnExit"))
    popup.evaluate("chrome.storage.session.set({lastCapture: {path: %s, kind: 'captured'}})"
                   % json.dumps(CAPTURE_PATH))
    assert set_options(browser, **{"upload-url": "http://127.0.0.1:9/up"})["tone"] == "ok"
    run(popup, "Upload")
    assert status(popup) == {"kind": "uploadRefused", "tone": "error",
                             "text": message("en", "resultUploadRefused")}


def test_a_refused_storage_write_does_not_leave_the_popup_busy(browser, popup):
    """Session storage nearly full (10 MB from the declared minimum version
    on): the answer of a server close to the 1 MiB message limit cannot be
    kept, and the popup is free again all the same."""
    browser.use_host("fake")
    browser.fake_reply(event("OnUploadCompleted", arg1="y" * 1000000))
    popup.evaluate("chrome.storage.session.set({lastCapture: {path: %s, kind: 'captured'},"
                   " filler: 'x'.repeat(9800000)})" % json.dumps(CAPTURE_PATH))
    assert set_options(browser, **{"upload-url": "http://127.0.0.1:9/up"})["tone"] == "ok"
    try:
        assert run(popup, "Upload")["kind"] == "notRecorded"
        assert status(popup)["tone"] == "error"
        assert popup.evaluate("chrome.storage.session.get('busy').then(s => s.busy)") == ""
        assert not popup.evaluate("document.getElementById('capture-screen').disabled")
    finally:
        popup.evaluate("chrome.storage.session.remove('filler')")


def test_shortcut_is_declared_and_shown(popup):
    manifest = json.loads((WIN64 / "extension" / "manifest.json").read_text())
    assert manifest["commands"]["start-capture"]["suggested_key"]["default"] == "Alt+Shift+A"
    assert manifest["commands"]["whole-page"]["suggested_key"]["default"] == "Alt+Shift+W"
    # Session storage must hold the largest event (about 1 MiB): 10 MB from 112 on.
    assert int(manifest["minimum_chrome_version"]) >= 112
    # What the browser has assigned (headless Chromium assigns no keys) is
    # what the popup shows.
    commands = popup.evaluate("chrome.commands.getAll()")
    assert sorted(c["name"] for c in commands if c["name"] != "_execute_action") == \
        ["start-capture", "whole-page"]
    keys = [c.get("shortcut", "") for c in commands if c["name"] == "start-capture"][0]
    assert keys in ("Alt+Shift+A", "")
    popup.wait_for("document.getElementById('shortcut').textContent !== ''")
    assert popup.evaluate("document.getElementById('shortcut').dataset.keys") == keys
    expected = message("en", "shortcutIs").replace("$1", keys) if keys else message(
        "en", "shortcutNone")
    assert popup.evaluate("document.getElementById('shortcut').textContent") == expected


@pytest.mark.parametrize("size,arrives", [(1 << 20, True), ((1 << 20) + 1, False)])
def test_browser_limit_on_a_host_message(browser, popup, size, arrives):
    """The browser takes a host message of exactly 1 MiB and drops a longer
    one: the limit the host keeps its events within."""
    head = '{"EventName":"OnCaptureCompleted","arg1":"C:\\\\a.png","arg2":"'
    body = head + "A" * (size - len(head) - 3) + '"}\n'
    assert len(body) == size
    browser.use_host("fake")
    browser.fake_reply(body)
    outcome = run(popup, "CaptureScreen")
    assert outcome["kind"] == ("captured" if arrives else "brokenAnswer")


def test_requests_follow_the_buttons_and_options(browser, popup):
    browser.use_host("fake")
    browser.fake_reply(event("OnCaptureCanceled"))
    sent = len(browser.fake_requests())
    for button in ["start-capture", "capture-minimized", "capture-screen"]:
        click(popup, button)
        wait_status(popup, "canceled")
        popup.evaluate("chrome.storage.session.remove('result')")
        wait_status(popup, "idle")
    assert set_options(browser, **{
        "upload-url": " https://example.test/upload.php?x=1 ", "file-field": "picture",
        "extra-fields": "user=李\n\n token=a=b \n", "image-format": "jpg"})["tone"] == "ok"
    browser.fake_reply(event("OnCaptureCompleted", arg1="C:\\t\\KvCapture\\KvCapture.jpg"))
    run(popup, "CaptureScreen")
    browser.fake_reply(event("OnUploadFailed"))
    click(popup, "upload")
    wait_status(popup, "uploadFailed")
    assert browser.fake_requests()[sent:] == [
        {"Command": "StartCapture", "UILanguage": "en", "FileName": "KvCapture.png"},
        {"Command": "Capture", "UILanguage": "en", "FileName": "KvCapture.png",
         "AutoMinimize": True},
        {"Command": "CaptureScreen", "UILanguage": "en", "FileName": "KvCapture.png"},
        {"Command": "CaptureScreen", "UILanguage": "en", "FileName": "KvCapture.jpg"},
        {"Command": "Upload", "UILanguage": "en", "PostUrl": "https://example.test/upload.php?x=1",
         "FileField": "picture", "FileName": "KvCapture.jpg", "PostParams": "user=李&token=a=b"},
    ]


@pytest.mark.parametrize("values,tone,text_key", [
    ({"upload-url": "ftp://example.test/in"}, "error", "badUploadUrl"),
    ({"upload-url": "upload.php"}, "error", "badUploadUrl"),
    ({"extra-fields": "a=1\nnovalue"}, "error", "badFieldLine"),
    ({"extra-fields": "=1"}, "error", "badFieldLine"),
    ({"extra-fields": "a=1&b=2"}, "error", "ampersandInField"),
    ({"upload-url": "", "extra-fields": ""}, "ok", "saved"),
])
def test_options_page_refuses_what_cannot_be_sent(browser, popup, values, tone, text_key):
    shown = set_options(browser, **values)
    assert shown["tone"] == tone
    assert shown["text"].startswith(message("en", text_key).split("$1")[0])
    stored = popup.evaluate("chrome.storage.local.get(null)")
    assert (stored != {}) == (tone == "ok")


def test_upload_without_address_is_not_sent(browser, popup):
    browser.use_host("fake")
    popup.evaluate("chrome.storage.session.set({lastCapture: {path: %s, kind: 'captured'}})"
                   % json.dumps(CAPTURE_PATH))
    sent = len(browser.fake_requests())
    outcome = run(popup, "Upload")
    assert outcome == {"kind": "notSent", "reason": "noUploadAddress"}
    assert status(popup)["text"] == message("en", "needUploadAddress")
    assert len(browser.fake_requests()) == sent


def test_unregistered_host_is_reported(browser, popup):
    browser.use_host("none")
    outcome = run(popup, "CaptureScreen")
    assert outcome["kind"] == "hostMissing"
    assert "not found" in status(popup)["text"]


# --------------------------------------------------------- with the real host

def test_unknown_command_round_trip(popup):
    assert run(popup, "Dance")["kind"] == "refused"
    assert status(popup)["text"] == message("en", "resultRefused")


def test_popup_waits_for_a_slow_answer_and_refuses_a_second_command(browser, popup):
    browser.use_host("fake")
    browser.fake_reply(event("OnCaptureCanceled"), delay=3)
    click(popup, "start-capture")
    assert wait_status(popup, "working")["text"] == message("en", "statusCapturing")
    assert popup.evaluate("document.getElementById('capture-screen').disabled")
    assert popup.evaluate("chrome.runtime.sendMessage({type: 'runAndWait',"
                          " command: 'CaptureScreen'})") == {"kind": "busy",
                                                             "command": "StartCapture"}
    assert wait_status(popup, "canceled")["text"] == message("en", "resultCanceled")
    assert not popup.evaluate("document.getElementById('capture-screen').disabled")


def test_host_busy_with_another_capture(popup):
    """A host that finds another one capturing ends without a word: the
    popup says that another capture may be running."""
    other = RunningHost({"Command": "StartCapture"})
    try:
        other.wait_for_window()
        assert run(popup, "CaptureScreen")["kind"] == "noAnswer"
        assert status(popup)["text"] == message("en", "resultNoAnswer")
    finally:
        other.kill()


def test_known_rectangle_arrives_in_the_popup(popup, capture_folder):
    with Scene() as scene:
        window = scene.windows["KvTest Pattern"]
        x, y = window.rect[0] + 7, window.rect[1] + 5
        outcome = run(popup, "CaptureRect", {"CaptureLeft": x, "CaptureTop": y,
                                             "CaptureWidth": 100, "CaptureHeight": 80})
    assert outcome["kind"] == "captured"
    win_folder, folder = capture_folder
    assert outcome["path"] == win_folder + "KvCapture.png"
    kind, data = shown_picture(popup)
    assert kind == "image/png" and data == (folder / "KvCapture.png").read_bytes()
    assert same_pixels(Image.open(io.BytesIO(data)), pattern_image(100, 80, 11, 7, 5)) == 0


@pytest.fixture
def noisy_screen(tmp_path):
    """Random colours over the whole screen (the root window's background):
    no picture of it compresses to less than the browser's message limit."""
    size = screenshot().size
    noise = Image.frombytes("RGB", size, random.Random(7).randbytes(size[0] * size[1] * 3))
    noise.save(tmp_path / "noise.png")
    subprocess.run(["display", "-window", "root", str(tmp_path / "noise.png")], timeout=60)
    yield noise
    subprocess.run(["xsetroot", "-def"], timeout=30)


def test_whole_screen_larger_than_a_message_arrives_whole(popup, noisy_screen, capture_folder):
    assert same_pixels(screenshot(), noisy_screen) == 0
    outcome = run(popup, "CaptureScreen", timeout=180)
    assert outcome["kind"] == "captured" and outcome["pieces"] > 1
    data = (capture_folder[1] / "KvCapture.png").read_bytes()
    assert len(data) > 1 << 20
    assert shown_picture(popup) == ("image/png", data)
    assert same_pixels(Image.open(io.BytesIO(data)), noisy_screen) == 0


def test_upload_round_trip_with_a_long_answer(browser, popup, capture_folder):
    """The last capture goes to a local server with the extra fields; its
    answer shows in the popup, and an answer too long for one message
    arrives shortened and marked so."""
    long_answer = b"0123456789" * 120_000  # 1.2 MB
    with Scene():
        run(popup, "CaptureRect", {"CaptureLeft": 300, "CaptureTop": 60, "CaptureWidth": 64,
                                   "CaptureHeight": 48})
    capture = (capture_folder[1] / "KvCapture.png").read_bytes()
    with UploadServer() as server:
        assert set_options(browser, **{"upload-url": server.url("/up?k=1"), "file-field": "pic",
                                       "extra-fields": "user=kv\nnote=a=b"})["tone"] == "ok"
        for answer, truncated in [(b"stored as 7", False), (long_answer, True)]:
            server.answer = answer
            click(popup, "upload")
            wait_status(popup, "uploaded", timeout=120)
            shown = popup.evaluate("document.getElementById('answer').textContent")
            note = popup.evaluate("document.getElementById('answer-note').dataset.truncated")
            assert note == ("1" if truncated else "0")
            if truncated:
                assert 0 < len(shown.encode("utf-8")) < len(answer)
                assert answer.decode("utf-8").startswith(shown)
            else:
                assert shown == answer.decode("utf-8")
            popup.evaluate("chrome.storage.session.remove('result')")
        upload = server.uploads[0]
        assert upload.path == "/up?k=1"
        fields = upload.fields()
        assert [(f[0], f[3]) for f in fields[:2]] == [("user", b"kv"), ("note", b"a=b")]
        assert fields[2][0] == "pic" and fields[2][1].endswith("KvCapture.png")
        assert fields[2][3] == capture


# ------------------------------------------------- package, release, registration

EXTENSION_ID = extension_id_of_manifest(REPO / "extension" / "manifest.json")


def staged_files(folder):
    return {p.relative_to(folder).as_posix(): p.read_bytes()
            for p in sorted(folder.rglob("*")) if p.is_file()}


def test_package_is_signed_with_the_kept_key_and_holds_the_extension(tmp_path):
    package = read_crx(WIN32 / "KvCapture.crx")
    assert package.extension_id() == EXTENSION_ID
    assert len(package.rsa_proofs) == 1
    public_key, signature = package.rsa_proofs[0]
    assert key_crx_id(public_key) == package.crx_id
    manifest_key = json.loads((REPO / "extension" / "manifest.json").read_text())["key"]
    assert base64.b64decode(manifest_key) == public_key
    (tmp_path / "key.der").write_bytes(public_key)
    (tmp_path / "sig").write_bytes(signature)
    (tmp_path / "data").write_bytes(package.signed_bytes())
    verify = subprocess.run(
        f"openssl pkey -pubin -inform DER -in key.der -out key.pem && "
        f"openssl dgst -sha256 -verify key.pem -signature sig data",
        shell=True, cwd=tmp_path, capture_output=True, text=True)
    assert verify.stdout.strip() == "Verified OK", verify.stderr
    with zipfile.ZipFile(io.BytesIO(package.archive)) as archive:
        packed = {n: archive.read(n) for n in archive.namelist() if not n.endswith("/")}
    assert packed == staged_files(WIN32 / "extension")
    assert {"manifest.json", "background.js", "popup.html", "icons/icon128.png",
            "_locales/zh_TW/messages.json"} <= packed.keys()


def test_host_manifests_name_the_extension_and_the_program():
    for build, path in [(WIN32, "KvCaptureExt.exe"), (WIN64, "KvCaptureExt.exe")]:
        manifest = json.loads((build / f"{HOST_NAME}.json").read_text())
        assert manifest == {
            "name": HOST_NAME, "description": manifest["description"], "path": path,
            "type": "stdio", "allowed_origins": [f"chrome-extension://{EXTENSION_ID}/"]}


def test_release_folder_has_what_a_user_copies():
    release = WIN32 / "release" / "KvCapture"
    names = {p.name for p in release.iterdir()}
    assert {"KvCaptureExt.exe", "KvCapture.crx", f"{HOST_NAME}.json", "register-host.cmd",
            "unregister-host.cmd", "INSTALL.txt", "extension"} <= names
    if (WIN32 / "KvCaptureCrxInstall.exe").exists():
        assert "KvCaptureCrxInstall.exe" in names
    client = REPO / "client" / "kvcapture-client.js"
    assert (release / client.name).read_bytes() == client.read_bytes()
    for name in names - {"extension", client.name}:
        assert (release / name).read_bytes() == (WIN32 / name).read_bytes(), name
    assert (release / "KvCaptureExt.exe").read_bytes()[:2] == b"MZ"
    install = (release / "INSTALL.txt").read_bytes()
    assert b"\r\n" in install and b"\n" not in install.replace(b"\r\n", b"")
    assert EXTENSION_ID.encode() in install
    assert staged_files(release / "extension") == staged_files(WIN32 / "extension")


def locale_keys(locale):
    path = REPO / "extension" / "_locales" / locale / "messages.json"
    return json.loads(path.read_text(encoding="utf-8"))


def test_every_text_exists_in_the_three_languages():
    en = locale_keys("en")
    used = set()
    for source in (REPO / "extension").glob("*.*"):
        text = source.read_text(encoding="utf-8")
        used |= set(re.findall(r'data-i18n="(\w+)"', text))
        used |= set(re.findall(r'\bmsg\("(\w+)"', text))
        used |= set(re.findall(r'__MSG_(\w+)__', text))
    assert used and used <= en.keys()
    codes = {}
    for locale in ["en", "zh_CN", "zh_TW"]:
        messages = locale_keys(locale)
        assert messages.keys() == en.keys(), locale
        for key, entry in messages.items():
            assert entry["message"].count("$1") == en[key]["message"].count("$1"), (locale, key)
        codes[locale] = messages["hostLanguage"]["message"]
    assert codes == {"en": "en", "zh_CN": "cn", "zh_TW": "tw"}


REGISTRY_KEYS = [f"HKCU\\Software\\Google\\Chrome\\NativeMessagingHosts\\{HOST_NAME}",
                 f"HKCU\\Software\\Chromium\\NativeMessagingHosts\\{HOST_NAME}"]


def registered_manifest(key):
    rc, out, _ = run_wine(["reg.exe", "query", key, "/ve"])
    if rc != 0:
        return None
    match = re.search(r"REG_SZ\s+(.*?)\s*$", out.decode("utf-8", "replace"), re.M)
    return match.group(1) if match else ""


def windows_path(path):
    rc, out, _ = run_wine(["winepath.exe", "-w", str(path)])
    assert rc == 0
    return out.decode("utf-8").strip()


def test_registration_scripts_for_the_current_user(tmp_path):
    folder = tmp_path / "Kv Capture (x86) & co"
    shutil.copytree(WIN32 / "release" / "KvCapture", folder)
    script = lambda name: run_wine(["cmd.exe", "/c", name], cwd=folder)  # noqa: E731
    try:
        rc, out, _ = script("register-host.cmd")
        assert rc == 0, out
        expected = windows_path(folder / f"{HOST_NAME}.json")
        assert [registered_manifest(k) for k in REGISTRY_KEYS] == [expected, expected]
        for _ in range(2):  # removing twice is fine
            rc, out, _ = script("unregister-host.cmd")
            assert rc == 0, out
            assert [registered_manifest(k) for k in REGISTRY_KEYS] == [None, None]
        (folder / f"{HOST_NAME}.json").unlink()
        rc, out, _ = script("register-host.cmd")
        assert rc == 2 and b"missing" in out
        assert [registered_manifest(k) for k in REGISTRY_KEYS] == [None, None]
    finally:
        for key in REGISTRY_KEYS:
            run_wine(["reg.exe", "delete", key, "/f"])
