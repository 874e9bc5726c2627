"""The Tune button on a crowd the test builds: the tag's properties become
the values of the scene `kestrelwood tune` saved, Undo brings the old ones
back, the status bar says given and best, and a tag without a start is
refused with nothing changed."""

import bpy

import kwtest

FRAMES = 80


def packed():
    """Sixteen agents packed 40 units apart, a rock between them and a
    target beyond: close pairs and stuck agents with the tag's defaults."""
    kwtest.reset(0, FRAMES)
    flock = kwtest.empty("Flock")
    agents = [kwtest.empty(f"Agent {i + 1:02d}", location=((i % 4) * 40 - 60, (i // 4) * 40, 0), parent=flock)
              for i in range(16)]
    rocks = kwtest.empty("Rocks")
    kwtest.empty("Rock", location=(0, 600, 0), display='CIRCLE', size=150.0, parent=rocks)
    target = kwtest.empty("Target", location=(0, 1500, 0))
    crowd = kwtest.carrier("Crowd", flock, target, obstacles=rocks)
    bpy.context.view_layer.update()
    return crowd, agents


class TuneTest(kwtest.BlenderTestCase):
    def setUp(self):
        self.crowd, self.agents = packed()
        self.settings = self.crowd.kestrelwood_tune

    def test_best_values_written_as_one_undo_step(self):
        self.assertEqual(bpy.ops.kestrelwood.record_start(), {'FINISHED'})
        self.settings.vary = {"repulsion_weight", "repulsion_radius"}
        self.settings.trials = 16
        tag = self.crowd.kestrelwood
        before = {a: getattr(tag, a) for a in ("repulsion_weight", "repulsion_radius", "vision_length")}
        bpy.ops.ed.undo_push(message="before the tune")
        self.assertEqual(bpy.ops.kestrelwood.tune(), {'FINISHED'})
        self.assertReported('INFO', "cost ")
        after = {a: getattr(tag, a) for a in before}
        self.assertNotEqual((after["repulsion_weight"], after["repulsion_radius"]),
                            (before["repulsion_weight"], before["repulsion_radius"]))
        self.assertEqual(after["vision_length"], before["vision_length"])  # not varied

        # The values are those the program found: the same tune from the command line.
        path = kwtest.work_path("tune", "packed.kwscene.json")
        bpy.ops.ed.undo_push(message="tuned")
        bpy.ops.ed.undo()
        tag = bpy.data.objects["Crowd"].kestrelwood
        self.assertEqual({a: getattr(tag, a) for a in before}, before)
        bpy.ops.kestrelwood.export_scene(filepath=path)
        saved = path + ".best.json"
        kwtest.run_program("tune", path, "--quiet", "--trials", "16", "--vary", "REPULSION_WEIGHT,REPULSION_RADIUS",
                           "--save", saved)
        params = kwtest.load_json(saved)["objects"]
        crowd = next(o for o in params if o["name"] == "Crowd")["tags"][0]["params"]
        self.assertAlmostEqual(crowd["REPULSION_WEIGHT"], after["repulsion_weight"], places=4)
        self.assertAlmostEqual(crowd["REPULSION_RADIUS"], after["repulsion_radius"], places=3)

    def test_without_a_start_nothing_changes(self):
        tag = self.crowd.kestrelwood
        before = tag.repulsion_radius
        self.assertEqual(bpy.ops.kestrelwood.tune(), {'CANCELLED'})
        self.assertReported('WARNING', "no start state is recorded")
        self.assertEqual(tag.repulsion_radius, before)
