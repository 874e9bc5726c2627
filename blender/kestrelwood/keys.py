"""Keys of a run: the CSV of `kestrelwood run` on the agents' channels.

Every agent gets its location and rotation keyed on every frame of the run,
with linear interpolation, in an action group named "Kestrelwood", so that a
later run or Clear finds its own keys again. A run replaces the location and
rotation keys an agent had; its other channels are kept. Positions come back
from scene units to Blender units (divided by the carrier's
`units_per_blender_unit`). The carrier remembers the objects it keyed, so
that its keys can be taken off an object that is no agent of it any more.
"""

import csv

import bpy
import mathutils
import numpy as np

from . import action_keys, host_axes

GROUP = "Kestrelwood"
CHANNELS = ("location", "rotation_euler", "rotation_quaternion", "rotation_axis_angle")
LINEAR = 1  # the value of 'LINEAR' among a keyframe's interpolation modes
# The columns read, by name from the CSV's header (host/export/csv_writer.h
# writes it): the program may add columns, which are passed over.
COLUMNS = ("frame", "tag", "index", "name")
MATRIX_COLUMNS = ("x", "y", "z", "v1x", "v1y", "v1z", "v2x", "v2y", "v2z", "v3x", "v3y", "v3z")


class AgentTrack:
    """One agent's rows of a run: frames and host global matrices."""

    def __init__(self, name, frames=(), matrices=()):
        self.name = name
        self.frames = frames  # numbers of the frames, in order
        self.matrices = matrices  # 12 numbers each: off, v1, v2, v3


def read_csv(path, tag):
    """The tracks of the tag's agents, by agent index. The numbers (some
    300,000 in a run of 60 agents over 300 frames) are read by numpy's
    reader; the names from the rows of the first frame, which has every
    agent."""
    names = {}
    with open(path, newline="", encoding="utf-8") as f:
        reader = csv.reader(f)
        header = next(reader, None) or []
        missing = [c for c in COLUMNS + MATRIX_COLUMNS if c not in header]
        if missing:
            raise ValueError(f"{path}: not a kestrelwood CSV (its header has no {', '.join(missing)})")
        frame_at, tag_at, index_at, name_at = (header.index(c) for c in COLUMNS)
        for row in reader:
            if names and row[frame_at] != first:
                break
            first = row[frame_at]
            names[(int(row[tag_at]), int(row[index_at]))] = row[name_at]
    if not names:
        return {}
    # frame, tag, index, then the 12 numbers of the matrix
    numbers = [frame_at, tag_at, index_at] + [header.index(c) for c in MATRIX_COLUMNS]
    rows = np.loadtxt(path, delimiter=",", skiprows=1, usecols=numbers, quotechar='"', ndmin=2, encoding="utf-8")
    rows = rows[rows[:, 1] == tag]
    rows = rows[np.argsort(rows[:, 2], kind="stable")]  # by agent, each agent's frames in order
    indices, starts = np.unique(rows[:, 2].astype(np.int64), return_index=True)
    tracks = {}
    for index, begin, end in zip(indices.tolist(), starts, list(starts[1:]) + [len(rows)]):
        tracks[index] = AgentTrack(names.get((tag, index), ""), rows[begin:end, 0].astype(np.int64),
                                   rows[begin:end, 3:15])
    return tracks


def parent_correction(obj):
    """The matrix Q with basis = Q @ world for this object as it is parented
    (its parent's world matrix and its parent inverse), in double."""
    if obj.parent is None:
        return np.identity(4)
    if obj.parent_type == 'OBJECT':
        parent = host_axes.to_numpy(obj.parent.matrix_world) @ host_axes.to_numpy(obj.matrix_parent_inverse)
        return np.linalg.inv(parent)
    # Vertex and bone parents: what takes world back to basis now.
    return host_axes.to_numpy(obj.matrix_basis) @ np.linalg.inv(host_axes.to_numpy(obj.matrix_world))


