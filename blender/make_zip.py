#!/usr/bin/env python3
"""Packs the Blender add-on into the one zip an artist installs (Blender 3.x:
Edit > Preferences > Add-ons > Install...; 4.2+: Install from Disk): the
kestrelwood/ package at the zip's top, its manifest beside bl_info, and for
every platform its manifest lists, the kestrelwood program with its module
and res/ in the layout the program expects:

    kestrelwood/programs/PLATFORM/bin/kestrelwood[.exe]
    kestrelwood/programs/PLATFORM/plugins/Kestrelwood/Kestrelwood.{so,rir64} and res/

    python3 blender/make_zip.py --program PLATFORM=BUILD_DIR ... [ZIP]

BUILD_DIR is a build folder of this repository (build/release for
linux-x64, build/win64-host for windows-x64); ZIP defaults to
dist/kestrelwood-blender.zip. scripts/package blender builds both and runs
this; use that.
"""

import argparse
import os
import sys
import tempfile
import tomllib
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
PACKAGE = os.path.join(HERE, "kestrelwood")
MANIFEST = os.path.join(PACKAGE, "blender_manifest.toml")
DEFAULT = os.path.join(os.path.dirname(HERE), "dist", "kestrelwood-blender.zip")
# What a build folder holds for each platform: the program, and the module
# in the plug-in folder the program looks in.
PROGRAM = {"windows": ("host/kestrelwood.exe", "Kestrelwood.rir64"), "linux": ("host/kestrelwood", "Kestrelwood.so")}
PACKAGE_FILES = (".py", ".toml")


def manifest_platforms():
    with open(MANIFEST, "rb") as f:
        return tomllib.load(f).get("platforms", [])


def platform_files(platform, build):
    """(path in the zip, file on disk, runnable) of one platform's program,
    module and res/, or raise ValueError naming what is missing."""
    kind = platform.split("-")[0]
    if kind not in PROGRAM:
        raise ValueError(f"no program layout is known for {platform}")
    program, module = PROGRAM[kind]
    plugin = os.path.join(build, "plugins", "Kestrelwood")
    top = f"kestrelwood/programs/{platform}"
    files = [(f"{top}/bin/{os.path.basename(program)}", os.path.join(build, program), True),
             (f"{top}/plugins/Kestrelwood/{module}", os.path.join(plugin, module), False)]
    for path, _dirs, names in os.walk(os.path.join(plugin, "res")):
        for name in sorted(names):
            full = os.path.join(path, name)
            files.append((f"{top}/plugins/Kestrelwood/{os.path.relpath(full, plugin)}".replace(os.sep, "/"), full, False))
    for _name, full, _run in files[:2]:
        if not os.path.isfile(full):
            raise ValueError(f"{full} is missing; build {build} first (scripts/package blender does)")
    if len(files) == 2:
        raise ValueError(f"{plugin}/res is missing; build {build} first")
    return sorted(files)


def make_zip(target, programs):
    """Writes the zip to a temporary file beside target, then renames it
    over target, so that a failure leaves no half zip behind."""
    folder = os.path.dirname(os.path.abspath(target))
    os.makedirs(folder, exist_ok=True)
    files = [(f"kestrelwood/{n}", os.path.join(PACKAGE, n), False) for n in sorted(os.listdir(PACKAGE))
             if n.endswith(PACKAGE_FILES)]
    for platform, build in sorted(programs.items()):
        files += platform_files(platform, build)
    fd, tmp = tempfile.mkstemp(prefix=".kestrelwood-blender-", suffix=".zip", dir=folder)
    os.close(fd)
    try:
        with zipfile.ZipFile(tmp, "w", zipfile.ZIP_DEFLATED) as z:
            for name, full, runnable in files:
                info = zipfile.ZipInfo.from_file(full, name)
                # Unzip tools keep these modes (Blender's installers do not:
                # the add-on restores the run bit itself).
                info.external_attr = (0o755 if runnable else 0o644) << 16
                info.compress_type = zipfile.ZIP_DEFLATED
                with open(full, "rb") as f:
                    z.writestr(info, f.read())
        os.chmod(tmp, 0o644)
        os.replace(tmp, target)
    except BaseException:
        if os.path.exists(tmp):
            os.unlink(tmp)
        raise


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.strip().splitlines()[0])
    parser.add_argument("--program", action="append", default=[], metavar="PLATFORM=BUILD_DIR",
                        help="a platform of the manifest and the build folder its program comes from")
    parser.add_argument("zip", nargs="?", default=DEFAULT)
    args = parser.parse_args(argv[1:])
    programs = {}
    for given in args.program:
        platform, sep, build = given.partition("=")
        if not sep or not build:
            parser.error(f"--program {given}: expected PLATFORM=BUILD_DIR")
        programs[platform] = build
    wanted = manifest_platforms()
    if sorted(programs) != sorted(wanted):
        print(f"error: the manifest lists the platforms {', '.join(wanted)}; give a program for each and no other "
              f"(given: {', '.join(sorted(programs)) or 'none'})", file=sys.stderr)
        return 2
    try:
        make_zip(args.zip, programs)
    except ValueError as e:
        print(f"error: {e}", file=sys.stderr)
        return 1
    except OSError as e:
        print(f"error: {args.zip}: {e.strerror or e}", file=sys.stderr)
        return 1
    print(f"wrote {os.path.relpath(args.zip)}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
