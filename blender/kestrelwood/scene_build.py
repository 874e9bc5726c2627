"""A Blender scene as a scene file of the substitute host.

What a Blender scene means to the tag:
- a carrier is an object whose `kestrelwood.enabled` is on; its tag is
  evaluated with the others in depth-first order of the written hierarchy;
- agents are the direct children of `agents_group`, in order of name as the
  outliner lists them (numbers by value, case ignored);
- obstacles are the direct children of `obstacles_group` that are empties
  drawn as a circle (radius: display size times the world X scale) or curves
  whose one spline is a circle (radius from its points, times the world X
  scale, centred on the circle); other children are passed over, as the tag
  passes over what is not a circle;
- the terrain is a mesh object: its evaluated mesh (modifiers applied) in
  its own coordinates, with its world matrix;
- frames: the scene's start frame is the document's first, its end frame the
  last, its frame rate the document's.

Only the objects the tags use are written: agents and obstacles as children
of their groups, every other object at the top with its world matrix. Each
object's matrix relative to its written parent is taken in double precision
and written as the host stores it: position, heading, pitch, bank and scale in
the host's axes (see host_axes).

Lengths are scaled on the way: every position, terrain point and radius, and
the tag's lengths and speed, are written times the carriers'
`units_per_blender_unit` (the scene file has one size, so every carrier of a
scene must have the same); rotations and scales are not.
"""

import math

import numpy as np

from . import action_keys, host_axes
from .lengths import length_text
from .notes import Note, listed
from .parameters import BY_ATTR, LINKS, PARAMETERS, scene_value
from .problem import Problem
from .properties import START_SLOTS
from .scene_order import agents_of, carriers, children_in_scene, name_key
from .scene_text import real32
from .shapes import obstacle_circle, terrain_mesh, uneven_scale

FORMAT = "kestrelwood-scene/1"
TAG_TYPE = "Kestrelwood"
START_COUNT_ID = 1024
FIRST_START_ID = 1025


def _number(value, what):
    v = float(value)
    if not math.isfinite(v):
        raise Problem(f"{what} is not a finite number ({v})")
    return v


class Export:
    """A scene file's document and what the add-on needs to read its run."""

    def __init__(self):
        self.document = None
        self.tag_index = {}    # carrier name -> the CSV's tag column
        self.agents = {}       # carrier name -> [agent objects], in index order
        self.warnings = []     # Notes
        self.units = 1.0       # scene units per Blender unit


def scene_units(tagged):
    """The carriers' one factor of scene units per Blender unit."""
    factors = {}
    for carrier in tagged:
        factors.setdefault(carrier.kestrelwood.units_per_blender_unit, []).append(carrier.name)
    if len(factors) > 1:
        raise Problem("the tags of this scene have different Scene units per m ("
                      + "; ".join(f"{f:g} on {listed(names)}" for f, names in factors.items())
                      + "); give them the same")
    return next(iter(factors), 1.0)


