"""The "Upload" command against a real HTTP server on 127.0.0.1, byte for byte."""
import json

import pytest

from kvharness import WIN_TESTS, exit_code, frame, run_host, run_wine
from upload_server import (FullBacklog, SilentListener, UploadServer, closed_port, http_answer,
                           private_ca_context, self_signed_context)

DELIM = b"----MULTI-PARTS-FORM-DATA-BOUNDARY"
CLOSING = DELIM + b"--\r\n"
CONTENT_TYPE = b"multipart/form-data; boundary=--MULTI-PARTS-FORM-DATA-BOUNDARY"
ON_EXIT = frame(b'{"EventName":"OnExit"}\n')
ON_UPLOAD_FAILED = frame(b'{"EventName":"OnUploadFailed"}\n')
# A capture file that holds CR LF, zero bytes, high bytes and most of a
# delimiter line: it must arrive untouched.
PNG_BYTES = (b"\x89PNG\r\n\x1a\n\x00\x00\x00\rIHDR" + bytes(range(256))
             + b"\r\n----MULTI-PARTS-FORM-DATA-BOUNDAR\r\n" + b"\xff" * 10)


def text_part(name, value):
    return DELIM + b'\r\nContent-Disposition: form-data; name="' + name + b'"\r\n\r\n' + value + b"\r\n"


def file_part(name, path, subtype, data):
    """The part of the file at `path`: it announces the base name only."""
    base_name = path.rsplit(b"\\", 1)[-1]
    return (DELIM + b'\r\nContent-Disposition: form-data; name="' + name + b'"; filename="'
            + base_name + b'"\r\nContent-Type: image/' + subtype + b"\r\n\r\n" + data + b"\r\n")


@pytest.fixture
def server():
    with UploadServer() as s:
        yield s


@pytest.fixture
def capture(capture_folder):
    """write(name, data) puts a capture file in the capture folder and
    returns its Windows path."""
    win_folder, folder = capture_folder
    folder.mkdir(parents=True, exist_ok=True)

    def write(name, data=PNG_BYTES):
        (folder / name).write_bytes(data)
        return win_folder + name
    return write


def upload(url, file_name, timeout=120, **fields):
    request = {"Command": "Upload", "PostUrl": url, "FileName": file_name}
    request.update(fields)
    return run_host(request, timeout=timeout, env={"no_proxy": "127.0.0.1,localhost"})


def one_request(server):
    requests = server.wait_for_requests(1)
    assert len(requests) == 1 and requests[0].complete
    return requests[0]


@pytest.mark.win32
def test_request_on_the_wire(server, capture):
    path = capture("upload-wire.png").encode()
    server.respond(b"stored: 1")
    # An '@' in the query is data, never the start of another server's name.
    result = upload(server.url("/up/load.php?x=1&y=%41&mail=a@corp.example"), "upload-wire.png",
                    PostParams="a=1&b=two words")
    assert exit_code(result.returncode) == 0
    assert result.stdout == frame(b'{"EventName":"OnUploadCompleted","arg1":"stored: 1"}\n')

    req = one_request(server)
    assert req.request_line == b"POST /up/load.php?x=1&y=%41&mail=a@corp.example HTTP/1.0"
    assert b"Accept: */*" in req.headers
    assert b"Content-Type: " + CONTENT_TYPE in req.headers
    assert b"Content-Length: %d" % len(req.body) in req.headers
    assert req.header("User-Agent") == [b"Mozilla/4.0 (compatible; )"]
    assert req.header("Host") == [b"127.0.0.1:%d" % server.port]
    assert req.body == (text_part(b"a", b"1") + text_part(b"b", b"two words")
                        + file_part(b"UploadFile", path, b"png", PNG_BYTES) + CLOSING)


