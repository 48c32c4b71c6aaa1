"""The per-user installer package: its tables (msiinfo), its signing, and its
life under Wine in a fresh prefix: the deliverable's package is installed,
then (this Wine runs no 32-bit code) the same package around the win64
programs one version higher, on which the self-check and a capture run; a
downgrade, then the uninstall. The tests build on each other, in order. In
the 32-bit runtime of tools/test-win32 one test does the same with the
deliverable itself. Wine reports some msiexec failures as success: every
step is judged by its effects."""
import json
import os
import shutil
import subprocess
from pathlib import Path

import pytest

import chromium  # noqa: F401  (makes packaging/ importable)
import make_msi
import sign
from host_manifest import HOST_NAME, extension_id_of_manifest
from kvharness import BUILD, REPO, TARGET, WIN64, exit_code, frame, parse_frames, run_wine
from screens import decode_arg2

RELEASE = BUILD / "win32" / "release" / "KvCapture"
# The system's Wine gets a fresh prefix; the 32-bit runtime keeps its own.
PREFIX = (BUILD / "wineprefix-msi" if TARGET == "win64"
          else Path(os.environ.get("KV_WINEPREFIX", BUILD / "wineprefix")))
WORK = BUILD / "msi-test"
VERSION = json.loads((REPO / "extension" / "manifest.json").read_text())["version"]
USER_KEYS = [rf"HKCU\{parent}\{HOST_NAME}" for parent in make_msi.BROWSER_KEYS.values()]
FOREIGN_KEY = r"HKCU\Software\Google\Chrome\NativeMessagingHosts\com.example.other"
FOREIGN_VALUE = r"C:\Other\com.example.other.json"
ZIP_MANIFEST = rf"C:\KvCapture\{HOST_NAME}.json"

pytestmark = pytest.mark.skipif(not shutil.which("wixl") or not shutil.which("msiinfo"),
                                reason="wixl and msiinfo (tools/packages.txt) are not installed")
WIN64_ONLY = pytest.mark.skipif(TARGET != "win64", reason="a test of the system's Wine")


def higher(version):
    major, minor, build = make_msi.msi_version(version).split(".")
    return f"{major}.{minor}.{int(build) + 1}"


def installed_files():
    return sorted(p.relative_to(RELEASE).as_posix() for p in RELEASE.rglob("*")
                  if p.is_file() and p.name not in make_msi.ZIP_ONLY)


@pytest.fixture(scope="module")
def packages():
    """The deliverable's package at the project's version, and the same
    package around the win64 programs one version higher."""
    shutil.rmtree(WORK, ignore_errors=True)
    WORK.mkdir(parents=True)
    deliverable = WORK / f"KvCapture-{VERSION}.msi"
    make_msi.build(RELEASE, deliverable)
    runnable_release = WORK / "KvCapture"
    shutil.copytree(RELEASE, runnable_release)
    for program in (make_msi.HOST_PROGRAM, make_msi.ASSISTANT):
        shutil.copy(WIN64 / program, runnable_release / program)
    runnable = WORK / f"KvCapture-{higher(VERSION)}-win64.msi"
    make_msi.build(runnable_release, runnable, version=higher(VERSION))
    return deliverable, runnable


def table(msi, name):
    """The rows of a table as dicts (msiinfo export: names, types, key, rows)."""
    lines = subprocess.run(["msiinfo", "export", str(msi), name], check=True,
                           capture_output=True, text=True).stdout.splitlines()
    columns = lines[0].split("\t")
    return [dict(zip(columns, line.split("\t"))) for line in lines[3:] if line]


# ---------------------------------------------------------------- the tables

