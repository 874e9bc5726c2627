"""Simulate against `kestrelwood run` of the exported file: the keys equal
the run at every frame, on a terrain with a modifier and round obstacles of
both kinds; a new run replaces the keys of the last one; Clear takes them
away and puts the agents back."""

import math

import bpy
import numpy as np

import kwtest

FRAMES = 40


def bumpy(x, y):
    return 12.0 * math.sin(x / 70.0) * math.cos(y / 90.0)


def field():
    """Thirteen agents on a rotated, scaled terrain with a Subdivision modifier,
    two round obstacles (an empty and a Bezier circle) and a cube that is no
    obstacle, between them and the target."""
    kwtest.reset(0, FRAMES)
    ground = kwtest.grid_mesh("Ground", 600.0, 12, bumpy)
    ground.location, ground.rotation_euler, ground.scale = (0, 0, -5), (0, 0, 0.3), (1.2, 1.2, 0.8)
    ground.modifiers.new("Smooth", 'SUBSURF').levels = 1
    flock = kwtest.empty("Flock", location=(0, -400, 0))
    agents = [kwtest.empty(f"Agent {i + 1}", location=(-90 + 60 * (i % 4), -400 - 50 * (i // 4), 30),
                           rotation=(0, 0, 0.2 * (i % 3)), parent=flock) for i in range(12)]
    # Beyond the target, facing away from it: to turn round the short way
    # its heading passes pi.
    agents.append(kwtest.empty("Agent 13", location=(-100, 900, 30), rotation=(0, 0, 2.9), parent=flock))
    agents[5].rotation_mode = 'QUATERNION'
    agents[5].rotation_quaternion = (0.9, 0.0, 0.1, 0.4)
    rocks = kwtest.empty("Rocks")
    kwtest.empty("Rock A", location=(-40, -150, 0), scale=(2, 2, 2), display='CIRCLE', size=20.0, parent=rocks)
    bpy.ops.curve.primitive_bezier_circle_add(radius=30.0, location=(60, 0, 0))
    circle = bpy.context.object
    circle.name = "Rock B"
    kwtest.parent_keep_world(circle, rocks)
    bpy.ops.mesh.primitive_cube_add(size=20.0, location=(0, 100, 0))
    bpy.context.object.name = "Not a rock"
    kwtest.parent_keep_world(bpy.context.object, rocks)
    target = kwtest.empty("Target", location=(0, 500, 0))
    crowd = kwtest.carrier("Crowd", flock, target, obstacles=rocks, terrain=ground, speed=10.0,
                           speed_variation=0.4, vision_length=150.0, vision_half_width=25.0,
                           repulsion_radius=40.0, alignment_radius=120.0, max_pitch_step=0.05)
    bpy.context.view_layer.update()
    return crowd, agents


def key_counts(agent):
    action = agent.animation_data.action if agent.animation_data else None
    if action is None:
        return {}
    return {(fc.data_path, fc.array_index): len(fc.keyframe_points) for fc in action.fcurves}


class SimulateTest(kwtest.BlenderTestCase):
    def setUp(self):
        self.crowd, self.agents = field()
        self.assertEqual(bpy.ops.kestrelwood.record_start(), {'FINISHED'})

    def test_keys_equal_the_run_of_the_exported_file(self):
        self.assertEqual(bpy.ops.kestrelwood.simulate(), {'FINISHED'})
        path = kwtest.work_path("field", "field.kwscene.json")
        rows = kwtest.export_and_run(path)
        self.assertReported('WARNING', "'Not a rock'")
        worst = self.assertKeysMatchRun(rows, 0, self.agents, range(0, FRAMES + 1))
        print(f"largest difference of keys and run: position {worst[0]:.3g}, axes {worst[1]:.3g}")

        # The scene the program ran is the one Blender shows: the evaluated
        # terrain, the two circles with their world radii, not the cube.
        doc = kwtest.load_json(path)
        by_name = {}

        def walk(objs):
            for o in objs:
                by_name[o["name"]] = o
                walk(o.get("children", []))
        walk(doc["objects"])
        self.assertEqual(len(by_name["Ground"]["mesh"]["polygons"]), 2 * (2 * 12) ** 2)
        # The host holds the evaluated ground's points bit for bit: its own
        # save writes them back as the floats Blender has.
        saved = path + ".saved.json"
        kwtest.run_program("run", path, "--frames", "0", "--save", saved)
        ground = bpy.data.objects["Ground"].evaluated_get(bpy.context.evaluated_depsgraph_get()).to_mesh()
        mine = np.array([(v.co.x, v.co.z, v.co.y) for v in ground.vertices], dtype=np.float32)
        saved_ground = next(o for o in kwtest.load_json(saved)["objects"] if o["name"] == "Ground")
        np.testing.assert_array_equal(np.array(saved_ground["mesh"]["points"], dtype=np.float64).astype(np.float32),
                                      mine)
        self.assertAlmostEqual(by_name["Rock A"]["radius"], 40.0, places=4)
        self.assertAlmostEqual(by_name["Rock B"]["radius"], 30.0, places=3)
        self.assertEqual(by_name["Rock A"]["type"], "circle")
        self.assertNotIn("Not a rock", by_name)
        self.assertEqual((doc["minFrame"], doc["maxFrame"], doc["fps"]), (0, FRAMES, 30))

        # The agents followed the ground: their heights changed.
        heights = {round(rows[(f, 0, 0)]["y"], 3) for f in range(1, FRAMES + 1)}
        self.assertGreater(len(heights), 10)

    def test_rotations_turn_the_short_way_between_keys(self):
        self.assertEqual(bpy.ops.kestrelwood.simulate(), {'FINISHED'})
        for agent in self.agents:
            for fc in agent.animation_data.action.fcurves:
                if fc.data_path.startswith("rotation"):
                    values = [k.co[1] for k in fc.keyframe_points]
                    jumps = max(abs(b - a) for a, b in zip(values, values[1:]))
                    self.assertLess(jumps, 0.5, f"{agent.name} {fc.data_path}[{fc.array_index}]")
        headings = [k.co[1] for k in self.agents[-1].animation_data.action.fcurves.find("rotation_euler", index=2)
                    .keyframe_points]
        self.assertGreater(max(headings), math.pi + 0.1, "the turn round did not pass pi")

    def test_a_new_run_replaces_the_last_ones_keys(self):
        self.assertEqual(bpy.ops.kestrelwood.simulate(), {'FINISHED'})
        first = {a.name: key_counts(a) for a in self.agents}
        self.assertEqual(set(first["Agent 1"].values()), {FRAMES + 1})
        self.assertEqual(len(first["Agent 1"]), 6)
        self.assertIn(("rotation_quaternion", 3), first["Agent 6"])

        bpy.context.scene.frame_end = FRAMES // 2
        self.assertEqual(bpy.ops.kestrelwood.simulate(), {'FINISHED'})
        for a in self.agents:
            self.assertEqual(set(key_counts(a).values()), {FRAMES // 2 + 1}, a.name)
        self.assertFalse([t for lv, t in __import__("kestrelwood").operators.last_reports if "replaced" in t])

    def test_own_keys_are_replaced_with_a_warning_and_other_channels_kept(self):
        agent = self.agents[0]
        agent.keyframe_insert("location", frame=3)
        agent.keyframe_insert("scale", frame=3)
        self.assertEqual(bpy.ops.kestrelwood.simulate(), {'FINISHED'})
        self.assertReported('WARNING', "'Agent 1'")
        counts = key_counts(agent)
        self.assertEqual(counts[("location", 0)], FRAMES + 1)
        self.assertEqual(counts[("scale", 0)], 1)

    def test_clear_removes_the_keys_and_restores_the_start(self):
        starts = [a.matrix_world.copy() for a in self.agents]
        self.assertEqual(bpy.ops.kestrelwood.simulate(), {'FINISHED'})
        bpy.context.scene.frame_set(FRAMES)
        self.assertGreater((self.agents[0].matrix_world.translation - starts[0].translation).length, 50.0)
        self.assertEqual(bpy.ops.kestrelwood.clear(), {'FINISHED'})
        for a, start in zip(self.agents, starts):
            self.assertIsNone(a.animation_data.action, a.name)
            self.assertLess((a.matrix_world.translation - start.translation).length, 1e-3, a.name)
            for i in range(3):
                self.assertLess((a.matrix_world.col[i] - start.col[i]).length, 1e-5, a.name)
        self.assertEqual([act.name for act in bpy.data.actions], [])
