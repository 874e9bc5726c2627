#!/usr/bin/env python3
"""Packs the Blender add-on for Edit > Preferences > Add-ons > Install...:
a zip with the kestrelwood/ package at its top.

    python3 blender/make_zip.py [ZIP]     (default: dist/kestrelwood-blender.zip)
"""

import os
import sys
import tempfile
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
PACKAGE = os.path.join(HERE, "kestrelwood")
DEFAULT = os.path.join(os.path.dirname(HERE), "dist", "kestrelwood-blender.zip")


def make_zip(target):
    """Writes the zip to a temporary file beside target, then renames it
    over target, so that a failure leaves no half zip behind."""
    folder = os.path.dirname(os.path.abspath(target))
    os.makedirs(folder, exist_ok=True)
    fd, tmp = tempfile.mkstemp(prefix=".kestrelwood-blender-", suffix=".zip", dir=folder)
    os.close(fd)
    try:
        with zipfile.ZipFile(tmp, "w", zipfile.ZIP_DEFLATED) as z:
            for name in sorted(os.listdir(PACKAGE)):
                if name.endswith(".py"):
                    z.write(os.path.join(PACKAGE, name), f"kestrelwood/{name}")
        os.chmod(tmp, 0o644)
        os.replace(tmp, target)
    except BaseException:
        if os.path.exists(tmp):
            os.unlink(tmp)
        raise


def main(argv):
    if len(argv) > 2 or (len(argv) == 2 and argv[1].startswith("-")):
        print(__doc__.strip(), file=sys.stderr)
        return 2
    target = argv[1] if len(argv) == 2 else DEFAULT
    try:
        make_zip(target)
    except OSError as e:
        print(f"error: {target}: {e.strerror or e}", file=sys.stderr)
        return 1
    print(f"wrote {os.path.relpath(target)}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
