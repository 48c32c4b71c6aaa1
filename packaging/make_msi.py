#!/usr/bin/env python3
"""The per-user Windows Installer package of a release folder.

usage: make_msi.py RELEASE_FOLDER OUTPUT.msi [--version VERSION] [--wxs FILE]

Installs, for the current user and without administrator rights, whatever
the release folder holds (but the zip's own registration scripts and text)
into %LOCALAPPDATA%\\Programs\\KvCapture, registers the host manifest there
with each Chromium browser under HKCU, and adds Start-menu entries for the
install assistant and the self-check. VERSION defaults to the extension's
version (the project's single version). The WiX source is built with
wixl (and kept as FILE when asked).
"""
import argparse
import json
import os
import re
import subprocess
import sys
import tempfile
import uuid
from pathlib import Path
from xml.sax.saxutils import quoteattr

sys.path.insert(0, str(Path(__file__).resolve().parent))
from exe_icon import icon_of  # noqa: E402
from host_manifest import HOST_NAME  # noqa: E402

PRODUCT = "KvCapture"
MANUFACTURER = "KvCapture"
# Never change: it ties every version together (upgrades find the older
# ones by it).
UPGRADE_CODE = "8C1D2B6E-4F0A-4B57-9D3E-6A2F71C04B19"
# Component codes and product codes are derived from names in this space,
# so that the same file or key keeps its code from version to version.
ID_SPACE = uuid.UUID("5E0B7C8A-93D4-4E1F-A6B2-0C5D8E7F9A31")

HOST_PROGRAM = "KvCaptureExt.exe"
ASSISTANT = "KvCaptureCrxInstall.exe"
HOST_MANIFEST = f"{HOST_NAME}.json"
# What the zip needs and the installer does itself.
ZIP_ONLY = {"register-host.cmd", "unregister-host.cmd", "INSTALL.txt"}
REQUIRED = [HOST_PROGRAM, ASSISTANT, HOST_MANIFEST, "KvCapture.crx", "extension/manifest.json"]

# Where each browser looks for a host registered for one user (below HKCU).
BROWSER_KEYS = {
    "Google Chrome": r"Software\Google\Chrome\NativeMessagingHosts",
    "Chromium": r"Software\Chromium\NativeMessagingHosts",
    "Microsoft Edge": r"Software\Microsoft\Edge\NativeMessagingHosts",
    "Brave": r"Software\BraveSoftware\Brave-Browser\NativeMessagingHosts",
    "Vivaldi": r"Software\Vivaldi\NativeMessagingHosts",
}
# The installer's own values: the keys of the components that have no file.
OWN_KEY = r"Software\KvCapture"

SHORTCUT_ASSISTANT = "KvCapture install assistant"
SHORTCUT_CHECK = "KvCapture self-check"
# cmd strips the outer quotes and runs the quoted program with /check.
CHECK_ARGUMENTS = '/k ""[#HostProgram]" /check"'
DOWNGRADE_MESSAGE = ("A newer version of KvCapture is already installed. To go back to this "
                     "version, uninstall the newer one first (Settings, Installed apps).")


class PackageError(Exception):
    pass


def msi_version(version):
    """The version as Windows Installer compares it: three fields (major and
    minor up to 255, build up to 65535); a fourth field would be ignored in
    the comparison, so it is refused."""
    fields = version.split(".")
    if not 1 <= len(fields) <= 3 or not all(re.fullmatch(r"\d+", f) for f in fields):
        raise PackageError(f"version {version!r}: the installer needs one to three numbers "
                           "(Windows Installer compares only the first three)")
    numbers = [int(f) for f in fields] + [0] * (3 - len(fields))
    if numbers[0] > 255 or numbers[1] > 255 or numbers[2] > 65535:
        raise PackageError(f"version {version!r}: Windows Installer allows 255.255.65535 at most")
    return ".".join(str(n) for n in numbers)


def guid(name):
    return str(uuid.uuid5(ID_SPACE, name)).upper()


def product_code(version):
    """One product code per version: installing the same version again is a
    repair of it, never a second entry in the installed programs."""
    return guid(f"product {version}")


def ident(prefix, name):
    """A WiX identifier (72 characters at most) for a path."""
    clean = re.sub(r"[^A-Za-z0-9_.]", "_", name)
    return f"{prefix}_{clean[:40]}_{uuid.uuid5(ID_SPACE, name).hex[:12]}"


def release_files(release):
    files = sorted(p.relative_to(release).as_posix() for p in release.rglob("*") if p.is_file())
    files = [f for f in files if f not in ZIP_ONLY]
    missing = [r for r in REQUIRED if r not in files]
    if missing:
        raise PackageError(f"{release} lacks {', '.join(missing)}")
    return files


