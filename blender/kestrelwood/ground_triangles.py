"""The triangles of a ground's evaluated mesh, kept from one Simulate to the
next.

Blender 3.4 has no fast way out for a mesh's loop triangles: 2,000,000 of
them take a quarter of a second to read, against a hundredth for the points.
So they are kept, per object and frame, and trusted until Blender reports a
change of geometry (of any object: an edit, a modifier, an undo), loads a
file, undoes or redoes; the points are read on every press, and the counts
of points and triangles must still be the ones the triangles were read with.
"""

from collections import OrderedDict

import bpy
import numpy as np
from bpy.app.handlers import persistent

# Grounds whose triangles are kept (each some 12 bytes a triangle).
KEEP = 2
_kept = OrderedDict()  # (object pointer, frame) -> (point count, triangles)


def of(obj, mesh, frame):
    """The triangles of mesh, obj's evaluated mesh at frame, as an (n * 3)
    int32 array of point indices in Blender's winding."""
    key = (obj.as_pointer(), frame)
    count = len(mesh.loop_triangles)
    kept = _kept.get(key)
    if kept is not None and kept[0] == len(mesh.vertices) and len(kept[1]) == 3 * count:
        _kept.move_to_end(key)
        return kept[1]
    # Blender's own index type: foreach_get into any other converts one by one.
    tris = np.empty(3 * count, dtype=np.int32)
    mesh.loop_triangles.foreach_get("vertices", tris)
    tris.flags.writeable = False  # shared by every press that finds it
    _kept[key] = (len(mesh.vertices), tris)
    while len(_kept) > KEEP:
        _kept.popitem(last=False)
    return tris


def forget():
    """Drops every kept triangle list: the next press reads them again."""
    _kept.clear()


@persistent
def _forget(*_args):
    forget()


@persistent
def _geometry_changed(_scene, depsgraph):
    if _kept and any(u.is_updated_geometry for u in depsgraph.updates):
        _kept.clear()


_handlers = ((bpy.app.handlers.depsgraph_update_post, _geometry_changed), (bpy.app.handlers.load_post, _forget),
             (bpy.app.handlers.undo_post, _forget), (bpy.app.handlers.redo_post, _forget))


def register():
    for handlers, fn in _handlers:
        if fn not in handlers:
            handlers.append(fn)


def unregister():
    for handlers, fn in _handlers:
        if fn in handlers:
            handlers.remove(fn)
    _kept.clear()
