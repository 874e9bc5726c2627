"""The tag on an object: `Object.kestrelwood`.

Its parameters carry the tag's defaults, the labels of the tag's own panel
and its limits. Lengths, radii and speeds are in scene units (1 Blender unit
is one scene unit of the module), speeds per frame; angles are radians,
shown in degrees. The start state is the module's own start table: 100 slots
of a global matrix in the host's axes and a speed, as the module's record
command wrote them.
"""

import bpy
from bpy.props import (BoolProperty, CollectionProperty, FloatProperty, FloatVectorProperty,
                       IntProperty, PointerProperty, StringProperty)

from . import walk

# The module's start table holds this many slots, whatever the crowd's size.
START_SLOTS = 100

# (attribute, the tag's parameter name, label, default, subtype, min, max,
# tooltip). Defaults are those the tag's Init writes; the reals it leaves
# unset (max_pitch_step) read as 0.
REALS = (
    ("vision_length", "VISION_LENGTH", "Vision length", 1000.0, "DISTANCE", 0.0, None,
     "How far ahead an agent looks for obstacles, and the clearance it keeps from them"),
    ("vision_half_width", "VISION_HALF_WIDTH", "Vision half width", 200.0, "DISTANCE", 0.0, None,
     "Half the width of an agent's vision probe, to each side"),
    ("avoid_angle", "AVOID_ANGLE", "Avoid angle", 0.7854, "ANGLE", None, None,
     "How far an agent that sees an obstacle turns away from it"),
    ("speed", "SPEED", "Speed", 20.0, "DISTANCE", None, None,
     "Mean distance an agent walks per frame; Record start draws each agent's own speed from it"),
    ("speed_variation", "SPEED_VARIATION", "Speed variation", 0.0, "FACTOR", 0.0, 2.0,
     "Relative spread of the agents' speeds: 0.5 gives speeds from 75% to 125% of Speed"),
    ("target_weight", "TARGET_WEIGHT", "Target weight", 10.0, "NONE", None, None,
     "Pull towards the target"),
    ("repulsion_weight", "REPULSION_WEIGHT", "Repulsion weight", 20.0, "NONE", None, None,
     "Push away from agents within the repulsion radius"),
    ("alignment_weight", "ALIGNMENT_WEIGHT", "Alignment weight", 1.0, "NONE", None, None,
     "Pull towards the heading of agents within the alignment radius"),
    ("repulsion_radius", "REPULSION_RADIUS", "Repulsion radius", 200.0, "DISTANCE", 0.0, None,
     "Agents nearer than this push each other apart and slow down"),
    ("alignment_radius", "ALIGNMENT_RADIUS", "Alignment radius", 800.0, "DISTANCE", 0.0, None,
     "Agents nearer than this align their headings"),
    ("max_pitch_step", "MAX_PITCH_STEP", "Max pitch step", 0.0, "ANGLE", None, None,
     "On a terrain, the largest change of an agent's pitch per frame; 0 follows the slope at once"),
)

LINKS = (
    ("agents_group", "AGENTS_GROUP", "Agents group",
     "The object whose direct children are the agents (at most 100), in order of name"),
    ("target", "TARGET", "Target", "The object the agents walk to; without it nothing moves"),
    ("obstacles_group", "OBSTACLES_GROUP", "Obstacles group",
     "The object whose direct children are the obstacles: empties drawn as a circle, "
     "or curves whose one spline is a circle"),
    ("terrain", "TERRAIN", "Terrain", "A mesh the agents walk on (its modifiers applied)"),
)

BOOLS = (
    ("show_vision", "SHOW_VISION", "Show vision", "Draw each agent's vision probe in kestrelwood's viewer"),
    ("show_repulsion", "SHOW_REPULSION", "Show repulsion",
     "Draw each agent's repulsion radius in kestrelwood's viewer"),
    ("show_alignment", "SHOW_ALIGNMENT", "Show alignment",
     "Draw each agent's alignment radius in kestrelwood's viewer"),
)


def _is_mesh(self, obj):
    return obj.type == 'MESH'


class KestrelwoodStartSlot(bpy.types.PropertyGroup):
    """One slot of the start table."""
    matrix: FloatVectorProperty(
        name="Start matrix", size=12, default=(0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1),
        description="Global matrix in the host's axes: offset, then the X, Y and Z axes")
    speed: FloatProperty(name="Start speed", description="Distance walked per frame")
    agent: StringProperty(name="Agent", description="The agent recorded in this slot; empty when none was")


def _reals():
    out = {}
    for attr, _param, label, default, subtype, lo, hi, tip in REALS:
        kw = dict(name=label, default=default, subtype=subtype, description=tip)
        if subtype == "ANGLE":
            kw["unit"] = "ROTATION"
        elif subtype == "DISTANCE":
            kw["unit"] = "LENGTH"
        if lo is not None:
            kw["min"] = lo
        if hi is not None:
            kw["max"] = hi
        out[attr] = FloatProperty(**kw)
    return out


class KestrelwoodTag(bpy.types.PropertyGroup):
    """The Kestrelwood tag of an object."""
    __annotations__ = {
        "enabled": BoolProperty(name="Kestrelwood", default=False,
                                description="This object carries a Kestrelwood tag that steers a crowd"),
        **{attr: PointerProperty(name=label, type=bpy.types.Object, description=tip,
                                 **({"poll": _is_mesh} if attr == "terrain" else {}))
           for attr, _p, label, tip in LINKS},
        **_reals(),
        **{attr: BoolProperty(name=label, default=False, description=tip) for attr, _p, label, tip in BOOLS},
        **walk.PROPERTIES,
        "start_recorded": BoolProperty(name="Start recorded", default=False,
                                       description="Record start has stored the agents' start state"),
        "start_slots": CollectionProperty(type=KestrelwoodStartSlot),
        "start_count": IntProperty(name="Recorded agents", default=0, min=0,
                                   description="How many agents Record start found"),
        "start_frame": IntProperty(name="Recorded at frame", default=0,
                                   description="The frame at which the start was recorded"),
    }


classes = (KestrelwoodStartSlot, KestrelwoodTag)


def register():
    for cls in classes:
        bpy.utils.register_class(cls)
    bpy.types.Object.kestrelwood = PointerProperty(type=KestrelwoodTag)


def unregister():
    del bpy.types.Object.kestrelwood
    for cls in reversed(classes):
        bpy.utils.unregister_class(cls)
