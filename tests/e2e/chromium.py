"""Debian's chromium with our extension, driven through the DevTools protocol.

The browser runs headless with its own profile folder. Its native-messaging
host manifest there points at a small launcher that runs the Windows host
under Wine, so every request of the extension goes through the browser's own
native-messaging code to the real program.
"""
import base64
import json
import os
import shutil
import signal
import subprocess
import sys
import time
import urllib.parse
from pathlib import Path

import websocket

from kvharness import BUILD, HOST_EXE, REPO, WINE_RUN, wine_env

sys.path.insert(0, str(REPO / "packaging"))
from host_manifest import HOST_NAME, extension_id_of_manifest, write_host_manifest  # noqa: E402

CHROMIUM = shutil.which("chromium") or "/usr/bin/chromium"
CHROMIUM_DIR = "/usr/lib/chromium/"  # where Debian's wrapper finds the browser
EXTENSION = BUILD / "win64" / "extension"
FAKE_HOST = Path(__file__).resolve().parent / "fake_host.py"


def extension_id():
    return extension_id_of_manifest(EXTENSION / "manifest.json")


def write_launcher(path, command, env):
    """A shell script that runs `command` (a list) with `env` set; the
    browser's arguments (the extension's origin) are passed on."""
    lines = ["#!/bin/sh"]
    for key, value in sorted(env.items()):
        lines.append(f"export {key}={shell_quote(str(value))}")
    lines.append("exec " + " ".join(shell_quote(str(c)) for c in command) + ' "$@"')
    path.write_text("\n".join(lines) + "\n")
    path.chmod(0o755)


def shell_quote(text):
    return "'" + text.replace("'", "'\\''") + "'"


class CdpError(RuntimeError):
    pass


class Cdp:
    """One DevTools connection to the browser; pages are reached through
    flat sessions on it."""

    def __init__(self, url, timeout=60):
        self.ws = websocket.create_connection(url, timeout=timeout, suppress_origin=True)
        self.next_id = 0

    def call(self, method, params=None, session=None, timeout=60):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        self.ws.send(json.dumps(message))
        end = time.time() + timeout
        while True:
            self.ws.settimeout(max(0.1, end - time.time()))
            try:
                reply = json.loads(self.ws.recv())
            except websocket.WebSocketTimeoutException:
                raise CdpError(f"{method}: no answer within {timeout} s") from None
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    raise CdpError(f"{method}: {reply['error']}")
                return reply.get("result", {})

    def close(self):
        self.ws.close()


class Page:
    def __init__(self, cdp, target_id, session):
        self.cdp, self.target_id, self.session = cdp, target_id, session

    def evaluate(self, expression, timeout=60):
        """Value of a JavaScript expression (promises are awaited)."""
        result = self.cdp.call("Runtime.evaluate", {
            "expression": expression, "awaitPromise": True, "returnByValue": True,
        }, session=self.session, timeout=timeout)
        if "exceptionDetails" in result:
            details = result["exceptionDetails"]
            text = details.get("exception", {}).get("description") or details.get("text")
            raise CdpError(f"{expression[:80]}: {text}")
        return result["result"].get("value")

    def wait_for(self, expression, timeout=60, interval=0.2):
        """Polls until the expression gives a true value; returns it."""
        end = time.time() + timeout
        while True:
            value = self.evaluate(expression)
            if value:
                return value
            if time.time() > end:
                raise AssertionError(f"not true within {timeout} s: {expression}")
            time.sleep(interval)

    def screenshot(self, path):
        """Saves what the page shows as a PNG file."""
        data = self.cdp.call("Page.captureScreenshot", {"format": "png"}, session=self.session)
        Path(path).write_bytes(base64.b64decode(data["data"]))

    def close(self):
        self.cdp.call("Target.closeTarget", {"targetId": self.target_id})