def test_the_tables_describe_a_per_user_package(packages):
    msi = packages[0]
    properties = {r["Property"]: r["Value"] for r in table(msi, "Property")}
    assert properties["ProductVersion"] == make_msi.msi_version(VERSION)
    assert properties["UpgradeCode"] == "{" + make_msi.UPGRADE_CODE + "}"
    assert "ALLUSERS" not in properties and "MSIINSTALLPERUSER" not in properties
    summary = subprocess.run(["msiinfo", "suminfo", str(msi)], check=True, capture_output=True,
                             text=True).stdout
    word_count = int(next(line for line in summary.splitlines()
                          if line.startswith("Source:")).split()[1])
    assert word_count & 8, "the package asks for administrator rights"
    assert "Template: Intel;" in summary

    registry = table(msi, "Registry")
    assert {r["Root"] for r in registry} == {"1"}, "a row outside HKCU"
    registrations = {r["Key"]: r["Value"] for r in registry if r["Key"].endswith(HOST_NAME)}
    assert sorted(registrations) == sorted(k.split("\\", 1)[1] for k in USER_KEYS)
    assert set(registrations.values()) == {f"[INSTALLDIR]{HOST_NAME}.json"}
    # INSTALLDIR, and with it the manifest's path, is absolute: it lies in
    # the user's local application data.
    parent = {r["Directory"]: (r["Directory_Parent"], r["DefaultDir"])
              for r in table(msi, "Directory")}
    assert parent["INSTALLDIR"] == ("UserProgramsFolder", "KvCapture")
    assert parent["UserProgramsFolder"] == ("LocalAppDataFolder", "Programs")

    assert sorted(r["FileName"] for r in table(msi, "File")) == \
        sorted(Path(f).name for f in installed_files())
    shortcuts = {r["Name"]: r for r in table(msi, "Shortcut")}
    assert set(shortcuts) == {make_msi.SHORTCUT_ASSISTANT, make_msi.SHORTCUT_CHECK}
    assert all(r["Icon_"] for r in shortcuts.values())
    assert [(r["Condition"], r["Description"]) for r in table(msi, "LaunchCondition")] == \
        [("NOT WIX_DOWNGRADE_DETECTED", make_msi.DOWNGRADE_MESSAGE)]
    with pytest.raises(make_msi.PackageError):
        make_msi.msi_version("1.0.0.7")  # Windows Installer would not see the fourth field


def test_signing_with_a_certificate_and_without(packages, tmp_path):
    cert, key = tmp_path / "cert.pem", tmp_path / "key.pem"
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/CN=KvCapture test signer", "-keyout", str(key), "-out", str(cert)],
                   check=True, capture_output=True)
    files = [tmp_path / "KvCapture.msi", tmp_path / "KvCaptureExt.exe"]
    shutil.copy(packages[0], files[0])
    shutil.copy(RELEASE / "KvCaptureExt.exe", files[1])
    before = [f.read_bytes() for f in files]
    assert not sign.sign(files, env={})
    assert [f.read_bytes() for f in files] == before
    assert sign.sign(files, env={"KV_SIGN_CERT": str(cert), "KV_SIGN_KEY": str(key)})
    for f in files:
        verify = subprocess.run(["osslsigncode", "verify", "-CAfile", str(cert), "-in", str(f)],
                                capture_output=True, text=True)
        assert verify.returncode == 0 and "Succeeded" in verify.stdout, verify.stdout
    # The signed package still reads as one.
    assert table(files[0], "Property")


# ---------------------------------------------------------------- under Wine

def wine(*args, timeout=120):
    return run_wine(list(args), timeout=timeout, env={"KV_WINEPREFIX": str(PREFIX)})


def msiexec(*args):
    rc, out, err = wine("msiexec.exe", *args, "/qn")
    return exit_code(rc)


def reg_default(key):
    """The default value of a key under HKCU; None when the key is missing."""
    rc, out, _ = wine("reg.exe", "query", key, "/ve")
    if rc != 0:
        return None
    line = next((l for l in out.decode().splitlines() if "REG_SZ" in l), "")
    return line.split("REG_SZ", 1)[1].strip() if line else ""


