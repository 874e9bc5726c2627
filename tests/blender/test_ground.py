"""The ground as Simulate writes it, a glb file beside the scene file: the
same run as the ground written inline, byte for byte; the file kept while
the ground stays as it was, a new one when it changes, and only the last
few kept; and the file is the ground as Blender's own glTF importer reads
it back."""

import os

import bpy
import numpy

import kwtest
from kestrelwood import ground_glb, scene_build, scene_text, user_files

FRAMES = 30


def lay_out():
    kwtest.reset(0, FRAMES)
    ground = kwtest.grid_mesh("Ground", 400.0, 16, lambda x, y: 20.0 * numpy.sin(x / 60.0) + 0.01 * y * y / 40.0)
    ground.location, ground.rotation_euler, ground.scale = (10, -20, -3), (0.05, 0, 0.4), (1.1, 0.9, 1.3)
    ground.modifiers.new("Smooth", 'SUBSURF').levels = 1
    flock = kwtest.empty("Flock", location=(0, -300, 0))
    for i in range(6):
        kwtest.empty(f"Agent {i + 1}", location=(-60 + 40 * (i % 3), -300 - 50 * (i // 3), 30), parent=flock)
    kwtest.carrier("Crowd", flock, kwtest.empty("Target", location=(30, 380, 0)), terrain=ground, speed=8.0,
                   speed_variation=0.3, max_pitch_step=0.05)
    bpy.context.view_layer.update()
    return ground


def run(name, ground=None):
    """The scene file as the add-on writes it, run; its CSV's bytes."""
    path = kwtest.work_path("runs", f"{name}.kwscene.json")
    export = scene_build.build(bpy.context, ground=ground)
    scene_text.write_atomically(path, scene_text.to_text(export.document))
    kwtest.run_program("run", path, "--csv", path + ".csv")
    with open(path + ".csv", "rb") as f:
        return f.read(), export.document


class GroundTest(kwtest.BlenderTestCase):
    def setUp(self):
        self.ground = lay_out()
        self.assertEqual(bpy.ops.kestrelwood.record_start(), {'FINISHED'})
        self.folder = user_files.folder("grounds")
        for name in os.listdir(self.folder):
            os.unlink(os.path.join(self.folder, name))

    def test_the_glb_ground_runs_as_the_inline_one(self):
        inline, doc = run("inline")
        as_glb, glb_doc = run("glb", ground=ground_glb.cached)
        self.assertEqual(as_glb, inline)
        self.assertEqual(inline.count(b"\n"), 1 + 6 * (FRAMES + 1))
        (ground,) = [o for o in glb_doc["objects"] if o["name"] == "Ground"]
        self.assertEqual(os.path.dirname(ground["gltf"]), self.folder)
        self.assertNotIn("mesh", ground)

    def test_the_file_is_kept_while_the_ground_stays_as_it_was(self):
        cached = lambda: ground_glb.cached(self.ground, *self.mesh())  # noqa: E731
        first = cached()["gltf"]
        inode = os.stat(first).st_ino
        self.assertEqual(cached()["gltf"], first)
        self.assertEqual(os.stat(first).st_ino, inode, "an unchanged ground is not written again")

        # A changed ground is a new file; the last KEEP are kept.
        made = [first]
        for step in range(ground_glb.KEEP + 1):
            self.ground.data.vertices[step].co.z += 5.0
            bpy.context.view_layer.update()
            made.append(cached()["gltf"])
        self.assertEqual(len(set(made)), len(made))
        self.assertEqual(sorted(os.listdir(self.folder)), sorted(os.path.basename(p) for p in made[-ground_glb.KEEP:]))

        # A file cut short (a crash while writing) is written again.
        with open(made[-1], "r+b") as f:
            f.truncate(100)
        self.assertEqual(cached()["gltf"], made[-1])
        self.assertGreater(os.path.getsize(made[-1]), 100)

    def test_triangles_are_read_again_when_the_geometry_changes(self):
        # A quad is split along its first diagonal unless that lies outside
        # it: moving a corner inwards past the other diagonal turns the split
        # with no count changing.
        kwtest.reset(0, 1)
        quad = kwtest.grid_mesh("Quad", 10.0, 1, lambda x, y: 0.0)
        bpy.context.view_layer.update()
        before = self.triangles_of(quad)
        self.assertEqual(self.triangles_of(quad).tolist(), before.tolist())
        quad.data.vertices[1].co = (-5.0, 5.0, 0.0)
        bpy.context.view_layer.update()
        after = self.triangles_of(quad)
        self.assertNotEqual(sorted(map(sorted, after.tolist())), sorted(map(sorted, before.tolist())))
        copy = quad.evaluated_get(bpy.context.evaluated_depsgraph_get()).to_mesh()
        fresh = [tuple(t.vertices) for t in copy.loop_triangles]
        quad.evaluated_get(bpy.context.evaluated_depsgraph_get()).to_mesh_clear()
        self.assertEqual(sorted(map(sorted, after.tolist())), sorted(map(sorted, fresh)))

    def triangles_of(self, obj):
        from kestrelwood import shapes
        return shapes.terrain_mesh(obj, bpy.context.evaluated_depsgraph_get())[1]

    def test_blenders_gltf_importer_reads_the_ground_back(self):
        path = ground_glb.cached(self.ground, *self.mesh())["gltf"]
        depsgraph = bpy.context.evaluated_depsgraph_get()
        evaluated = self.ground.evaluated_get(depsgraph).to_mesh()
        want = numpy.empty(len(evaluated.vertices) * 3, dtype=numpy.float32)
        evaluated.vertices.foreach_get("co", want)
        self.ground.evaluated_get(depsgraph).to_mesh_clear()
        numpy.bool = bool  # Debian's Blender 3.4 importer still uses numpy.bool
        before = set(bpy.data.objects)
        self.assertEqual(bpy.ops.import_scene.gltf(filepath=path), {'FINISHED'})
        (imported,) = set(bpy.data.objects) - before
        got = numpy.empty(len(imported.data.vertices) * 3, dtype=numpy.float32)
        imported.data.vertices.foreach_get("co", got)
        self.assertEqual(len(got), len(want))
        # The importer may order points its own way: compare the sets.
        order = lambda a: a.reshape(-1, 3)[numpy.lexsort(a.reshape(-1, 3).T)]  # noqa: E731
        self.assertTrue(numpy.array_equal(order(got), order(want)))
        self.assertEqual(len(imported.data.polygons), len(self.mesh()[1]))

    def mesh(self):
        from kestrelwood import shapes
        return shapes.terrain_mesh(self.ground, bpy.context.evaluated_depsgraph_get())
