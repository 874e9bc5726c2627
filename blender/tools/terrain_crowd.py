"""The frame benchmark's big-ground scene laid out in Blender: 100 agents
marching over a generated heightfield of 2,000,000 triangles. The scene and
its ground come from the frame benchmark's own generator
(`frames_bench --make-scenes`, bench/bench_scenes.cpp): the scene file for
the agents, target and steering, the glb for the ground, read with numpy and
turned into Blender's axes (glTF (x, y, z) is Blender (x, -z, y), as
Blender's glTF importer has it; host (x, y, z) is Blender (x, z, y)).
For the benchmark; run inside Blender."""

import json
import os
import struct
import subprocess

import bpy
import numpy as np

from kestrelwood import parameters


def scene_files(frames_bench):
    """{name: path} of the frame benchmark's scene files, made when missing."""
    done = subprocess.run([frames_bench, "--make-scenes"], check=True, capture_output=True, text=True)
    return dict(line.split(" ", 1) for line in done.stdout.splitlines())


def read_glb(path):
    """(points, triangles) of a glb of one indexed primitive, in glTF's axes."""
    with open(path, "rb") as f:
        data = f.read()
    json_length = struct.unpack_from("<I", data, 12)[0]
    doc = json.loads(data[20:20 + json_length])
    binary = memoryview(data)[20 + json_length + 8:]

    def accessor(i, dtype):
        a = doc["accessors"][i]
        view = doc["bufferViews"][a["bufferView"]]
        start = view.get("byteOffset", 0) + a.get("byteOffset", 0)
        width = 3 if a["type"] == "VEC3" else 1
        return np.frombuffer(binary, dtype=dtype, count=a["count"] * width, offset=start).reshape(-1, 3)

    prim = doc["meshes"][0]["primitives"][0]
    return accessor(prim["attributes"]["POSITION"], np.float32), accessor(prim["indices"], np.uint32)


def ground_mesh(name, points, triangles):
    """A Blender mesh of glTF points and triangles, built from numpy arrays."""
    co = np.empty_like(points)
    co[:, 0], co[:, 1], co[:, 2] = points[:, 0], -points[:, 2], points[:, 1]
    mesh = bpy.data.meshes.new(name)
    mesh.vertices.add(len(co))
    mesh.vertices.foreach_set("co", co.ravel())
    mesh.loops.add(triangles.size)
    mesh.loops.foreach_set("vertex_index", triangles.astype(np.int32).ravel())
    mesh.polygons.add(len(triangles))
    mesh.polygons.foreach_set("loop_start", np.arange(0, triangles.size, 3, dtype=np.int32))
    mesh.polygons.foreach_set("loop_total", np.full(len(triangles), 3, dtype=np.int32))
    mesh.update()
    return mesh


def to_blender(p):
    return (p[0], p[2], p[1])


def build(scene_path, frames):
    """Lays the scene out in the current (emptied) scene over frames 0 to
    frames - 1; returns the carrier."""
    with open(scene_path) as f:
        doc = json.load(f)
    objs = {o["name"]: o for o in doc["objects"]}
    scene = bpy.context.scene
    scene.frame_start, scene.frame_end, scene.render.fps = 0, frames - 1, doc.get("fps", 30)
    scene.frame_set(0)
    glb = os.path.join(os.path.dirname(scene_path), objs["Ground"]["gltf"])
    ground = bpy.data.objects.new("Ground", ground_mesh("Ground", *read_glb(glb)))
    scene.collection.objects.link(ground)

    def empty(name, location, parent=None):
        o = bpy.data.objects.new(name, None)
        scene.collection.objects.link(o)
        o.empty_display_type, o.empty_display_size = 'SINGLE_ARROW', 60.0
        o.location, o.parent = location, parent
        return o

    walkers = empty("Walkers", (0, 0, 0))
    for a in objs["Walkers"]["children"]:
        empty(a["name"], to_blender(a["position"]), walkers)
    target = empty("Target", to_blender(objs["Target"]["position"]))
    crowd = empty("Crowd", (0, 0, 0))
    tag = crowd.kestrelwood
    tag.enabled = True
    # The scene file's numbers are Blender's: the tag's own defaults, at one
    # scene unit per Blender unit.
    tag.units_per_blender_unit = 1.0
    for p in parameters.LENGTHS:
        setattr(tag, p.attr, p.default)
    tag.agents_group, tag.target, tag.terrain = walkers, target, ground
    params = objs["Crowd"]["tags"][0]["params"]
    for p in parameters.PARAMETERS:
        if p.kind != "link" and p.param in params:
            setattr(tag, p.attr, params[p.param])
    bpy.context.view_layer.objects.active = crowd
    bpy.context.view_layer.update()
    return crowd
