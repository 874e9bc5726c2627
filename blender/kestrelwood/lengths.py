"""Lengths as the scene shows them: Blender units in the scene's unit system
and scale, for the panel's notes and the add-on's messages."""

import bpy


def length_text(scene, value):
    """A length in Blender units as the scene's length fields show it."""
    units = scene.unit_settings
    text = bpy.utils.units.to_string(units.system, 'LENGTH', value * units.scale_length, precision=3).strip()
    return text if units.system != 'NONE' else f"{text} units"


def frame_rate(scene):
    return scene.render.fps / scene.render.fps_base


def speed_text(scene, per_frame):
    """What a distance per frame means at the scene's frame rate: "6 m/s at 30 fps"."""
    fps = frame_rate(scene)
    return f"{length_text(scene, per_frame * fps)}/s at {fps:.4g} fps"