def key_agent(obj, track, units=1.0):
    """Keys obj's location and rotation from its track, whose positions are
    in scene units of units per Blender unit. Returns True when it had
    location or rotation keys of its own that were replaced."""
    worlds = host_axes.blender_from_host_rows(track.matrices)
    worlds[:, 0:3, 3] /= units
    bases = parent_correction(obj) @ worlds
    mode = obj.rotation_mode
    n = len(track.frames)
    loc = bases[:, 0:3, 3]
    rot = []
    previous = None
    for basis in bases:
        _l, quat, _s = mathutils.Matrix(basis.tolist()).decompose()
        if mode == 'QUATERNION':
            if previous is not None and previous.dot(quat) < 0.0:
                quat.negate()  # the same rotation, on the near side for interpolation
            previous = quat
            rot.append(tuple(quat))
        elif mode == 'AXIS_ANGLE':
            axis, angle = quat.to_axis_angle()
            rot.append((angle, axis.x, axis.y, axis.z))
        else:
            euler = quat.to_euler(mode, previous) if previous is not None else quat.to_euler(mode)
            previous = euler
            rot.append(tuple(euler))
    rot = np.array(rot)
    path = {"QUATERNION": "rotation_quaternion", "AXIS_ANGLE": "rotation_axis_angle"}.get(mode, "rotation_euler")

    bag, replaced = _own_action(obj)
    frames = np.array(track.frames, dtype=np.float64)
    for data_path, values in (("location", loc), (path, rot)):
        for i in range(values.shape[1]):
            fc = action_keys.new_curve(bag, data_path, i, GROUP)
            fc.keyframe_points.add(n)
            co = np.empty(2 * n, dtype=np.float32)
            co[0::2] = frames
            co[1::2] = values[:, i]
            fc.keyframe_points.foreach_set("co", co)
            fc.keyframe_points.foreach_set("interpolation", np.full(n, LINEAR, dtype=np.int32))
            fc.update()
    return replaced


def _own_action(obj):
    """The object's action, made for it alone, without location and rotation
    curves. Returns (what holds its curves, whether curves of the user's were
    removed)."""
    ad = obj.animation_data or obj.animation_data_create()
    action = ad.action
    if action is None:
        action = ad.action = _new_action(obj)
    elif action.users > 1:
        # Shared with other objects: keys for this one must not move them.
        action = ad.action = action.copy()
    replaced = False
    bag = action_keys.channels(obj, ensure=True)
    for fc in list(bag.fcurves):
        if fc.data_path in CHANNELS:
            if fc.group is None or fc.group.name != GROUP:
                replaced = True
            bag.fcurves.remove(fc)
    return bag, replaced


def _new_action(obj):
    action = bpy.data.actions.new(f"{obj.name} Kestrelwood")
    action["kestrelwood"] = True  # made by the add-on: Clear may remove it
    return action


def clear_agent(obj):
    """Removes the keys of a run from obj. Returns True when there were any."""
    ad = obj.animation_data
    bag = action_keys.channels(obj)
    if bag is None:
        return False
    action = ad.action
    ours = [fc for fc in bag.fcurves if fc.group is not None and fc.group.name == GROUP]
    if not ours and action.users > 1:
        return False
    if ours and action.users > 1:
        action = ad.action = action.copy()
        bag = action_keys.channels(obj, ensure=True)
        ours = [fc for fc in bag.fcurves if fc.group is not None and fc.group.name == GROUP]
    for fc in ours:
        bag.fcurves.remove(fc)
    group = bag.groups.get(GROUP)
    if group is not None:
        bag.groups.remove(group)
    if len(bag.fcurves) == 0 and action.get("kestrelwood"):
        ad.action = None
        if action.users == 0:
            bpy.data.actions.remove(action)
    return bool(ours)


def _run_curves(obj):
    bag = action_keys.channels(obj)
    if bag is None:
        return []
    return [fc for fc in bag.fcurves if fc.group is not None and fc.group.name == GROUP]


def first_keyed_frame(obj):
    """The first frame of a run's keys on obj, or None when it has none."""
    frames = [fc.keyframe_points[0].co[0] for fc in _run_curves(obj) if len(fc.keyframe_points)]
    return min(frames) if frames else None


def remember(tag, objects):
    """Keeps on the tag the objects its Simulate keyed."""
    tag.keyed.clear()
    for obj in objects:
        tag.keyed.add().object = obj


def strays(tag, agents, others):
    """Objects the tag keyed that are neither its agents now nor agents of
    another tag (others: the other tags' agents), and still carry keys."""
    keep = set(agents) | set(others)
    return [k.object for k in tag.keyed
            if k.object is not None and k.object not in keep and _run_curves(k.object)]
