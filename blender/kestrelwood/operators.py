"""The tag's commands in Blender: Record start, Simulate, Clear, Drop agents
onto ground and the scene export. Each acts on the tag of the active object.

A scene that is missing something the tag needs (a target, agents, a start
state that fits the settings) is reported as a warning and the command does
nothing, as the tag itself does nothing with such a scene; a failure of the
program or of a file is reported as an error.
"""

import os
import time

import bpy
from bpy.props import StringProperty
from bpy_extras.io_utils import ExportHelper

from . import (ground, keys, overlays, program, scene_build, scene_order, scene_text, simulation, start_state,
               walk)
from .lengths import length_text
from .notes import about, counted, listed
from .parameters import label
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
    """What the commands share: the active object's tag and reports. A
    command's `act` runs on the active object when it carries an enabled tag
    (with agents, unless `needs_agents` is False)."""

    needs_agents = True

    def execute(self, context):
        self.begin()
        obj = self.carrier(context, self.needs_agents)
        if obj is None:
            return {'CANCELLED'}
        return self.act(context, obj)

    def begin(self):
        last_reports.clear()

    def say(self, level, text):
        last_reports.append((level, text))
        self.report({level}, text)

    def say_about(self, level, carrier, text):
        self.say(level, about(carrier, text))

    def carrier(self, context, need_agents=True):
        """The active object when its tag is on; else warns and gives None."""
        obj = context.object
        if obj is None:
            self.say_about('WARNING', None, "there is no active object; select the object that carries the tag")
            return None
        if not obj.kestrelwood.enabled:
            self.say_about('WARNING', None, f"'{obj.name}' carries no tag; tick Kestrelwood in its "
                                            "Object properties first")
            return None
        if need_agents and not self.agents(context, obj):
            return None
        return obj

    def agents(self, context, obj):
        tag = obj.kestrelwood
        if tag.agents_group is None:
            self.say_about('WARNING', obj, "no agents group is set")
            return []
        agents = scene_order.agents_of(tag, context.scene)
        if not agents:
            self.say_about('WARNING', obj, f"the agents group '{tag.agents_group.name}' has no children in "
                                           "this scene")
        return agents


class KESTRELWOOD_OT_record_start(_TagCommand, bpy.types.Operator):
    """Record the agents' current transforms and their speeds as the start state"""
    bl_idname = "kestrelwood.record_start"
    bl_label = "Record start"
    bl_options = {'REGISTER', 'UNDO'}

    def act(self, context, obj):
        tag = obj.kestrelwood
        scene = context.scene
        agents = scene_order.agents_of(tag, scene)
        if self.refused_over_keys(obj, agents, scene.frame_current):
            return {'CANCELLED'}
        try:
            table = start_state.record(context, obj, _program(context))
        except (Problem, OSError) as e:
            self.say_about('ERROR', None, str(e))
            return {'CANCELLED'}
        start_state.store(tag, table, agents, scene.frame_current)
        speeds = table.speeds[:tag.start_count]
        units = tag.units_per_blender_unit
        spread = (f"speed {length_text(scene, speeds[0] / units)}" if min(speeds) == max(speeds)
                  else f"speeds {length_text(scene, min(speeds) / units)} to {length_text(scene, max(speeds) / units)}")
        if len(agents) > START_SLOTS:
            self.say_about('WARNING', obj, f"{len(agents)} agents, but a tag moves at most {START_SLOTS}; the "
                                           f"first {START_SLOTS} by name were recorded")
        self.warn_off_ground(context, obj, agents)
        self.say_about('INFO', None, f"recorded the start of {tag.start_count} agents at frame {tag.start_frame}, "
                                     f"{spread} per frame")
        return {'FINISHED'}

    def refused_over_keys(self, obj, agents, frame):
        """Agents keyed by a Simulate stand where the keys put them: refuses
        unless the frame is the one where the keys start (the start)."""
        starts = [f for f in map(keys.first_keyed_frame, agents) if f is not None]
        if not starts or all(f == frame for f in starts):
            return False
        start = int(min(starts))
        verb, they = ("carries", "it stands") if len(starts) == 1 else ("carry", "they stand")
        self.say_about('WARNING', obj, f"{counted(len(starts), 'agent')} {verb} the keys of an earlier Simulate, "
                                       f"so {they} where the keys put them at frame {frame}; press Clear, or "
                                       f"go to the start frame ({start}), then Record start")
        return True

    def warn_off_ground(self, context, obj, agents):
        tag = obj.kestrelwood
        off = ground.off_ground(tag, agents[:START_SLOTS], context.evaluated_depsgraph_get())
        if not off:
            return
        scene = context.scene
        agent, height = off[0]
        self.say_about('WARNING', obj, f"the origins of {counted(len(off), 'agent')} stand off the ground by more "
                                       f"than {length_text(scene, 0.1 * tag.repulsion_radius)} (a tenth of the "
                                       f"{label('repulsion_radius')}), '{agent.name}' by "
                                       f"{length_text(scene, abs(height))}; the tag puts every origin on the "
                                       "ground: put the origins at the agents' feet, or press Drop agents onto "
                                       "ground, then Record start")


