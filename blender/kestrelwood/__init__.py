"""Kestrelwood crowd for Blender: the Kestrelwood tag on a Blender scene.

Lay out agents (the children of a group object), a target, obstacles and a
terrain; tick Kestrelwood on any object and link them in its panel; press
Record start and Simulate to get every agent keyed on every frame, as
`kestrelwood run` computes it on the exported scene file.
"""

bl_info = {
    "name": "Kestrelwood crowd",
    "author": "Kestrelwood developers",
    "version": (1, 0, 0),
    "blender": (3, 4, 0),
    "location": "Properties > Object > Kestrelwood; File > Export > Kestrelwood scene",
    "description": "Steers a crowd of objects with the Kestrelwood module and keys the result",
    "category": "Animation",
}

if "bpy" in locals():
    import importlib
    for _name in ("problem", "host_axes", "program", "scene_order", "keys", "walk", "properties", "scene_text",
                  "shapes", "scene_build", "start_state", "operators", "panel", "preferences"):
        if _name in locals():
            importlib.reload(locals()[_name])

import bpy  # noqa: E402,F401

from . import (host_axes, keys, operators, panel, preferences, problem, program, properties,  # noqa: E402,F401
               scene_build, scene_order, scene_text, shapes, start_state, walk)

_modules = (properties, preferences, operators, panel)


def register():
    for m in _modules:
        m.register()


def unregister():
    for m in reversed(_modules):
        m.unregister()
