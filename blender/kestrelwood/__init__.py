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
    for _name in ("problem", "notes", "parameters", "host_axes", "user_files", "program", "walk", "properties",
                  "lengths", "scene_order", "scene_text", "ground_triangles", "shapes", "action_keys", "ground_glb",
                  "scene_build", "start_state", "keys", "ground", "run_warnings", "overlays", "simulation",
                  "operators", "tune", "panel", "preferences"):
        if _name in locals():
            importlib.reload(locals()[_name])

import bpy  # noqa: E402,F401

from . import (action_keys, ground, ground_glb, ground_triangles, host_axes, keys, lengths,  # noqa: E402,F401
               notes, operators, overlays, panel, parameters, preferences, problem, program, properties,
               run_warnings, scene_build, scene_order, scene_text, shapes, simulation, start_state, tune,
               user_files, walk)

_modules = (properties, preferences, operators, tune, panel, ground_triangles, overlays)


def register():
    for m in _modules:
        m.register()


def unregister():
    for m in reversed(_modules):
        m.unregister()
