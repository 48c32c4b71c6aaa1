"""Web pages asking the extension for captures, through Chromium and the real
host: a site allowed by the administrator's policy, a second allowed site,
and a site nobody allowed, each served from 127.0.0.1 or localhost."""
import base64
import io
import json
import random
import subprocess
import time
import uuid
from pathlib import Path

import pytest
from PIL import Image

import xdo
from browser_server import UploadServer
from chromium import Browser, extension_id
from kvharness import REPO, run_wine
from screens import same_pixels
from test_whole_page import TALL_PAGE, bands, open_page, tall_page_bands

SAMPLE = Path(__file__).parent / "sample_app" / "index.html"
CLIENT = REPO / "client" / "kvcapture-client.js"
POLICY_FOLDER = Path("/etc/chromium/policies/managed")
IDLE_LIMIT_S = 30  # the browser stops a service worker idle for this long


# A frame that tells its parent, after a while, whether KvCapture announced
# itself to it.
FRAME = b"""<!doctype html><script>
setTimeout(() => parent.postMessage({frame: location.origin,
    kvcapture: document.documentElement.dataset.kvcapture || null}, "*"), 3000);
</script>"""


# A frame that asks for the whole page and tells its parent the answer.
PAGE_FRAME = b"""<!doctype html><script src="/kvcapture-client.js"></script><script>
KvCapture.ready(20000).then(() => KvCapture.page()).then(() => "ok", (e) => e.code)
    .then((answer) => parent.postMessage({pageFromFrame: answer}, "*"));
</script>"""


def app_pages():
    return {"/index.html": ("text/html; charset=utf-8", SAMPLE.read_bytes()),
            "/kvcapture-client.js": ("text/javascript", CLIENT.read_bytes()),
            "/frame.html": ("text/html", FRAME),
            "/tall": ("text/html; charset=utf-8", TALL_PAGE.encode()),
            "/page-frame.html": ("text/html", PAGE_FRAME)}


@pytest.fixture(scope="module", autouse=True)
def wine_started():
    run_wine(["cmd.exe", "/c", "exit"], timeout=180)


@pytest.fixture(scope="module")
def sites(tmp_path_factory):
    """Two servers: `main` allowed as http://127.0.0.1:P and (with silent
    captures) as http://localhost:P; `other` allowed nowhere. The policy file
    exists only while the module's browser runs."""
    main = UploadServer(answer=lambda upload: b"stored %d bytes" % len(upload.body),
                        pages=app_pages())
    other = UploadServer(pages=app_pages())
    port = main.httpd.server_address[1]
    allowed, silent = f"http://127.0.0.1:{port}", f"http://localhost:{port}"
    created = not POLICY_FOLDER.exists()
    POLICY_FOLDER.mkdir(parents=True, exist_ok=True)
    policy = POLICY_FOLDER / f"kvcapture-page-api-test-{uuid.uuid4().hex}.json"
    policy.write_text(json.dumps({"3rdparty": {"extensions": {extension_id(): {
        "AllowedSites": [allowed + "/", silent], "SilentCaptureSites": [silent]}}}}))
    browser = None
    try:
        browser = Browser(tmp_path_factory.mktemp("chromium-page-api"))
        # The worker registers the page bridge for the policy's sites as it starts.
        options = browser.open("options.html")
        options.wait_for("chrome.scripting.getRegisteredContentScripts().then((s) =>"
                         " s.length === 1 && s[0].matches.length === 2)")
        options.close()
        yield {"browser": browser, "main": main, "other": other, "allowed": allowed,
               "silent": silent,
               "foreign": f"http://127.0.0.1:{other.httpd.server_address[1]}"}
    finally:
        if browser:
            browser.close()
        policy.unlink(missing_ok=True)
        if created:
            try:
                POLICY_FOLDER.rmdir()
                POLICY_FOLDER.parent.rmdir()
            except OSError:
                pass
        main.close()
        other.close()


