"""The tag on an object: `Object.kestrelwood`.

Its parameters (parameters.py) carry the tag's labels, limits and tooltips.
Lengths and the speed are in Blender units, speeds per frame; the scene file
holds them times `units_per_blender_unit`. A new tag gets the tag's defaults
at a factor of 100 (Speed 0.2 m per frame); a tag saved before the factor
existed has version 0 and reads a factor of 1 and the tag's defaults as they
are, so its crowd does not change. The start state is the module's own start
table: 100 slots of a global matrix in the host's axes and scene units and a
speed, as the module's record command wrote them.
"""

import bpy
from bpy.props import (BoolProperty, CollectionProperty, FloatProperty, FloatVectorProperty,
                       IntProperty, PointerProperty, StringProperty)

from .parameters import (BOOLS, LENGTHS, LINKS, NEW_TAG_UNITS, OLD_TAG_UNITS, PARAMETERS,  # noqa: F401
                         REALS, TAG_VERSION)
from . import walk

# The module's start table holds this many slots, whatever the crowd's size.
START_SLOTS = 100


def _is_mesh(self, obj):
    return obj.type == 'MESH'


class KestrelwoodStartSlot(bpy.types.PropertyGroup):
    """One slot of the start table."""
    matrix: FloatVectorProperty(
        name="Start matrix", size=12, default=(0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1),
        description="Global matrix in the host's axes: offset, then the X, Y and Z axes")
    speed: FloatProperty(name="Start speed", description="Distance walked per frame, in scene units")
    agent: StringProperty(name="Agent", description="The agent recorded in this slot; empty when none was")


class KestrelwoodKeyed(bpy.types.PropertyGroup):
    """An object that a Simulate of this tag keyed."""
    object: PointerProperty(name="Keyed object", type=bpy.types.Object)


class KestrelwoodWarning(bpy.types.PropertyGroup):
    """One warning of the tag's last Simulate, in the panel's words."""
    key: StringProperty(name="Key", description="The warning's stable key")
    text: StringProperty(name="Warning")


def _property(p):
    if p.kind == "link":
        return PointerProperty(name=p.label, type=bpy.types.Object, description=p.tip,
                               **({"poll": _is_mesh} if p.attr == "terrain" else {}))
    if p.kind == "bool":
        return BoolProperty(name=p.label, default=p.default, description=p.tip)
    kw = dict(name=p.label, default=p.default, description=p.tip,
              subtype={"length": "DISTANCE", "angle": "ANGLE", "factor": "FACTOR"}.get(p.unit, "NONE"))
    if p.unit == "length":
        kw["unit"] = "LENGTH"
    elif p.unit == "angle":
        kw["unit"] = "ROTATION"
    if p.minimum is not None:
        kw["min"] = p.minimum
    if p.maximum is not None:
        kw["max"] = p.maximum
    return FloatProperty(**kw)


def _on_enabled(tag, _context):
    """A tag ticked on for the first time gets the defaults of a new tag;
    a tag that has settings of its own keeps them."""
    if not tag.enabled or tag.version >= TAG_VERSION:
        return
    if not tag.start_recorded and not any(tag.is_property_set(p.attr) for p in PARAMETERS):
        tag.units_per_blender_unit = NEW_TAG_UNITS
        for p in LENGTHS:
            setattr(tag, p.attr, p.default / NEW_TAG_UNITS)
    tag.version = TAG_VERSION


class KestrelwoodTag(bpy.types.PropertyGroup):
    """The Kestrelwood tag of an object."""
    __annotations__ = {
        "enabled": BoolProperty(name="Kestrelwood", default=False, update=_on_enabled,
                                description="This object carries a Kestrelwood tag that steers a crowd"),
        "version": IntProperty(name="Settings version", default=0, min=0,
                               description="0: saved before lengths were shown in Blender units"),
        "units_per_blender_unit": FloatProperty(
            name="Scene units per m", default=OLD_TAG_UNITS, min=1e-6, soft_min=0.01, soft_max=10000.0,
            description="Scene units of the tag per Blender unit: 100 fits the tag's defaults to a crowd "
                        "in metres; 1 maps one Blender unit to one scene unit (tags made before this setting)"),
        **{p.attr: _property(p) for p in PARAMETERS},
        **walk.PROPERTIES,
        "start_recorded": BoolProperty(name="Start recorded", default=False,
                                       description="Record start has stored the agents' start state"),
        "start_slots": CollectionProperty(type=KestrelwoodStartSlot),
        "start_count": IntProperty(name="Recorded agents", default=0, min=0,
                                   description="How many agents Record start found"),
        "start_frame": IntProperty(name="Recorded at frame", default=0,
                                   description="The frame at which the start was recorded"),
        # What the start was recorded with, to tell when it is out of date.
        # A start recorded before these were kept reads -1 (unknown) and 1.
        "start_speed": FloatProperty(name="Recorded speed", default=-1.0,
                                     description="Speed in scene units per frame when the start was recorded"),
        "start_variation": FloatProperty(name="Recorded speed variation", default=-1.0),
        "start_units": FloatProperty(name="Recorded scene units per unit", default=OLD_TAG_UNITS),
        "keyed": CollectionProperty(type=KestrelwoodKeyed),
        "warnings": CollectionProperty(type=KestrelwoodWarning),
        "overlay_run": StringProperty(name="Overlay run",
                                      description="The Simulate whose drawing the viewport overlays show"),
    }


classes = (KestrelwoodStartSlot, KestrelwoodKeyed, KestrelwoodWarning, KestrelwoodTag)


def register():
    for cls in classes:
        bpy.utils.register_class(cls)
    bpy.types.Object.kestrelwood = PointerProperty(type=KestrelwoodTag)


def unregister():
    del bpy.types.Object.kestrelwood
    for cls in reversed(classes):
        bpy.utils.unregister_class(cls)
