"""A recording HTTP/HTTPS server on 127.0.0.1 for the upload tests.

It runs in a thread on a free port, records the raw bytes of every request
and answers as the test says: a fixed answer, no answer at all, or a stall
half-way through the request or the answer. Stalled connections stay open
until the server is closed.
"""
import socket
import ssl
import subprocess
import threading
import time


class Request:
    """One connection's request bytes as they arrived."""

    def __init__(self):
        self.raw = b""
        self.complete = False     # head and the announced body arrived
        self.tls_failed = False   # the client gave up during the handshake
        self.first_byte_at = None  # time.perf_counter() of the first byte
        self.last_byte_at = None   # and of the last byte read

    @property
    def head(self):
        return self.raw.split(b"\r\n\r\n", 1)[0]

    @property
    def body(self):
        return self.raw.split(b"\r\n\r\n", 1)[1]

    @property
    def request_line(self):
        return self.head.split(b"\r\n")[0]

    @property
    def headers(self):
        """Header lines after the request line, as sent."""
        return self.head.split(b"\r\n")[1:]

    def header(self, name):
        """Values of the header `name` (any case), in order."""
        key = name.lower().encode() + b":"
        return [line[len(key):].strip() for line in self.headers
                if line.lower().startswith(key)]


def http_answer(body, status=200, reason="OK", headers=(), content_length=True):
    """The bytes of an HTTP/1.0 answer."""
    lines = [f"HTTP/1.0 {status} {reason}".encode(), b"Content-Type: text/plain"]
    if content_length:
        lines.append(b"Content-Length: %d" % len(body))
    lines += [h.encode() if isinstance(h, str) else h for h in headers]
    return b"\r\n".join(lines) + b"\r\n\r\n" + body


class UploadServer:
    """Modes: "answer" (read the whole request, send `answer`, close),
    "never-answer" (read it all, send nothing), "stop-reading" (stop reading
    after `stop_after` body bytes), "stall-answer" (send the first
    `answer_part` bytes of the answer, then nothing), "trickle" (send the
    answer's head, then its body `trickle_bytes` at a time every
    `trickle_pause` seconds)."""

    def __init__(self, tls_context=None, backlog=8, keep_bodies=True):
        self.tls_context = tls_context
        self.keep_bodies = keep_bodies
        self.mode = "answer"
        self.answer = http_answer(b"ok")
        self.stop_after = 0
        self.answer_part = 0
        self.trickle_bytes, self.trickle_pause = 100, 10.0
        self.requests = []
        self.bytes_received = 0
        self._closing = threading.Event()
        self._lock = threading.Lock()
        self._arrived = threading.Condition(self._lock)
        self._conns = []
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(backlog)
        self.port = self.sock.getsockname()[1]
        self._thread = threading.Thread(target=self._accept_loop, daemon=True)
        self._thread.start()

    def url(self, path="/upload", scheme="http"):
        return f"{scheme}://127.0.0.1:{self.port}{path}"

    def respond(self, body, **kwargs):
        self.mode = "answer"
        self.answer = http_answer(body, **kwargs)

    def wait_for_requests(self, count=1, timeout=30):
        """The requests once `count` have finished arriving (or the time is up)."""
        end = time.time() + timeout
        with self._arrived:
            while sum(r.complete for r in self.requests) < count and time.time() < end:
                self._arrived.wait(0.1)
            return list(self.requests)

    def close(self):
        self._closing.set()
        try:
            self.sock.shutdown(socket.SHUT_RDWR)  # wakes the blocked accept
        except OSError:
            pass
        self.sock.close()
        with self._lock:
            for conn in self._conns:
                try:
                    conn.close()
                except OSError:
                    pass
        self._thread.join(5)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def _accept_loop(self):
        while not self._closing.is_set():
            try:
                conn, _ = self.sock.accept()
            except OSError:
                return
            with self._lock:
                self._conns.append(conn)
            threading.Thread(target=self._serve, args=(conn,), daemon=True).start()

    def _serve(self, conn):
        request = Request()
        with self._lock:
            self.requests.append(request)
        try:
            conn.settimeout(120)
            if self.tls_context is not None:
                try:
                    conn = self.tls_context.wrap_socket(conn, server_side=True)
                except (ssl.SSLError, OSError):
                    request.tls_failed = True
                    return
                with self._lock:
                    self._conns.append(conn)
            self._read_request(conn, request)
            with self._arrived:
                request.complete = True
                self._arrived.notify_all()
            if self.mode == "answer":
                conn.sendall(self.answer)
            elif self.mode == "stall-answer":
                conn.sendall(self.answer[: self.answer_part])
            elif self.mode == "trickle":
                self._trickle(conn)
            if self.mode != "answer":
                self._closing.wait()
        except OSError:
            pass
        finally:
            with self._arrived:
                self._arrived.notify_all()
            try:
                conn.close()
            except OSError:
                pass

    def _trickle(self, conn):
        head = self.answer.index(b"\r\n\r\n") + 4
        conn.sendall(self.answer[:head])
        for pos in range(head, len(self.answer), self.trickle_bytes):
            if pos > head and self._closing.wait(self.trickle_pause):
                return
            conn.sendall(self.answer[pos : pos + self.trickle_bytes])

    def _read_request(self, conn, request):
        data = b""
        while b"\r\n\r\n" not in data:
            chunk = conn.recv(65536)
            if not chunk:
                request.raw = data
                return
            if request.first_byte_at is None:
                request.first_byte_at = time.perf_counter()
            data += chunk
        request.raw = data
        length = 0
        for line in request.head.split(b"\r\n")[1:]:
            name, _, value = line.partition(b":")
            if name.strip().lower() == b"content-length":
                length = int(value.strip())
        have = len(data) - len(request.head) - 4
        limit = self.stop_after if self.mode == "stop-reading" else length
        parts = [data]
        self.bytes_received += len(data)
        while have < min(length, limit):
            chunk = conn.recv(min(1 << 20, limit - have))
            if not chunk:
                break
            have += len(chunk)
            self.bytes_received += len(chunk)
            if self.keep_bodies:
                parts.append(chunk)
        request.raw = b"".join(parts)
        request.last_byte_at = time.perf_counter()
        if self.mode == "stop-reading":
            self._closing.wait()


