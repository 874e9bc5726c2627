"""Walk cycles played by the distance each agent walks.

With a walk action on the tag, Simulate gives every armature an agent
carries (the agent itself when it is an armature, else each of its direct
children that is one) an NLA track "Kestrelwood walk" holding one strip of
the action, whose time is keyed on every frame of the run:

    t(f) = a0 + (phase + d(f) / stride) * (a1 - a0), within a0..a1

a0..a1 being the action's frame range and d(f) the distance the agent's
origin has travelled since the start frame: the sum of the straight steps
between its keyed locations (so slopes count), in Blender's length unit as
the stride is. The cycle plays exactly as fast as the agent walks, and holds
its pose while the agent stands.

Blender's own cyclic strip time evaluates fmod(t - a0, a1 - a0) without
adding a0 back, which plays the wrong frames of an action that does not
start at frame 0. The times are wrapped here instead, with that option off:
where a cycle ends between two frames, two keys at one instant end it at a1
and begin the next at a0. The keyed locations are linear between frames, so
the distance is too, and the strip plays the cycle at every sub-frame (motion
blur) as well as on the frames.

Nothing else of an armature is touched: its own action and other tracks stay
as they are. The track is found again by its name.
"""

import random

import bpy
import numpy as np
from bpy.props import BoolProperty, FloatProperty, PointerProperty

from . import action_keys
from .keys import LINEAR
from .notes import Note, listed
from .problem import Problem
from .scene_order import children_in_scene

TRACK = "Kestrelwood walk"

PROPERTIES = {
    "walk_action": PointerProperty(
        name="Walk cycle", type=bpy.types.Action,
        description="An in-place cycle Simulate plays on each agent's armature (the agent, or its armature "
                    "children), one cycle per stride walked, so that planted feet stay planted"),
    "walk_stride": FloatProperty(
        name="Stride", default=0.0, min=0.0, subtype='DISTANCE', unit='LENGTH',
        description="The distance one cycle of the walk covers, in the scene's length unit: how far a planted "
                    "foot moves back relative to the root over its stance, divided by the stance's share of the "
                    "cycle (the distance between two prints of the same foot). Agents walk the distances between "
                    "their keyed locations"),
    "walk_phase_random": BoolProperty(
        name="Random phase", default=True,
        description="Each agent starts its cycle at a phase of its own, drawn from its index (the same on "
                    "every run); off, every agent starts at the cycle's first frame"),
}


def _key_frames(action):
    frames = []
    for fc in action_keys.all_curves(action):
        co = np.empty(2 * len(fc.keyframe_points), dtype=np.float32)
        fc.keyframe_points.foreach_get("co", co)
        frames.append(co[0::2])
    return np.concatenate(frames) if frames else np.empty(0, dtype=np.float32)


def cycle_range(action):
    """(a0, a1): the action's manual frame range when it has one, else from
    its first key to its last; None when it has no keys."""
    frames = _key_frames(action)
    if frames.size == 0:
        return None
    if getattr(action, "use_frame_range", False):
        return float(action.frame_start), float(action.frame_end)
    return float(frames.min()), float(frames.max())


def refusal(tag):
    """Why Simulate cannot play the tag's walk action, in one line; None
    when it can (or when there is none)."""
    action = tag.walk_action
    if action is None:
        return None
    span = cycle_range(action)
    if span is None:
        return f"the walk cycle '{action.name}' has no keys"
    if span[1] - span[0] < 1.0:
        return (f"the walk cycle '{action.name}' spans {span[1] - span[0]:g} frames ({span[0]:g} to {span[1]:g}); "
                "a cycle needs at least one frame")
    if not tag.walk_stride > 0.0:
        return (f"the walk stride is {tag.walk_stride:g}; set Stride to the distance one cycle of "
                f"'{action.name}' covers")
    if hasattr(action, "slots") and _object_slot(action) is None:
        return f"the walk cycle '{action.name}' has no slot for objects"
    return None


def _object_slot(action):
    """4.4 and later: the action's first slot for objects, which a strip
    plays (a new strip takes one only when the action has exactly one)."""
    return next((s for s in action.slots if getattr(s, "target_id_type", 'OBJECT') == 'OBJECT'), None)


def phase_of(index, random_phase):
    """Where agent `index` starts in its cycle, as a share of a cycle: drawn
    from a generator seeded by the index, so that a rerun is the same."""
    return random.Random(index).random() if random_phase else 0.0


def travelled(positions):
    """d(f): the distance walked up to each position, the first at 0, as
    the sum of the straight steps between them."""
    p = np.asarray(positions, dtype=np.float64)
    steps = np.linalg.norm(np.diff(p, axis=0), axis=1)
    return np.concatenate(([0.0], np.cumsum(steps)))


