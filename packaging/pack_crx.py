#!/usr/bin/env python3
"""Packs the staged extension into KvCapture.crx with the browser's packer.

usage: pack_crx.py CHROMIUM KEY_PEM EXTENSION_DIR OUTPUT_CRX

Runs `CHROMIUM --pack-extension` headless with a throw-away profile on a copy
of EXTENSION_DIR and checks that the package carries the id of the "key" in
the extension's manifest (the kept key and the manifest must belong
together, or the host manifest would name another extension).
"""
import os
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from crx import CrxError, read_crx  # noqa: E402
from host_manifest import extension_id_of_manifest  # noqa: E402

TIMEOUT = 180


def main():
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    chromium, key, source, output = sys.argv[1:]
    with tempfile.TemporaryDirectory(prefix="kv-pack-") as tmp:
        tmp = Path(tmp)
        stage = tmp / "KvCapture"
        shutil.copytree(source, stage)
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        cmd = [chromium, "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
               f"--user-data-dir={tmp / 'profile'}", f"--pack-extension={stage}",
               f"--pack-extension-key={Path(key).resolve()}"]
        try:
            run = subprocess.run(cmd, env=env, stdin=subprocess.DEVNULL, capture_output=True,
                                 timeout=TIMEOUT)
        except subprocess.TimeoutExpired:
            sys.exit(f"pack_crx: {chromium} did not finish packing within {TIMEOUT} s")
        packed = tmp / "KvCapture.crx"
        if run.returncode != 0 or not packed.exists():
            sys.stderr.write(run.stdout.decode(errors="replace") + run.stderr.decode(errors="replace"))
            sys.exit(f"pack_crx: {chromium} failed to pack the extension (exit {run.returncode})")
        try:
            got = read_crx(packed).extension_id()
        except CrxError as e:
            sys.exit(f"pack_crx: the packed file is no valid package: {e}")
        want = extension_id_of_manifest(stage / "manifest.json")
        if got != want:
            sys.exit(f"pack_crx: the package has the id {got}, but the manifest's key gives {want}:"
                     f" {key} is not the key of extension/manifest.json")
        tmp_out = Path(output + ".tmp")
        shutil.copyfile(packed, tmp_out)
        os.replace(tmp_out, output)


if __name__ == "__main__":
    main()
