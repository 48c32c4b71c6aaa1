#!/usr/bin/env python3
"""The native-messaging host manifest that lets the extension start the host.

usage: host_manifest.py EXTENSION_MANIFEST HOST_PATH OUTPUT

Writes OUTPUT, a host manifest whose "path" is HOST_PATH (on Windows the
program's name, which the browser resolves next to the manifest) and whose
only allowed origin is the extension whose public key EXTENSION_MANIFEST
carries in "key".
"""
import base64
import hashlib
import json
import sys
from pathlib import Path

HOST_NAME = "com.kvcapture.host"
DESCRIPTION = "KvCapture screen capture host"


def extension_id(public_key_b64):
    """The browser's id of an extension: the first 128 bits of the SHA-256 of
    its DER public key, as hex digits written with the letters a to p."""
    digest = hashlib.sha256(base64.b64decode(public_key_b64)).hexdigest()[:32]
    return "".join(chr(ord("a") + int(c, 16)) for c in digest)


def extension_id_of_manifest(path):
    manifest = json.loads(Path(path).read_text(encoding="utf-8"))
    return extension_id(manifest["key"])


def host_manifest(ext_id, host_path):
    return {
        "name": HOST_NAME,
        "description": DESCRIPTION,
        "path": str(host_path),
        "type": "stdio",
        "allowed_origins": [f"chrome-extension://{ext_id}/"],
    }


def write_host_manifest(output, ext_id, host_path):
    text = json.dumps(host_manifest(ext_id, host_path), indent=2) + "\n"
    Path(output).write_text(text, encoding="utf-8", newline="\n")


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    write_host_manifest(sys.argv[3], extension_id_of_manifest(sys.argv[1]), sys.argv[2])


if __name__ == "__main__":
    main()
