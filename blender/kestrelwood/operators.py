"""The tag's commands in Blender: Record start, Simulate, Clear and the scene
export. Each acts on the tag of the active object.

A scene that is missing something the tag needs (a target, agents, a start
state) is reported as a warning and the command does nothing, as the tag
itself does nothing with such a scene; a failure of the program or of a file
is reported as an error.
"""

import os
import tempfile
import time

import bpy
from bpy.props import StringProperty
from bpy_extras.io_utils import ExportHelper

from . import keys, program, scene_build, scene_order, scene_text, start_state, walk
from .problem import Problem
from .properties import START_SLOTS

# The reports of the last command, (level, text), for scripts that run the
# commands and want to read what they said.
last_reports = []


def _program(context):
    addon = context.preferences.addons.get(__package__)
    preference = addon.preferences.program if addon is not None else ""
    path, _where = program.find_program(bpy.path.abspath(preference) if preference else "")
    return path


class _TagCommand:
    """What the four commands share: the active object's tag and reports."""

    def begin(self):
        last_reports.clear()

    def say(self, level, text):
        last_reports.append((level, text))
        self.report({level}, text)

    def carrier(self, context, need_agents=True):
        """The active object when its tag is on; else warns and gives None."""
        obj = context.object
        if obj is None:
            self.say('WARNING', "Kestrelwood: there is no active object; select the object that carries the tag")
            return None
        if not obj.kestrelwood.enabled:
            self.say('WARNING', f"Kestrelwood: '{obj.name}' carries no tag; tick Kestrelwood in its "
                                "Object properties first")
            return None
        if need_agents and not self.agents(context, obj):
            return None
        return obj

    def agents(self, context, obj):
        tag = obj.kestrelwood
        if tag.agents_group is None:
            self.say('WARNING', f"Kestrelwood on '{obj.name}': no agents group is set")
            return []
        agents = scene_order.agents_of(tag, context.scene)
        if not agents:
            self.say('WARNING', f"Kestrelwood on '{obj.name}': the agents group '{tag.agents_group.name}' "
                                "has no children in this scene")
        return agents


class KESTRELWOOD_OT_record_start(_TagCommand, bpy.types.Operator):
    """Record the agents' current transforms and their speeds as the start state"""
    bl_idname = "kestrelwood.record_start"
    bl_label = "Record start"
    bl_options = {'REGISTER', 'UNDO'}

    def execute(self, context):
        self.begin()
        obj = self.carrier(context)
        if obj is None:
            return {'CANCELLED'}
        tag = obj.kestrelwood
        agents = scene_order.agents_of(tag, context.scene)
        try:
            table = start_state.record(context, obj, _program(context))
        except (Problem, OSError) as e:
            self.say('ERROR', f"Kestrelwood: {e}")
            return {'CANCELLED'}
        start_state.store(tag, table, agents, context.scene.frame_current)
        speeds = table.speeds[:tag.start_count]
        spread = (f"speed {speeds[0]:.4g}" if min(speeds) == max(speeds)
                  else f"speeds {min(speeds):.4g} to {max(speeds):.4g}")
        text = (f"Kestrelwood: recorded the start of {tag.start_count} agents at frame "
                f"{tag.start_frame}, {spread} per frame")
        if len(agents) > START_SLOTS:
            self.say('WARNING', f"Kestrelwood on '{obj.name}': {len(agents)} agents, but a tag moves at most "
                                f"{START_SLOTS}; the first {START_SLOTS} by name were recorded")
        self.say('INFO', text)
        return {'FINISHED'}


