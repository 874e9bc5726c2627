"""Tune: `kestrelwood tune` on the exported scene, from the tag's panel.

The program runs the scene again and again with the chosen steering
parameters varied (docs/tune.md) and saves the scene with the best values;
the button writes those values into the tag's properties, as one undo step,
and says given and best in the status bar. Simulate stays the user's to
press. The add-on computes nothing of the crowd itself.
"""

import json
import os
import re
import tempfile

import bpy
from bpy.props import EnumProperty, IntProperty, PointerProperty

from . import program, scene_build, scene_order, scene_text, start_state
from .operators import _TagCommand, _program
from .parameters import BY_ATTR
from .problem import Problem
from .properties import REALS

# The parameters a tune may vary: the reals the tag reads at every frame
# (the speeds belong to the recorded start).
TUNABLE = ("vision_length", "vision_half_width", "avoid_angle", "target_weight", "repulsion_weight",
           "alignment_weight", "repulsion_radius", "alignment_radius", "max_pitch_step")
DEFAULT_VARY = {"vision_length", "vision_half_width", "avoid_angle", "repulsion_weight", "repulsion_radius"}
_PARAM = {attr: param for attr, param, *_ in REALS}
_LABEL = {attr: label for attr, _param, label, *_ in REALS}


class KestrelwoodTuneSettings(bpy.types.PropertyGroup):
    """What the Tune button searches."""
    vary: EnumProperty(
        name="Vary", options={'ENUM_FLAG'}, default=DEFAULT_VARY,
        items=[(attr, _LABEL[attr], f"Search {_LABEL[attr]} from a quarter to four times its value", 1 << i)
               for i, attr in enumerate(TUNABLE)],
        description="The steering parameters the tune varies")
    trials: IntProperty(name="Trials", default=200, min=1, max=100000,
                        description="Runs of the scene in all, the current values' own run included")


def saved_values(document, tag_index):
    """The real parameters of the tag at tag_index (evaluation order) of a
    saved scene's JSON, by parameter name."""
    seen = [0]
    found = []

    def walk(objects):
        for obj in objects:
            for tag in obj.get("tags", []):
                if seen[0] == tag_index:
                    found.append(tag.get("params", {}))
                seen[0] += 1
            walk(obj.get("children", []))
    walk(document.get("objects", []))
    if not found:
        raise Problem(f"the tuned scene has no tag {tag_index}")
    return found[0]


def compared_costs(err_text):
    """(given, best) cost from the program's comparison lines, or None."""
    for line in (err_text or "").splitlines():
        m = re.match(r"\s+cost\s+(\d+)\s+(\d+)\s*$", line)
        if m:
            return int(m.group(1)), int(m.group(2))
    return None


class KESTRELWOOD_OT_tune(_TagCommand, bpy.types.Operator):
    """Run the crowd many times with the chosen steering varied and keep the values that keep it out of the
    obstacles and off each other (kestrelwood tune); Simulate afterwards"""
    bl_idname = "kestrelwood.tune"
    bl_label = "Tune"
    bl_options = {'REGISTER', 'UNDO'}

    def execute(self, context):
        self.begin()
        obj = self.carrier(context)
        if obj is None:
            return {'CANCELLED'}
        tag, settings = obj.kestrelwood, obj.kestrelwood_tune
        if tag.target is None:
            self.say_about('WARNING', obj, "no target is set, so no agent would move; link a Target")
            return {'CANCELLED'}
        if not start_state.is_recorded(tag):
            self.say_about('WARNING', obj, "no start state is recorded; press Record start")
            return {'CANCELLED'}
        # The tune runs the recorded start, as Simulate does.
        stale = start_state.out_of_date(tag, scene_order.agents_of(tag, context.scene))
        if stale:
            self.say_about('WARNING', obj, f"the start is out of date: {stale}; press Record start")
            return {'CANCELLED'}
        varied = [attr for attr in TUNABLE if attr in settings.vary]
        if not varied:
            self.say_about('WARNING', obj, "no parameter is chosen to vary")
            return {'CANCELLED'}
        wm = context.window_manager
        wm.progress_begin(0, 100)
        try:
            return self.run(context, obj, varied, settings.trials, _program(context), wm)
        except (Problem, OSError, ValueError) as e:
            self.say_about('ERROR', None, str(e))
            return {'CANCELLED'}
        finally:
            wm.progress_end()

    def run(self, context, obj, varied, trials, exe, wm):
        export = scene_build.build(context)
        for note in export.warnings:
            self.say_about('WARNING', note.carrier, note.text)
        tag_index = export.tag_index[obj.name]
        ticks = [0]

        def waiting():
            ticks[0] = min(ticks[0] + 1, 95)
            wm.progress_update(ticks[0])

        with tempfile.TemporaryDirectory(prefix="kestrelwood-tune-") as folder:
            scene_path = os.path.join(folder, "scene.kwscene.json")
            best_path = os.path.join(folder, "best.kwscene.json")
            with open(scene_path, "w", encoding="utf-8") as f:
                f.write(scene_text.to_text(export.document))
            args = ["tune", scene_path, "--quiet", "--tag", str(tag_index), "--trials", str(trials),
                    "--vary", ",".join(_PARAM[a] for a in varied), "--save", best_path]
            _out, err = program.run(exe, args, cwd=folder, on_wait=waiting)
            with open(best_path, encoding="utf-8") as f:
                params = saved_values(json.load(f), tag_index)
        tag = obj.kestrelwood
        given = {a: getattr(tag, a) for a in varied}
        for attr in varied:
            value = params.get(_PARAM[attr])
            if not isinstance(value, (int, float)):
                raise ValueError(f"the tuned scene has no value of {_PARAM[attr]}")
            # Lengths come back in scene units.
            setattr(tag, attr, float(value) / (export.units if BY_ATTR[attr].unit == "length" else 1.0))
        changes = ", ".join(f"{_LABEL[a]} {given[a]:.4g} -> {getattr(tag, a):.4g}" for a in varied
                            if getattr(tag, a) != given[a])
        costs = compared_costs(err)
        cost = f"cost {costs[0]} -> {costs[1]}" if costs else "tuned"
        if not changes:
            self.say_about('INFO', None, f"{cost}: the current values are the best found; nothing changed")
        else:
            self.say_about('INFO', None, f"{cost}: {changes}; press Simulate to key the tuned crowd")
        return {'FINISHED'}


def draw(layout, obj):
    """The panel's few lines: what to vary, how many trials, the button."""
    settings = obj.kestrelwood_tune
    col = layout.column(heading="Tune")
    col.prop(settings, "vary")
    # One to a row: side by side they do not fit the panel's default width.
    col = layout.column(align=True)
    col.prop(settings, "trials")
    col.operator(KESTRELWOOD_OT_tune.bl_idname, icon='MODIFIER')


classes = (KestrelwoodTuneSettings, KESTRELWOOD_OT_tune)


def register():
    for cls in classes:
        bpy.utils.register_class(cls)
    bpy.types.Object.kestrelwood_tune = PointerProperty(type=KestrelwoodTuneSettings)


def unregister():
    del bpy.types.Object.kestrelwood_tune
    for cls in reversed(classes):
        bpy.utils.unregister_class(cls)
