"""The ground of a Simulate as a glTF binary file (.glb) that the scene file
names (`"gltf": FILE`), written from numpy arrays and kept between presses.

Writing a ground of 2,000,000 triangles into the scene file as JSON text
takes seconds on every press, and reading it back most of a run; as a glb it
is 36 MB of raw floats and indices, written in a few hundredths of a second
and read by `kestrelwood` at the speed of the disk cache. Each file is named
by a digest of its contents, so a press whose ground has not changed since
an earlier one finds its file and writes nothing.

Axes: the points and triangles come in the host's axes (shapes.terrain_mesh,
as the JSON mesh is written); glTF is right-handed, so a point (x, y, z) is
written (x, y, -z) and a triangle (a, b, c) as (a, c, b), which `kestrelwood`
turns back bit for bit. That is also Blender's own glTF axes: the file opens
in any glTF viewer the way the ground looks in Blender.
"""

import hashlib
import json
import os
import struct
import tempfile

import numpy as np

from . import user_files
from .problem import Problem

ARRAY_BUFFER, ELEMENT_ARRAY_BUFFER = 34962, 34963
FLOAT, UNSIGNED_INT = 5126, 5125
GLB_MAGIC, GLB_VERSION, CHUNK_JSON, CHUNK_BIN = 0x46546C67, 2, 0x4E4F534A, 0x004E4942
# Ground files kept in the folder: the most recently used ones (a file is
# some 18 bytes per triangle).
KEEP = 4


def gltf_arrays(points, triangles):
    """(positions, indices) of the file: float32 points in glTF's axes and
    uint32 corners in glTF's winding."""
    positions = np.array(points, dtype=np.float32, copy=True).reshape(-1, 3)
    positions[:, 2] = -positions[:, 2]
    triangles = np.asarray(triangles).reshape(-1, 3)
    indices = np.empty(triangles.shape, dtype=np.uint32)
    for to, k in enumerate((0, 2, 1)):  # column by column: far faster than a fancy index
        indices[:, to] = triangles[:, k]
    return positions, indices


def bounds(positions, pick):
    """The smallest or largest of each coordinate (glTF requires them for
    points); column by column, which numpy does some thirty times faster
    than along an axis of a (n, 3) array."""
    return [float(pick(positions[:, k])) if len(positions) else 0.0 for k in range(3)]


def glb_header(positions, indices):
    """The glb's header, JSON chunk and binary chunk header: everything but
    the two arrays that follow it."""
    points_bytes, index_bytes = positions.nbytes, indices.nbytes
    doc = {
        "asset": {"version": "2.0", "generator": "Kestrelwood Blender add-on"},
        "scene": 0,
        "scenes": [{"nodes": [0]}],
        "nodes": [{"mesh": 0}],
        "meshes": [{"primitives": [{"attributes": {"POSITION": 0}, "indices": 1, "mode": 4}]}],
        "accessors": [
            {"bufferView": 0, "componentType": FLOAT, "count": len(positions), "type": "VEC3",
             "min": bounds(positions, np.min), "max": bounds(positions, np.max)},
            {"bufferView": 1, "componentType": UNSIGNED_INT, "count": indices.size, "type": "SCALAR"},
        ],
        "bufferViews": [
            {"buffer": 0, "byteOffset": 0, "byteLength": points_bytes, "target": ARRAY_BUFFER},
            {"buffer": 0, "byteOffset": points_bytes, "byteLength": index_bytes, "target": ELEMENT_ARRAY_BUFFER},
        ],
        "buffers": [{"byteLength": points_bytes + index_bytes}],
    }
    text = json.dumps(doc, separators=(",", ":")).encode("utf-8")
    text += b" " * (-len(text) % 4)
    total = 12 + 8 + len(text) + 8 + points_bytes + index_bytes
    return (struct.pack("<III", GLB_MAGIC, GLB_VERSION, total) + struct.pack("<II", len(text), CHUNK_JSON) + text +
            struct.pack("<II", points_bytes + index_bytes, CHUNK_BIN))


def _write(path, header, positions, indices):
    # A file of the cache: written whole under another name and renamed, not
    # flushed to disk (a file cut short by a crash has the wrong size and is
    # written again).
    fd, tmp = tempfile.mkstemp(prefix=".ground-", suffix=".tmp", dir=os.path.dirname(path))
    try:
        with os.fdopen(fd, "wb") as f:
            f.write(header)
            f.write(positions.data)
            f.write(indices.data)
        os.replace(tmp, path)
    except BaseException:
        if os.path.exists(tmp):
            os.unlink(tmp)
        raise


def cached(obj, points, triangles):
    """The scene file's entry for the ground obj: {"gltf": path} of a file of
    the ground folder holding exactly these points and triangles, written
    when no such file is there yet."""
    positions, indices = gltf_arrays(points, triangles)
    header = glb_header(positions, indices)
    digest = hashlib.sha1(header)
    digest.update(positions.data)
    digest.update(indices.data)
    where = user_files.folder("grounds")
    path = os.path.join(where, f"ground-{digest.hexdigest()}.glb")
    size = len(header) + positions.nbytes + indices.nbytes
    try:
        if os.path.isfile(path) and os.path.getsize(path) == size:
            os.utime(path)  # used now: kept by the clean-up below
        else:
            _write(path, header, positions, indices)
        _clean(where, keep=path)
    except OSError as e:
        raise Problem(f"cannot write the ground '{obj.name}' to {path}: {e.strerror or e}") from None
    return {"gltf": path}


def _clean(where, keep):
    """Removes all but the KEEP most recently used ground files."""
    files = [os.path.join(where, n) for n in os.listdir(where) if n.startswith("ground-") and n.endswith(".glb")]
    files.sort(key=lambda p: os.path.getmtime(p), reverse=True)
    for old in files[KEEP:]:
        if old != keep:
            try:
                os.unlink(old)
            except OSError:
                pass  # another Blender may be using the folder; next time