def strip_keys(frames, distances, phase, stride, a0, a1):
    """(frames, times) of the strip time's keys: one on every frame, and at
    every end of a cycle between two frames a key at a1 and one at a0."""
    f = np.asarray(frames, dtype=np.float64)
    u = phase + np.asarray(distances, dtype=np.float64) / stride  # cycles walked
    whole = np.floor(u)
    xs, ys, order = [f], [a0 + (u - whole) * (a1 - a0)], [np.full(f.size, 2)]
    ends_x, ends_y, ends_order = [], [], []
    for i in np.nonzero(whole[1:] > whole[:-1])[0]:
        for k in range(int(whole[i]) + 1, int(whole[i + 1]) + 1):
            x = f[i] + (k - u[i]) / (u[i + 1] - u[i]) * (f[i + 1] - f[i])
            ends_x.append(x), ends_y.append(a1), ends_order.append(0)
            if x < f[i + 1]:  # on the frame itself, its own key begins the cycle
                ends_x.append(x), ends_y.append(a0), ends_order.append(1)
    xs.append(np.array(ends_x)), ys.append(np.array(ends_y)), order.append(np.array(ends_order, dtype=int))
    x, y, o = np.concatenate(xs), np.concatenate(ys), np.concatenate(order)
    sort = np.lexsort((o, x))
    return x[sort], y[sort]


def armatures_of(agent, scene):
    """The armatures an agent carries: itself when it is one, else its
    direct children in the scene that are."""
    if agent.type == 'ARMATURE':
        return [agent]
    return [c for c in children_in_scene(agent, scene) if c.type == 'ARMATURE']


class Plan:
    """What Simulate plays: the action and, per armature, its strip keys."""

    def __init__(self, action, agents, scene):
        self.action = action
        self.agents = agents
        self.scene = scene
        self.plays = []      # (armature, key frames, key times)
        self.warnings = []   # Notes


def plan(tag, agents, tracks, scene, units=1.0):
    """The strip times of every armature of the agents from the run's
    tracks (positions in scene units, `units` of them to a Blender unit).
    Changes nothing; raises Problem when a stride is shorter than an agent's
    step in one frame (the cycle would play more than once a frame)."""
    out = Plan(tag.walk_action, agents, scene)
    if out.action is None:
        return out
    a0, a1 = cycle_range(out.action)
    stride = tag.walk_stride
    longest = 0.0
    for index, agent in enumerate(agents):
        armatures = armatures_of(agent, scene)
        if not armatures:
            continue
        track = tracks[index]
        d = travelled(np.asarray(track.matrices, dtype=np.float64)[:, 0:3]) / units
        if d.size > 1:
            longest = max(longest, float(np.diff(d).max()))
        x, t = strip_keys(track.frames, d, phase_of(index, tag.walk_phase_random), stride, a0, a1)
        out.plays.extend((arm, x, t) for arm in armatures)
    if longest > stride:
        raise Problem(f"an agent walks {longest:.4g} in one frame, more than the walk stride {stride:g}: the "
                      "cycle would play more than once a frame; measure Stride in the scene's length unit")
    if not out.plays:
        out.warnings.append(Note(tag.id_data.name, "no-armature", f"no agent carries an armature, so the walk "
                                                                  f"cycle '{out.action.name}' plays on none"))
    hidden = [arm.name for arm, _x, _t in out.plays if _hides_walk(arm, out.action)]
    if hidden:
        out.warnings.append(Note(tag.id_data.name, "walk-hidden",
                                 f"the own actions of {listed(hidden)} key channels of '{out.action.name}' "
                                 "and play over the walk track; unlink them to see the walk"))
    return out


def play(walks):
    """Replaces the walk tracks of the plan's agents' armatures by those of
    the plan. Returns how many armatures walk."""
    clear(walks.agents, walks.scene)
    for arm, x, t in walks.plays:
        _add_track(arm, walks.action, x, t)
    return len(walks.plays)


def clear(agents, scene):
    """Removes the walk tracks from the armatures the agents carry. Returns
    how many were removed."""
    removed = 0
    for agent in agents:
        for arm in armatures_of(agent, scene):
            ad = arm.animation_data
            if ad is None:
                continue
            for track in [t for t in ad.nla_tracks if t.name == TRACK]:
                ad.nla_tracks.remove(track)
                removed += 1
    return removed


def _add_track(arm, action, x, t):
    ad = arm.animation_data or arm.animation_data_create()
    track = ad.nla_tracks.new()
    track.name = TRACK
    first, last = int(x[0]), int(np.ceil(x[-1]))
    strip = track.strips.new(action.name, first, action)
    if getattr(strip, "action_slot", False) is None:
        strip.action_slot = _object_slot(action)
    if last > first:
        strip.frame_end = last  # the strip's time is keyed: its length only says when it plays
    strip.use_animated_time = True
    strip.use_animated_time_cyclic = False
    key_strip_time(strip, x, t)


def key_strip_time(strip, x, t):
    """Keys the strip's time: times t at frames x, linear, replacing the
    keys it had."""
    fc = strip.fcurves.find("strip_time")
    n = len(x)
    co = np.empty(2 * n, dtype=np.float32)
    co[0::2], co[1::2] = x, t
    fc.keyframe_points.clear()
    fc.keyframe_points.add(n)
    fc.keyframe_points.foreach_set("co", co)
    fc.keyframe_points.foreach_set("interpolation", np.full(n, LINEAR, dtype=np.int32))
    fc.update()


def _hides_walk(arm, action):
    """Whether the armature's own action keys a channel the walk keys: the
    active action plays over every NLA track."""
    ad = arm.animation_data
    own = ad.action if ad is not None else None
    if own is None or own == action:
        return own is not None
    walked = {(fc.data_path, fc.array_index) for fc in action_keys.all_curves(action)}
    return any((fc.data_path, fc.array_index) in walked for fc in action_keys.all_curves(own))

