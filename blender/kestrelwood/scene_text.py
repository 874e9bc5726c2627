"""A scene file's text, and writing it without ever leaving half a file."""

import json
import math
import os
import struct
import tempfile

import numpy as np

from .problem import Problem

SCENE_EXT = ".kwscene.json"


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
    triangles one to a line. A mesh's 32-bit points are written as the
    shortest decimals that read back (decimal to double to float) as the same
    floats."""
    return _format(document, "") + "\n"


def _flat(value):
    """A scalar, or a list of scalars."""
    if isinstance(value, list):
        return all(not isinstance(e, (dict, list, np.ndarray)) for e in value)
    return not isinstance(value, (dict, np.ndarray))


def _format(value, indent):
    inner = indent + "  "
    if isinstance(value, dict):
        if len(value) <= 2 and all(_flat(v) for v in value.values()):
            return json.dumps(value, separators=(", ", ": "))  # a typed value, {"real": 1.5}
        items = [f"{inner}{json.dumps(k)}: {_format(v, inner)}" for k, v in value.items()]
        return "{\n" + ",\n".join(items) + "\n" + indent + "}"
    if isinstance(value, np.ndarray):
        if value.size == 0:
            return "[]"
        rows = _float_rows(value) if value.dtype == np.float32 else _int_rows(value)
        return "[\n" + inner + (",\n" + inner).join(rows) + "\n" + indent + "]"
    if isinstance(value, list):
        if _flat(value):
            return json.dumps(value, separators=(", ", ": "))
        return "[\n" + ",\n".join(inner + _format(v, inner) for v in value) + "\n" + indent + "]"
    return json.dumps(value)


def _float_rows(values):
    """Rows of 32-bit floats, each as numpy's shortest decimal; the rare one
    that the host's double-then-float reading would round to a neighbour is
    written as its exact double instead."""
    flat32 = values.reshape(len(values), -1).ravel()
    flat = [str(v) for v in flat32]
    back = np.array(flat, dtype=np.float64).astype(np.float32)
    for i in np.nonzero(back != flat32)[0]:
        flat[i] = repr(float(flat32[i]))
    width = values.shape[1]
    return ["[" + ",".join(flat[i:i + width]) + "]" for i in range(0, len(flat), width)]


def _int_rows(values):
    return ["[" + ",".join(map(str, row)) + "]" for row in values.tolist()]


def scene_path(path):
    """path with the scene file's extension once: "crowd", "crowd.json",
    "crowd.kwscene" and "crowd.kwscene.kwscene.json" all end as
    "crowd.kwscene.json"."""
    folder, name = os.path.split(path)
    if not name:
        return path
    while True:
        lower = name.lower()
        cut = next((len(e) for e in (SCENE_EXT, ".json", ".kwscene") if lower.endswith(e)), 0)
        if not cut:
            break
        name = name[:-cut]
    return os.path.join(folder, name + SCENE_EXT)


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
