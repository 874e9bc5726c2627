"""A scene file's text, and writing it without ever leaving half a file."""

import json
import math
import os
import struct
import tempfile

import numpy as np

from .problem import Problem


def real32(value):
    """A 32-bit float as the shortest JSON number that reads back (decimal to
    double to float, as the host reads it) as the same float."""
    f = struct.unpack("f", struct.pack("f", value))[0]
    if not math.isfinite(f):
        raise Problem(f"the value {value} is not a finite number")
    for digits in range(6, 10):
        text = "%.*g" % (digits, f)
        if struct.unpack("f", struct.pack("f", float(text)))[0] == f:
            return float(text)
    return f  # the float's exact double value, longer but exact


def to_text(document):
    """Indented JSON; arrays of numbers on one line, a mesh's points and
    triangles one to a line. Mesh numbers are the exact doubles of their
    32-bit floats, so they read back as the same floats."""
    return _format(document, "") + "\n"


def _format(value, indent):
    inner = indent + "  "
    if isinstance(value, dict):
        if all(not isinstance(v, (dict, np.ndarray)) and
               not (isinstance(v, list) and any(isinstance(e, (dict, list)) for e in v)) for v in value.values()) \
                and len(value) <= 2:
            return json.dumps(value, separators=(", ", ": "))  # a typed value, {"real": 1.5}
        items = [f"{inner}{json.dumps(k)}: {_format(v, inner)}" for k, v in value.items()]
        return "{\n" + ",\n".join(items) + "\n" + indent + "}"
    if isinstance(value, np.ndarray):
        if value.size == 0:
            return "[]"
        rows = json.dumps(value.tolist(), separators=(",", ":"))
        return "[\n" + inner + rows[1:-1].replace("],[", "],\n" + inner + "[") + "\n" + indent + "]"
    if isinstance(value, list):
        if all(not isinstance(v, (dict, list, np.ndarray)) for v in value):
            return json.dumps(value, separators=(", ", ": "))
        return "[\n" + ",\n".join(inner + _format(v, inner) for v in value) + "\n" + indent + "]"
    return json.dumps(value)


def write_atomically(path, text):
    """Writes text to a temporary file beside path (beside its target when
    path is a link), flushed to disk, then renames it over: a failure leaves
    the old file as it was."""
    path = os.path.realpath(path)
    if os.path.isdir(path):
        raise OSError(f"{path} is a folder")
    folder = os.path.dirname(path)
    if os.path.exists(path):
        mode = os.stat(path).st_mode & 0o7777
    else:
        umask = os.umask(0)
        os.umask(umask)
        mode = 0o666 & ~umask
    fd, tmp = tempfile.mkstemp(prefix=".kestrelwood-", suffix=".tmp", dir=folder)
    try:
        with os.fdopen(fd, "w", encoding="utf-8") as f:
            f.write(text)
            f.flush()
            os.fsync(f.fileno())
        os.chmod(tmp, mode)
        os.replace(tmp, path)
    except BaseException:
        if os.path.exists(tmp):
            os.unlink(tmp)
        raise
