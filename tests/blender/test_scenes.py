"""Scenes beyond one flock: two carriers with two flocks; and scenes that
are missing something, which are reported, never raised from the add-on."""

import json
import math
import os

import bpy
import numpy as np

import kwtest


def flock(name, x, count, target_at):
    group = kwtest.empty(f"Flock {name}", location=(x, 0, 0))
    agents = [kwtest.empty(f"{name} {i}", location=(x + 40.0 * i, -40.0 * (i % 2), 0), parent=group)
              for i in range(count)]
    target = kwtest.empty(f"Target {name}", location=target_at)
    return group, agents, target


def action_of(obj):
    return obj.animation_data.action if obj.animation_data else None


class TwoFlocksTest(kwtest.BlenderTestCase):
    def test_each_carrier_keys_its_own_flock_as_the_run_moves_it(self):
        kwtest.reset(0, 30)
        group_a, agents_a, target_a = flock("A", -500, 4, (-500, 1000, 0))
        group_b, agents_b, target_b = flock("B", 500, 6, (900, -800, 0))
        crowd_a = kwtest.carrier("Crowd A", group_a, target_a, speed=8.0)
        crowd_b = kwtest.carrier("Crowd B", group_b, target_b, speed=8.0, speed_variation=0.3)
        bpy.context.view_layer.update()
        for c in (crowd_a, crowd_b):
            kwtest.activate(c)
            self.assertEqual(bpy.ops.kestrelwood.record_start(), {'FINISHED'})
        kwtest.activate(crowd_a)
        self.assertEqual(bpy.ops.kestrelwood.simulate(), {'FINISHED'})
        self.assertTrue(all(action_of(a) is None for a in agents_b), "simulating A keyed B's agents")
        # The module's per-agent records are shared: A walks at B's speeds.
        self.assertReported('WARNING', "walk at the speeds recorded by 'Crowd B'")
        kwtest.activate(crowd_b)
        self.assertEqual(bpy.ops.kestrelwood.simulate(), {'FINISHED'})
        self.assertTrue(all(action_of(a) is not None for a in agents_a + agents_b))

        rows = kwtest.export_and_run(kwtest.work_path("two", "two.kwscene.json"))
        self.assertKeysMatchRun(rows, 0, agents_a, range(0, 31))
        self.assertKeysMatchRun(rows, 1, agents_b, range(0, 31))
        step = math.hypot(rows[(1, 0, 1)]["x"] - rows[(0, 0, 1)]["x"], rows[(1, 0, 1)]["z"] - rows[(0, 0, 1)]["z"])
        self.assertAlmostEqual(step, crowd_b.kestrelwood.start_slots[1].speed, places=3)


