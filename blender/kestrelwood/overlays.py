"""The tag's overlays in the viewport: what the tag drew in the run of the
last Simulate (vision probes, red while an agent sees an obstacle; repulsion
and alignment circles), for the frame shown, in the tag's pen colours.

The program writes the run's drawing (`kestrelwood run --drawing FILE`,
JSON Lines, one line per frame): per frame and tag, the lines and circles
the tag's Draw made, in the host's axes and scene units. The add-on draws
them as they are, turned into Blender's axes and units; it knows nothing of
what they mean. A frame's line is parsed when the frame is first shown. A
drawing is kept in memory for the carrier whose run made it (not in the
.blend file): a reopened file, or ticks changed since the run, draws nothing
until the next Simulate, and the panel says so.
"""

import json
import math
import re
import uuid

import bpy
import numpy as np

from .parameters import BOOLS
from .problem import Problem

FORMAT = "kestrelwood-drawing/1"
# Segments of a drawn circle.
CIRCLE_SEGMENTS = 48
# Drawings kept at most (the last Simulates'; undo may go back to one).
KEPT = 8

_drawings = {}   # run id -> Drawing
_handle = None
_cache = {}      # "batch": (run id, frame, batch)


class Drawing:
    """One tag's drawing of a run: per frame, the frame's line of the file
    until it is first shown, then the tag's lines (n, 9: rgb, a, b) and
    circles (n, 12: rgb, centre, v1, v2), host axes, scene units."""

    def __init__(self, carrier, tag_index, ticks, units):
        self.carrier = carrier
        self.tag_index = tag_index
        self.ticks = ticks
        self.units = units
        self.frames = {}

    def shapes(self, frame):
        shapes = self.frames.get(frame)
        if isinstance(shapes, str):
            shown = json.loads(shapes)
            mine = self.tag_index
            shapes = self.frames[frame] = (
                np.array([row[1:] for row in shown["lines"] if row[0] == mine], dtype=np.float64).reshape(-1, 9),
                np.array([row[1:] for row in shown["circles"] if row[0] == mine], dtype=np.float64).reshape(-1, 12))
        return shapes


def ticks_of(tag):
    return tuple(bool(getattr(tag, p.attr)) for p in BOOLS)


_FRAME = re.compile(r'\{"frame": (-?\d+),')


def read(path, tag_index, carrier, ticks, units):
    """The drawing of the tag numbered tag_index (the CSV's tag column)."""
    with open(path, encoding="utf-8") as f:
        head = f.readline()
        try:
            known = json.loads(head).get("format") == FORMAT
        except (ValueError, AttributeError):
            known = False
        if not known:
            raise Problem(f"{path}: not a kestrelwood drawing (its first line is not the format {FORMAT})")
        drawing = Drawing(carrier, tag_index, ticks, units)
        for line in f:
            frame = _FRAME.match(line)
            if frame is None:
                raise Problem(f"{path}: a line that is no frame of a drawing: {line[:40]}")
            drawing.frames[int(frame.group(1))] = line
    return drawing


def keep(tag, drawing):
    """Shows drawing for the tag from now on."""
    run = uuid.uuid4().hex
    _drawings[run] = drawing
    while len(_drawings) > KEPT:
        del _drawings[next(iter(_drawings))]
    tag.overlay_run = run


def forget(tag):
    tag.overlay_run = ""


def waiting(tag):
    """Why the ticked overlays are not drawn, or ""."""
    ticks = ticks_of(tag)
    if not any(ticks):
        return ""
    drawing = _drawings.get(tag.overlay_run)
    if drawing is None or drawing.ticks != ticks:
        return "press Simulate to draw the ticked overlays"
    return ""


def geometry(tag, frame):
    """(positions (n, 3), colours (n, 4)) of the line segments to draw for
    the tag at frame, in Blender's axes and units; None when nothing is."""
    if not tag.enabled or waiting(tag) or not any(ticks_of(tag)):
        return None
    drawing = _drawings[tag.overlay_run]
    shapes = drawing.shapes(frame)
    if shapes is None:
        return None
    lines, circles = shapes
    t = np.linspace(0.0, 2.0 * math.pi, CIRCLE_SEGMENTS + 1)
    ring = circles[:, None, 3:6] + np.cos(t)[None, :, None] * circles[:, None, 6:9] \
        + np.sin(t)[None, :, None] * circles[:, None, 9:12]
    segments = np.concatenate([
        lines[:, 3:9].reshape(-1, 2, 3),
        np.stack([ring[:, :-1], ring[:, 1:]], axis=2).reshape(-1, 2, 3),
    ])
    colours = np.concatenate([np.repeat(lines[:, 0:3], 2, axis=0),
                              np.repeat(circles[:, 0:3], 2 * CIRCLE_SEGMENTS, axis=0)])
    positions = segments.reshape(-1, 3)[:, [0, 2, 1]] / drawing.units  # host (x, y, z) is Blender (x, z, y)
    rgba = np.concatenate([colours / 255.0, np.ones((len(colours), 1))], axis=1)
    return positions.astype(np.float32), rgba.astype(np.float32)


def _draw():
    context = bpy.context
    scene = context.scene
    if scene is None:
        return
    for run, drawing in list(_drawings.items()):
        carrier = scene.objects.get(drawing.carrier)
        if carrier is None or carrier.kestrelwood.overlay_run != run:
            continue
        batch = _batch(carrier.kestrelwood, run, scene.frame_current)
        if batch is not None:
            batch.draw(_shader())


def _batch(tag, run, frame):
    key = (run, frame, ticks_of(tag))
    cached = _cache.get(key)
    if cached is None:
        import gpu_extras.batch
        found = geometry(tag, frame)
        if found is None:
            return None
        if len(_cache) > 16:
            _cache.clear()
        # Lists: Blender 3.4 misreads numpy arrays of vectors here.
        cached = _cache[key] = gpu_extras.batch.batch_for_shader(
            _shader(), 'LINES', {"pos": found[0].tolist(), "color": found[1].tolist()})
    return cached


def _shader():
    import gpu
    return gpu.shader.from_builtin('FLAT_COLOR')


def register():
    global _handle
    if not bpy.app.background:
        _handle = bpy.types.SpaceView3D.draw_handler_add(_draw, (), 'WINDOW', 'POST_VIEW')


def unregister():
    global _handle
    if _handle is not None:
        bpy.types.SpaceView3D.draw_handler_remove(_handle, 'WINDOW')
        _handle = None
    _cache.clear()
