"""The start state: recorded by the module itself, kept on the carrier.

Record start writes a small scene (the carrier, its agents group and the
agents), has `kestrelwood run --frames 0 --save` press the tag's Record start
on it, and reads the saved tag's start table back: the matrices and speeds are
exactly the module's. The table is kept in the carrier's `kestrelwood`
properties, so it is saved with the .blend file.
"""

import json
import os
import tempfile

import mathutils

from . import host_axes, program, scene_build, scene_text
from .notes import listed
from .parameters import BY_ATTR, label, scene_value
from .problem import Problem
from .properties import START_SLOTS
from .scene_text import real32


class StartTable:
    """The start table of a saved tag: 100 (matrix, speed) slots."""

    def __init__(self, matrices, speeds):
        self.matrices = matrices  # 100 lists of 12 numbers
        self.speeds = speeds      # 100 numbers


def record(context, carrier, exe):
    """Has the module record the carrier's start; returns the StartTable."""
    export = scene_build.build(context, record_for=carrier)
    with tempfile.TemporaryDirectory(prefix="kestrelwood-") as folder:
        scene_path = os.path.join(folder, "record.kwscene.json")
        saved_path = os.path.join(folder, "recorded.kwscene.json")
        with open(scene_path, "w", encoding="utf-8") as f:
            f.write(scene_text.to_text(export.document))
        # Quiet: the small scene has no target, which is all right here.
        program.run(exe, ["run", scene_path, "--frames", "0", "--save", saved_path, "--quiet"], cwd=folder)
        with open(saved_path, encoding="utf-8") as f:
            saved = json.load(f)
    params = _saved_params(saved, carrier.name)
    return table_of(params, carrier.name)


def _saved_params(saved, carrier_name):
    def walk(objects):
        for o in objects:
            if o.get("name") == carrier_name:
                return o
            found = walk(o.get("children", []))
            if found is not None:
                return found
        return None

    obj = walk(saved.get("objects", []))
    if obj is None or not obj.get("tags"):
        raise Problem(f"kestrelwood saved no tag on '{carrier_name}'")
    return obj["tags"][0].get("params", {})


def table_of(params, carrier_name):
    """The start table of a saved tag's parameters, read as the tag reads
    it: the count at the entry START_COUNT_ID names, the pairs after it."""

    def typed(key, kind):
        entry = params.get(key)
        if not isinstance(entry, dict) or kind not in entry:
            raise Problem(f"kestrelwood saved no {kind} '{key}' in the tag on '{carrier_name}'")
        return entry[kind]

    if not typed("START_RECORDED", "bool"):
        raise Problem(f"kestrelwood did not record the start of '{carrier_name}'")
    count_id = int(typed("START_COUNT_ID", "long"))
    count = int(typed(_key(params, count_id), "long"))
    if count != START_SLOTS:
        raise Problem(f"kestrelwood recorded {count} start slots, not {START_SLOTS}")
    matrices, speeds = [], []
    for k in range(count):
        matrices.append([float(v) for v in typed(_key(params, count_id + 1 + 2 * k), "matrix")])
        speeds.append(float(typed(_key(params, count_id + 2 + 2 * k), "real")))
    return StartTable(matrices, speeds)


def _key(params, ident):
    """The saved key of an entry: its description name or its number."""
    names = {1024: "START_COUNT"}
    return names[ident] if ident in names and names[ident] in params else str(ident)


def store(tag, table, agents, frame):
    """Keeps the table on the tag, with the names of the agents it holds and
    the settings it was drawn from."""
    tag.start_slots.clear()
    for k in range(START_SLOTS):
        slot = tag.start_slots.add()
        slot.matrix = table.matrices[k]
        slot.speed = table.speeds[k]
        slot.agent = agents[k].name if k < len(agents) else ""
    tag.start_count = min(len(agents), START_SLOTS)
    tag.start_frame = frame
    tag.start_speed = _scene_speed(tag)
    tag.start_variation = real32(tag.speed_variation)
    tag.start_units = tag.units_per_blender_unit
    tag.start_recorded = True


def _scene_speed(tag):
    return real32(scene_value(tag, BY_ATTR["speed"]))


def is_recorded(tag):
    return tag.start_recorded and len(tag.start_slots) == START_SLOTS


def out_of_date(tag, agents):
    """Why the recorded start no longer fits the tag, in a few words (the
    settings it was drawn from, or the agents it holds), or "" when it fits.
    A start recorded before the settings were kept is judged by its agents."""
    if tag.start_speed >= 0.0 and _scene_speed(tag) != real32(tag.start_speed):
        return f"{label('speed')} changed since Record start"
    if tag.start_variation >= 0.0 and real32(tag.speed_variation) != real32(tag.start_variation):
        return f"{label('speed_variation')} changed since Record start"
    if tag.units_per_blender_unit != tag.start_units:
        return "Scene units per m changed since Record start"
    changed = changed_agents(tag, agents)
    if changed:
        return f"{len(changed)} agent(s) are not where Record start found them ({listed(changed)})"
    return ""


def changed_agents(tag, agents):
    """Agents whose slot holds another agent's start, or none: the names of
    those that moved in the order, were added or renamed since the record,
    and of recorded agents that are no agents any more."""
    out = []
    for k, agent in enumerate(agents[:START_SLOTS]):
        recorded = tag.start_slots[k].agent if k < len(tag.start_slots) else ""
        if recorded != agent.name:
            out.append(agent.name)
    names = {agent.name for agent in agents}
    out += [slot.agent for slot in tag.start_slots[:START_SLOTS] if slot.agent and slot.agent not in names]
    # An agent that moved in the order is named once, not again for the slot
    # it left.
    return list(dict.fromkeys(out))


def restore(tag, agents):
    """Puts every agent with a recorded slot back to its start matrix (in
    the scene units it was recorded in). Returns the names of the agents
    that had none."""
    missing = []
    for k, agent in enumerate(agents):
        if k >= START_SLOTS or k >= len(tag.start_slots) or not tag.start_slots[k].agent:
            missing.append(agent.name)
            continue
        world = host_axes.blender_from_host(list(tag.start_slots[k].matrix))
        world[0:3, 3] /= tag.start_units
        agent.matrix_world = mathutils.Matrix(world.tolist())
    return missing
