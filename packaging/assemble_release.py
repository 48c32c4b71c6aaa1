#!/usr/bin/env python3
"""Puts the release folder together: what a user copies to Windows.

usage: assemble_release.py DEST SOURCE...

DEST is emptied first; each SOURCE, a file or a folder, is copied into it
under its own name. A missing SOURCE is an error.
"""
import shutil
import sys
from pathlib import Path


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    dest = Path(sys.argv[1])
    sources = [Path(s) for s in sys.argv[2:]]
    missing = [str(s) for s in sources if not s.exists()]
    if missing:
        sys.exit("assemble_release: missing " + ", ".join(missing))
    if dest.exists():
        shutil.rmtree(dest)
    dest.mkdir(parents=True)
    for source in sources:
        if source.is_dir():
            shutil.copytree(source, dest / source.name)
        else:
            shutil.copy2(source, dest / source.name)


if __name__ == "__main__":
    main()