# (FileField or None when absent, PostParams, text parts, file field name)
FIELD_CASES = {
    "empty FileField": ("", "", [], b"UploadFile"),
    "FileField absent": (None, "", [], b"UploadFile"),
    "empty items skipped": ("pic", "a=1&&b=2", [(b"a", b"1"), (b"b", b"2")], b"pic"),
    "further = in the value": (None, "k=x=y", [(b"k", b"x=y")], b"UploadFile"),
    "no = or empty value": (None, "&flag&empty=&=lead&", [(b"flag", b""), (b"empty", b""),
                                                         (b"=lead", b"")], b"UploadFile"),
    "nothing decoded": (None, "q=%41+%42", [(b"q", b"%41+%42")], b"UploadFile"),
    "non-ASCII as UTF-8": ("bild-\u00e4", "caf\u00e9=cr\u00e8me br\u00fbl\u00e9e&\u00f1=\u00fc",
                           [("caf\u00e9".encode(), "cr\u00e8me br\u00fbl\u00e9e".encode()),
                            ("\u00f1".encode(), "\u00fc".encode())], "bild-\u00e4".encode()),
    # CR, LF and quotes in names are escaped as browsers do; values go as
    # they are: neither breaks the framing of the other fields.
    "CR LF quote": ('f"x\r\n', 'we"ird\r\nname=line1\r\nline2 "q"&next=ok',
                    [(b"we%22ird%0D%0Aname", b'line1\r\nline2 "q"'), (b"next", b"ok")],
                    b"f%22x%0D%0A"),
}


@pytest.mark.parametrize("case", FIELD_CASES, ids=list(FIELD_CASES))
def test_fields(server, capture, case):
    file_field, params, texts, file_name = FIELD_CASES[case]
    path = capture("upload-fields.png").encode()
    extra = {"PostParams": params}
    if file_field is not None:
        extra["FileField"] = file_field
    result = upload(server.url(), "upload-fields.png", **extra)
    assert result.event == {"EventName": "OnUploadCompleted", "arg1": "ok"}
    body = one_request(server).body
    assert body == (b"".join(text_part(n, v) for n, v in texts)
                    + file_part(file_name, path, b"png", PNG_BYTES) + CLOSING)


@pytest.mark.parametrize("requested,on_disk,subtype", [
    ("upload-shot.jpg", "upload-shot.jpg", b"jpg"),
    ("upload-noext", "upload-noext.png", b"png"),
    ("upload-a.b.gif", "upload-a.b.gif", b"gif"),
    ("upload-caf\u00e9 \u00fc.png", "upload-caf\u00e9 \u00fc.png", b"png"),
])
def test_file_part_announces_the_base_name_and_extension(server, capture, requested, on_disk,
                                                         subtype):
    path = capture(on_disk, b"img").encode("utf-8")
    result = upload(server.url(), requested)
    assert exit_code(result.returncode) == 0
    assert one_request(server).body == file_part(b"UploadFile", path, subtype, b"img") + CLOSING


@pytest.mark.parametrize("answer,event,code", [
    (http_answer(b"\xef\xbb\xbfok \xc3\xa9 \xe6\x88\xaa\xe5\x9b\xbe"),
     {"EventName": "OnUploadCompleted", "arg1": "ok \u00e9 \u622a\u56fe"}, 0),
    # Without the mark the answer is text in the ANSI code page (1252 here).
    (http_answer(b"caf\xe9 ansi"), {"EventName": "OnUploadCompleted", "arg1": "caf\u00e9 ansi"}, 0),
    (http_answer(b'{"url":"http://h/a.png","ok":true}\r\n\t\\'),
     {"EventName": "OnUploadCompleted", "arg1": '{"url":"http://h/a.png","ok":true}\r\n\t\\'}, 0),
    (http_answer(b"abc\x00def"), {"EventName": "OnUploadCompleted", "arg1": "abc"}, 0),
    (http_answer(b"server error", status=500, reason="Internal Server Error"),
     {"EventName": "OnUploadCompleted", "arg1": "server error"}, 0),
    (http_answer(b"no length", content_length=False),
     {"EventName": "OnUploadCompleted", "arg1": "no length"}, 0),
    (http_answer(b""), {"EventName": "OnUploadFailed"}, 255),
    (http_answer(b"\xef\xbb\xbf"), {"EventName": "OnUploadFailed"}, 255),
    (http_answer(b"\x00after a zero"), {"EventName": "OnUploadFailed"}, 255),
], ids=["bom utf-8", "ansi", "json text", "zero byte", "status 500", "no length", "empty",
        "bom only", "leading zero"])