class Wxs:
    def __init__(self):
        self.lines = []

    def add(self, depth, text):
        self.lines.append("  " * depth + text)

    def text(self):
        return "\n".join(self.lines) + "\n"


def a(**attributes):
    return " ".join(f"{k}={quoteattr(str(v))}" for k, v in attributes.items())


def file_id(rel):
    return {HOST_PROGRAM: "HostProgram", ASSISTANT: "Assistant",
            HOST_MANIFEST: "HostManifest"}.get(rel) or ident("f", rel)


def wxs_source(release, version, icons, wxs_folder):
    def source_path(path):
        # wixl takes a source relative to the folder of the WiX file.
        return os.path.relpath(path, wxs_folder)

    files = release_files(release)
    folders = sorted({str(Path(f).parent.as_posix()) for f in files} - {"."})
    # Every folder below the install folder, parents first.
    all_folders = sorted({"/".join(f.split("/")[:i + 1]) for f in folders
                          for i in range(len(f.split("/")))}, key=lambda f: (f.count("/"), f))
    components = []
    w = Wxs()
    w.add(0, '<?xml version="1.0" encoding="utf-8"?>')
    w.add(0, '<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">')
    w.add(1, f"<Product {a(Id=product_code(version), Name=PRODUCT, Version=version, Manufacturer=MANUFACTURER, Language=1033, UpgradeCode=UPGRADE_CODE)}>")
    w.add(2, f"<Package {a(InstallerVersion=500, Compressed='yes', InstallScope='perUser', Description=f'{PRODUCT} {version}', Comments='Screen capture for Chromium browsers, installed for the current user')}/>")
    w.add(2, f"<MajorUpgrade {a(DowngradeErrorMessage=DOWNGRADE_MESSAGE)}/>")
    w.add(2, f"<Media {a(Id=1, Cabinet='kvcapture.cab', EmbedCab='yes')}/>")
    for icon_name, path in icons.items():
        w.add(2, f"<Icon {a(Id=icon_name, SourceFile=source_path(path))}/>")
    w.add(2, f"<Property {a(Id='ARPPRODUCTICON', Value=f'{Path(HOST_PROGRAM).stem}.ico')}/>")
    w.add(2, f"<Property {a(Id='ARPNOMODIFY', Value=1)}/>")

    def folder_id(rel):
        return "INSTALLDIR" if rel in (".", "") else ident("d", rel)

    def component_open(depth, cid, name):
        components.append(cid)
        w.add(depth, f"<Component {a(Id=cid, Guid=guid(name))}>")

    def own_value(depth, name, value, kind="string"):
        w.add(depth, f"<RegistryValue {a(Root='HKCU', Key=OWN_KEY, Name=name, Type=kind, Value=value, KeyPath='yes')}/>")

    def files_of(depth, rel_folder):
        for rel in files:
            if str(Path(rel).parent.as_posix()) != (rel_folder or "."):
                continue
            cid = ident("c", rel)
            component_open(depth, cid, f"file {rel.lower()}")
            w.add(depth + 1, f"<File {a(Id=file_id(rel), Name=Path(rel).name, Source=source_path(release / rel), KeyPath='yes')}/>")
            w.add(depth, "</Component>")

    def folder_component(depth, rel):
        """Made on install, removed on uninstall; the folder is the key path."""
        component_open(depth, ident("cd", rel), f"folder {rel.lower()}")
        w.add(depth + 1, "<CreateFolder/>")
        w.add(depth + 1, f"<RemoveFolder {a(Id=ident('rm', rel), On='uninstall')}/>")
        w.add(depth, "</Component>")

    def subfolders(depth, parent):
        for rel in all_folders:
            if str(Path(rel).parent.as_posix()) != (parent or "."):
                continue
            w.add(depth, f"<Directory {a(Id=folder_id(rel), Name=Path(rel).name)}>")
            files_of(depth + 1, rel)
            subfolders(depth + 1, rel)
            folder_component(depth + 1, rel)
            w.add(depth, "</Directory>")

    w.add(2, f"<Directory {a(Id='TARGETDIR', Name='SourceDir')}>")
    w.add(3, f"<Directory {a(Id='LocalAppDataFolder')}>")
    w.add(4, f"<Directory {a(Id='UserProgramsFolder', Name='Programs')}>")
    w.add(5, f"<Directory {a(Id='INSTALLDIR', Name=PRODUCT)}>")
    files_of(6, "")
    # The registration with each browser: the default value of the host's
    # own key is the manifest's absolute path.
    for browser, parent in BROWSER_KEYS.items():
        cid = "Register_" + re.sub(r"\W", "", browser)
        component_open(6, cid, f"registration {browser}")
        w.add(7, f"<RegistryValue {a(Root='HKCU', Key=parent + chr(92) + HOST_NAME, Type='string', Value='[INSTALLDIR]' + HOST_MANIFEST, KeyPath='yes')}/>")
        w.add(6, "</Component>")
    subfolders(6, "")
    # The installer's own values; the folders go on uninstall, each only
    # when nothing else lies in it. Wine removes only folders that a
    # component creates (CreateFolder), in the order of the package's rows:
    # the deepest come first.
    component_open(6, "InstallFolder", "install folder")
    own_value(7, "InstallFolder", "[INSTALLDIR]")
    w.add(7, "<CreateFolder/>")
    w.add(7, f"<RemoveFolder {a(Id='RemoveInstallFolder', On='uninstall')}/>")
    w.add(6, "</Component>")
    w.add(5, "</Directory>")
    folder_component(5, "Programs")
    w.add(4, "</Directory>")
    w.add(3, "</Directory>")
    w.add(3, f"<Directory {a(Id='ProgramMenuFolder')}>")
    w.add(4, f"<Directory {a(Id='MenuFolder', Name=PRODUCT)}>")
    component_open(5, "StartMenu", "start menu")
    w.add(6, f"<Shortcut {a(Id='AssistantShortcut', Name=SHORTCUT_ASSISTANT, Description='Helps installing the KvCapture extension in the browser', Target='[#Assistant]', WorkingDirectory='INSTALLDIR', Icon=f'{Path(ASSISTANT).stem}.ico')}/>")
    # A console that stays open after the report (cmd /k): started from the
    # menu, the console would otherwise close with the program.
    check = a(Id="CheckShortcut", Name=SHORTCUT_CHECK,
              Description="Checks that the browsers can find and start the KvCapture host",
              Target="[SystemFolder]cmd.exe", Arguments=CHECK_ARGUMENTS,
              WorkingDirectory="INSTALLDIR", Icon=f"{Path(HOST_PROGRAM).stem}.ico")
    w.add(6, f"<Shortcut {check}/>")
    w.add(6, f"<RemoveFolder {a(Id='RemoveMenuFolder', On='uninstall')}/>")
    own_value(6, "StartMenu", 1, "integer")
    w.add(5, "</Component>")
    w.add(4, "</Directory>")
    w.add(3, "</Directory>")
    w.add(2, "</Directory>")
    w.add(2, f"<Feature {a(Id='KvCapture', Title=PRODUCT, Level=1)}>")
    for cid in components:
        w.add(3, f"<ComponentRef {a(Id=cid)}/>")
    w.add(2, "</Feature>")
    w.add(1, "</Product>")
    w.add(0, "</Wix>")
    return w.text()


