"""Finding and running the `kestrelwood` program.

The add-on never computes a step of the crowd itself: it writes a scene file,
has the program run it through the module, and reads back what the program
wrote. The program is looked for, in this order, in the add-on's preferences,
in the environment variable KESTRELWOOD, among the programs that come with
the add-on (programs/PLATFORM/, for the operating system and processor it
runs on), on the PATH, and in the repository's release build beside the
add-on (build/release/host/kestrelwood).
"""

import filecmp
import os
import platform
import re
import shutil
import stat
import subprocess
import sys
from pathlib import Path

from .problem import Problem

PROGRAM_NAME = "kestrelwood.exe" if os.name == "nt" else "kestrelwood"
# The add-on's programs: programs/PLATFORM/bin/PROGRAM_NAME, with the module
# in programs/PLATFORM/plugins/Kestrelwood/ where the program looks for it.
# PLATFORM is named as Blender's extension manifest names platforms.
BUNDLED = Path(__file__).resolve().parent / "programs"
PREFERENCES = "Preferences > Add-ons > Kestrelwood crowd"


def running_platform():
    """This Blender's platform as the manifest names it (linux-x64,
    windows-x64, macos-arm64, ...), or None for one it has no name for."""
    system = {"linux": "linux", "win32": "windows", "darwin": "macos"}.get(sys.platform)
    machine = {"x86_64": "x64", "amd64": "x64", "arm64": "arm64", "aarch64": "arm64"}.get(platform.machine().lower())
    return f"{system}-{machine}" if system and machine else None


def bundled_platforms():
    """The platforms whose program came with the add-on."""
    if not BUNDLED.is_dir():
        return []
    return sorted(p.name for p in BUNDLED.iterdir() if (p / "bin" / _program_file(p.name)).is_file())


def _program_file(platform_name):
    return "kestrelwood.exe" if platform_name.startswith("windows") else "kestrelwood"


def repository_build():
    """Where the repository's release build puts the program, when the
    add-on runs from the repository's blender/ folder."""
    return Path(__file__).resolve().parents[2] / "build" / "release" / "host" / PROGRAM_NAME


def find_program(preference=""):
    """(path, where it was found) of the program, or raise Problem
    naming every place that was looked at."""
    given = ((preference, "the add-on's preferences"),
             (os.environ.get("KESTRELWOOD", ""), "the environment variable KESTRELWOOD"))
    for value, where in given:
        if value:
            # Absolute: the program runs in a folder of its own.
            path = Path(os.path.abspath(os.path.expanduser(value)))
            if _runnable(path):
                return str(path), where
            raise Problem(f"kestrelwood program {path} (in {where}) "
                          f"{'is not executable' if path.exists() else 'does not exist'}")
    looked = ["the add-on's preferences", "KESTRELWOOD"]
    here = running_platform()
    bundled = BUNDLED / str(here) / "bin" / PROGRAM_NAME
    if here is not None and bundled.is_file():
        return runnable_copy(bundled), f"the add-on's own program for {here}"
    looked.append(f"the add-on's programs for {here or sys.platform}")
    on_path = shutil.which("kestrelwood")
    if on_path:
        return on_path, "the PATH"
    looked.append("the PATH")
    built = repository_build()
    if _runnable(built):
        return str(built), "the repository's release build"
    looked.append(str(built))
    if bundled_platforms() and here not in bundled_platforms():
        raise Problem(f"on {here or sys.platform} the add-on needs a kestrelwood program (it brings one for "
                      f"{', '.join(bundled_platforms())} only): set its path in {PREFERENCES}")
    raise Problem("kestrelwood program not found (looked in " + ", ".join(looked) +
                  f"): set its path in {PREFERENCES}")


def _runnable(path):
    return path.is_file() and os.access(path, os.X_OK)


def runnable_copy(program):
    """The bundled program, ready to run. Installers unpack zips without
    Unix file modes, so the program (and nothing else: the module is loaded,
    not run) gets its run bit back; where the add-on's folder cannot be
    changed, its platform folder is copied to the add-on's user files and
    run from there."""
    if not _runnable(program):
        try:
            _add_run_bit(program)
        except OSError:
            pass
    if _runnable(program):
        return str(program)
    from . import user_files  # needs Blender; only here
    tree = program.parents[1]
    copy = Path(user_files.folder("programs")) / tree.name
    copied = copy / program.relative_to(tree)
    if not (_runnable(copied) and filecmp.cmp(copied, program, shallow=False)):
        shutil.rmtree(copy, ignore_errors=True)
        try:
            shutil.copytree(tree, copy)
            _add_run_bit(copied)
        except OSError as e:
            raise Problem(f"the add-on's kestrelwood program cannot be made runnable ({program} is read-only and "
                          f"copying it to {copy} failed: {e.strerror or e}); set a program in {PREFERENCES}") from None
    return str(copied)


def _add_run_bit(path):
    mode = path.stat().st_mode
    # Run permission wherever there is read permission.
    path.chmod(mode | ((mode & (stat.S_IRUSR | stat.S_IRGRP | stat.S_IROTH)) >> 2))


def run(program, args, cwd, on_wait=None):
    """Runs the program with args in cwd. Returns (standard output, standard
    error); a non-zero exit raises Problem with the program's own error
    line. on_wait, when given, is called about ten times a second while it
    runs."""
    try:
        # No console window flashing up on Windows.
        flags = subprocess.CREATE_NO_WINDOW if os.name == "nt" else 0
        proc = subprocess.Popen([program] + list(args), cwd=cwd, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, text=True, errors="replace", creationflags=flags)
    except OSError as e:
        raise Problem(f"cannot start {program}: {e.strerror or e}") from None
    if on_wait is None:
        out, err = proc.communicate()
    else:
        # communicate() with a short timeout keeps both pipes drained.
        while True:
            try:
                out, err = proc.communicate(timeout=0.1)
                break
            except subprocess.TimeoutExpired:
                on_wait()
    if proc.returncode != 0:
        raise Problem(_error_line(err, out, proc.returncode))
    return out, err


def _error_line(err, out, code):
    lines = [line.strip() for line in (err or "").splitlines() if line.strip()]
    errors = [line for line in lines if line.startswith("error:")]
    text = errors[0] if errors else (lines[-1] if lines else f"exit status {code}")
    return f"kestrelwood failed (exit status {code}): {text}"


def warnings_of(err_text):
    """The program's warnings, `warning: [KEY] sentence`, as (key, sentence)
    pairs; a warning without a key has the key ""."""
    out = []
    for line in (err_text or "").splitlines():
        if line.startswith("warning: "):
            keyed = _KEYED.match(line, len("warning: "))
            out.append((keyed.group(1), line[keyed.end():].strip()) if keyed else ("", line[len("warning: "):].strip()))
    return out


_KEYED = re.compile(r"\[([a-z0-9-]+)\] *")
