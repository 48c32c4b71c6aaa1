#!/usr/bin/env python3
"""Signs Windows programs and installer packages (Authenticode, osslsigncode)
in place, when a certificate is given; without one it says so and leaves
the files as they are.

usage: sign.py FILE...

Environment:
  KV_SIGN_CERT       the certificate: a PKCS#12 file (.pfx, .p12) holding the
                     key as well, or a PEM/DER certificate (chain) with
                     KV_SIGN_KEY
  KV_SIGN_KEY        the private key of a PEM/DER certificate
  KV_SIGN_PASSWORD_FILE  a file holding the password of the key, if any
  KV_SIGN_TIMESTAMP  a time-stamp server's address (RFC 3161), if wanted:
                     keeps the signature valid after the certificate expires
"""
import os
import subprocess
import sys
from pathlib import Path

DESCRIPTION = "KvCapture"


class SignError(Exception):
    pass


def signing_arguments(env):
    """osslsigncode's options for the certificate in env; None when none is given."""
    cert = env.get("KV_SIGN_CERT", "")
    if not cert:
        return None
    if not Path(cert).is_file():
        raise SignError(f"KV_SIGN_CERT: no file {cert}")
    if cert.lower().endswith((".pfx", ".p12")):
        args = ["-pkcs12", cert]
    else:
        key = env.get("KV_SIGN_KEY", "")
        if not key or not Path(key).is_file():
            raise SignError("KV_SIGN_KEY must name the key of the certificate in KV_SIGN_CERT")
        args = ["-certs", cert, "-key", key]
    password = env.get("KV_SIGN_PASSWORD_FILE", "")
    if password:
        args += ["-readpass", password]
    args += ["-h", "sha256", "-n", DESCRIPTION]
    if env.get("KV_SIGN_TIMESTAMP"):
        args += ["-ts", env["KV_SIGN_TIMESTAMP"]]
    return args


def sign(paths, env=os.environ):
    """Signs each file in place; returns False when no certificate is given."""
    args = signing_arguments(env)
    if args is None:
        return False
    for path in map(Path, paths):
        signed = path.with_name(path.name + ".signed")
        try:
            run = subprocess.run(
                ["osslsigncode", "sign", *args, "-in", str(path), "-out", str(signed)],
                capture_output=True, text=True)
        except FileNotFoundError:
            raise SignError("osslsigncode is missing: install the Debian package osslsigncode "
                            "(tools/packages.txt)") from None
        if run.returncode != 0 or not signed.is_file():
            signed.unlink(missing_ok=True)
            raise SignError(f"signing {path.name} failed:\n{run.stdout}{run.stderr}")
        os.replace(signed, path)
    return True


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    try:
        if sign(sys.argv[1:]):
            print("signed: " + ", ".join(Path(p).name for p in sys.argv[1:]))
        else:
            print("not signed (no KV_SIGN_CERT): " + ", ".join(Path(p).name for p in sys.argv[1:]))
    except SignError as problem:
        sys.exit(f"sign: {problem}")


if __name__ == "__main__":
    main()