def build(context, record_for=None, ground=None):
    """The scene file's document of the context's scene: every carrier's tag
    with its parameters and start table. With record_for (a carrier), a
    small document for recording that carrier's start: its agents group with
    the agents, and its tag marked to press Record start after loading.
    ground(obj, points, triangles), when given, makes a terrain's geometry
    entry (such as ground_glb.cached); without it the mesh is written inline."""
    scene = context.scene
    depsgraph = context.evaluated_depsgraph_get()
    out = Export()
    tagged = [record_for] if record_for is not None else carriers(scene)
    units = out.units = scene_units(tagged)

    needed = {}        # object -> host type
    circles = {}       # obstacle object -> (centre, radius)
    terrains = set()

    def need(obj, kind="null"):
        if obj is None or scene.objects.get(obj.name) != obj:
            return
        if needed.get(obj) in ("polygon", "circle") and kind == "null":
            return
        needed[obj] = kind

    for carrier in tagged:
        tag = carrier.kestrelwood
        need(carrier)
        agents = agents_of(tag, scene)
        out.agents[carrier.name] = agents
        if tag.agents_group is not None:
            need(tag.agents_group)
        for a in agents:
            need(a)
        if record_for is not None:
            continue
        for p in LINKS:
            linked = getattr(tag, p.attr)
            if linked is not None and scene.objects.get(linked.name) != linked:
                out.warnings.append(Note(carrier.name, "link-outside-scene",
                                         f"its {p.label.lower()} '{linked.name}' is not in this scene, "
                                         "so the tag sees none"))
        need(tag.target)
        if tag.obstacles_group is not None:
            need(tag.obstacles_group)
            for child in children_in_scene(tag.obstacles_group, scene):
                centre, radius, plane = obstacle_circle(child, depsgraph)
                if centre is None:
                    out.warnings.append(Note(carrier.name, "skipped-obstacle",
                                             f"obstacle '{child.name}' is {radius}; passed over"))
                    continue
                uneven = uneven_scale(child, plane)
                if uneven is not None:
                    out.warnings.append(Note(carrier.name, "uneven-obstacle",
                                             f"obstacle '{child.name}' is scaled unevenly ({uneven[0]:.3g} by "
                                             f"{uneven[1]:.3g}) and drawn as an ellipse; the tag sees a circle "
                                             f"of radius {length_text(scene, radius)}"))
                circles[child] = (centre, radius)
                need(child, "circle")
        if tag.terrain is not None and tag.terrain.type == 'MESH':
            terrains.add(tag.terrain)
    for t in terrains:
        need(t, "polygon")

    # The tag needs agents and obstacles to be children of their groups;
    # every other object is written at the top with its world matrix, so
    # that no chain of parent inverses has to pass through the host's
    # objects, which cannot hold a sheared matrix.
    host_parent = {}
    for carrier in tagged:
        tag = carrier.kestrelwood
        for a in out.agents[carrier.name]:
            host_parent[a] = tag.agents_group
    for obstacle in circles:
        host_parent[obstacle] = obstacle.parent

    # The scene file holds one moment: say so for what moves in Blender.
    if record_for is None:
        all_agents = {a for agents in out.agents.values() for a in agents}
        moving = sorted({o.name for o in needed if o not in all_agents and _animated(o)})
        if moving:
            verb, them = ("moves", "it") if len(moving) == 1 else ("move", "them")
            out.warnings.append(Note(None, "moving-object",
                                     f"{listed(moving)} {verb} in Blender, but the tag sees {them} where "
                                     f"{'it stands' if len(moving) == 1 else 'they stand'} at frame "
                                     f"{scene.frame_current}"))
        out.warnings.extend(_shared_groups(tagged))

    names = {}
    for obj in needed:
        if obj.name in names:
            raise Problem(f"two objects are named '{obj.name}' (one is linked from a library); "
                          "rename one of them")
        names[obj.name] = obj

    tagged_set = set(tagged)
    counter = [0]

    def write(obj, parent_world):
        world = host_axes.to_numpy(obj.matrix_world)
        kind = needed[obj]
        if kind == "circle":
            # The host's circle is centred on its object's origin.
            shift = np.identity(4)
            shift[0:3, 3] = circles[obj][0]
            world = world @ shift
        world[0:3, 3] *= units
        if parent_world is None:
            local = world
        elif abs(np.linalg.det(parent_world[0:3, 0:3])) < 1e-30:
            raise Problem(f"'{obj.parent.name}' has a scale of 0, so the matrix of its "
                          f"child '{obj.name}' cannot be found")
        else:
            local = np.linalg.inv(parent_world) @ world
        d = host_axes.decompose_host(host_axes.host_from_blender(local))
        if d.shear > host_axes.SHEAR_TOLERANCE:
            out.warnings.append(Note(None, "sheared-object",
                                     f"'{obj.name}' is sheared by a non-uniformly scaled parent; "
                                     "the host keeps only its rotation and scale"))
        entry = {
            "name": obj.name,
            "type": kind,
            "position": [_number(v, f"the position of '{obj.name}'") for v in d.position],
            "rotation": [_number(v, f"the rotation of '{obj.name}'") for v in d.rotation],
            "scale": [_number(v, f"the scale of '{obj.name}'") for v in d.scale],
        }
        if kind == "circle":
            entry["radius"] = real32(circles[obj][1] * units)
        elif kind == "polygon":
            points, triangles = terrain_mesh(obj, depsgraph)
            if len(triangles) == 0:
                out.warnings.append(Note(None, "flat-terrain",
                                         f"terrain '{obj.name}' has no faces; agents walk as on flat ground"))
            if units != 1.0:
                points = (points.astype(np.float64) * units).astype(np.float32)
            if ground is not None and len(triangles) > 0:
                entry.update(ground(obj, points, triangles))
            else:
                entry["mesh"] = {"points": points, "polygons": triangles}
        if obj in tagged_set:
            # Evaluation order is depth-first pre-order: this tag before
            # any tag below it.
            out.tag_index[obj.name] = counter[0]
            counter[0] += 1
            entry["tags"] = [tag_json(obj.kestrelwood, needed, record=record_for is not None)]
        kids = [c for c in children_in_scene(obj, scene) if host_parent.get(c) == obj]
        if kids:
            entry["children"] = [write(c, world) for c in kids]
        return entry

    out.document = {
        "format": FORMAT,
        "fps": int(scene.render.fps),
        "minFrame": int(scene.frame_start),
        "maxFrame": int(scene.frame_end),
        "objects": [write(o, None) for o in sorted((o for o in needed if o not in host_parent),
                                                    key=lambda o: name_key(o.name))],
    }
    return out


