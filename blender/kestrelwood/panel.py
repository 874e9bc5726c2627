"""The tag's panel in the object properties: its settings in the sections of
the parameter list (parameters.py), the start state and the buttons, and the
warnings of the last Simulate. It fits the properties editor at its default
width (about 210 pixels for the panel in a window 1400 wide): a link's label
stands over its field, a number's inside it, the main buttons one to a row,
and long lines are wrapped."""

import blf
import bpy

from . import overlays, parameters, scene_order, start_state, tune, walk
from .lengths import speed_text
from .properties import START_SLOTS

SECTIONS = (("crowd", "Crowd"), ("steering", "Steering"), ("overlays", "Viewer overlays"))


def start_lines(tag, agents):
    """(lines, icon) of the start box's state."""
    if not start_state.is_recorded(tag):
        return ("No start recorded:", "press Record start"), 'INFO'
    if start_state.out_of_date(tag, agents):
        return ("Start out of date:", "press Record start"), 'ERROR'
    return (f"Start: {tag.start_count} agents", f"recorded at frame {tag.start_frame}"), 'CHECKMARK'


def text_width(context, text):
    """Pixels of text in the UI's font."""
    style = context.preferences.ui_styles[0].widget
    blf.size(0, style.points * context.preferences.system.ui_scale)  # 72 dpi; 4.0 takes no dpi
    return blf.dimensions(0, text)[0]


def wrapped(context, text, width):
    """text in lines no wider than width pixels, broken between words."""
    lines, line = [], ""
    for word in text.split():
        longer = f"{line} {word}" if line else word
        if line and text_width(context, longer) > width:
            lines.append(line)
            longer = word
        line = longer
    return lines + [line] if line else lines


def _labels(col, context, text, icon, in_box=False):
    """A long line as labels under an icon, wrapped to the region's width
    less the panel's margins (and a box's) and the icon."""
    width = context.region.width - (84 if in_box else 68) * context.preferences.system.ui_scale
    for i, line in enumerate(wrapped(context, text, width)):
        col.label(text=line, icon=icon if i == 0 else 'BLANK1')


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
        agents = scene_order.agents_of(tag, context.scene)
        for name, heading in SECTIONS:
            col = layout.column()
            col.label(text=heading)
            for p in parameters.section(name):
                if p.kind == "link":
                    col.label(text=p.label)
                    col.prop(tag, p.attr, text="")
                else:
                    col.prop(tag, p.attr)
                self.draw_note(col, context, tag, p, agents)
        self.draw_walk(layout, context, tag)
        self.draw_start(layout, context, tag, agents)
        self.draw_warnings(layout, context, tag)
        tune.draw(layout.box(), context.object)

    def draw_note(self, col, context, tag, p, agents):
        """The line under a setting that says what it means."""
        note = ""
        if p.attr == "agents_group":
            note = f"{len(agents)} agents, in order of name" if tag.agents_group else "its children are the agents"
            if len(agents) > START_SLOTS:
                col.label(text=f"Only the first {START_SLOTS} agents move", icon='ERROR')
        elif p.attr == "terrain":
            col.prop(tag, "units_per_blender_unit")
        elif p.attr == "speed":
            note = speed_text(context.scene, tag.speed)
        elif p.attr == parameters.BOOLS[-1].attr:
            waiting = overlays.waiting(tag)
            if waiting:
                _labels(col.column(align=True), context, waiting[0].upper() + waiting[1:], 'INFO')
        if note:
            row = col.row()
            row.alignment = 'RIGHT'
            row.label(text=note)

    def draw_walk(self, layout, context, tag):
        col = layout.column()
        col.label(text=walk.PROPERTIES["walk_action"].keywords["name"])
        col.prop(tag, "walk_action", text="")
        if tag.walk_action is not None:
            col.prop(tag, "walk_stride")
            col.prop(tag, "walk_phase_random")
        _labels(col, context, "Played on each agent's armature, one cycle per stride walked", 'ARMATURE_DATA')

    def draw_start(self, layout, context, tag, agents):
        box = layout.box()
        col = box.column(align=True)
        lines, icon = start_lines(tag, agents)
        col.label(text=lines[0], icon=icon)
        col.label(text=lines[1], icon='BLANK1')
        if tag.terrain is not None:
            box.operator("kestrelwood.drop_to_ground")
        col = box.column(align=True)
        col.operator("kestrelwood.record_start", icon='REC')
        col.operator("kestrelwood.simulate", icon='PLAY')
        row = box.row(align=True)
        row.operator("kestrelwood.clear", icon='X')
        row.operator("kestrelwood.export_scene", text="Export", icon='EXPORT')

    def draw_warnings(self, layout, context, tag):
        if not len(tag.warnings):
            return
        box = layout.box()
        box.label(text=f"Last Simulate: {len(tag.warnings)} warning{'s' if len(tag.warnings) > 1 else ''}")
        for w in tag.warnings:
            _labels(box.column(align=True), context, w.text, 'ERROR', in_box=True)


classes = (OBJECT_PT_kestrelwood,)


def register():
    for cls in classes:
        bpy.utils.register_class(cls)


def unregister():
    for cls in reversed(classes):
        bpy.utils.unregister_class(cls)
