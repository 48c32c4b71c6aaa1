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
import shutil
import subprocess
import sys
import tempfile
import uuid
from pathlib import Path
import xml.etree.ElementTree as ET

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


def element(parent, tag, **attributes):
    return ET.SubElement(parent, tag, {k: str(v) for k, v in attributes.items()})


def file_id(rel):
    return {HOST_PROGRAM: "HostProgram", ASSISTANT: "Assistant",
            HOST_MANIFEST: "HostManifest"}.get(rel) or ident("f", rel)


def icon_id(program):
    return f"{Path(program).stem}.ico"


def parent_of(rel):
    parent = Path(rel).parent.as_posix()
    return "" if parent == "." else parent


def wxs_source(release, version, icons, wxs_folder):
    """The WiX source of the package. `icons` maps icon names to .ico files."""
    def source(path):
        # wixl takes a source relative to the folder of the WiX file.
        return os.path.relpath(path, wxs_folder)

    files = release_files(release)
    folders = {"/".join(Path(f).parts[:i]) for f in files for i in range(1, len(Path(f).parts))}
    components = []

    def component(directory, cid, name):
        components.append(cid)
        return element(directory, "Component", Id=cid, Guid=guid(name))

    def own_value(parent, name, value, kind="string"):
        element(parent, "RegistryValue", Root="HKCU", Key=OWN_KEY, Name=name, Type=kind,
                Value=value, KeyPath="yes")

    def folder_component(directory, rel):
        """Made on install, removed on uninstall; the folder is the key path."""
        made = component(directory, ident("cd", rel), f"folder {rel.lower()}")
        element(made, "CreateFolder")
        element(made, "RemoveFolder", Id=ident("rm", rel), On="uninstall")

    def fill(directory, rel):
        """The files of the release's folder `rel` ("" for its top), then its
        subfolders. The folders' own components come after what they hold:
        Wine removes folders in the order of the package's rows."""
        for f in (f for f in files if parent_of(f) == rel):
            held = component(directory, ident("c", f), f"file {f.lower()}")
            element(held, "File", Id=file_id(f), Name=Path(f).name, Source=source(release / f),
                    KeyPath="yes")
        if rel == "":
            # The registration with each browser: the default value of the
            # host's own key is the manifest's absolute path.
            for browser, parent in BROWSER_KEYS.items():
                key = component(directory, "Register_" + re.sub(r"\W", "", browser),
                                f"registration {browser}")
                element(key, "RegistryValue", Root="HKCU", Key=f"{parent}\\{HOST_NAME}",
                        Type="string", Value=f"[INSTALLDIR]{HOST_MANIFEST}", KeyPath="yes")
        for sub in sorted(f for f in folders if parent_of(f) == rel):
            subdirectory = element(directory, "Directory", Id=ident("d", sub), Name=Path(sub).name)
            fill(subdirectory, sub)
            folder_component(subdirectory, sub)

    wix = ET.Element("Wix", xmlns="http://schemas.microsoft.com/wix/2006/wi")
    product = element(wix, "Product", Id=product_code(version), Name=PRODUCT, Version=version,
                      Manufacturer=MANUFACTURER, Language=1033, UpgradeCode=UPGRADE_CODE)
    element(product, "Package", InstallerVersion=500, Compressed="yes", InstallScope="perUser",
            Description=f"{PRODUCT} {version}",
            Comments="Screen capture for Chromium browsers, installed for the current user")
    element(product, "MajorUpgrade", DowngradeErrorMessage=DOWNGRADE_MESSAGE)
    element(product, "Media", Id=1, Cabinet="kvcapture.cab", EmbedCab="yes")
    for name, path in icons.items():
        element(product, "Icon", Id=name, SourceFile=source(path))
    element(product, "Property", Id="ARPPRODUCTICON", Value=icon_id(HOST_PROGRAM))
    element(product, "Property", Id="ARPNOMODIFY", Value=1)

    target = element(product, "Directory", Id="TARGETDIR", Name="SourceDir")
    user_programs = element(element(target, "Directory", Id="LocalAppDataFolder"), "Directory",
                            Id="UserProgramsFolder", Name="Programs")
    install = element(user_programs, "Directory", Id="INSTALLDIR", Name=PRODUCT)
    fill(install, "")
    # The installer's own values; the folders go on uninstall, each only
    # when nothing else lies in it (Wine removes only folders a component
    # creates).
    own = component(install, "InstallFolder", "install folder")
    own_value(own, "InstallFolder", "[INSTALLDIR]")
    element(own, "CreateFolder")
    element(own, "RemoveFolder", Id="RemoveInstallFolder", On="uninstall")
    folder_component(user_programs, "Programs")

    menu = element(element(target, "Directory", Id="ProgramMenuFolder"), "Directory",
                   Id="MenuFolder", Name=PRODUCT)
    entries = component(menu, "StartMenu", "start menu")
    element(entries, "Shortcut", Id="AssistantShortcut", Name=SHORTCUT_ASSISTANT,
            Description="Helps installing the KvCapture extension in the browser",
            Target="[#Assistant]", WorkingDirectory="INSTALLDIR", Icon=icon_id(ASSISTANT))
    # A console that stays open after the report (cmd /k): started from the
    # menu, the console would otherwise close with the program.
    element(entries, "Shortcut", Id="CheckShortcut", Name=SHORTCUT_CHECK,
            Description="Checks that the browsers can find and start the KvCapture host",
            Target="[SystemFolder]cmd.exe", Arguments=CHECK_ARGUMENTS,
            WorkingDirectory="INSTALLDIR", Icon=icon_id(HOST_PROGRAM))
    element(entries, "RemoveFolder", Id="RemoveMenuFolder", On="uninstall")
    own_value(entries, "StartMenu", 1, "integer")

    feature = element(product, "Feature", Id="KvCapture", Title=PRODUCT, Level=1)
    for cid in components:
        element(feature, "ComponentRef", Id=cid)
    ET.indent(wix)
    return '<?xml version="1.0" encoding="utf-8"?>\n' + ET.tostring(wix, encoding="unicode") + "\n"


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
            path = work / icon_id(program)
            path.write_bytes(icon_of(release / program))
            icons[path.name] = path
        source = work / "kvcapture.wxs"
        source.write_text(wxs_source(release.resolve(), version, icons, work), encoding="utf-8")
        if wxs:
            Path(wxs).write_text(source.read_text(encoding="utf-8"), encoding="utf-8")
        partial = work / output.name
        try:
            # wixl leaves the icons' data in a folder "Icon" of the folder it
            # runs in: the work folder, not the caller's.
            run = subprocess.run(["wixl", "-a", "x86", "-o", str(partial), str(source)],
                                 capture_output=True, text=True, cwd=work)
        except FileNotFoundError:
            raise PackageError("wixl is missing: install the Debian package wixl "
                               "(tools/packages.txt)") from None
        # wixl reports attributes it does not know as warnings and goes on:
        # every attribute written here is one it knows.
        if run.returncode != 0 or not partial.exists() or "WARNING" in run.stderr:
            raise PackageError(f"wixl failed:\n{run.stderr}")
        os.replace(partial, output)
    finally:
        shutil.rmtree(work, ignore_errors=True)
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