def open_app(browser, origin):
    """A tab on the sample application at `origin`."""
    return browser.open_url(origin + "/index.html")


def ready(page):
    return page.wait_for("document.documentElement.dataset.kvcapture", timeout=20)


def ask(page, command, timeout=120, **parameters):
    """The page's request through the client library: its result, or
    {"error": code} when it is refused."""
    return page.evaluate(
        "KvCapture[%s](%s).catch((e) => ({error: e.code, message: e.message}))"
        % (json.dumps(command), json.dumps(parameters)), timeout=timeout)


def start(page, command, **parameters):
    """Starts a request; `finished(page)` gives its answer later."""
    page.evaluate("window.kvPending = KvCapture[%s](%s).catch((e) => ({error: e.code, message: e.message}));"
                  "undefined" % (json.dumps(command), json.dumps(parameters)))


def finished(page, timeout=120):
    return page.evaluate("window.kvPending", timeout=timeout)


def picture(result):
    data = base64.b64decode(result["base64"], validate=True)
    return data, Image.open(io.BytesIO(data))


@pytest.fixture
def noisy_screen(tmp_path):
    size = xdo.screenshot().size
    noise = Image.frombytes("RGB", size, random.Random(21).randbytes(size[0] * size[1] * 3))
    noise.save(tmp_path / "noise.png")
    subprocess.run(["display", "-window", "root", str(tmp_path / "noise.png")], timeout=60)
    yield noise
    subprocess.run(["xsetroot", "-def"], timeout=30)


def test_allowed_site_captures_a_chosen_region_and_uploads_it_to_itself(sites, noisy_screen):
    """The protocol once: ready, an interactive capture left open longer than
    the browser's idle limit for service workers, a second request while it
    runs, the site named in the popup and the badge, the picture whole and
    pixel-exact, then the upload to the page's own server with its fields;
    an upload elsewhere and a silent capture are refused."""
    browser, main = sites["browser"], sites["main"]
    page = open_app(browser, sites["allowed"])
    version = json.loads((REPO / "extension" / "manifest.json").read_text())["version"]
    assert ready(page) == version
    # The first "ready" may have come before the page listened; "hello" asks again.
    before = page.evaluate("window.kvMessages.length")
    page.evaluate("window.postMessage({source: 'kvcapture-page', type: 'hello'}, '*')")
    page.wait_for(f"window.kvMessages.length > {before}")
    assert page.evaluate("window.kvMessages").pop() == {"source": "kvcapture", "type": "ready",
                                                        "version": version}

    xdo.move(5, 5)
    start(page, "capture")
    assert xdo.wait_for(xdo.overlay_open, timeout=30)
    assert ask(page, "capture")["error"] == "busy"
    popup = browser.open("popup.html")
    try:
        popup.wait_for("document.getElementById('status').dataset.kind === 'working'")
        assert sites["allowed"] in popup.evaluate("document.getElementById('status').textContent")
        assert popup.evaluate("chrome.action.getBadgeText({})") == "127."
        assert sites["allowed"] in popup.evaluate("chrome.action.getTitle({})")
    finally:
        popup.close()
    time.sleep(IDLE_LIMIT_S + 5)
    region = xdo.fix_region([(100, 100), (101, 101), (901, 701)])
    xdo.move(500, 400)
    xdo.double_click()
    shot = finished(page)
    assert "base64" in shot, shot
    data, image = picture(shot)
    assert len(data) > 1 << 20
    assert (shot["width"], shot["height"], shot["type"]) == (800, 600, "image/png")
    assert same_pixels(image.convert("RGB"), noisy_screen.crop(region)) == 0
    assert len(shot["captureId"]) == 32

    sent = ask(page, "upload", captureId=shot["captureId"], url="upload?ticket=7#part",
               fileField="screenshot", fields={"note": "line 1\nline 2", "n": 5})
    assert sent == {"status": "answered", "answer": "stored %d bytes" % len(main.uploads[0].body)}
    upload = main.uploads[0]
    assert upload.path == "/upload?ticket=7"
    fields = upload.fields()
    assert [(f[0], f[3]) for f in fields[:2]] == [("note", b"line 1\nline 2"), ("n", b"5")]
    assert fields[2][0] == "screenshot" and fields[2][3] == data

    for url in [sites["silent"] + "/upload", sites["foreign"] + "/upload", "//127.0.0.2/up"]:
        assert ask(page, "upload", captureId=shot["captureId"], url=url)["error"] == "not-allowed"
    assert ask(page, "screen")["error"] == "not-allowed"
    assert len(main.uploads) == 1 and not sites["other"].uploads
    page.close()


