"""The add-on's preferences: where the kestrelwood program is."""

import bpy
from bpy.props import StringProperty

from . import program
from .problem import Problem


class KestrelwoodPreferences(bpy.types.AddonPreferences):
    bl_idname = __package__

    program: StringProperty(
        name="kestrelwood program", subtype='FILE_PATH', default="",
        description="The kestrelwood program; when empty, the environment variable KESTRELWOOD, then the "
                    "program that comes with the add-on, then the PATH, then the repository's release build")

    def draw(self, context):
        layout = self.layout
        layout.prop(self, "program")
        try:
            path, where = program.find_program(bpy.path.abspath(self.program) if self.program else "")
            layout.label(text=f"Using {path} (from {where})", icon='CHECKMARK')
        except Problem as e:
            layout.label(text=str(e), icon='ERROR')


classes = (KestrelwoodPreferences,)


def register():
    for cls in classes:
        bpy.utils.register_class(cls)


def unregister():
    for cls in reversed(classes):
        bpy.utils.unregister_class(cls)