class MissingThingsTest(kwtest.BlenderTestCase):
    def setUp(self):
        kwtest.reset(0, 10)
        self.group, self.agents, self.target = flock("A", 0, 3, (0, 800, 0))
        self.crowd = kwtest.carrier("Crowd", self.group, self.target)
        bpy.context.view_layer.update()

    def test_a_missing_target_is_reported(self):
        self.assertEqual(bpy.ops.kestrelwood.record_start(), {'FINISHED'})
        self.crowd.kestrelwood.target = None
        self.assertEqual(bpy.ops.kestrelwood.simulate(), {'CANCELLED'})
        self.assertReported('WARNING', "no target")
        self.assertTrue(all(action_of(a) is None for a in self.agents))

    def test_no_start_no_agents_no_tag_are_reported(self):
        self.assertEqual(bpy.ops.kestrelwood.simulate(), {'CANCELLED'})
        self.assertReported('WARNING', "press Record start")

        self.crowd.kestrelwood.agents_group = self.target  # no children
        self.assertEqual(bpy.ops.kestrelwood.record_start(), {'CANCELLED'})
        self.assertReported('WARNING', "has no children")
        self.crowd.kestrelwood.agents_group = None
        self.assertEqual(bpy.ops.kestrelwood.record_start(), {'CANCELLED'})
        self.assertReported('WARNING', "no agents group")

        self.crowd.kestrelwood.enabled = False
        self.assertEqual(bpy.ops.kestrelwood.clear(), {'CANCELLED'})
        self.assertReported('WARNING', "carries no tag")

    def test_agents_added_after_the_record_are_named(self):
        self.assertEqual(bpy.ops.kestrelwood.record_start(), {'FINISHED'})
        kwtest.empty("A 0b", parent=self.group)  # sorts between A 0 and A 1
        # The start no longer fits the agents: Simulate refuses, naming them.
        self.assertEqual(bpy.ops.kestrelwood.simulate(), {'CANCELLED'})
        self.assertReported('WARNING', "'A 0b', 'A 1', 'A 2'")

    def test_a_missing_program_is_an_error_that_says_where_it_looked(self):
        self.assertEqual(bpy.ops.kestrelwood.record_start(), {'FINISHED'})
        saved = os.environ["KESTRELWOOD"]
        os.environ["KESTRELWOOD"] = os.path.join(kwtest.WORK, "no-such-kestrelwood")
        try:
            with self.assertRaisesRegex(RuntimeError, "no-such-kestrelwood .*does not exist"):
                bpy.ops.kestrelwood.simulate()
        finally:
            os.environ["KESTRELWOOD"] = saved
        self.assertTrue(all(action_of(a) is None for a in self.agents))

    def test_a_failed_run_is_an_error_with_the_programs_line(self):
        self.assertEqual(bpy.ops.kestrelwood.record_start(), {'FINISHED'})
        fake = kwtest.work_path("fake", "kestrelwood")
        with open(fake, "w") as f:
            f.write("#!/bin/sh\necho 'warning: a warning first' >&2\n"
                    "echo 'error: scene.kwscene.json: objects[0]: what went wrong' >&2\nexit 3\n")
        os.chmod(fake, 0o755)
        saved = os.environ["KESTRELWOOD"]
        os.environ["KESTRELWOOD"] = fake
        try:
            with self.assertRaisesRegex(RuntimeError, r"exit status 3\): error: scene.kwscene.json: objects\[0\]: "
                                                      "what went wrong"):
                bpy.ops.kestrelwood.simulate()
        finally:
            os.environ["KESTRELWOOD"] = saved

    def test_export_never_leaves_half_a_file(self):
        self.assertEqual(bpy.ops.kestrelwood.record_start(), {'FINISHED'})
        path = kwtest.work_path("keep", "scene.kwscene.json")
        with open(path, "w") as f:
            f.write("the user's file")
        self.crowd.kestrelwood.start_slots[0].speed = float("nan")
        with self.assertRaises(RuntimeError):
            bpy.ops.kestrelwood.export_scene(filepath=path)
        with open(path) as f:
            self.assertEqual(f.read(), "the user's file")
        self.assertEqual(os.listdir(os.path.dirname(path)), ["scene.kwscene.json"])


class CrowdSizeTest(kwtest.BlenderTestCase):
    def test_past_the_hundredth_agent_nothing_moves_and_both_commands_say_so(self):
        kwtest.reset(0, 5)
        group, agents, target = flock("A", 0, 102, (0, 3000, 0))
        kwtest.carrier("Crowd", group, target)
        bpy.context.view_layer.update()
        self.assertEqual(bpy.ops.kestrelwood.record_start(), {'FINISHED'})
        self.assertReported('WARNING', "102 agents, but a tag moves at most 100")
        self.assertEqual(bpy.ops.kestrelwood.simulate(), {'FINISHED'})
        self.assertReported('WARNING', "agents past the hundredth do not move")
        rows = kwtest.export_and_run(kwtest.work_path("many", "many.kwscene.json"))
        ordered = sorted(agents, key=lambda a: int(a.name.split()[1]))
        self.assertKeysMatchRun(rows, 0, ordered, range(0, 6))
        self.assertEqual(rows[(5, 0, 101)]["x"], rows[(0, 0, 101)]["x"])


