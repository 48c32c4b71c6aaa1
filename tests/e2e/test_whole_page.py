"""The whole web page: local test pages in chromium, scrolled and stitched by
the extension, written into the capture file by the real host, and checked
pixel by pixel. Rows are drawn as bands of colours that encode their number,
so the picture tells which row lies where."""
import io
import json
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

import pytest
from PIL import Image

from chromium import Browser
from kvharness import run_wine, unix_path
from test_browser import shown_picture, wait_status

HEADER, MID, FOOTER, TOP_BAR = (255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 0)
WHITE = (255, 255, 255)
ROW_HEIGHT = 50


def row_colour(i):
    return (i % 256, 10 + i // 256, 128)


def colour_name(colour):
    names = {HEADER: "header", MID: "mid", FOOTER: "footer", TOP_BAR: "top", WHITE: "white"}
    if colour in names:
        return names[colour]
    r, g, b = colour
    i = (g - 10) * 256 + r
    return f"row{i}" if i >= 0 and row_colour(i) == colour else f"?{colour}"


def bands(image, x):
    """[(name, height)] of the runs of one colour down the column x."""
    runs = []
    for y in range(image.height):
        name = colour_name(image.getpixel((x, y))[:3])
        if runs and runs[-1][0] == name:
            runs[-1][1] += 1
        else:
            runs.append([name, 1])
    return [tuple(r) for r in runs]


ROWS_SCRIPT = """
function rowColour(i) { return `rgb(${i % 256}, ${10 + Math.floor(i / 256)}, 128)`; }
function addRows(parent, count, headingAfter) {
  for (let i = 0; i < count; i++) {
    const row = document.createElement("div");
    row.className = "row";
    row.style.background = rowColour(i);
    parent.appendChild(row);
    if (i === headingAfter) {
      const heading = document.createElement("h2");
      heading.className = "mid";
      parent.appendChild(heading);
    }
  }
}
"""

# Six screens tall: a sticky header, a sticky heading half way down, a fixed
# footer (the body keeps room for it below the last row).
TALL_PAGE = """<!doctype html><html><head><meta charset="utf-8"><style>
body { margin: 0; padding-bottom: 40px; background: #fff; }
header { position: sticky; top: 0; height: 60px; background: rgb(255, 0, 0); }
.row { height: 50px; }
h2.mid { position: sticky; top: 60px; height: 30px; margin: 0; background: rgb(0, 255, 0); }
footer { position: fixed; left: 0; right: 0; bottom: 0; height: 40px; background: rgb(0, 0, 255); }
</style></head><body><header></header><main id="rows"></main><footer></footer>
<script>%s
// A new window may not have its size yet when the page loads.
(function build() {
  if (!innerHeight) return requestAnimationFrame(build);
  const count = +new URLSearchParams(location.search).get("rows") ||
                Math.ceil((6 * innerHeight - 130) / 50);
  addRows(document.getElementById("rows"), count, Math.floor(count / 2));
  document.body.dataset.rows = count;
})();
</script></body></html>""" % ROWS_SCRIPT

# Images that load only when they come near the screen: the browser's own
# lazy loading, and a script's (an observer that sets the address late).
LAZY_PAGE = """<!doctype html><html><head><meta charset="utf-8"><style>
body { margin: 0; background: #fff; }
img { display: block; width: 200px; height: 300px; margin: 0 0 200px 40px; }
</style></head><body>
<script>
for (let i = 0; i < 12; i++) {
  const img = document.createElement("img");
  if (i % 2) img.loading = "lazy", img.src = `/img/${i}.png`;
  else img.dataset.src = `/img/${i}.png`;
  document.body.appendChild(img);
}
const observer = new IntersectionObserver((entries) => {
  for (const e of entries) {
    if (e.isIntersecting && e.target.dataset.src) {
      e.target.src = e.target.dataset.src;
      observer.unobserve(e.target);
    }
  }
});
document.querySelectorAll("img[data-src]").forEach((img) => observer.observe(img));
</script></body></html>"""

# A web mail's shape: the document does not scroll; a narrow side list and
# the wide message list do, each on its own.
INNER_PAGE = """<!doctype html><html><head><meta charset="utf-8"><style>
html, body { margin: 0; height: 100%%; overflow: hidden; background: #fff; }
#top { height: 50px; background: rgb(255, 255, 0); }
#main { display: flex; height: calc(100%% - 50px); }
#side { width: 120px; overflow-y: auto; }
#side div { height: 2000px; background: rgb(255, 255, 0); }
#list { flex: 1; overflow-y: auto; }
.row { height: 50px; }
h2.mid { position: sticky; top: 0; height: 30px; margin: 0; background: rgb(0, 255, 0); }
</style></head><body><div id="top"></div><div id="main"><div id="side"><div></div></div>
<div id="list"></div></div>
<script>%s
addRows(document.getElementById("list"), 70, 20);
</script></body></html>""" % ROWS_SCRIPT


def image_colour(i):
    return (20 * i, 100, 255 - 20 * i)


def solid_png(colour, size=(200, 300)):
    out = io.BytesIO()
    Image.new("RGB", size, colour).save(out, "PNG")
    return out.getvalue()


class PageServer:
    """The test pages on 127.0.0.1; images arrive after a delay, as from a
    slow server."""

    def __init__(self):
        pages = {"/tall": TALL_PAGE, "/lazy": LAZY_PAGE, "/inner": INNER_PAGE}

        class Handler(BaseHTTPRequestHandler):
            def do_GET(self):
                path = self.path.split("?")[0]
                if path in pages:
                    body, kind = pages[path].encode(), "text/html; charset=utf-8"
                elif self.path.startswith("/img/"):
                    time.sleep(0.3)
                    body = solid_png(image_colour(int(self.path[5:].split(".")[0])))
                    kind = "image/png"
                else:
                    self.send_error(404)
                    return
                self.send_response(200)
                self.send_header("Content-Type", kind)
                self.send_header("Content-Length", str(len(body)))
                self.send_header("Cache-Control", "no-store")
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        self.httpd = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.httpd.daemon_threads = True
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()

    def url(self, path):
        return f"http://127.0.0.1:{self.httpd.server_address[1]}{path}"

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


@pytest.fixture(scope="module", autouse=True)
def wine_started():
    run_wine(["cmd.exe", "/c", "exit"], timeout=180)


@pytest.fixture(scope="module")
def server():
    s = PageServer()
    yield s
    s.close()


@pytest.fixture(scope="module")
def browser(tmp_path_factory):
    """The extension as built: its host access to all sites lets it take a
    tab that no click of the user granted (a headless browser has none)."""
    b = Browser(tmp_path_factory.mktemp("whole-page"))
    yield b
    b.close()


@pytest.fixture
def popup(browser):
    browser.use_host("real")
    page = browser.open("popup.html")
    page.evaluate("chrome.storage.session.clear().then(() => chrome.storage.session.set({busy: ''}))")
    wait_status(page, "idle")
    yield page
    page.close()


def open_page(browser, url):
    """The page in a window of its own, where it is the tab in front."""
    return browser.open_url(url, new_window=True)


def tab_id(popup, url):
    return popup.evaluate("chrome.tabs.query({url: %s}).then((tabs) => tabs[0].id)"
                          % json.dumps(url))


def capture_whole_page(popup, tab, timeout=120):
    outcome = popup.evaluate(
        "chrome.runtime.sendMessage({type: 'runAndWait', command: 'WholePage', tabId: %d})" % tab,
        timeout=timeout)
    wait_status(popup, outcome["kind"])
    return outcome


def page_state(page):
    return page.evaluate("""({html: document.documentElement.outerHTML, x: scrollX, y: scrollY,
        list: document.getElementById('list') ? document.getElementById('list').scrollTop : 0})""")


def picture_of(popup, outcome, capture_folder):
    kind, data = shown_picture(popup)
    assert kind == "image/png"
    windows_folder, _ = capture_folder
    # The host holds the same picture in the capture file, for Upload.
    assert outcome["path"] == windows_folder + "KvCapture.png"
    assert unix_path(outcome["path"]).read_bytes() == data
    return Image.open(io.BytesIO(data)).convert("RGB")


def tall_page_bands(rows, zoom=1):
    expected = [("header", 60 * zoom)]
    for i in range(rows):
        expected.append((f"row{i}", ROW_HEIGHT * zoom))
        if i == rows // 2:
            expected.append(("mid", 30 * zoom))
    expected.append(("footer", 40 * zoom))
    return expected


def cut(expected, height):
    """The bands of the first `height` pixels."""
    kept, y = [], 0
    for name, size in expected:
        if y >= height:
            break
        kept.append((name, min(size, height - y)))
        y += size
    return kept


@pytest.mark.parametrize("zoom", [1, 2])
def test_tall_page_every_row_once_header_at_top_footer_at_bottom(browser, popup, server,
                                                                 capture_folder, zoom):
    """At the browser's zoom of 200 % every CSS pixel is two pixels of the
    picture, as on a display of twice the density."""
    url = server.url("/tall")
    page = open_page(browser, url)
    tab = None
    try:
        page.wait_for("document.body.dataset.rows")
        tab = tab_id(popup, url)
        popup.evaluate("chrome.tabs.setZoom(%d, %d)" % (tab, zoom))
        page.wait_for("devicePixelRatio === %d" % zoom)
        page.evaluate("window.scrollTo(0, 777)")
        before = page_state(page)
        geometry = page.evaluate("""({rows: +document.body.dataset.rows, width:
            document.documentElement.clientWidth, height: document.documentElement.scrollHeight,
            screen: innerHeight})""")
        outcome = capture_whole_page(popup, tab)
        assert outcome["kind"] == "captured", outcome
        image = picture_of(popup, outcome, capture_folder)
        assert page_state(page) == before
    finally:
        # The zoom holds for the whole site, the later tests' pages too.
        if tab is not None:
            popup.evaluate("chrome.tabs.setZoom(%d, 0)" % tab)
        page.close()
    assert geometry["height"] >= 6 * geometry["screen"]
    assert image.size == (geometry["width"] * zoom, geometry["height"] * zoom)
    assert not outcome["truncated"]
    expected = tall_page_bands(geometry["rows"], zoom)
    assert bands(image, 10) == expected
    assert bands(image, image.width - 1) == expected


def test_page_taller_than_a_picture_gives_its_first_32767_pixels(browser, popup, server,
                                                                capture_folder):
    """800 rows, 40,130 pixels: in a window 4,000 pixels tall (few screens
    to take) the picture ends at 32,767 pixels, without the footer, and the
    popup says that it is cut short."""
    url = server.url("/tall?rows=800")
    page = open_page(browser, url)
    try:
        window = browser.cdp.call("Browser.getWindowForTarget",
                                  {"targetId": page.target_id})["windowId"]
        browser.cdp.call("Browser.setWindowBounds",
                         {"windowId": window, "bounds": {"width": 800, "height": 4100}})
        page.wait_for("innerHeight > 3500 && document.body.dataset.rows")
        outcome = capture_whole_page(popup, tab_id(popup, url))
        assert outcome["kind"] == "captured", outcome
        image = picture_of(popup, outcome, capture_folder)
    finally:
        page.close()
    assert outcome["truncated"] and image.height == 32767
    assert bands(image, 10) == cut(tall_page_bands(800), 32767)
    text = wait_status(popup, "captured")
    assert text["tone"] == "warning" and "32767" in text["text"]


def test_lazy_images_are_all_loaded(browser, popup, server, capture_folder):
    url = server.url("/lazy")
    page = open_page(browser, url)
    try:
        places = page.evaluate("""[...document.images].map((img) => {
            const r = img.getBoundingClientRect();
            return [r.left + scrollX + r.width / 2, r.top + scrollY + r.height / 2];
        })""")
        arrived_before = page.evaluate("[...document.images].filter((i) => i.complete && "
                                       "i.naturalWidth).length")
        outcome = capture_whole_page(popup, tab_id(popup, url))
        assert outcome["kind"] == "captured", outcome
        image = picture_of(popup, outcome, capture_folder)
    finally:
        page.close()
    assert arrived_before < len(places)  # the test means something
    found = [image.getpixel((round(x), round(y))) for x, y in places]
    assert found == [image_colour(i) for i in range(len(places))]


def test_inner_scroller_is_captured_whole(browser, popup, server, capture_folder):
    url = server.url("/inner")
    page = open_page(browser, url)
    try:
        page.evaluate("document.getElementById('list').scrollTop = 333")
        before = page_state(page)
        size = page.evaluate("""(() => { const l = document.getElementById('list');
            return [l.clientWidth, l.scrollHeight]; })()""")
        outcome = capture_whole_page(popup, tab_id(popup, url))
        assert outcome["kind"] == "captured", outcome
        image = picture_of(popup, outcome, capture_folder)
        assert page_state(page) == before
    finally:
        page.close()
    assert list(image.size) == size
    expected = []
    for i in range(70):
        expected.append((f"row{i}", ROW_HEIGHT))
        if i == 20:
            expected.append(("mid", 30))
    assert bands(image, 10) == expected


def test_escape_on_the_page_cancels_and_puts_the_page_back(browser, popup, server):
    url = server.url("/tall")
    page = open_page(browser, url)
    try:
        page.wait_for("document.body.dataset.rows")
        page.evaluate("window.scrollTo(0, 555)")
        before = page_state(page)
        popup.evaluate("chrome.runtime.sendMessage({type: 'run', command: 'WholePage', tabId: %d})"
                       % tab_id(popup, url))
        # The sticky header is taken out of its place once the capture runs.
        page.wait_for("document.querySelector('header').style.position === 'relative'")
        for kind in ("keyDown", "keyUp"):
            browser.cdp.call("Input.dispatchKeyEvent", {
                "type": kind, "key": "Escape", "code": "Escape", "windowsVirtualKeyCode": 27,
            }, session=page.session)
        wait_status(popup, "canceled")
        assert page_state(page) == before
    finally:
        page.close()


def test_a_page_that_cannot_be_scripted_is_reported(browser, popup):
    """The popup's button takes the tab in front of its window, here the
    popup's own page: the extension's pages, like the browser's, refuse
    scripts. The capture says so and leaves no progress in the badge."""
    popup.evaluate("document.getElementById('whole-page').click()")
    assert wait_status(popup, "pageFailed")["tone"] == "error"
    outcome = popup.evaluate("chrome.storage.session.get('result').then((r) => r.result)")
    assert outcome["command"] == "WholePage" and outcome["reason"] == "notCapturable", outcome
    assert popup.evaluate("chrome.action.getBadgeText({})") == ""


def test_closing_the_tab_during_the_capture_ends_it(browser, popup, server):
    url = server.url("/tall")
    page = open_page(browser, url)
    page.wait_for("document.body.dataset.rows")
    popup.evaluate("chrome.runtime.sendMessage({type: 'run', command: 'WholePage', tabId: %d})"
                   % tab_id(popup, url))
    page.wait_for("document.querySelector('header').style.position === 'relative'")
    page.close()
    wait_status(popup, "canceled")
    assert popup.evaluate("chrome.action.getBadgeText({})") == ""
    # Nothing is left running: the next capture starts.
    assert popup.evaluate("chrome.storage.session.get('busy').then((s) => s.busy)") == ""