class KESTRELWOOD_OT_simulate(_TagCommand, bpy.types.Operator):
    """Run the crowd from the start frame to the end frame and key every agent on every frame"""
    bl_idname = "kestrelwood.simulate"
    bl_label = "Simulate"
    bl_options = {'REGISTER', 'UNDO'}

    def act(self, context, obj):
        tag = obj.kestrelwood
        if tag.target is None or context.scene.objects.get(tag.target.name) != tag.target:
            self.say_about('WARNING', obj, "no target is set, so no agent would move; link a Target")
            return {'CANCELLED'}
        if not start_state.is_recorded(tag):
            self.say_about('WARNING', obj, "no start state is recorded; press Record start")
            return {'CANCELLED'}
        refused = walk.refusal(tag)
        if refused:
            self.say_about('WARNING', obj, refused)
            return {'CANCELLED'}
        agents = scene_order.agents_of(tag, context.scene)
        stale = start_state.out_of_date(tag, agents)
        if stale:
            self.say_about('WARNING', obj, f"the start is out of date: {stale}; press Record start")
            return {'CANCELLED'}
        try:
            exe = _program(context)
        except Problem as e:
            self.say_about('ERROR', None, str(e))
            return {'CANCELLED'}

        wm = context.window_manager
        wm.progress_begin(0, 100)
        started = time.perf_counter()
        try:
            return self.run(context, obj, exe, wm, started)
        except (Problem, OSError, ValueError) as e:
            self.say_about('ERROR', None, str(e))
            return {'CANCELLED'}
        finally:
            wm.progress_end()

    def run(self, context, obj, exe, wm, started):
        scene = context.scene
        keyed, walking, notes = simulation.simulate(context, obj, exe, wm.progress_update)
        for note in notes:
            self.say_about('WARNING', note.carrier, note.text)
        scene.frame_set(scene.frame_current)
        summary = (f"keyed {keyed} agents on frames {scene.frame_start} to {scene.frame_end}"
                   + (f", the walk cycle on {counted(walking, 'armature')}" if walking else "")
                   + f" in {time.perf_counter() - started:.2f} s")
        if notes:
            summary += f"; {counted(len(notes), 'warning')}, see the panel"
        self.say_about('WARNING' if notes else 'INFO', None, summary)
        return {'FINISHED'}


class KESTRELWOOD_OT_clear(_TagCommand, bpy.types.Operator):
    """Remove the keys of a run and put the agents back to the start state"""
    bl_idname = "kestrelwood.clear"
    bl_label = "Clear"
    bl_options = {'REGISTER', 'UNDO'}

    def act(self, context, obj):
        tag = obj.kestrelwood
        agents = scene_order.agents_of(tag, context.scene)
        cleared = sum(1 for a in agents if keys.clear_agent(a))
        strays = simulation.unkey_strays(tag, agents, context.scene, obj)
        keys.remember(tag, [])
        overlays.forget(tag)
        tag.warnings.clear()
        walk.clear(agents, context.scene)
        context.view_layer.update()
        text = f"removed the keys of {cleared} agents"
        if strays:
            text += (f" and of {counted(len(strays), 'object')} that {'is' if len(strays) == 1 else 'are'} no "
                     f"agent any more ({listed([s.name for s in strays])})")
        if start_state.is_recorded(tag):
            missing = start_state.restore(tag, agents)
            text += ", put them back to the start"
            if missing:
                self.say_about('WARNING', obj, f"{len(missing)} agent(s) have no recorded start and stay where "
                                               f"they are ({listed(missing)})")
        else:
            text += "; no start state is recorded to put them back to"
        self.say_about('INFO', None, text)
        return {'FINISHED'}