class Browser:
    """chromium with the extension loaded and the host registered in a
    private profile under `workdir`.

    host_env: extra environment of the host; language: the browser's UI language;
    headless False shows the browser's window on the display."""

    def __init__(self, workdir, language="en-US", host_env=None, host_exe=HOST_EXE,
                 extension=EXTENSION, headless=True):
        self.workdir = Path(workdir)
        self.profile = self.workdir / "profile"
        self.extension = Path(extension)
        self.id = extension_id_of_manifest(self.extension / "manifest.json")
        self.log_path = self.workdir / "chromium.log"
        self.hosts = self.profile / "NativeMessagingHosts"
        self.hosts.mkdir(parents=True, exist_ok=True)
        env = {k: v for k, v in wine_env().items()
               if k in ("KV_WINEPREFIX", "DISPLAY", "LANG", "LC_ALL", "LOCPATH")}
        env.update(host_env or {})
        self.launchers = {
            "real": self.workdir / "kvcapture-host.sh",
            "fake": self.workdir / "fake-host.sh",
        }
        # Wine programs start Wine's helpers (the desktop process explorer.exe
        # among them) as their children. The browser ends a host's whole
        # process group when it is done with it: in a session of their own
        # the helpers survive that, as they must for later Wine programs.
        write_launcher(self.launchers["real"], ["setsid", "-w", WINE_RUN, host_exe], env)
        self.fake_log = self.workdir / "fake-requests.log"
        self.fake_reply_path = self.workdir / "fake-reply.bin"
        self.fake_delay_path = self.workdir / "fake-delay.txt"
        self.fake_reply(b"")
        write_launcher(self.launchers["fake"], [FAKE_HOST],
                       {"KV_FAKE_LOG": self.fake_log, "KV_FAKE_REPLY": self.fake_reply_path,
                        "KV_FAKE_DELAY": self.fake_delay_path})
        self.use_host("real")

        browser_env = dict(os.environ)
        browser_env["LANGUAGE"] = language.replace("-", "_")
        self.log = open(self.log_path, "wb")
        mode = ["--headless=new"] if headless else []
        self.proc = subprocess.Popen([
            CHROMIUM, *mode, "--no-sandbox", "--disable-gpu", "--no-first-run",
            "--no-default-browser-check", "--disable-background-networking",
            "--disable-component-update", "--disable-sync", "--password-store=basic",
            f"--lang={language}", f"--user-data-dir={self.profile}",
            f"--load-extension={self.extension}",
            "--disable-features=DisableLoadExtensionCommandLineSwitch",
            "--remote-debugging-port=0", "about:blank",
        ], stdin=subprocess.DEVNULL, stdout=self.log, stderr=subprocess.STDOUT,
            env=browser_env, start_new_session=True)
        try:
            self.cdp = Cdp(self._devtools_url())
            self.wait_for_service_worker()
        except BaseException:
            self.close()
            raise

    def _devtools_url(self, timeout=60):
        port_file = self.profile / "DevToolsActivePort"
        end = time.time() + timeout
        while time.time() < end:
            if self.proc.poll() is not None:
                raise RuntimeError(f"chromium ended: {self.log_text()}")
            if port_file.exists():
                lines = port_file.read_text().split()
                if len(lines) >= 2:
                    return f"ws://127.0.0.1:{lines[0]}{lines[1]}"
            time.sleep(0.1)
        raise RuntimeError(f"chromium did not open DevTools: {self.log_text()}")

    def log_text(self):
        self.log.flush()
        return self.log_path.read_text(errors="replace")[-4000:]

    def wait_for_service_worker(self, timeout=60):
        url = f"chrome-extension://{self.id}/background.js"
        end = time.time() + timeout
        while time.time() < end:
            targets = self.cdp.call("Target.getTargets")["targetInfos"]
            if any(t["type"] == "service_worker" and t["url"] == url for t in targets):
                return
            time.sleep(0.2)
        raise RuntimeError(f"the extension's service worker did not start: {self.log_text()}")

    def use_host(self, kind):
        """Registers the real host ("real"), the stand-in ("fake") or none
        ("none"); the browser reads the host manifest on every request."""
        manifest = self.hosts / f"{HOST_NAME}.json"
        if kind == "none":
            manifest.unlink(missing_ok=True)
        else:
            write_host_manifest(manifest, self.id, self.launchers[kind])

    def fake_reply(self, body, delay=0):
        """What the stand-in host answers next (bytes, str or a dict), after
        `delay` seconds; any queued answers are dropped."""
        self.fake_delay_path.write_text(str(delay))
        shutil.rmtree(self._queue(), ignore_errors=True)
        self.fake_reply_path.write_bytes(_reply_bytes(body))

    def fake_replies(self, bodies):
        """Answers for the next requests, one each, in order; afterwards the
        stand-in answers what fake_reply last set."""
        queue = self._queue()
        queue.mkdir(exist_ok=True)
        for i, body in enumerate(bodies):
            (queue / f"{i:04d}").write_bytes(_reply_bytes(body))

    def _queue(self):
        return self.fake_reply_path.with_name(self.fake_reply_path.name + ".queue")

    def fake_requests(self):
        """The requests the stand-in host received, oldest first."""
        if not self.fake_log.exists():
            return []
        return [json.loads(line) for line in self.fake_log.read_bytes().splitlines()]

    def open(self, path):
        """A tab on one of the extension's pages ("popup.html", ...)."""
        return self.open_url(f"chrome-extension://{self.id}/{path}")

    def open_url(self, url, new_window=False):
        """A tab on `url` (in a window of its own: the tab in front there),
        once it has loaded."""
        target = self.cdp.call("Target.createTarget",
                               {"url": url, "newWindow": new_window})["targetId"]
        session = self.cdp.call("Target.attachToTarget",
                                {"targetId": target, "flatten": True})["sessionId"]
        page = Page(self.cdp, target, session)
        page.wait_for(f"location.href === {json.dumps(url)} && document.readyState === 'complete'")
        return page

    def _chromium_processes(self):
        """Processes of the browser left in its process group. Programs the
        browser started (the host, and Wine's own services that a host may
        have started) share the group but are not the browser's to end:
        killing Wine's desktop process would stall every later Wine program."""
        found = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                if (os.getpgid(int(entry)) == self.proc.pid and
                        os.readlink(f"/proc/{entry}/exe").startswith(CHROMIUM_DIR)):
                    found.append(int(entry))
            except OSError:
                pass
        return found

    def close(self):
        cdp = getattr(self, "cdp", None)
        if cdp:
            try:
                cdp.call("Browser.close", timeout=10)
            except Exception:
                pass
            cdp.close()
        try:
            self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            pass
        for pid in self._chromium_processes():
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        self.proc.wait()
        self.log.close()


def _reply_bytes(body):
    if isinstance(body, dict):
        body = json.dumps(body, ensure_ascii=False, separators=(",", ":"))
    if isinstance(body, str):
        body = body.encode("utf-8")
    return body


# JavaScript expression: the data: URL of the Blob in `blob` (a promise).
BLOB_AS_DATA_URL = """new Promise((resolve) => {
    const reader = new FileReader();
    reader.onload = () => resolve(reader.result);
    reader.readAsDataURL(blob);
})"""


def decode_data_url(url):
    """(mime type, bytes) of a base64 data: URL."""
    head, _, data = url.partition(",")
    assert head.startswith("data:") and head.endswith(";base64"), head
    return head[5:-7], base64.b64decode(urllib.parse.unquote(data), validate=True)
