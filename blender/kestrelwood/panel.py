"""The tag's panel in the object properties."""

import bpy

from . import scene_order, walk
from .properties import START_SLOTS


class OBJECT_PT_kestrelwood(bpy.types.Panel):
    bl_label = "Kestrelwood"
    bl_space_type = 'PROPERTIES'
    bl_region_type = 'WINDOW'
    bl_context = "object"

    def draw_header(self, context):
        self.layout.prop(context.object.kestrelwood, "enabled", text="")

    def draw(self, context):
        obj = context.object
        tag = obj.kestrelwood
        layout = self.layout
        if not tag.enabled:
            layout.label(text="Tick to steer a crowd from this object")
            return
        layout.use_property_split = True
        layout.use_property_decorate = False

        col = layout.column(heading="Crowd")
        col.prop(tag, "agents_group")
        agents = scene_order.agents_of(tag, context.scene)
        note = col.row()
        note.alignment = 'RIGHT'
        note.label(text=f"{len(agents)} agents: the group's children, in order of name"
                   if tag.agents_group else "Agents: the group's children, in order of name")
        if len(agents) > START_SLOTS:
            col.label(text=f"Only the first {START_SLOTS} agents are moved", icon='ERROR')
        col.prop(tag, "target")
        col.prop(tag, "obstacles_group")
        col.prop(tag, "terrain")

        col = layout.column(heading="Steering")
        for attr in ("speed", "speed_variation", "vision_length", "vision_half_width", "avoid_angle",
                     "target_weight", "repulsion_weight", "alignment_weight", "repulsion_radius",
                     "alignment_radius", "max_pitch_step"):
            col.prop(tag, attr)

        walk.draw(layout, tag)

        col = layout.column(heading="Viewer overlays")
        col.prop(tag, "show_vision")
        col.prop(tag, "show_repulsion")
        col.prop(tag, "show_alignment")

        box = layout.box()
        if tag.start_recorded:
            box.label(text=f"Start: {tag.start_count} agents, recorded at frame {tag.start_frame}",
                      icon='CHECKMARK')
        else:
            box.label(text="No start recorded: press Record start", icon='INFO')
        row = box.row(align=True)
        row.operator("kestrelwood.record_start", icon='REC')
        row.operator("kestrelwood.simulate", icon='PLAY')
        row.operator("kestrelwood.clear", icon='X')
        box.operator("kestrelwood.export_scene", text="Export scene file", icon='EXPORT')


classes = (OBJECT_PT_kestrelwood,)


def register():
    for cls in classes:
        bpy.utils.register_class(cls)


def unregister():
    for cls in reversed(classes):
        bpy.utils.unregister_class(cls)
