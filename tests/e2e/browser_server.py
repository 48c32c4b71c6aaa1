"""A local HTTP server for the browser tests and the demo: takes uploads of
the capture and answers them, and serves the pages given to it.

Listens on 127.0.0.1 only, on a free port, in a background thread. Every POST
is kept (path, headers, body); the answer is a fixed body or one computed
from the request.
"""
import threading
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

MAX_BODY = 64 << 20


def multipart_fields(content_type, body):
    """[(name, filename or None, headers text, value bytes)] of a
    multipart/form-data body."""
    boundary = content_type.split("boundary=", 1)[1].strip().strip('"').encode()
    delimiter = b"--" + boundary
    fields = []
    for part in body.split(delimiter)[1:]:
        if part.startswith(b"--"):
            break
        head, _, value = part.partition(b"\r\n\r\n")
        if value.endswith(b"\r\n"):
            value = value[:-2]
        headers = head.decode("utf-8", "replace").strip()
        name = filename = None
        for line in headers.splitlines():
            if line.lower().startswith("content-disposition:"):
                for item in line.split(";")[1:]:
                    key, _, val = item.strip().partition("=")
                    if key == "name":
                        name = val.strip('"')
                    elif key == "filename":
                        filename = val.strip('"')
        fields.append((name, filename, headers, value))
    return fields


class Upload:
    def __init__(self, path, headers, body):
        self.path, self.headers, self.body = path, headers, body

    def fields(self):
        return multipart_fields(self.headers.get("Content-Type", ""), self.body)


class UploadServer:
    """answer: bytes, or a function of the Upload giving bytes; pages: {path
    without query: (content type, bytes)} answered to GET."""

    def __init__(self, answer=b"stored", pages=None):
        self.answer = answer
        self.uploads = []
        self.pages = dict(pages or {})
        server = self

        class Handler(BaseHTTPRequestHandler):
            def do_GET(self):
                page = server.pages.get(self.path.split("?")[0])
                if page is None:
                    self.send_error(404)
                    return
                self.send_response(200)
                self.send_header("Content-Type", page[0])
                self.send_header("Content-Length", str(len(page[1])))
                self.end_headers()
                self.wfile.write(page[1])

            def do_POST(self):
                size = int(self.headers.get("Content-Length") or 0)
                body = self.rfile.read(min(size, MAX_BODY))
                upload = Upload(self.path, dict(self.headers), body)
                server.uploads.append(upload)
                answer = server.answer(upload) if callable(server.answer) else server.answer
                self.send_response(200)
                self.send_header("Content-Type", "text/plain; charset=utf-8")
                self.send_header("Content-Length", str(len(answer)))
                self.end_headers()
                self.wfile.write(answer)

            def log_message(self, *args):
                pass

        self.httpd = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.httpd.daemon_threads = True
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)
        self.thread.start()

    def url(self, path="/upload"):
        return f"http://127.0.0.1:{self.httpd.server_address[1]}{path}"

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