def test_answers(server, capture, answer, event, code):
    capture("upload-answer.png")
    server.answer = answer
    result = upload(server.url(), "upload-answer.png")
    assert exit_code(result.returncode) == code
    assert result.event == event


@pytest.mark.parametrize("text", [b"z" * 3000000, "\ufeff".encode() + "\u622a".encode() * 1000000],
                         ids=["ascii", "utf-8 with mark"])
def test_answer_above_the_message_limit_is_cut_to_fit(server, capture, text):
    capture("upload-big-answer.png")
    server.respond(text)
    result = upload(server.url(), "upload-big-answer.png")
    assert exit_code(result.returncode) == 0
    assert len(result.frames) == 1 and len(result.frames[0]) <= 1048576
    event = result.event
    assert event["EventName"] == "OnUploadCompleted" and event["arg2"] == "truncated"
    whole = text.decode("utf-8").lstrip("\ufeff")
    assert len(event["arg1"]) > 300000 and whole.startswith(event["arg1"])


@pytest.mark.parametrize("post_url,page_url,request_line", [
    ("upload.php?x=1", "http://127.0.0.1:{port}/dir/page.html", b"POST /dir/upload.php?x=1 HTTP/1.0"),
    ("", "http://127.0.0.1:{port}/page", b"POST /page HTTP/1.0"),
    # An upper-case scheme is not https: plain HTTP to the given port.
    ("HTTPS://127.0.0.1:{port}/upper", "", b"POST /upper HTTP/1.0"),
    ("http://user:pw@127.0.0.1:{port}/auth", "", b"POST /auth HTTP/1.0"),
    # An at-sign in the path is part of it, never the start of a server name.
    ("http://127.0.0.1:{port}/a@127.0.0.1:1/b", "", b"POST /a@127.0.0.1:1/b HTTP/1.0"),
    ("http://127.0.0.1:{port}", "", b"POST / HTTP/1.0"),
    # Non-ASCII, spaces and controls go percent-encoded, as browsers send them.
    ("http://127.0.0.1:{port}/caf\u00e9 1?q=\u00fc\r\nX: y", "",
     b"POST /caf%C3%A9%201?q=%C3%BC%0D%0AX:%20y HTTP/1.0"),
])
def test_upload_address(server, capture, post_url, page_url, request_line):
    capture("upload-address.png")
    result = upload(post_url.format(port=server.port), "upload-address.png",
                    PageUrl=page_url.format(port=server.port))
    assert result.event == {"EventName": "OnUploadCompleted", "arg1": "ok"}
    assert one_request(server).request_line == request_line


@pytest.mark.parametrize("case", ["no address", "missing file", "empty file name", "folder",
                                  "gopher", "file"])
def test_upload_that_cannot_start_answers_on_exit(server, capture, capture_folder, case):
    capture("upload-present.png")
    (capture_folder[1] / "upload-folder.png").mkdir(exist_ok=True)
    url, name = server.url(), "upload-present.png"
    if case == "no address":
        url = ""
    elif case == "missing file":
        name = "upload-never-written.png"
    elif case == "empty file name":
        name = ""
    elif case == "folder":
        name = "upload-folder.png"
    elif case == "gopher":
        url = server.url(scheme="gopher")
    elif case == "file":
        url = "file:///c:/x"
    result = upload(url, name)
    assert exit_code(result.returncode) == 255 and result.stdout == ON_EXIT
    assert server.requests == []


def test_no_server_listening_fails(capture):
    capture("upload-refused.png")
    result = upload(f"http://127.0.0.1:{closed_port()}/x", "upload-refused.png")
    assert exit_code(result.returncode) == 255 and result.stdout == ON_UPLOAD_FAILED


@pytest.mark.parametrize("url", [
    "ftp://127.0.0.1:{port}/x",
    "http://127.0.0.1:{port}/" + "p" * 1100,
    "http://127.0.0.1:70000/x",
    "http://u:p@:{port}/x",
])
def test_unusable_address_fails(capture, url):
    capture("upload-bad-address.png")
    result = upload(url.format(port=closed_port()), "upload-bad-address.png")
    assert exit_code(result.returncode) == 255 and result.stdout == ON_UPLOAD_FAILED


