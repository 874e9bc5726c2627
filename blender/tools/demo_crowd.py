"""The built-in demo of `kestrelwood demo` laid out in Blender: its ground,
target, six rocks and 60 agents read from `kestrelwood demo --export-scene`
and turned into Blender's axes (host (x, y, z) is Blender (x, z, y)), with a
carrier "Crowd" whose tag has the demo's parameters. At `units` scene units
per Blender unit: 1 for the benchmark (the demo's own numbers), 100 for the
pictures (a crowd in metres). Run inside Blender.

The agents are cones (one shared mesh, tip forward), arrow empties, or
walkers (tools/walker.py: each agent an armature with its figure, the tag
playing their cycle by the distance walked, WALKER_STRIDE to a cycle)."""

import json
import os
import subprocess
import tempfile

import bpy

import walker
from kestrelwood import parameters


def demo_scene_json(program):
    with tempfile.TemporaryDirectory(prefix="kestrelwood-demo-") as folder:
        path = os.path.join(folder, "demo.kwscene.json")
        subprocess.run([program, "demo", "--export-scene", path, "--frames", "0", "--csv",
                        os.path.join(folder, "x.csv")], check=True, capture_output=True)
        with open(path) as f:
            return json.load(f)


# A walker's stride in the demo's units: at the demo's Speed of 22 a cycle
# lasts about 13 frames, and the figure stands about 290 tall.
WALKER_STRIDE = 280.0


def build(program, figure="cone", units=1.0):
    """Lays the demo out in the current (emptied) scene with agents of the
    figure "cone", "arrow" or "walker", at units scene units per Blender
    unit; returns the carrier."""
    doc = demo_scene_json(program)

    def to_blender(p):
        return (p[0] / units, p[2] / units, p[1] / units)

    scene = bpy.context.scene
    scene.frame_start, scene.frame_end, scene.render.fps = doc["minFrame"], doc["maxFrame"], doc["fps"]
    objs = {o["name"]: o for o in doc["objects"]}

    ground_doc = objs["Ground"]["mesh"]
    verts = [to_blender(p) for p in ground_doc["points"]]
    # The mirror turns the winding round; vertex a stays first, so that Blender
    # splits each quad on the same diagonal (a, c) as the host does.
    faces = [(q[0], q[3], q[2], q[1]) for q in ground_doc["polygons"]]
    mesh = bpy.data.meshes.new("Ground")
    mesh.from_pydata(verts, [], faces)
    ground = bpy.data.objects.new("Ground", mesh)
    scene.collection.objects.link(ground)

    def empty(name, location, display='PLAIN_AXES', size=1.0, parent=None):
        o = bpy.data.objects.new(name, None)
        scene.collection.objects.link(o)
        o.empty_display_type, o.empty_display_size = display, size
        o.location = location
        o.parent = parent
        return o

    target = empty("Target", to_blender(objs["Target"]["position"]), 'SPHERE', 60.0 / units)
    rocks = empty("Obstacles", (0, 0, 0))
    for r in objs["Obstacles"]["children"]:
        rock = empty(r["name"], to_blender(r["position"]), 'CIRCLE', r["radius"] / units, rocks)
        rock.rotation_euler.x = 1.5707963  # Blender draws an empty's circle upright: lay it flat
        rock.show_in_front = True
    flock = empty("Flock", (0, 0, 0))
    cone = walkers = None
    if figure == "walker":
        walkers = walker.Walker(WALKER_STRIDE / units)
    elif figure == "cone":
        # One shared arrow-like cone, its tip along local +Y (forward),
        # standing on the agent's origin.
        bpy.ops.mesh.primitive_cone_add(radius1=40.0 / units, depth=120.0 / units, location=(0, 0, 40.0 / units),
                                        rotation=(-1.5708, 0, 0))
        shape = bpy.context.object
        bpy.ops.object.transform_apply(location=True, rotation=True)
        cone = shape.data
        bpy.data.objects.remove(shape)
    for a in objs["Flock"]["children"]:
        if walkers is not None:
            walkers.make(a["name"], flock, to_blender(a["position"]))
            continue
        o = bpy.data.objects.new(a["name"], cone)
        scene.collection.objects.link(o)
        if cone is None:
            o.empty_display_type, o.empty_display_size = 'SINGLE_ARROW', 60.0 / units
        o.location = to_blender(a["position"])
        o.parent = flock
    crowd = empty("Crowd", (0, 0, 0))
    tag = crowd.kestrelwood
    tag.enabled = True
    tag.units_per_blender_unit = units
    tag.agents_group, tag.target, tag.obstacles_group, tag.terrain = flock, target, rocks, ground
    params = objs["Crowd"]["tags"][0]["params"]
    for p in parameters.PARAMETERS:
        if p.kind != "link" and p.param in params:
            setattr(tag, p.attr, params[p.param] / units if p.unit == "length" else params[p.param])
    if walkers is not None:
        tag.walk_action, tag.walk_stride = walkers.action, WALKER_STRIDE / units
    bpy.context.view_layer.objects.active = crowd
    bpy.context.view_layer.update()
    return crowd