class KESTRELWOOD_OT_drop_to_ground(_TagCommand, bpy.types.Operator):
    """Move every agent straight down (or up) so that its origin stands on the terrain, as the tag will put it"""
    bl_idname = "kestrelwood.drop_to_ground"
    bl_label = "Drop agents onto ground"
    bl_options = {'REGISTER', 'UNDO'}

    def act(self, context, obj):
        tag = obj.kestrelwood
        if tag.terrain is None:
            self.say_about('WARNING', obj, f"no {label('terrain')} is linked; there is no ground to drop onto")
            return {'CANCELLED'}
        agents = scene_order.agents_of(tag, context.scene)
        if any(keys.first_keyed_frame(a) is not None for a in agents):
            self.say_about('WARNING', obj, "the agents carry the keys of an earlier Simulate; press Clear first")
            return {'CANCELLED'}
        moved = ground.drop(tag, agents, context.evaluated_depsgraph_get())
        context.view_layer.update()
        self.say_about('INFO', obj, f"put the origins of {counted(moved, 'agent')} on the ground; press Record "
                                    "start to start from there")
        return {'FINISHED'}


class KESTRELWOOD_OT_export_scene(_TagCommand, bpy.types.Operator, ExportHelper):
    """Write the scene file that Simulate runs, to run it with kestrelwood run"""
    bl_idname = "kestrelwood.export_scene"
    bl_label = "Export Kestrelwood scene"
    bl_options = {'REGISTER'}

    filename_ext = scene_text.SCENE_EXT
    filter_glob: StringProperty(default="*.kwscene.json;*.json", options={'HIDDEN'})

    def check(self, _context):
        # ExportHelper's own check replaces only the last dot's part, ".json".
        fixed = scene_text.scene_path(self.filepath)
        changed = fixed != self.filepath
        self.filepath = fixed
        return changed

    def execute(self, context):
        self.begin()
        if not scene_order.carriers(context.scene):
            self.say_about('WARNING', None, "no object of this scene carries an enabled tag; nothing to export")
            return {'CANCELLED'}
        path = scene_text.scene_path(self.filepath)
        try:
            export = scene_build.build(context)
            scene_text.write_atomically(bpy.path.abspath(path), scene_text.to_text(export.document))
        except (Problem, OSError) as e:
            self.say_about('ERROR', None, f"{path}: {e}")
            return {'CANCELLED'}
        for note in export.warnings:
            self.say_about('WARNING', note.carrier, note.text)
        self.say_about('INFO', None, f"wrote {path} ({len(export.tag_index)} tag(s)); "
                                     f"run it with: kestrelwood run {os.path.basename(path)}")
        return {'FINISHED'}


def menu_export(self, context):
    self.layout.operator(KESTRELWOOD_OT_export_scene.bl_idname, text="Kestrelwood scene (.kwscene.json)")


classes = (KESTRELWOOD_OT_record_start, KESTRELWOOD_OT_simulate, KESTRELWOOD_OT_clear,
           KESTRELWOOD_OT_drop_to_ground, KESTRELWOOD_OT_export_scene)


def register():
    for cls in classes:
        bpy.utils.register_class(cls)
    bpy.types.TOPBAR_MT_file_export.append(menu_export)


def unregister():
    bpy.types.TOPBAR_MT_file_export.remove(menu_export)
    for cls in reversed(classes):
        bpy.utils.unregister_class(cls)