def test_value_holding_the_delimiter_is_not_sent(server, capture):
    capture("upload-delimiter.png")
    result = upload(server.url(), "upload-delimiter.png",
                    PostParams="a=x\r\n----MULTI-PARTS-FORM-DATA-BOUNDARY--\r\n&b=2")
    assert exit_code(result.returncode) == 255 and result.stdout == ON_UPLOAD_FAILED
    assert server.requests == []


def test_https_to_an_untrusted_certificate_fails(capture, tmp_path):
    capture("upload-tls.png")
    with UploadServer(tls_context=self_signed_context(tmp_path)) as tls:
        result = upload(tls.url("/secure", scheme="https"), "upload-tls.png")
        assert exit_code(result.returncode) == 255 and result.stdout == ON_UPLOAD_FAILED
        # The handshake may have begun; no request byte crossed it.
        assert all(r.raw == b"" for r in tls.requests)


def test_https_to_a_server_whose_authority_is_trusted(capture, tmp_path):
    # What a user needs: the server's certificate chain ends in an authority
    # of the machine's trusted root store, and names the host of the URL.
    path = capture("upload-tls.png").encode()
    context, authority = private_ca_context(tmp_path)
    trust = WIN_TESTS / "kvtrustcert.exe"
    assert run_wine([trust, "add", authority])[0] == 0
    try:
        with UploadServer(tls_context=context) as tls:
            tls.respond(b"secure ok")
            result = upload(tls.url("/secure?a=1", scheme="https"), "upload-tls.png")
            assert result.event == {"EventName": "OnUploadCompleted", "arg1": "secure ok"}
            req = one_request(tls)
            assert req.request_line == b"POST /secure?a=1 HTTP/1.0"
            assert req.body == file_part(b"UploadFile", path, b"png", PNG_BYTES) + CLOSING
    finally:
        run_wine([trust, "remove", authority])


# Every wait is bounded: each of these ends within about 40 seconds.

def test_connection_that_is_never_accepted_fails(capture):
    capture("upload-stall.png")
    with FullBacklog() as backlog:
        result = upload(f"http://127.0.0.1:{backlog.port}/x", "upload-stall.png")
    assert exit_code(result.returncode) == 255 and result.stdout == ON_UPLOAD_FAILED


def test_secure_handshake_that_never_answers_fails(capture):
    capture("upload-stall.png")
    with SilentListener() as silent:
        result = upload(f"https://127.0.0.1:{silent.port}/x", "upload-stall.png")
    assert exit_code(result.returncode) == 255 and result.stdout == ON_UPLOAD_FAILED


def test_server_that_never_answers_fails(server, capture):
    capture("upload-stall.png")
    server.mode = "never-answer"
    result = upload(server.url(), "upload-stall.png", timeout=180)
    assert exit_code(result.returncode) == 255 and result.stdout == ON_UPLOAD_FAILED
    assert server.requests[0].complete


def test_server_that_stops_reading_half_way_fails(server, capture):
    capture("upload-stall-big.png", bytes(range(256)) * 80000)  # 20 MB, beyond socket buffers
    server.mode, server.stop_after = "stop-reading", 1000000
    result = upload(server.url(), "upload-stall-big.png", timeout=180)
    assert exit_code(result.returncode) == 255 and result.stdout == ON_UPLOAD_FAILED
    assert not server.requests[0].complete


def test_answer_that_stalls_in_its_head_fails(server, capture):
    capture("upload-stall.png")
    server.answer = http_answer(b"x" * 100)
    server.mode, server.answer_part = "stall-answer", server.answer.index(b"\r\n\r\n") - 6
    result = upload(server.url(), "upload-stall.png", timeout=180)
    assert exit_code(result.returncode) == 255 and result.stdout == ON_UPLOAD_FAILED


def test_answer_cut_short_counts_as_far_as_it_came(server, capture):
    # The server stops half-way through the body and keeps the connection:
    # the time-out ends the transfer, and the bytes read before are the answer.
    capture("upload-stall.png")
    server.answer = http_answer("\ufeff\u622a\u56fe stored, then silence".encode() + b"x" * 100)
    server.mode, server.answer_part = "stall-answer", server.answer.index(b"x" * 100)
    result = upload(server.url(), "upload-stall.png", timeout=180)
    assert exit_code(result.returncode) == 0
    assert result.event == {"EventName": "OnUploadCompleted",
                            "arg1": "\u622a\u56fe stored, then silence"}


