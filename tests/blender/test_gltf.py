"""The program's run.glb imported into Blender puts the agents where the
add-on keys them. Debian's Blender 3.4 glTF importer still uses numpy's
np.bool, which Debian's numpy no longer has: numpy.bool = bool first."""

import os
import subprocess

import bpy
import numpy

import kwtest

FRAMES = 40


class GltfTest(kwtest.BlenderTestCase):
    def test_run_glb_agrees_with_the_keys(self):
        kwtest.reset(0, FRAMES)
        flock = kwtest.empty("Flock", location=(0, -300, 0), rotation=(0, 0, 0.3))
        agents = [kwtest.empty(f"Agent {i}", location=(60.0 * i, -300, 0), rotation=(0, 0, 0.5 * i), parent=flock)
                  for i in range(4)]
        target = kwtest.empty("Target", location=(200, 900, 0))
        kwtest.carrier("Crowd", flock, target, speed=9.0, speed_variation=0.2)
        bpy.context.view_layer.update()
        self.assertEqual(bpy.ops.kestrelwood.record_start(), {'FINISHED'})
        self.assertEqual(bpy.ops.kestrelwood.simulate(), {'FINISHED'})
        sampled = range(0, FRAMES + 1, 10)
        names = [a.name for a in agents]
        keyed = {}
        for f in sampled:
            bpy.context.scene.frame_set(f)
            keyed.update({(a.name, f): a.matrix_world.copy() for a in agents})

        path = kwtest.work_path("gltf", "scene.kwscene.json")
        self.assertEqual(bpy.ops.kestrelwood.export_scene(filepath=path), {'FINISHED'})
        out = os.path.join(os.path.dirname(path), "out")
        proc = subprocess.run([kwtest.PROGRAM, "run", path, "--out", out], capture_output=True, text=True)
        # A build whose viewer page template was not made still writes the glb.
        errors = [line for line in proc.stderr.splitlines()
                  if line.startswith("error:") and "viewer page template" not in line]
        self.assertEqual(errors, [], proc.stderr)
        self.assertTrue(os.path.isfile(os.path.join(out, "run.glb")), proc.stderr)

        kwtest.reset(0, FRAMES)
        if not hasattr(numpy, "bool"):
            numpy.bool = bool
        self.assertEqual(bpy.ops.import_scene.gltf(filepath=os.path.join(out, "run.glb")), {'FINISHED'})
        scene = bpy.context.scene
        for f in sampled:
            scene.frame_set(f)
            for name in names:
                mine, theirs = keyed[(name, f)], bpy.data.objects[name].matrix_world
                self.assertLess((mine.translation - theirs.translation).length, kwtest.POSITION_TOLERANCE,
                                f"{name} at frame {f}")
                # The glb's agents are upright markers pointing along their
                # walk: compare where each one looks and which way is up.
                for axis in (1, 2):
                    d = (mine.col[axis].xyz.normalized() - theirs.col[axis].xyz.normalized()).length
                    self.assertLess(d, 1e-4, f"{name} axis {axis} at frame {f}")