def key_exists(key):
    return wine("reg.exe", "query", key)[0] == 0


def squished(code):
    """A product or upgrade code as Windows Installer names its keys."""
    c = code.strip("{}").replace("-", "")
    swap = "".join(c[i + 1] + c[i] for i in range(16, 32, 2))
    return c[7::-1] + c[11:7:-1] + c[15:11:-1] + swap


def installed_products():
    """The products installed under our upgrade code, as squished codes."""
    key = r"HKCU\Software\Microsoft\Installer\UpgradeCodes" + "\\" + squished(make_msi.UPGRADE_CODE)
    rc, out, _ = wine("reg.exe", "query", key)
    if rc != 0:
        return []
    return sorted(line.split()[0] for line in out.decode().splitlines()
                  if line.startswith("    ") and "REG_" in line)


def product(version):
    return squished(make_msi.product_code(make_msi.msi_version(version)))


def unix_path(win_path):
    rc, out, _ = wine("winepath.exe", "-u", win_path)
    assert rc == 0, win_path
    return Path(out.decode().strip())


def folders_of_prefix():
    local, roaming = (wine("cmd.exe", "/c", f"echo %{name}%")[1].decode().strip()
                      for name in ("LOCALAPPDATA", "APPDATA"))
    return {
        "install": unix_path(local + r"\Programs\KvCapture"),
        "install_win": local + r"\Programs\KvCapture",
        "menu": unix_path(roaming + r"\Microsoft\Windows\Start Menu\Programs\KvCapture"),
        "installer_data": unix_path(roaming + r"\Microsoft\Installer"),
    }


def stop_session():
    subprocess.run(["/usr/lib/wine/wineserver", "-k"], capture_output=True,
                   env={**os.environ, "WINEPREFIX": str(PREFIX)})


@pytest.fixture(scope="module")
def prefix(packages, display):
    """A fresh prefix with another program's host registered; its Wine
    session ends with the module."""
    stop_session()
    shutil.rmtree(PREFIX, ignore_errors=True)
    folders = folders_of_prefix()
    assert wine("reg.exe", "add", FOREIGN_KEY, "/ve", "/d", FOREIGN_VALUE, "/f")[0] == 0
    # A registration made from the zip, which the install replaces.
    assert wine("reg.exe", "add", USER_KEYS[0], "/ve", "/d", ZIP_MANIFEST, "/f")[0] == 0
    yield folders
    stop_session()


def assert_installed(folders, programs_from):
    install = folders["install"]
    for rel in installed_files():
        source = programs_from / rel if rel.endswith(".exe") else RELEASE / rel
        assert (install / rel).read_bytes() == source.read_bytes(), rel
    manifest = folders["install_win"] + "\\" + f"{HOST_NAME}.json"
    for key in USER_KEYS:
        assert reg_default(key) == manifest, key
    links = sorted(p.name for p in folders["menu"].iterdir())
    names = (make_msi.SHORTCUT_ASSISTANT, make_msi.SHORTCUT_CHECK)
    assert links == sorted(f"{n}.lnk" for n in names)
    check = (folders["menu"] / f"{make_msi.SHORTCUT_CHECK}.lnk").read_bytes()
    assert b"cmd.exe" in check and f'"{folders["install_win"]}\\KvCaptureExt.exe" /check'.encode(
        "utf-16-le") in check


@WIN64_ONLY
def test_install_puts_files_keys_and_shortcuts_in_place(packages, prefix):
    assert msiexec("/i", packages[0]) == 0
    assert installed_products() == [product(VERSION)]
    assert_installed(prefix, RELEASE)
    assert reg_default(FOREIGN_KEY) == FOREIGN_VALUE
    # The same version again is the same product, not a second one.
    msiexec("/i", packages[0])
    assert installed_products() == [product(VERSION)]


