"""The program's warnings about a run, in the panel's words.

The program starts each warning with a stable key (`warning: [no-target]
...`); its sentence is for people at a command line and may change. The
add-on reads the key and says what it means in Blender: which carrier, which
setting (by the panel's label) and which button. A key it does not know
keeps the program's sentence.
"""

from . import start_state
from .notes import Note, counted
from .parameters import label
from .properties import START_SLOTS
from .scene_order import agents_of


def program_notes(pairs, scene, export, simulated, scene_path=""):
    """Notes of the program's (key, sentence) pairs for a run of export's
    document that simulated the carrier `simulated`. One note per carrier a
    key concerns, however many lines the program wrote for it."""
    carriers = [scene.objects[name] for name in export.tag_index]
    notes = []
    done = set()
    for key, sentence in pairs:
        words = _WORDS.get(key)
        if words is None:
            notes.append(Note(None, key, sentence.removeprefix(scene_path + ": ")))
            continue
        if key in done:
            continue
        done.add(key)
        mapped = words(scene, carriers, simulated, export)
        if mapped is None:
            notes.extend(Note(None, k, s.removeprefix(scene_path + ": ")) for k, s in pairs if k == key)
        else:
            notes.extend(mapped)
    return notes


def _each(key, carriers, concerned, text):
    found = [Note(c.name, key, text(c)) for c in carriers if concerned(c)]
    return found or None


def _no_start(scene, carriers, _simulated, _export):
    return _each("no-start", carriers, lambda c: not start_state.is_recorded(c.kestrelwood),
                 lambda c: "no start is recorded, so its agents stand still: select it and press Record start")


def _no_target(scene, carriers, _simulated, _export):
    return _each("no-target", carriers, lambda c: c.kestrelwood.target is None,
                 lambda c: f"no {label('target')} is linked, so its agents stand still: link one")


def _no_agents(scene, carriers, _simulated, _export):
    return _each("no-agents", carriers, lambda c: not agents_of(c.kestrelwood, scene),
                 lambda c: f"its {label('agents_group')} is not set or has no children, so nothing moves")


def _too_many(scene, carriers, _simulated, _export):
    return _each("too-many-agents", carriers, lambda c: len(agents_of(c.kestrelwood, scene)) > START_SLOTS,
                 lambda c: f"its {label('agents_group')} has {counted(len(agents_of(c.kestrelwood, scene)), 'agent')},"
                           f" and the agents past the hundredth do not move: a tag moves the first {START_SLOTS}"
                           " by name")


def _shared_records(scene, carriers, simulated, export):
    """Every tag loads its start speeds into the module's one table of
    per-agent records, so agent i of every flock walks at the speed of agent
    i of the tag evaluated last. Said when that changes the simulated
    flock's speeds."""
    recorded = [c for c in carriers if start_state.is_recorded(c.kestrelwood)]
    if len(recorded) < 2:
        return []
    last = max(recorded, key=lambda c: export.tag_index[c.name])
    if last == simulated:
        return []
    mine, theirs = simulated.kestrelwood, last.kestrelwood
    n = min(mine.start_count, START_SLOTS)
    if all(mine.start_slots[k].speed == theirs.start_slots[k].speed for k in range(n)):
        return []
    return [Note(simulated.name, "shared-records",
                 f"its agents walk at the speeds recorded by '{last.name}', as every tag shares the module's "
                 f"per-agent records and '{last.name}' loads its speeds last; give both the same "
                 f"{label('speed')} and {label('speed_variation')}, or disable one")]


def _skipped_obstacle(scene, carriers, _simulated, export):
    # The add-on passes over what is no circle itself, and says which and
    # why (scene_build); the program sees only the circles it was given.
    if any(n.key == "skipped-obstacle" for n in export.warnings):
        return []
    return None


_WORDS = {
    "no-start": _no_start,
    "no-target": _no_target,
    "no-agents": _no_agents,
    "too-many-agents": _too_many,
    "shared-records": _shared_records,
    "skipped-obstacle": _skipped_obstacle,
}


def panel_text(note, carrier_name):
    """A note as the panel of carrier_name lists it: about another carrier,
    with that carrier's name first."""
    if note.carrier and note.carrier != carrier_name:
        return f"'{note.carrier}': {note.text}"
    return note.text


def keep(tag, notes, carrier_name):
    """Keeps a run's notes on the tag, for its panel."""
    tag.warnings.clear()
    for note in notes:
        item = tag.warnings.add()
        item.key = note.key
        item.text = panel_text(note, carrier_name)
