"""The tag's parameters, told once: the properties (properties.py), the
panel (panel.py), the scene file (scene_build.py) and the messages that name
a setting all read this list.

Each entry: the property's attribute, the tag's parameter name in the scene
file, the label of the tag's own panel, its kind, the value the tag's Init
writes (reals it leaves unset read as 0), how the panel shows it, its limits
and tooltip, and the panel section it stands in.

Lengths and the speed are shown in Blender's length unit and written to the
scene file times the carrier's `units_per_blender_unit` (scene units per
Blender unit); angles are radians, shown in degrees.
"""

from typing import NamedTuple, Optional

# The factor the tag's defaults are sized for: a new tag gets it, so that its
# Speed of 20 scene units per frame reads 0.2 m per frame. A tag saved before
# the factor existed reads 1, the mapping it was made with.
NEW_TAG_UNITS = 100.0
OLD_TAG_UNITS = 1.0

# The version of a tag's settings: 0 for a tag saved before lengths were
# shown in Blender units (its lengths are scene units at a factor of 1).
TAG_VERSION = 1


class Parameter(NamedTuple):
    attr: str
    param: str
    label: str
    kind: str                 # 'link', 'real' or 'bool'
    default: object           # the tag's Init value (None for a link)
    unit: str = ""            # reals: 'length' (times the factor in the file), 'angle', 'factor', 'number'
    minimum: Optional[float] = None
    maximum: Optional[float] = None
    tip: str = ""
    section: str = ""         # 'crowd', 'steering' or 'overlays'


def _link(attr, param, label, tip):
    return Parameter(attr, param, label, "link", None, tip=tip, section="crowd")


def _real(attr, param, label, default, unit, tip, minimum=None, maximum=None):
    return Parameter(attr, param, label, "real", default, unit, minimum, maximum, tip, "steering")


def _bool(attr, param, label, tip):
    return Parameter(attr, param, label, "bool", False, tip=tip, section="overlays")


PARAMETERS = (
    _link("agents_group", "AGENTS_GROUP", "Agents group",
          "The object whose direct children are the agents (at most 100), in order of name"),
    _link("target", "TARGET", "Target", "The object the agents walk to; without it nothing moves"),
    _link("obstacles_group", "OBSTACLES_GROUP", "Obstacles group",
          "The object whose direct children are the obstacles: empties drawn as a circle, "
          "or curves whose one spline is a circle"),
    _link("terrain", "TERRAIN", "Terrain", "A mesh the agents walk on (its modifiers applied)"),
    _real("speed", "SPEED", "Speed", 20.0, "length",
          "Mean distance an agent walks per frame; Record start draws each agent's own speed from it",
          minimum=0.0),
    _real("speed_variation", "SPEED_VARIATION", "Speed variation", 0.0, "factor",
          "Relative spread of the agents' speeds: 0.5 gives speeds from 75% to 125% of Speed",
          minimum=0.0, maximum=2.0),
    _real("vision_length", "VISION_LENGTH", "Vision length", 1000.0, "length",
          "How far ahead an agent looks for obstacles, and the clearance it keeps from them", minimum=0.0),
    _real("vision_half_width", "VISION_HALF_WIDTH", "Vision half width", 200.0, "length",
          "Half the width of an agent's vision probe, to each side", minimum=0.0),
    _real("avoid_angle", "AVOID_ANGLE", "Avoid angle", 0.7854, "angle",
          "How far an agent that sees an obstacle turns away from it"),
    _real("target_weight", "TARGET_WEIGHT", "Target weight", 10.0, "number", "Pull towards the target"),
    _real("repulsion_weight", "REPULSION_WEIGHT", "Repulsion weight", 20.0, "number",
          "Push away from agents within the repulsion radius"),
    _real("alignment_weight", "ALIGNMENT_WEIGHT", "Alignment weight", 1.0, "number",
          "Pull towards the heading of agents within the alignment radius"),
    _real("repulsion_radius", "REPULSION_RADIUS", "Repulsion radius", 200.0, "length",
          "Agents nearer than this push each other apart and slow down", minimum=0.0),
    _real("alignment_radius", "ALIGNMENT_RADIUS", "Alignment radius", 800.0, "length",
          "Agents nearer than this align their headings", minimum=0.0),
    _real("max_pitch_step", "MAX_PITCH_STEP", "Max pitch step", 0.0, "angle",
          "On a terrain, the largest change of an agent's pitch per frame; 0 follows the slope at once"),
    _bool("show_vision", "SHOW_VISION", "Show vision",
          "Draw each agent's vision probe (red while it sees an obstacle), as the last Simulate drew it"),
    _bool("show_repulsion", "SHOW_REPULSION", "Show repulsion",
          "Draw each agent's repulsion radius, as the last Simulate drew it"),
    _bool("show_alignment", "SHOW_ALIGNMENT", "Show alignment",
          "Draw each agent's alignment radius, as the last Simulate drew it"),
)

BY_ATTR = {p.attr: p for p in PARAMETERS}
LINKS = tuple(p for p in PARAMETERS if p.kind == "link")
REALS = tuple(p for p in PARAMETERS if p.kind == "real")
BOOLS = tuple(p for p in PARAMETERS if p.kind == "bool")
LENGTHS = tuple(p for p in REALS if p.unit == "length")


def section(name):
    return tuple(p for p in PARAMETERS if p.section == name)


def label(attr):
    """The label of a setting, for messages that name it."""
    return BY_ATTR[attr].label


def scene_value(tag, p):
    """A real parameter as the scene file holds it: lengths in scene units."""
    value = getattr(tag, p.attr)
    return value * tag.units_per_blender_unit if p.unit == "length" else value