class ObstaclesTest(kwtest.BlenderTestCase):
    def test_round_rocks_are_written_with_their_world_radius_and_others_passed_over(self):
        kwtest.reset(0, 10)
        group, agents, target = flock("A", 0, 2, (0, 800, 0))
        rocks = kwtest.empty("Rocks", scale=(3, 3, 3))
        kwtest.empty("Empty circle", location=(0, 200, 0), scale=(2, 1, 1), display='CIRCLE', size=10.0,
                     parent=rocks)
        kwtest.empty("Empty cube", location=(0, 300, 0), display='CUBE', parent=rocks)
        bpy.ops.curve.primitive_nurbs_circle_add(radius=7.0, location=(50, 0, 0))
        kwtest.parent_keep_world(bpy.context.object, rocks)
        bpy.context.object.name = "Nurbs circle"
        bpy.ops.curve.primitive_bezier_circle_add(radius=5.0, location=(-50, 0, 0))
        bpy.context.object.name = "Bezier off centre"
        bpy.context.object.data.splines[0].bezier_points.foreach_set("co", [v + 20.0 for v in [
            c for p in bpy.context.object.data.splines[0].bezier_points for c in p.co]])
        kwtest.parent_keep_world(bpy.context.object, rocks)
        bpy.ops.curve.primitive_bezier_curve_add(location=(0, -50, 0))
        bpy.context.object.name = "Open curve"
        kwtest.parent_keep_world(bpy.context.object, rocks)
        target.location = (0, 800, 0)
        target.keyframe_insert("location", frame=5)
        crowd = kwtest.carrier("Crowd", group, target, obstacles=rocks)
        bpy.context.view_layer.update()
        self.assertEqual(bpy.ops.kestrelwood.record_start(), {'FINISHED'})

        path = kwtest.work_path("rocks", "rocks.kwscene.json")
        rows = kwtest.export_and_run(path, "--frames", "0")
        self.assertReported('WARNING', "'Empty cube' is an empty not drawn as a circle")
        self.assertReported('WARNING', "'Open curve' is a curve whose spline is not closed")
        self.assertReported('WARNING', "'Target A' moves in Blender, but the tag sees it where it stands at frame 0")
        self.assertEqual(len(rows), 2)
        written = {o["name"]: o for top in kwtest.load_json(path)["objects"] for o in top.get("children", [])}
        self.assertEqual(sorted(n for n, o in written.items() if o.get("type") == "circle"),
                         ["Bezier off centre", "Empty circle", "Nurbs circle"])
        # Display size times the world X scale (the parent's 3 is undone by
        # the parent inverse: the world scale is (2, 1, 1)).
        self.assertAlmostEqual(written["Empty circle"]["radius"], 10.0 * 2, places=3)
        self.assertAlmostEqual(written["Nurbs circle"]["radius"], 7.0, delta=0.01)
        self.assertAlmostEqual(written["Bezier off centre"]["radius"], 5.0, places=3)
        # The off-centre circle stands where its points are, (-30, 20, 20) in
        # the world, written relative to the rocks' group (scaled by 3) in
        # the host's axes.
        rocks_doc = next(o for o in kwtest.load_json(path)["objects"] if o["name"] == "Rocks")
        centre = next(c for c in rocks_doc["children"] if c["name"] == "Bezier off centre")["position"]
        self.assertEqual([round(v, 3) for v in centre], [-10.0, 6.667, 6.667])
        self.assertNotIn("tags", written.get("Crowd", {}))
        del crowd


class NumbersTest(kwtest.BlenderTestCase):
    def test_floats_are_written_to_read_back_as_the_same_floats(self):
        from kestrelwood import scene_text
        rng = np.random.default_rng(3)
        values = np.concatenate([
            rng.uniform(-1e4, 1e4, 3000), rng.standard_normal(3000) * 1e-3,
            [0.0, -0.0, 1e-45, -1e-45, 1.17549435e-38, 3.4028235e38, -3.4028235e38, 0.1, 1 / 3, 16777217.0]
        ]).astype(np.float32)
        values = values[: len(values) // 3 * 3].reshape(-1, 3)
        text = scene_text.to_text({"points": values})
        back = np.array(json.loads(text)["points"], dtype=np.float64).astype(np.float32)
        np.testing.assert_array_equal(back.view(np.uint32), values.view(np.uint32))
        for v in values.ravel()[:200]:
            self.assertEqual(np.float32(float(scene_text.real32(float(v)))), v)
