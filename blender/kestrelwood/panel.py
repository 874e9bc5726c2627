"""The tag's panel in the object properties: its settings in the sections of
the parameter list (parameters.py), the start state and the buttons, and the
warnings of the last Simulate. It fits the properties editor at its default
width: long labels are stacked over their fields, buttons two to a row."""

import textwrap

import bpy

from . import overlays, parameters, scene_order, start_state
from .lengths import speed_text
from .properties import START_SLOTS

SECTIONS = (("crowd", "Crowd"), ("steering", "Steering"), ("overlays", "Viewer overlays"))


def start_line(tag, agents):
    """(text, icon) of the start box's first line."""
    if not start_state.is_recorded(tag):
        return "No start recorded: press Record start", 'INFO'
    if start_state.out_of_date(tag, agents):
        return "Start out of date: press Record start", 'ERROR'
    return f"Start: {tag.start_count} agents, recorded at frame {tag.start_frame}", 'CHECKMARK'


def _wrapped(layout, context, text, icon='NONE'):
    """A long line as labels that fit the region's width."""
    width = context.region.width if context.region is not None else 300
    chars = max(24, int((width - 40) / (7.0 * context.preferences.view.ui_scale)))
    for i, line in enumerate(textwrap.wrap(text, chars)):
        layout.label(text=line, icon=icon if i == 0 else 'BLANK1')


class OBJECT_PT_kestrelwood(bpy.types.Panel):
    bl_label = "Kestrelwood"
    bl_space_type = 'PROPERTIES'
    bl_region_type = 'WINDOW'
    bl_context = "object"

    def draw_header(self, context):
        self.layout.prop(context.object.kestrelwood, "enabled", text="")

    def draw(self, context):
        tag = context.object.kestrelwood
        layout = self.layout
        if not tag.enabled:
            layout.label(text="Tick to steer a crowd from this object")
            return
        layout.use_property_split = True
        layout.use_property_decorate = False
        agents = scene_order.agents_of(tag, context.scene)
        for name, heading in SECTIONS:
            col = layout.column()
            col.label(text=heading)
            for p in parameters.section(name):
                col.prop(tag, p.attr, text=p.short or p.label)
                self.draw_note(col, context, tag, p, agents)
        self.draw_start(layout, context, tag, agents)
        self.draw_warnings(layout, context, tag)

    def draw_note(self, col, context, tag, p, agents):
        """The line under a setting that says what it means."""
        note = ""
        if p.attr == "agents_group":
            note = f"{len(agents)} agents, in order of name" if tag.agents_group else "its children are the agents"
            if len(agents) > START_SLOTS:
                col.label(text=f"Only the first {START_SLOTS} agents move", icon='ERROR')
        elif p.attr == "terrain":
            col.prop(tag, "units_per_blender_unit", text="Units per m")
        elif p.attr == "speed":
            note = speed_text(context.scene, tag.speed)
        elif p.attr == parameters.BOOLS[-1].attr:
            waiting = overlays.waiting(tag)
            if waiting:
                col.label(text=waiting.capitalize(), icon='INFO')
        if note:
            row = col.row()
            row.alignment = 'RIGHT'
            row.label(text=note)

    def draw_start(self, layout, context, tag, agents):
        box = layout.box()
        text, icon = start_line(tag, agents)
        box.label(text=text, icon=icon)
        if tag.terrain is not None:
            box.operator("kestrelwood.drop_to_ground", icon='SNAP_FACE')
        row = box.row(align=True)
        row.operator("kestrelwood.record_start", icon='REC')
        row.operator("kestrelwood.simulate", icon='PLAY')
        row = box.row(align=True)
        row.operator("kestrelwood.clear", icon='X')
        row.operator("kestrelwood.export_scene", text="Export", icon='EXPORT')

    def draw_warnings(self, layout, context, tag):
        if not len(tag.warnings):
            return
        box = layout.box()
        box.label(text=f"Last Simulate: {len(tag.warnings)} warning{'s' if len(tag.warnings) > 1 else ''}")
        for w in tag.warnings:
            _wrapped(box.column(align=True), context, w.text, icon='ERROR')


classes = (OBJECT_PT_kestrelwood,)


def register():
    for cls in classes:
        bpy.utils.register_class(cls)


def unregister():
    for cls in reversed(classes):
        bpy.utils.unregister_class(cls)