def _animated(obj):
    """Whether obj or an object it hangs from has keys, drivers or
    constraints that can move it."""
    while obj is not None:
        ad = obj.animation_data
        if ad is not None and (action_keys.curve_count(obj) > 0 or len(ad.drivers) > 0
                               or len(ad.nla_tracks) > 0):
            return True
        if any(c.enabled and c.influence > 0.0 for c in obj.constraints):
            return True
        obj = obj.parent
    return False


def _shared_groups(tagged):
    """Two tags that steer the same agents move them twice a frame (as a
    duplicated carrier does): a warning on each."""
    by_group = {}
    for carrier in tagged:
        group = carrier.kestrelwood.agents_group
        if group is not None:
            by_group.setdefault(group, []).append(carrier.name)
    notes = []
    for group, names in by_group.items():
        for name in names if len(names) > 1 else ():
            others = [n for n in names if n != name]
            notes.append(Note(name, "shared-agents",
                              f"{listed(others)} also steer{'s' if len(others) == 1 else ''} the agents of "
                              f"'{group.name}', so they take two steps a frame; disable or delete one of "
                              "the tags"))
    return notes


def tag_json(tag, written, record=False):
    """The tag's entry: every parameter, links by object name (empty for an
    object that is not written), and the start table when one is recorded.
    For recording, only what the record command reads, with a press of
    Record start after loading."""

    def _link(obj):
        return obj.name if obj is not None and obj in written else None

    if record:
        params = {"AGENTS_GROUP": _link(tag.agents_group),
                  "SPEED": real32(scene_value(tag, BY_ATTR["speed"])),
                  "SPEED_VARIATION": real32(tag.speed_variation)}
        return {"type": TAG_TYPE, "params": params, "recordStart": True}
    params = {}
    for p in PARAMETERS:
        if p.kind == "link":
            params[p.param] = _link(getattr(tag, p.attr))
        elif p.kind == "real":
            params[p.param] = real32(scene_value(tag, p))
        else:
            params[p.param] = bool(getattr(tag, p.attr))
    if tag.start_recorded and len(tag.start_slots) == START_SLOTS:
        params["START_RECORDED"] = {"bool": True}
        params["START_COUNT_ID"] = {"long": START_COUNT_ID}
        params["START_COUNT"] = {"long": START_SLOTS}
        for k, slot in enumerate(tag.start_slots):
            params[str(FIRST_START_ID + 2 * k)] = {"matrix": [real32(v) for v in slot.matrix]}
            params[str(FIRST_START_ID + 1 + 2 * k)] = {"real": real32(slot.speed)}
    return {"type": TAG_TYPE, "params": params}
