"""The page API's rules that need no browser (extension/page_rules.js), run
in node: what a request must look like, where an upload may go, which
origins a policy names."""
import io
import json
import shutil
import subprocess

import pytest
from PIL import Image

from kvharness import REPO

NODE = shutil.which("node")
RULES = REPO / "extension" / "page_rules.js"
PAGE = "http://a.test:8080/dir/page.html?q=1#top"
ORIGIN = "http://a.test:8080"

pytestmark = pytest.mark.skipif(NODE is None, reason="node is not installed")


# One node process answers every expression: a line of JSON
# {expression, values} in, a line of JSON (the value) out.
SERVER = """
require(%s);
const R = globalThis.KvPageRules;
require("readline").createInterface({input: process.stdin}).on("line", (line) => {
  const {expression, values} = JSON.parse(line);
  const value = new Function("R", ...Object.keys(values), "return (" + expression + ");")(
      R, ...Object.values(values));
  process.stdout.write(JSON.stringify(value === undefined ? null : value) + "\\n");
});
"""


@pytest.fixture(scope="module")
def node():
    proc = subprocess.Popen([NODE, "-e", SERVER % json.dumps(str(RULES))], stdin=subprocess.PIPE,
                            stdout=subprocess.PIPE, text=True)
    yield proc
    proc.stdin.close()
    proc.wait(timeout=10)


@pytest.fixture
def rules(node):
    """rules(expression, **values): the JSON value of `expression` with
    KvPageRules as R and each of `values` bound to its name."""
    def evaluate(expression, **values):
        node.stdin.write(json.dumps({"expression": expression, "values": values}) + "\n")
        node.stdin.flush()
        return json.loads(node.stdout.readline())
    return evaluate


@pytest.mark.parametrize("url,expected", [
    ("upload?x=1", {"address": "http://a.test:8080/dir/upload?x=1"}),
    ("/up", {"address": "http://a.test:8080/up"}),
    ("HTTP://A.TEST:8080/up", {"address": "http://a.test:8080/up"}),
    # An "@" after the host must not become a user name for the host's parser.
    ("up?mail=a@corp.example#frag", {"address": "http://a.test:8080/dir/up?mail=a%40corp.example"}),
    ("//b.test:8080/up", {"error": "not-allowed"}),
    ("https://a.test:8080/up", {"error": "not-allowed"}),
    ("http://a.test:8081/up", {"error": "not-allowed"}),
    ("javascript:alert(1)", {"error": "bad-request"}),
    ("ftp://a.test:8080/up", {"error": "bad-request"}),
    ("http://user:pw@a.test:8080/up", {"error": "bad-request"}),
    ("http://[::1", {"error": "bad-request"}),
])
def test_upload_address_is_resolved_against_the_page_and_kept_to_its_origin(rules, url,
                                                                          expected):
    got = rules("R.uploadAddress(url, page, origin)", url=url, page=PAGE, origin=ORIGIN)
    assert {k: v for k, v in got.items() if k != "message"} == expected


@pytest.mark.parametrize("request_,expected", [
    ({"command": "capture"}, {"ignore": True}),
    ({"id": 7, "command": "capture"}, {"ignore": True}),
    ({"id": "x" * 65, "command": "capture"}, {"ignore": True}),
    ({"id": "x" * 64, "command": "capture"},
     {"command": "capture", "params": {"type": "png", "prompt": False, "autoMinimize": False}}),
    ({"id": "a", "command": "screen", "type": "jpeg"},
     {"command": "screen", "params": {"type": "jpeg"}}),
    ({"id": "a", "command": "Capture"}, {"error": "bad-request"}),
    ({"id": "a", "command": "capture", "prompt": "yes"}, {"error": "bad-request"}),
    ({"id": "a", "command": "capture", "type": "gif"}, {"error": "bad-request"}),
    ({"id": "a", "command": "upload", "url": "up"}, {"error": "bad-request"}),
    ({"id": "a", "command": "upload", "captureId": "c", "url": ""}, {"error": "bad-request"}),
    ({"id": "a", "command": "upload", "captureId": "c", "url": "up\nx"}, {"error": "bad-request"}),
    ({"id": "a", "command": "upload", "captureId": "c", "url": "up", "fileField": "a\r\nb"},
     {"error": "bad-request"}),
    ({"id": "a", "command": "upload", "captureId": "c", "url": "up", "fileField": 'a"b'},
     {"error": "bad-request"}),
    ({"id": "a", "command": "upload", "captureId": "c", "url": "up", "fields": ["a=1"]},
     {"error": "bad-request"}),
    ({"id": "a", "command": "upload", "captureId": "c", "url": "up", "fields": {"a=b": "1"}},
     {"error": "bad-request"}),
    ({"id": "a", "command": "upload", "captureId": "c", "url": "up", "fields": {"k": "a&b"}},
     {"error": "bad-request"}),
    ({"id": "a", "command": "upload", "captureId": "c", "url": "up", "fields": {"k": {}}},
     {"error": "bad-request"}),
    ({"id": "a", "command": "upload", "captureId": "c", "url": "up",
      "fields": {"name": "Kv=1\r\nline", "n": 5, "ok": True}},
     {"command": "upload", "params": {"captureId": "c", "url": "up", "fileField": "UploadFile",
                                      "postParams": "name=Kv=1\r\nline&n=5&ok=true"}}),
])
def test_requests_are_checked_before_anything_is_sent(rules, request_, expected):
    got = rules("R.checkRequest(Object.assign({source: 'kvcapture-page'}, m))", m=request_)
    got.pop("message", None)
    got.pop("id", None)
    assert got == expected


def test_policy_entries_are_origins_and_silent_needs_allowed(rules):
    managed = {"AllowedSites": ["HTTPS://Help.Example.com:443/desk", "file:///x", 7,
                                "http://a.test:8080"],
               "SilentCaptureSites": ["https://help.example.com", "https://silent.test"]}
    user = {"http://a.test:8080": {"silent": True}, "https://mine.test": {"silent": False}}
    assert rules("R.allowedOrigins(user, managed)", user=user, managed=managed) == [
        "https://help.example.com", "http://a.test:8080", "https://mine.test"]
    got = rules("['https://help.example.com', 'https://silent.test', 'http://a.test:8080',"
                " 'https://mine.test', 'https://other.test'].map((o) => {"
                " const r = R.rightsOf(o, user, managed); return [r.allowed, r.silent]; })",
                user=user, managed=managed)
    assert got == [[True, True], [False, False], [True, True], [True, False], [False, False]]


def test_picture_size_of_png_and_jpeg(rules):
    sizes = []
    for kind in ["PNG", "JPEG"]:
        out = io.BytesIO()
        Image.new("RGB", (300, 2), "red").save(out, kind)
        sizes.append(rules("R.imageSize(new Uint8Array(b))", b=list(out.getvalue())))
    assert sizes == [{"width": 300, "height": 2}] * 2
    assert rules("R.imageSize(new Uint8Array(30))") is None
