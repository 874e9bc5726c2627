"""Simulate's work: the scene file written, run by the program, its rows and
drawing read back, the agents keyed. The operator checks the tag first and
reports what this returns.
"""

import os
import tempfile

from . import ground_glb, keys, overlays, program, run_warnings, scene_build, scene_order, scene_text, walk
from .notes import Note, counted, listed


def simulate(context, obj, exe, progress):
    """Runs the scene and keys the agents of the tag on obj, and plays the
    tag's walk cycle on their armatures. Returns (the number of agents keyed,
    the number of armatures walking, the notes about this tag and the
    scene). progress
    takes a percentage. Raises Problem, OSError or ValueError, having keyed
    nothing, when the run or its files fail."""
    scene = context.scene
    tag = obj.kestrelwood
    export = scene_build.build(context, ground=ground_glb.cached)
    notes = list(export.warnings)
    constrained = [a.name for a in export.agents[obj.name]
                   if any(c.enabled and c.influence > 0.0 for c in a.constraints)]
    if constrained:
        notes.append(Note(obj.name, "constrained-agents", f"the constraints of {listed(constrained)} move "
                                                          "them away from their keys"))
    progress(10)
    tracks, drawing, said = _run(export, obj, exe, scene, progress)
    notes += said
    progress(60)
    agents = export.agents[obj.name]
    # Every agent's rows first: nothing is keyed unless all can be.
    for index, agent in enumerate(agents):
        track = tracks.get(index)
        if track is None or track.name != agent.name:
            raise ValueError(f"the run has no rows for agent {index}, '{agent.name}'")
    walks = walk.plan(tag, agents, tracks, scene, export.units)
    notes += walks.warnings
    notes += _unkey_strays(tag, agents, scene, obj)
    replaced = []
    for index, agent in enumerate(agents):
        if keys.key_agent(agent, tracks[index], export.units):
            replaced.append(agent.name)
        progress(60 + 40 * (index + 1) // len(agents))
    keys.remember(tag, agents)
    walking = walk.play(walks)
    if replaced:
        notes.append(Note(None, "replaced-keys", f"replaced the location and rotation keys of {len(replaced)} "
                                                 f"agent(s) that were not a run's ({listed(replaced)}); Undo "
                                                 "brings them back"))
    if drawing is not None:
        overlays.keep(tag, drawing)
    else:
        overlays.forget(tag)
    # This tag's warnings and the scene's; the other tags' are theirs.
    notes = [n for n in notes if n.carrier in (None, obj.name)]
    run_warnings.keep(tag, notes, obj.name)
    return len(tracks), walking, notes


def _run(export, obj, exe, scene, progress):
    """(tracks of obj's agents, its drawing or None, the program's notes)."""
    tag = obj.kestrelwood
    with tempfile.TemporaryDirectory(prefix="kestrelwood-") as folder:
        scene_path = os.path.join(folder, "scene.kwscene.json")
        csv_path = os.path.join(folder, "agents.csv")
        # The run's drawing only when there is an overlay to draw.
        drawing_path = os.path.join(folder, "drawing.json") if any(overlays.ticks_of(tag)) else ""
        with open(scene_path, "w", encoding="utf-8") as f:
            f.write(scene_text.to_text(export.document))
        progress(20)
        ticks = [20]

        def waiting():
            ticks[0] = min(ticks[0] + 1, 49)
            progress(ticks[0])

        args = ["run", scene_path, "--csv", csv_path] + (["--drawing", drawing_path] if drawing_path else [])
        _out, err = program.run(exe, args, cwd=folder, on_wait=waiting)
        notes = run_warnings.program_notes(program.warnings_of(err), scene, export, obj, scene_path)
        progress(50)
        index = export.tag_index[obj.name]
        tracks = keys.read_csv(csv_path, index)
        drawing = (overlays.read(drawing_path, index, obj.name, overlays.ticks_of(tag), export.units)
                   if drawing_path else None)
    return tracks, drawing, notes


def other_agents(scene, obj):
    """The agents of every other enabled tag of the scene."""
    return {a for c in scene_order.carriers(scene) if c != obj for a in scene_order.agents_of(c.kestrelwood, scene)}


def unkey_strays(tag, agents, scene, obj):
    """Takes the tag's keys off the objects it keyed that are no agents of
    it any more; returns them."""
    strays = keys.strays(tag, agents, other_agents(scene, obj))
    for stray in strays:
        keys.clear_agent(stray)
    return strays


def _unkey_strays(tag, agents, scene, obj):
    strays = unkey_strays(tag, agents, scene, obj)
    if not strays:
        return []
    one = len(strays) == 1
    return [Note(obj.name, "stray-keys", f"took the keys of an earlier Simulate off {counted(len(strays), 'object')} "
                                         f"that {'is no agent' if one else 'are no agents'} of it any more "
                                         f"({listed([s.name for s in strays])})")]