class KESTRELWOOD_OT_simulate(_TagCommand, bpy.types.Operator):
    """Run the crowd from the start frame to the end frame and key every agent on every frame"""
    bl_idname = "kestrelwood.simulate"
    bl_label = "Simulate"
    bl_options = {'REGISTER', 'UNDO'}

    def execute(self, context):
        self.begin()
        obj = self.carrier(context)
        if obj is None:
            return {'CANCELLED'}
        tag = obj.kestrelwood
        if tag.target is None or context.scene.objects.get(tag.target.name) != tag.target:
            self.say('WARNING', f"Kestrelwood on '{obj.name}': no target is set, so no agent would move; "
                                "link a Target")
            return {'CANCELLED'}
        if not tag.start_recorded or len(tag.start_slots) != START_SLOTS:
            self.say('WARNING', f"Kestrelwood on '{obj.name}': no start state is recorded; press Record start")
            return {'CANCELLED'}
        refused = walk.refusal(tag)
        if refused:
            self.say('WARNING', f"Kestrelwood on '{obj.name}': {refused}")
            return {'CANCELLED'}
        agents = scene_order.agents_of(tag, context.scene)
        changed = start_state.changed_agents(tag, agents)
        if changed:
            self.say('WARNING', f"Kestrelwood on '{obj.name}': {len(changed)} agent(s) are not where Record "
                                f"start found them ({_names(changed)}); they start from the slot of "
                                "their place in the order. Press Record start to record them")
        constrained = [a.name for a in agents if any(c.enabled and c.influence > 0.0 for c in a.constraints)]
        if constrained:
            self.say('WARNING', f"Kestrelwood on '{obj.name}': the constraints of {_names(constrained)} move "
                                "them away from their keys")
        try:
            exe = _program(context)
        except Problem as e:
            self.say('ERROR', f"Kestrelwood: {e}")
            return {'CANCELLED'}

        wm = context.window_manager
        wm.progress_begin(0, 100)
        started = time.perf_counter()
        try:
            return self.run(context, obj, exe, wm, started)
        except (Problem, OSError, ValueError) as e:
            self.say('ERROR', f"Kestrelwood: {e}")
            return {'CANCELLED'}
        finally:
            wm.progress_end()

    def run(self, context, obj, exe, wm, started):
        scene = context.scene
        export = scene_build.build(context)
        for carrier, w in export.warnings:
            self.say('WARNING', _about(carrier, w))
        self.warn_shared_speeds(context, obj, export)
        wm.progress_update(10)
        with tempfile.TemporaryDirectory(prefix="kestrelwood-") as folder:
            scene_path = os.path.join(folder, "scene.kwscene.json")
            csv_path = os.path.join(folder, "agents.csv")
            with open(scene_path, "w", encoding="utf-8") as f:
                f.write(scene_text.to_text(export.document))
            wm.progress_update(20)
            ticks = [20]

            def waiting():
                ticks[0] = min(ticks[0] + 1, 49)
                wm.progress_update(ticks[0])

            _out, err = program.run(exe, ["run", scene_path, "--csv", csv_path], cwd=folder, on_wait=waiting)
            for w in program.warnings_of(err):
                w = w.removeprefix(scene_path + ": ")
                # The add-on says more exactly whose speeds a flock walks at
                # (warn_shared_speeds), and only when they differ.
                if "per-agent records" not in w:
                    self.say('WARNING', f"Kestrelwood: {w}")
            wm.progress_update(50)
            tracks = keys.read_csv(csv_path, export.tag_index[obj.name])
        wm.progress_update(60)

        agents = export.agents[obj.name]
        # Every agent's rows first: nothing is keyed unless all can be.
        for index, agent in enumerate(agents):
            track = tracks.get(index)
            if track is None or track.name != agent.name:
                raise ValueError(f"the run has no rows for agent {index}, '{agent.name}'")
        walks = walk.plan(obj.kestrelwood, agents, tracks, scene)
        for w in walks.warnings:
            self.say('WARNING', f"Kestrelwood on '{obj.name}': {w}")
        replaced = []
        for index, agent in enumerate(agents):
            if keys.key_agent(agent, tracks[index]):
                replaced.append(agent.name)
            wm.progress_update(60 + 40 * (index + 1) // len(agents))
        if replaced:
            self.say('WARNING', f"Kestrelwood: replaced the location and rotation keys of {len(replaced)} "
                                f"agent(s) that were not a run's ({_names(replaced)}); Undo brings them back")
        walking = walk.play(walks)
        scene.frame_set(scene.frame_current)
        self.say('INFO', f"Kestrelwood: keyed {len(tracks)} agents on frames {scene.frame_start} to "
                         f"{scene.frame_end}" + (f", the walk cycle on {walking} armatures" if walking else "") +
                         f" in {time.perf_counter() - started:.2f} s")
        return {'FINISHED'}

    def warn_shared_speeds(self, context, obj, export):
        """The module keeps one table of per-agent records for every tag: each
        tag loads its start speeds into it, so agent i of every flock walks at
        the speed of agent i of the tag loaded last. Says so when that changes
        this flock's speeds."""
        recorded = [name for name in export.tag_index
                    if context.scene.objects[name].kestrelwood.start_recorded]
        if len(recorded) < 2:
            return
        last = max(recorded, key=lambda name: export.tag_index[name])
        if last == obj.name:
            return
        mine = obj.kestrelwood
        theirs = context.scene.objects[last].kestrelwood
        n = min(mine.start_count, START_SLOTS)
        if any(mine.start_slots[k].speed != theirs.start_slots[k].speed for k in range(n)):
            self.say('WARNING', f"Kestrelwood on '{obj.name}': its agents walk at the speeds recorded by "
                                f"'{last}', as every tag shares the module's per-agent records and '{last}' "
                                "loads its speeds last; give both the same Speed and Speed variation, or "
                                "disable one")


class KESTRELWOOD_OT_clear(_TagCommand, bpy.types.Operator):
    """Remove the keys of a run and put the agents back to the start state"""
    bl_idname = "kestrelwood.clear"
    bl_label = "Clear"
    bl_options = {'REGISTER', 'UNDO'}

    def execute(self, context):
        self.begin()
        obj = self.carrier(context)
        if obj is None:
            return {'CANCELLED'}
        tag = obj.kestrelwood
        agents = scene_order.agents_of(tag, context.scene)
        cleared = sum(1 for a in agents if keys.clear_agent(a))
        walk.clear(agents, context.scene)
        context.view_layer.update()
        text = f"Kestrelwood: removed the keys of {cleared} agents"
        if tag.start_recorded and len(tag.start_slots) == START_SLOTS:
            missing = start_state.restore(tag, agents)
            text += ", put them back to the start"
            if missing:
                self.say('WARNING', f"Kestrelwood on '{obj.name}': {len(missing)} agent(s) have no recorded "
                                    f"start and stay where they are ({_names(missing)})")
        else:
            text += "; no start state is recorded to put them back to"
        self.say('INFO', text)
        return {'FINISHED'}


class KESTRELWOOD_OT_export_scene(_TagCommand, bpy.types.Operator, ExportHelper):
    """Write the scene file that Simulate runs, to run it with kestrelwood run"""
    bl_idname = "kestrelwood.export_scene"
    bl_label = "Export Kestrelwood scene"
    bl_options = {'REGISTER'}

    filename_ext = ".kwscene.json"
    filter_glob: StringProperty(default="*.kwscene.json;*.json", options={'HIDDEN'})

    def execute(self, context):
        self.begin()
        if not scene_order.carriers(context.scene):
            self.say('WARNING', "Kestrelwood: no object of this scene carries an enabled tag; nothing to export")
            return {'CANCELLED'}
        try:
            export = scene_build.build(context)
            scene_text.write_atomically(bpy.path.abspath(self.filepath), scene_text.to_text(export.document))
        except (Problem, OSError) as e:
            self.say('ERROR', f"Kestrelwood: {self.filepath}: {e}")
            return {'CANCELLED'}
        for carrier, w in export.warnings:
            self.say('WARNING', _about(carrier, w))
        self.say('INFO', f"Kestrelwood: wrote {self.filepath} ({len(export.tag_index)} tag(s)); "
                         f"run it with: kestrelwood run {os.path.basename(self.filepath)}")
        return {'FINISHED'}


def _about(carrier, text):
    return f"Kestrelwood on '{carrier}': {text}" if carrier else f"Kestrelwood: {text}"


def _names(names, most=5):
    shown = ", ".join(f"'{n}'" for n in names[:most])
    return shown + (f" and {len(names) - most} more" if len(names) > most else "")


def menu_export(self, context):
    self.layout.operator(KESTRELWOOD_OT_export_scene.bl_idname, text="Kestrelwood scene (.kwscene.json)")


classes = (KESTRELWOOD_OT_record_start, KESTRELWOOD_OT_simulate, KESTRELWOOD_OT_clear,
           KESTRELWOOD_OT_export_scene)


def register():
    for cls in classes:
        bpy.utils.register_class(cls)
    bpy.types.TOPBAR_MT_file_export.append(menu_export)


def unregister():
    bpy.types.TOPBAR_MT_file_export.remove(menu_export)
    for cls in reversed(classes):
        bpy.utils.unregister_class(cls)
