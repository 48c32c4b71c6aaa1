"""KvCaptureExt.exe /check against a release folder (the win64 programs in
place of the 32-bit ones, which cannot run here) after the registration
script: everything holds, and each item broken once turns its own line red
with a non-zero exit code."""
import json
import shutil

import pytest

import chromium  # noqa: F401  (makes packaging/ importable)
from host_manifest import HOST_NAME
from kvharness import BUILD, PROBE_EXE, run_wine

WIN32 = BUILD / "win32"
WIN64 = BUILD / "win64"
USER_KEYS = [f"HKCU\\Software\\Google\\Chrome\\NativeMessagingHosts\\{HOST_NAME}",
             f"HKCU\\Software\\Chromium\\NativeMessagingHosts\\{HOST_NAME}"]
MACHINE_KEY = f"HKLM\\Software\\Google\\Chrome\\NativeMessagingHosts\\{HOST_NAME}"
USER_POLICY = "HKCU\\Software\\Policies\\Google\\Chrome"


@pytest.fixture
def release(tmp_path):
    folder = tmp_path / "Kv Capture & co"
    shutil.copytree(WIN32 / "release" / "KvCapture", folder)
    for name in ("KvCaptureExt.exe", "KvCaptureCrxInstall.exe"):
        shutil.copy(WIN64 / name, folder / name)
    rc, out, _ = run_wine(["cmd.exe", "/c", "register-host.cmd"], cwd=folder)
    assert rc == 0, out
    yield folder
    for key in USER_KEYS + [MACHINE_KEY]:
        run_wine(["reg.exe", "delete", key, "/f"])
    run_wine(["reg.exe", "delete", USER_POLICY, "/v", "NativeMessagingUserLevelHosts", "/f"])


def self_check(folder, language="en"):
    """Exit code and the printed lines."""
    rc, out, _ = run_wine([folder / "KvCaptureExt.exe", "/check", language], timeout=90)
    return rc, out.decode("utf-8").splitlines()


def line_with(lines, text):
    found = [line for line in lines if text in line]
    assert found, (text, lines)
    return found[0]


def test_everything_holds_after_the_registration(release):
    rc, lines = self_check(release)
    assert rc == 0, lines
    assert not [line for line in lines if line.startswith("[FAIL]")], lines
    assert line_with(lines, "Google Chrome, this user: registered").startswith("[ OK ]")
    assert line_with(lines, "Chromium, this user: registered").startswith("[ OK ]")
    assert line_with(lines, "Microsoft Edge, this user: not registered").startswith("[ -- ]")
    for text in ("started and answered a request", "is writable", "lies beside the install",
                 'is there for "Load unpacked"'):
        assert line_with(lines, text).startswith("[ OK ]")
    assert lines[-1] == "Everything holds."


def test_texts_follow_the_language(release):
    rc, lines = self_check(release, "tw")
    assert rc == 0
    assert "Google Chrome（目前使用者）：已註冊" in "\n".join(lines)
    assert lines[-1] == "全部正常。"


def test_a_machine_registration_counts(release):
    run_wine(["cmd.exe", "/c", "unregister-host.cmd"], cwd=release)
    manifest = run_wine(["winepath.exe", "-w", str(release / f"{HOST_NAME}.json")])[1].decode().strip()
    rc, out, _ = run_wine(["reg.exe", "add", MACHINE_KEY, "/ve", "/d", manifest, "/f"])
    if rc != 0:
        pytest.skip(f"Wine refused to write HKLM: {out!r}")
    # A policy against hosts of one user matters no more.
    run_wine(["reg.exe", "add", USER_POLICY, "/v", "NativeMessagingUserLevelHosts", "/t",
              "REG_DWORD", "/d", "0", "/f"])
    rc, lines = self_check(release)
    assert rc == 0, lines
    assert line_with(lines, "Google Chrome, all users: registered").startswith("[ OK ]")
    assert line_with(lines, "Google Chrome, this user: not registered").startswith("[ -- ]")
    assert line_with(lines, "Google Chrome: the policy").startswith("[ -- ]")


def edit_manifest(**changes):
    def edit(folder, _):
        path = folder / f"{HOST_NAME}.json"
        manifest = json.loads(path.read_text())
        manifest.update(changes)
        path.write_text(json.dumps(manifest))
    return edit


def silent_host(folder, _):
    shutil.copy(PROBE_EXE, folder / "probe.exe")  # answers nothing
    edit_manifest(path="probe.exe")(folder, None)


def capture_folder_blocked(folder, capture_folder):
    """A file where the capture folder belongs (root ignores permissions)."""
    _, unix = capture_folder
    if unix.exists():
        unix.rename(unix.with_name("KvCapture.kept"))
    unix.write_bytes(b"not a folder")


def unblock(capture_folder):
    _, unix = capture_folder
    if unix.is_file():
        unix.unlink()
    kept = unix.with_name("KvCapture.kept")
    if kept.exists():
        kept.rename(unix)


BREAKS = {
    "unregistered": (lambda f, _: run_wine(["cmd.exe", "/c", "unregister-host.cmd"], cwd=f),
                     "No browser has the capture program registered."),
    "manifest gone": (lambda f, _: (f / f"{HOST_NAME}.json").unlink(),
                      "Google Chrome, this user: the manifest file"),
    "not json": (lambda f, _: (f / f"{HOST_NAME}.json").write_text("{\"name\": "),
                 "is not valid JSON"),
    "name": (edit_manifest(name="com.other.host"), 'has the name "com.other.host"'),
    "program gone": (edit_manifest(path="Missing.exe"), "Missing.exe named by the manifest"),
    "type": (edit_manifest(type="pipe"), 'does not say "type": "stdio"'),
    "origin": (edit_manifest(allowed_origins=["chrome-extension://aaaa/"]),
               "does not allow the extension chrome-extension://"),
    "user-level hosts forbidden": (
        lambda f, _: run_wine(["reg.exe", "add", USER_POLICY, "/v", "NativeMessagingUserLevelHosts",
                               "/t", "REG_DWORD", "/d", "0", "/f"]),
        "Google Chrome: the policy NativeMessagingUserLevelHosts (HKCU\\Software\\Policies\\"
        "Google\\Chrome) forbids"),
    "silent host": (silent_host, "probe.exe ended without an answer"),
    "capture folder": (capture_folder_blocked, "cannot be written to"),
    "package": (lambda f, _: (f / "KvCapture.crx").write_bytes(b"PK\x03\x04"),
                "KvCapture.crx is missing or damaged"),
    "unpacked": (lambda f, _: shutil.rmtree(f / "extension"), "extension is missing"),
}


@pytest.mark.parametrize("item", list(BREAKS))
def test_each_broken_item_turns_its_line_red(release, capture_folder, item):
    breaker, text = BREAKS[item]
    try:
        breaker(release, capture_folder)
        rc, lines = self_check(release)
    finally:
        unblock(capture_folder)
    assert rc == 1, lines
    line = line_with(lines, text)
    assert line.startswith("[FAIL]"), lines
    fix = lines[lines.index(line) + 1]
    assert fix.strip().startswith("Fix: "), lines
    assert lines[-1].startswith("Problems found: ")