def project_version(release):
    manifest = json.loads((release / "extension" / "manifest.json").read_text(encoding="utf-8"))
    return manifest["version"]


def build(release, output, version=None, wxs=None):
    release, output = Path(release), Path(output)
    version = msi_version(version or project_version(release))
    work = Path(tempfile.mkdtemp(prefix="kvmsi-", dir=output.parent))
    try:
        icons = {}
        for program in (HOST_PROGRAM, ASSISTANT):
            path = work / f"{Path(program).stem}.ico"
            path.write_bytes(icon_of(release / program))
            icons[path.name] = path
        source = work / "kvcapture.wxs"
        source.write_text(wxs_source(release.resolve(), version, icons, work), encoding="utf-8")
        if wxs:
            Path(wxs).write_text(source.read_text(encoding="utf-8"), encoding="utf-8")
        partial = work / output.name
        try:
            run = subprocess.run(["wixl", "-a", "x86", "-o", str(partial), str(source)],
                                 capture_output=True, text=True)
        except FileNotFoundError:
            raise PackageError("wixl is missing: install the Debian package wixl "
                               "(tools/packages.txt)") from None
        # wixl reports attributes it does not know as warnings and goes on:
        # every attribute written here is one it knows.
        if run.returncode != 0 or not partial.exists() or "WARNING" in run.stderr:
            raise PackageError(f"wixl failed:\n{run.stderr}")
        os.replace(partial, output)
    finally:
        for path in sorted(work.rglob("*"), reverse=True):
            path.unlink()
        work.rmdir()
    return version


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("release")
    parser.add_argument("output")
    parser.add_argument("--version")
    parser.add_argument("--wxs")
    args = parser.parse_args()
    try:
        build(args.release, args.output, args.version, args.wxs)
    except PackageError as problem:
        sys.exit(f"make_msi: {problem}")


if __name__ == "__main__":
    main()