def test_malformed_requests(sites):
    """With an id: bad-request, nothing reaches the host; without one: no
    answer at all."""
    page = open_app(sites["browser"], sites["allowed"])
    ready(page)
    page.evaluate("""(() => {
        const post = (m) => window.postMessage(Object.assign({source: 'kvcapture-page'}, m), '*');
        post({command: 'capture'});
        post({id: 'a', command: 'dance'});
        post({id: 'b', command: 'capture', type: 'gif'});
        post({id: 'c', command: 'upload', captureId: 'x', url: 'up', fileField: 'a\\r\\nb'});
        post({id: 'd', command: 'upload', captureId: 'x', url: 'javascript:alert(1)'});
        post({id: 'e', command: 'upload', captureId: 'x', url: 'up', fields: {k: 'a&b'}});
        post({id: 'f', command: 'upload', captureId: 'x', url: 'up'});
    })()""")
    page.wait_for("window.kvMessages.filter((m) => m.id).length === 6")
    answers = {m["id"]: m["error"] for m in page.evaluate("window.kvMessages") if "id" in m}
    assert answers == {"a": "bad-request", "b": "bad-request", "c": "bad-request",
                       "d": "bad-request", "e": "bad-request", "f": "unknown-capture"}
    page.close()


def test_site_not_allowed_sees_nothing(sites):
    page = open_app(sites["browser"], sites["foreign"])
    page.evaluate("""window.postMessage({source: 'kvcapture-page', type: 'hello'}, '*');
        window.postMessage({source: 'kvcapture-page', id: 'x', command: 'capture'}, '*')""")
    page.wait_for("document.getElementById('state').textContent === "
                  "'KvCapture is not available on this site.'")
    time.sleep(1)
    assert page.evaluate("document.documentElement.dataset.kvcapture") is None
    assert page.evaluate("window.kvMessages") == []
    page.close()


@pytest.mark.parametrize("top,frame,announced", [("allowed", "foreign", False),
                                                 ("foreign", "silent", True)])
def test_a_frame_counts_as_its_own_origin(sites, top, frame, announced):
    page = open_app(sites["browser"], sites[top])
    page.evaluate("""window.frameReports = [];
        window.addEventListener('message', (e) => e.data.frame && frameReports.push(e.data));
        document.body.append(Object.assign(document.createElement('iframe'),
                                           {src: %s}))""" % json.dumps(sites[frame] + "/frame.html"))
    report = page.wait_for("window.frameReports[0]", timeout=30)
    assert report == {"frame": sites[frame], "kvcapture": "1.0.0" if announced else None}
    page.close()


def test_options_page_lists_the_sites(sites):
    """The administrator's sites, fixed; a site the user allowed, with its
    switch, until the user removes it."""
    options = sites["browser"].open("options.html")
    try:
        options.evaluate("chrome.storage.local.set({pageSites: {'https://mine.test': {silent: true}}})")
        rows = """[...document.querySelectorAll('#site-rows tr')].map((r) => [r.dataset.origin,
            r.querySelector('.silent').checked, r.querySelector('.silent').disabled,
            !!r.querySelector('.revoke')])"""
        options.wait_for(f"{rows}.length === 3")
        assert options.evaluate(rows) == [[sites["allowed"], False, False, False],
                                          [sites["silent"], True, True, False],
                                          ["https://mine.test", True, False, True]]
        options.evaluate("document.querySelector('#site-rows tr:last-child .revoke').click()")
        options.wait_for(f"{rows}.length === 2")
        assert options.evaluate("chrome.storage.local.get('pageSites')") == {"pageSites": {}}
    finally:
        options.close()