def test_answer_that_trickles_arrives_whole(server, capture):
    # 100 bytes every 10 s: longer in all than a time-out without progress,
    # but the answer keeps moving.
    capture("upload-trickle.png")
    body = b"".join(b"%03d " % i for i in range(125))  # 500 bytes, over 40 s
    server.answer = http_answer(body)
    server.mode = "trickle"
    result = upload(server.url(), "upload-trickle.png", timeout=180)
    assert exit_code(result.returncode) == 0
    assert result.event == {"EventName": "OnUploadCompleted", "arg1": body.decode()}


def test_capture_rect_then_upload_delivers_that_png(server, capture_folder):
    import base64
    import io

    from PIL import Image
    win_folder, folder = capture_folder
    (folder / "upload-roundtrip.png").unlink(missing_ok=True)
    captured = run_host({"Command": "CaptureRect", "FileName": "upload-roundtrip.png",
                         "CaptureLeft": 10, "CaptureTop": 20, "CaptureWidth": 64,
                         "CaptureHeight": 48})
    assert exit_code(captured.returncode) == 0
    assert captured.event["arg1"] == win_folder + "upload-roundtrip.png"
    png = base64.b64decode(captured.event["arg2"])
    assert png == (folder / "upload-roundtrip.png").read_bytes()

    server.respond(b'{"saved":"upload-roundtrip.png"}')
    result = upload(server.url("/store"), "upload-roundtrip.png", PostParams="album=1")
    assert exit_code(result.returncode) == 0
    assert result.event == {"EventName": "OnUploadCompleted",
                            "arg1": '{"saved":"upload-roundtrip.png"}'}
    body = one_request(server).body
    assert body == (text_part(b"album", b"1")
                    + file_part(b"UploadFile", (win_folder + "upload-roundtrip.png").encode(),
                                b"png", png) + CLOSING)
    with Image.open(io.BytesIO(png)) as image:
        assert image.format == "PNG" and image.size == (64, 48)


def test_a_temporary_folder_outside_the_code_page(server, capture_folder):
    """A user whose profile (and with it the temporary folder) is named in
    Chinese on a Western system (code page 1252): capture, ReadCapture and
    upload all reach the file."""
    import base64

    from kvharness import HOST_EXE, HostResult, unix_path
    temp = capture_folder[0].rstrip("\\").rsplit("\\", 1)[0] + "\\截图 用户"
    unix_path(capture_folder[0]).parent.joinpath("截图 用户").mkdir(exist_ok=True)
    host = "Z:" + str(HOST_EXE).replace("/", "\\")

    def run_with_temp(request):
        # Wine takes TEMP and TMP from the session's registry, not from the
        # Linux environment: the command interpreter sets them.
        rc, out, err = run_wine(["cmd", "/c", f"set TMP={temp}&& set TEMP={temp}&& {host}"],
                                input=frame(request), timeout=120,
                                env={"no_proxy": "127.0.0.1,localhost"})
        return HostResult(rc, out, err)

    name = "wide-temp.png"
    captured = run_with_temp({"Command": "CaptureRect", "FileName": name, "CaptureLeft": 0,
                              "CaptureTop": 0, "CaptureWidth": 32, "CaptureHeight": 24})
    assert captured.event["arg1"] == temp + "\\KvCapture\\" + name
    png = base64.b64decode(captured.event["arg2"])
    assert png.startswith(b"\x89PNG")
    piece = run_with_temp({"Command": "ReadCapture", "FileName": name})
    assert piece.event["EventName"] == "OnCaptureData"
    assert base64.b64decode(piece.event["arg2"]) == png
    server.respond(b"stored")
    result = run_with_temp({"Command": "Upload", "PostUrl": server.url(), "FileName": name})
    assert result.event == {"EventName": "OnUploadCompleted", "arg1": "stored"}
    assert one_request(server).body == file_part(b"UploadFile", name.encode(), b"png",
                                                 png) + CLOSING