def _openssl(*args):
    subprocess.run(["openssl"] + [str(a) for a in args], check=True, capture_output=True)


def _server_context(cert, key):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(str(cert), str(key))
    return context


# The name 127.0.0.1 both as a DNS name (what Wine matches) and as an address.
SERVER_NAMES = "subjectAltName=DNS:127.0.0.1,IP:127.0.0.1"


def self_signed_context(directory):
    """A server TLS context with a fresh self-signed certificate for
    127.0.0.1 that nobody trusts; files go to `directory`."""
    key, cert = directory / "key.pem", directory / "cert.pem"
    _openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
             "-subj", "/CN=127.0.0.1", "-addext", SERVER_NAMES, "-days", "2")
    return _server_context(cert, key)


def private_ca_context(directory):
    """A server TLS context whose certificate for 127.0.0.1 is issued by a
    fresh private certificate authority; returns (context, path of the
    authority's certificate in DER form, to be made trusted)."""
    d = directory
    _openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", d / "ca.key",
             "-out", d / "ca.pem", "-subj", "/CN=KvCapture Test CA", "-days", "2")
    _openssl("x509", "-in", d / "ca.pem", "-outform", "der", "-out", d / "ca.der")
    _openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", d / "server.key",
             "-out", d / "server.csr", "-subj", "/CN=127.0.0.1")
    (d / "server.ext").write_text(SERVER_NAMES + "\nextendedKeyUsage=serverAuth\n"
                                  "basicConstraints=CA:FALSE\n")
    _openssl("x509", "-req", "-in", d / "server.csr", "-CA", d / "ca.pem", "-CAkey", d / "ca.key",
             "-CAcreateserial", "-out", d / "server.pem", "-days", "2",
             "-extfile", d / "server.ext")
    return _server_context(d / "server.pem", d / "server.key"), d / "ca.der"


def closed_port():
    """A port on 127.0.0.1 where nothing listens (connections are refused)."""
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


class FullBacklog:
    """A listening port whose accept queue is full and never drained: a
    client's connection attempt gets no answer at all."""

    def __init__(self):
        self.sock = socket.socket()
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(0)
        self.port = self.sock.getsockname()[1]
        self.fillers = []
        for _ in range(3):
            c = socket.socket()
            c.setblocking(False)
            try:
                c.connect(("127.0.0.1", self.port))
            except BlockingIOError:
                pass
            self.fillers.append(c)
        time.sleep(0.3)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        for c in self.fillers + [self.sock]:
            c.close()


class SilentListener:
    """Accepts connections and never sends or reads a byte (a TLS client
    waits for the server's half of the handshake for ever)."""

    def __init__(self):
        self.sock = socket.socket()
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(8)
        self.port = self.sock.getsockname()[1]

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.sock.close()