def test_silent_capture_and_captures_kept_apart_by_site(sites, capture_folder):
    """A site with silent captures takes the screen without the user; its
    captureId means nothing to another site, even an allowed one."""
    silent = open_app(sites["browser"], sites["silent"])
    ready(silent)
    shot = ask(silent, "screen", type="jpeg")
    data, image = picture(shot)
    assert shot["type"] == "image/jpeg" and image.format == "JPEG"
    assert (shot["width"], shot["height"]) == image.size == xdo.screenshot().size
    assert (capture_folder[1] / f"KvPage-{shot['captureId']}.jpg").read_bytes() == data
    other = open_app(sites["browser"], sites["allowed"])
    ready(other)
    assert ask(other, "upload", captureId=shot["captureId"],
               url="upload")["error"] == "unknown-capture"
    assert not sites["main"].uploads[1:]
    silent.close()
    other.close()


def test_two_starts_at_once_get_one_run(sites):
    """The shortcut and a click in the same moment: one request reaches the
    host, the other is refused as busy."""
    browser = sites["browser"]
    browser.use_host("fake")
    browser.fake_reply({"EventName": "OnCaptureCanceled"}, delay=2)
    popup = browser.open("popup.html")
    try:
        kinds = popup.evaluate("""Promise.all([1, 2].map(() => chrome.runtime.sendMessage(
            {type: 'runAndWait', command: 'StartCapture'}))).then((o) => o.map((x) => x.kind))""")
        assert sorted(kinds) == ["busy", "canceled"]
        assert len(browser.fake_requests()) == 1
    finally:
        popup.close()
        browser.use_host("real")


def test_allowed_site_takes_its_own_whole_page(sites):
    """`page` from the top document of a tab: the page six screens tall comes
    out stitched right, and its captureId uploads to the site's own server;
    from a frame, even of the same site, the request is refused."""
    browser, main = sites["browser"], sites["main"]
    page = open_page(browser, sites["allowed"] + "/tall")
    try:
        ready(page)
        page.wait_for("document.body.dataset.rows")
        page.evaluate("""new Promise((loaded) => document.head.append(Object.assign(
            document.createElement('script'), {src: '/kvcapture-client.js', onload: loaded})))""")
        geometry = page.evaluate("""({rows: +document.body.dataset.rows, width:
            document.documentElement.clientWidth, height: document.documentElement.scrollHeight,
            screen: innerHeight})""")
        shot = ask(page, "page")
        assert "base64" in shot, shot
        data, image = picture(shot)
        assert geometry["height"] >= 6 * geometry["screen"]
        assert (shot["width"], shot["height"]) == image.size == (geometry["width"],
                                                                 geometry["height"])
        assert (shot["type"], shot["truncated"], image.format) == ("image/png", False, "PNG")
        assert bands(image.convert("RGB"), 10) == tall_page_bands(geometry["rows"])

        sent = ask(page, "upload", captureId=shot["captureId"], url="upload")
        assert sent["status"] == "answered", sent
        assert main.uploads[-1].fields()[-1][3] == data

        page.evaluate("""window.addEventListener('message', (e) => {
                if (e.data.pageFromFrame) window.frameAnswer = e.data.pageFromFrame; });
            document.body.append(Object.assign(document.createElement('iframe'),
                                               {src: '/page-frame.html'}))""")
        assert page.wait_for("window.frameAnswer", timeout=60) == "not-allowed"
    finally:
        page.close()