@WIN64_ONLY
def test_a_higher_version_replaces_the_installed_one(packages, prefix):
    assert msiexec("/i", packages[1]) == 0
    assert installed_products() == [product(higher(VERSION))]
    assert_installed(prefix, WIN64)


def assert_self_check_passes(folders):
    rc, out, _ = wine(folders["install_win"] + r"\KvCaptureExt.exe", "/check", "en")
    lines = out.decode("utf-8").splitlines()
    assert rc == 0, lines
    for browser in make_msi.BROWSER_KEYS:
        assert any(l.startswith(f"[ OK ] {browser}, this user: registered") for l in lines), lines
    assert lines[-1] == "Everything holds."


def assert_registered_manifest_starts_a_capture():
    """As the browser does it: the manifest from the registry, the program
    from the manifest, the extension's origin as its argument."""
    manifest_win = reg_default(USER_KEYS[0])
    manifest = json.loads(unix_path(manifest_win).read_text())
    program = manifest_win.rsplit("\\", 1)[0] + "\\" + manifest["path"]
    origin = "chrome-extension://{}/".format(
        extension_id_of_manifest(RELEASE / "extension" / "manifest.json"))
    assert manifest["allowed_origins"] == [origin]
    request = {"Command": "CaptureRect", "CaptureLeft": 0, "CaptureTop": 0, "CaptureWidth": 64,
               "CaptureHeight": 48, "FileName": "installed.png"}
    rc, out, _ = run_wine([program, origin, "--parent-window=0"], input=frame(request),
                          timeout=120, env={"KV_WINEPREFIX": str(PREFIX)})
    events = [json.loads(f) for f in parse_frames(out)]
    assert exit_code(rc) == 0 and [e["EventName"] for e in events] == ["OnCaptureCompleted"], events
    data = decode_arg2(events[0])
    assert data.startswith(b"\x89PNG") and unix_path(events[0]["arg1"]).read_bytes() == data


@WIN64_ONLY
def test_the_installed_host_checks_itself_and_captures(prefix):
    assert_self_check_passes(prefix)
    assert_registered_manifest_starts_a_capture()


@WIN64_ONLY
def test_a_lower_version_is_refused(packages, prefix):
    assert msiexec("/i", packages[0]) != 0
    assert installed_products() == [product(higher(VERSION))]
    assert_installed(prefix, WIN64)


@WIN64_ONLY
def test_uninstall_leaves_nothing_of_ours(packages, prefix):
    assert msiexec("/x", packages[1]) == 0
    assert installed_products() == []
    # The install folder, and Programs above it, which the install made.
    assert not prefix["install"].parent.exists()
    assert not prefix["menu"].exists()
    assert not list(prefix["installer_data"].glob("{*}")), "the shortcuts' icons stayed"
    products = r"HKCU\Software\Microsoft\Installer\Products" + "\\"
    for key in USER_KEYS + [r"HKCU\Software\KvCapture", products + product(higher(VERSION))]:
        assert not key_exists(key), key
    # Another program's host under the same parent stays, and so does the parent.
    assert reg_default(FOREIGN_KEY) == FOREIGN_VALUE


@pytest.mark.win32
@pytest.mark.skipif(TARGET != "win32", reason="needs the 32-bit runtime of tools/test-win32")
def test_the_installed_deliverable_checks_itself_and_captures(packages, display):
    """The 32-bit programs as the package installs them, in the runtime's
    own prefix (left as it was found)."""
    folders = folders_of_prefix()
    assert installed_products() == [], "a KvCapture package is installed already"
    try:
        assert msiexec("/i", packages[0]) == 0
        assert installed_products() == [product(VERSION)]
        assert_installed(folders, RELEASE)
        assert_self_check_passes(folders)
        assert_registered_manifest_starts_a_capture()
    finally:
        msiexec("/x", packages[0])
    assert installed_products() == [] and not folders["install"].exists()
    assert not any(key_exists(key) for key in USER_KEYS)
