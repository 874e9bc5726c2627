"""Finding and running the `kestrelwood` program.

The add-on never computes a step of the crowd itself: it writes a scene file,
has the program run it through the module, and reads back what the program
wrote. The program is looked for, in this order, in the add-on's preferences,
in the environment variable KESTRELWOOD, on the PATH, and in the repository's
release build beside the add-on (build/release/host/kestrelwood).
"""

import os
import re
import shutil
import subprocess
from pathlib import Path

from .problem import Problem

PROGRAM_NAME = "kestrelwood.exe" if os.name == "nt" else "kestrelwood"


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
    on_path = shutil.which("kestrelwood")
    if on_path:
        return on_path, "the PATH"
    looked.append("the PATH")
    built = repository_build()
    if _runnable(built):
        return str(built), "the repository's release build"
    looked.append(str(built))
    raise Problem("kestrelwood program not found (looked in " + ", ".join(looked) +
                       "): set its path in Preferences > Add-ons > Kestrelwood crowd")


def _runnable(path):
    return path.is_file() and os.access(path, os.X_OK)


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
