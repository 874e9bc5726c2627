"""An artist's first hour with a new tag, the buttons pressed as a user
presses them: 25 agents 1.5 m apart (cones and arrow empties) on a bumpy
60 m ground, four round rocks, a target 25 m ahead, the tag's defaults. The
crowd walks to its target in metres; a start recorded with other settings
says so and Simulate refuses; warnings are counted and listed; keys leave
objects that are no agents any more."""

import math
import re

import bpy
from mathutils import Vector

import kwtest
from kestrelwood import lengths, operators, overlays, panel, scene_text
from kestrelwood.parameters import LENGTHS, REALS

FIRST, LAST = 1, 250
UNITS = 100.0


def bumps(x, y):
    return 0.3 * math.sin(x / 4.0) * math.cos(y / 6.0)


def first_hour(cone_height=0.0):
    """The scene; cones stand with their origins cone_height above the
    ground (a cone's origin is at its middle)."""
    kwtest.reset(FIRST, LAST)
    ground = kwtest.grid_mesh("Ground", 30.0, 40, bumps)
    flock = kwtest.empty("Flock")
    bpy.ops.mesh.primitive_cone_add(radius1=0.3, depth=1.0)
    cone = bpy.context.object.data
    bpy.data.objects.remove(bpy.context.object)
    agents = []
    for i in range(25):
        x, y = -3.0 + 1.5 * (i % 5), -10.0 - 1.5 * (i // 5)
        if i % 2:
            agent = kwtest.empty(f"Agent {i + 1:02d}", location=(x, y, bumps(x, y)), display='SINGLE_ARROW',
                                 size=0.5, parent=flock)
        else:
            agent = bpy.data.objects.new(f"Agent {i + 1:02d}", cone)
            bpy.context.scene.collection.objects.link(agent)
            agent.location = (x, y, bumps(x, y) + cone_height)
            agent.parent = flock
        agents.append(agent)
    target = kwtest.empty("Target", location=(0.0, 15.0, 0.0), display='SPHERE', size=0.5)
    rocks = kwtest.empty("Rocks")
    for i, (x, y) in enumerate(((-2.5, 0.0), (2.5, 0.0), (0.0, 5.0), (-5.0, 8.0))):
        kwtest.empty(f"Rock {i + 1}", location=(x, y, 0.0), display='CIRCLE', size=1.0, parent=rocks)
    crowd = kwtest.empty("Crowd")
    crowd.kestrelwood.enabled = True  # ticked on as in the panel: a new tag
    tag = crowd.kestrelwood
    tag.agents_group, tag.target, tag.obstacles_group, tag.terrain = flock, target, rocks, ground
    kwtest.activate(crowd)
    bpy.context.view_layer.update()
    return crowd, agents, target


def distances(agents, target, frame):
    bpy.context.scene.frame_set(frame)
    goal = target.matrix_world.translation
    return [(a.matrix_world.translation - goal).xy.length for a in agents]


def run_keys(obj):
    ad = obj.animation_data
    return [] if ad is None or ad.action is None else [fc for fc in ad.action.fcurves
                                                        if fc.group is not None and fc.group.name == "Kestrelwood"]


def reported(fragment, level='WARNING'):
    return [t for lv, t in operators.last_reports if lv == level and fragment in t]


class NewTagTest(kwtest.BlenderTestCase):
    def test_the_default_tag_walks_the_crowd_in_metres_to_its_target(self):
        crowd, agents, target = first_hour()
        tag = crowd.kestrelwood
        self.assertEqual(tag.units_per_blender_unit, UNITS)
        for p in REALS:
            shown = getattr(tag, p.attr) * (UNITS if p in LENGTHS else 1.0)
            self.assertAlmostEqual(shown, p.default, delta=1e-5 * max(1.0, p.default), msg=p.attr)
        self.assertAlmostEqual(tag.speed, 0.2, places=6)
        self.assertEqual(lengths.speed_text(bpy.context.scene, tag.speed), "6 m/s at 30 fps")

        self.assertEqual(bpy.ops.kestrelwood.record_start(), {'FINISHED'})
        self.assertEqual(bpy.ops.kestrelwood.simulate(), {'FINISHED'})
        start = distances(agents, target, FIRST)
        means = [sum(distances(agents, target, f)) / len(agents) for f in range(FIRST, LAST + 1, 25)]
        print("mean distance to the target every 25 frames:", " ".join(f"{m:.1f}" for m in means))
        self.assertLess(means[-1], 0.5 * means[0])
        self.assertLess(means[len(means) // 2], means[0])
        for f in range(FIRST, LAST + 1, 5):
            for a, d, d0 in zip(agents, distances(agents, target, f), start):
                self.assertLess(d, 2.0 * d0, f"{a.name} at frame {f}")

        # The keys are the run's positions in scene units over 100.
        path = kwtest.work_path("first-hour", "crowd.kwscene.json")
        rows = kwtest.export_and_run(path)
        self.assertKeysMatchRun(rows, 0, agents, range(FIRST, LAST + 1, 10), units=UNITS)
        self.assertAlmostEqual(rows[(FIRST, 0, 0)]["z"], -1000.0, places=2)
        # The file holds the tag's own defaults, every parameter of the list.
        written = next(o for o in kwtest.load_json(path)["objects"] if o["name"] == "Crowd")["tags"][0]["params"]
        for p in REALS:
            self.assertEqual(written[p.param], p.default, p.param)
        self.assertEqual(written["TERRAIN"], "Ground")
        self.assertEqual(next(c for o in kwtest.load_json(path)["objects"] for c in o.get("children", [])
                              if c["name"] == "Rock 1")["radius"], 100.0)

    def test_a_tag_saved_before_the_factor_keeps_one_scene_unit_per_blender_unit(self):
        kwtest.reset(0, 10)
        flock = kwtest.empty("Flock")
        agent = kwtest.empty("Agent", parent=flock)
        target = kwtest.empty("Target", location=(0, 500, 0))
        old = kwtest.empty("Old")
        # What a file of the earlier add-on holds: the values set, nothing else.
        for key, value in (("enabled", True), ("agents_group", flock), ("target", target), ("speed", 12.0)):
            old.kestrelwood[key] = value
        tag = old.kestrelwood
        self.assertEqual((tag.version, tag.units_per_blender_unit, tag.speed, tag.vision_length),
                         (0, 1.0, 12.0, 1000.0))
        tag.enabled = False
        tag.enabled = True  # ticked off and on: still the old tag's numbers
        self.assertEqual((tag.units_per_blender_unit, tag.vision_length), (1.0, 1000.0))
        kwtest.activate(old)
        self.assertEqual(bpy.ops.kestrelwood.record_start(), {'FINISHED'})
        self.assertEqual(bpy.ops.kestrelwood.simulate(), {'FINISHED'})
        bpy.context.scene.frame_set(10)
        self.assertAlmostEqual(agent.matrix_world.translation.y, 120.0, places=3)

    def test_lengths_and_speed_cannot_go_negative(self):
        crowd, _agents, _target = first_hour()
        for p in LENGTHS:
            setattr(crowd.kestrelwood, p.attr, -1.0)
            self.assertEqual(getattr(crowd.kestrelwood, p.attr), 0.0, p.attr)

    def test_carriers_of_one_scene_have_one_size(self):
        crowd, agents, target = first_hour()
        other = kwtest.empty("Other flock")
        kwtest.empty("Other agent", parent=other)
        kwtest.carrier("Other crowd", other, target, units=1.0)
        kwtest.activate(crowd)
        self.assertEqual(bpy.ops.kestrelwood.record_start(), {'FINISHED'})
        sizes = r"different Scene units per m \(100 on 'Crowd'; 1 on 'Other crowd'\)"
        with self.assertRaisesRegex(RuntimeError, sizes):
            bpy.ops.kestrelwood.simulate()
        self.assertTrue(all(not run_keys(a) for a in agents))


class TuneInMetresTest(kwtest.BlenderTestCase):
    def test_tuned_lengths_come_back_in_blender_units(self):
        crowd, _agents, _target = first_hour()
        self.assertEqual(bpy.ops.kestrelwood.record_start(), {'FINISHED'})
        settings = crowd.kestrelwood_tune
        settings.vary, settings.trials = {"repulsion_radius"}, 4
        self.assertEqual(bpy.ops.kestrelwood.tune(), {'FINISHED'}, operators.last_reports)
        path = kwtest.work_path("tune-metres", "crowd.kwscene.json")
        self.assertEqual(bpy.ops.kestrelwood.export_scene(filepath=path), {'FINISHED'})
        tuned = crowd.kestrelwood.repulsion_radius
        # The program's own tune of the file the add-on wrote before the tune.
        crowd.kestrelwood.repulsion_radius = 2.0
        self.assertEqual(bpy.ops.kestrelwood.export_scene(filepath=path), {'FINISHED'})
        kwtest.run_program("tune", path, "--quiet", "--trials", "4", "--vary", "REPULSION_RADIUS", "--save",
                           path + ".best.json")
        best = next(o for o in kwtest.load_json(path + ".best.json")["objects"] if o["name"] == "Crowd")
        # Written back even when unchanged: 200 scene units read 2 m.
        self.assertAlmostEqual(best["tags"][0]["params"]["REPULSION_RADIUS"], tuned * UNITS, places=2)


class StaleStartTest(kwtest.BlenderTestCase):
    def setUp(self):
        self.crowd, self.agents, self.target = first_hour()
        self.tag = self.crowd.kestrelwood
        self.assertEqual(bpy.ops.kestrelwood.record_start(), {'FINISHED'})

    def test_speed_changed_after_record_start_refuses_until_recorded_again(self):
        self.assertEqual(panel.start_lines(self.tag, self.agents)[0], ("Start: 25 agents", "recorded at frame 1"))
        self.tag.speed = 0.1
        self.assertEqual(panel.start_lines(self.tag, self.agents),
                         (("Start out of date:", "press Record start"), 'ERROR'))
        self.assertEqual(bpy.ops.kestrelwood.simulate(), {'CANCELLED'})
        self.assertEqual(len(operators.last_reports), 1, operators.last_reports)
        self.assertTrue(reported("Speed changed since Record start; press Record start"), operators.last_reports)
        self.assertTrue(all(not run_keys(a) for a in self.agents))

        self.assertEqual(bpy.ops.kestrelwood.record_start(), {'FINISHED'})
        self.assertEqual(bpy.ops.kestrelwood.simulate(), {'FINISHED'})
        self.assertEqual({s.speed for s in self.tag.start_slots[:25]}, {10.0})
        a = self.agents[0]
        bpy.context.scene.frame_set(FIRST)
        p1 = a.matrix_world.translation.copy()
        bpy.context.scene.frame_set(FIRST + 1)
        self.assertAlmostEqual((a.matrix_world.translation - p1).xy.length, 0.1, delta=0.01)

    def test_record_start_over_the_keys_of_a_simulate_is_refused(self):
        self.assertEqual(bpy.ops.kestrelwood.simulate(), {'FINISHED'})
        slots = [tuple(s.matrix) for s in self.tag.start_slots]
        bpy.context.scene.frame_set(125)
        self.assertEqual(bpy.ops.kestrelwood.record_start(), {'CANCELLED'})
        self.assertTrue(reported("press Clear, or go to the start frame (1)"), operators.last_reports)
        self.assertEqual([tuple(s.matrix) for s in self.tag.start_slots], slots)
        self.assertEqual(self.tag.start_frame, FIRST)
        # At the start frame the keys stand where the start was recorded.
        bpy.context.scene.frame_set(FIRST)
        self.assertEqual(bpy.ops.kestrelwood.record_start(), {'FINISHED'})
        for old, new in zip(slots, self.tag.start_slots):
            self.assertLess(max(abs(a - b) for a, b in zip(old, new.matrix)), 1e-3)


class KeysWhereTheyBelongTest(kwtest.BlenderTestCase):
    def setUp(self):
        self.crowd, self.agents, _target = first_hour()
        self.assertEqual(bpy.ops.kestrelwood.record_start(), {'FINISHED'})
        self.assertEqual(bpy.ops.kestrelwood.simulate(), {'FINISHED'})
        self.gone = self.agents[24]
        world = self.gone.matrix_world.copy()
        self.gone.parent = None
        self.gone.matrix_world = world
        sub = kwtest.empty("Sub group", parent=self.agents[0].parent)
        self.moved = self.agents[23]
        kwtest.parent_keep_world(self.moved, sub)

    def test_the_next_simulate_takes_its_keys_off_objects_that_are_no_agents(self):
        self.assertEqual(bpy.ops.kestrelwood.simulate(), {'CANCELLED'})  # the agents changed
        self.assertEqual(bpy.ops.kestrelwood.record_start(), {'FINISHED'})
        self.assertEqual(bpy.ops.kestrelwood.simulate(), {'FINISHED'})
        self.assertEqual(run_keys(self.gone), [])
        self.assertEqual(run_keys(self.moved), [])
        self.assertTrue(reported("took the keys of an earlier Simulate off 2 objects"), operators.last_reports)
        self.assertTrue(run_keys(self.agents[0]))

    def test_clear_takes_them_off_too_and_says_how_many(self):
        self.assertEqual(bpy.ops.kestrelwood.clear(), {'FINISHED'})
        self.assertEqual(run_keys(self.gone), [])
        self.assertEqual(run_keys(self.moved), [])
        self.assertTrue(reported("removed the keys of 23 agents and of 2 objects that are no agent any more",
                                 'INFO'), operators.last_reports)


class WarningsInSightTest(kwtest.BlenderTestCase):
    def test_warnings_are_counted_in_the_status_line_and_listed_in_the_panel(self):
        crowd, agents, _target = first_hour()
        bpy.ops.mesh.primitive_cube_add(size=1.0, location=(0, 3, 0))
        kwtest.parent_keep_world(bpy.context.object, bpy.data.objects["Rocks"])
        rock = bpy.data.objects["Rock 1"]
        rock.scale = (3, 1, 1)
        kwtest.activate(crowd)
        self.assertEqual(bpy.ops.kestrelwood.record_start(), {'FINISHED'})
        # Shift-D on the carrier: a second tag on the same agents, its start too.
        for o in bpy.context.view_layer.objects:
            o.select_set(o == crowd)
        self.assertEqual(bpy.ops.object.duplicate(), {'FINISHED'})
        copy = bpy.context.object
        self.assertNotEqual(copy, crowd)
        self.assertTrue(copy.kestrelwood.enabled and copy.kestrelwood.start_recorded)
        kwtest.activate(crowd)
        self.assertEqual(bpy.ops.kestrelwood.simulate(), {'FINISHED'})

        listed = [w.text for w in crowd.kestrelwood.warnings]
        summary = operators.last_reports[-1]
        self.assertRegex(summary[1], rf"^Kestrelwood: keyed 25 agents on frames 1 to 250 in [\d.]+ s; "
                                     rf"{len(listed)} warnings, see the panel$")
        self.assertEqual(summary[0], 'WARNING')
        print("the panel lists:", *listed, sep="\n  ")
        self.assertTrue(any(f"'{copy.name}' also steers the agents of 'Flock'" in t for t in listed), listed)
        self.assertTrue(any("'Cube' is a mesh object" in t for t in listed), listed)
        self.assertTrue(any("'Rock 1' is scaled unevenly (3 by 1)" in t and "radius 3 m" in t for t in listed),
                        listed)
        # The program's shared records, in the panel's words: its speeds.
        self.assertFalse([t for t in listed if "per-agent records" in t and "recordStart" in t], listed)
        self.assertFalse([t for t in listed if "AGENTS_GROUP" in t or "--record" in t], listed)


class GroundTest(kwtest.BlenderTestCase):
    def test_record_start_warns_of_origins_off_the_ground_and_drop_puts_them_on_it(self):
        _crowd, agents, _target = first_hour(cone_height=0.5)
        self.assertEqual(bpy.ops.kestrelwood.record_start(), {'FINISHED'})
        self.assertTrue(reported("the origins of 13 agents stand off the ground by more than 20 cm"),
                        operators.last_reports)
        self.assertTrue(reported("press Drop agents onto ground"))
        self.assertEqual(bpy.ops.kestrelwood.drop_to_ground(), {'FINISHED'})
        for a in agents:
            p = a.matrix_world.translation
            self.assertAlmostEqual(p.z, bumps(p.x, p.y), delta=0.02, msg=a.name)
        self.assertEqual(bpy.ops.kestrelwood.record_start(), {'FINISHED'})
        self.assertFalse(reported("off the ground"), operators.last_reports)


class OverlaysTest(kwtest.BlenderTestCase):
    def test_the_runs_drawing_at_the_frame_shown_in_blender_units(self):
        crowd, agents, _target = first_hour()
        tag = crowd.kestrelwood
        tag.show_vision = tag.show_repulsion = True
        self.assertEqual(bpy.ops.kestrelwood.record_start(), {'FINISHED'})
        self.assertEqual(overlays.waiting(tag), "press Simulate to draw the ticked overlays")
        self.assertEqual(bpy.ops.kestrelwood.simulate(), {'FINISHED'})
        self.assertEqual(overlays.waiting(tag), "")
        red = 0
        for frame in (FIRST, 60, LAST):
            bpy.context.scene.frame_set(frame)
            positions, colours = overlays.geometry(tag, frame)
            self.assertEqual(len(positions), 25 * 2 * (4 + overlays.CIRCLE_SEGMENTS))
            # Each agent's probe (four lines) first: from its origin along
            # its +Y axis, as long as Vision length; then each agent's
            # repulsion circle round its origin, as wide as the radius.
            probes = positions[:25 * 8].reshape(25, 8, 3)
            circles = positions[25 * 8:].reshape(25, 2 * overlays.CIRCLE_SEGMENTS, 3)
            for a, probe, ring in zip(agents, probes, circles):
                at = f"{a.name} at frame {frame}"
                centre = a.matrix_world.translation
                rear, front = (Vector(probe[0]) + Vector(probe[5])) / 2, (Vector(probe[1]) + Vector(probe[3])) / 2
                self.assertLess((rear - centre).length, 1e-4, at)
                self.assertAlmostEqual((front - rear).length, tag.vision_length, delta=1e-4, msg=at)
                forward = a.matrix_world.to_3x3().col[1].normalized()
                self.assertAlmostEqual((front - rear).normalized().dot(forward), 1.0, delta=1e-6, msg=at)
                radii = [(Vector(p) - centre).length for p in ring]
                self.assertAlmostEqual(min(radii), tag.repulsion_radius, delta=1e-3, msg=at)
                self.assertAlmostEqual(max(radii), tag.repulsion_radius, delta=1e-3, msg=at)
            red += int(sum(1 for c in colours if c[0] == 1.0 and c[1] == 0.0))
        self.assertGreater(red, 0, "no probe saw a rock")
        tag.show_alignment = True
        self.assertEqual(overlays.waiting(tag), "press Simulate to draw the ticked overlays")
        self.assertIsNone(overlays.geometry(tag, FIRST))


class ExportPathTest(kwtest.BlenderTestCase):
    def test_the_scene_files_extension_is_written_once(self):
        for given in ("crowd", "crowd.json", "crowd.kwscene", "crowd.kwscene.json", "crowd.kwscene.kwscene.json",
                      "crowd.KWSCENE.JSON"):
            self.assertEqual(scene_text.scene_path("/tmp/" + given), "/tmp/crowd.kwscene.json", given)
        first_hour()

        class Browser:  # what the file browser holds while the user types
            filepath = "/tmp/untitled.kwscene.json"
        self.assertFalse(operators.KESTRELWOOD_OT_export_scene.check(Browser, bpy.context))
        Browser.filepath = "/tmp/untitled.kwscene.kwscene.json"
        self.assertTrue(operators.KESTRELWOOD_OT_export_scene.check(Browser, bpy.context))
        self.assertEqual(Browser.filepath, "/tmp/untitled.kwscene.json")
        path = kwtest.work_path("export", "crowd.kwscene")
        self.assertEqual(bpy.ops.kestrelwood.export_scene(filepath=path), {'FINISHED'})
        self.assertTrue(reported(f"wrote {path}.json", 'INFO'), operators.last_reports)
        self.assertTrue(re.search(r"\.kwscene\.json \(1 tag", operators.last_reports[-1][1]))


class ProgramOutputTest(kwtest.BlenderTestCase):
    def test_the_csv_is_read_by_its_columns_names(self):
        from kestrelwood import keys
        path = kwtest.work_path("csv", "agents.csv")
        names = list(keys.COLUMNS + keys.MATRIX_COLUMNS)
        with open(path, "w") as f:
            # Columns in another order, one added at the end.
            header = names[::-1] + ["speed"]
            f.write(",".join(header) + "\n")
            for frame in (0, 1):
                row = {"frame": frame, "tag": 0, "index": 0, "name": "A, quoted", "speed": 9}
                row.update({c: k + frame for k, c in enumerate(keys.MATRIX_COLUMNS)})
                f.write(",".join(f'"{row[c]}"' if c == "name" else str(row[c]) for c in header) + "\n")
        track = keys.read_csv(path, 0)[0]
        self.assertEqual((track.name, list(track.frames)), ("A, quoted", [0, 1]))
        self.assertEqual(list(track.matrices[1]), [float(k + 1) for k in range(12)])
        with open(path, "w") as f:
            f.write("frame,tag,index,name,x,y,z\n0,0,0,A,1,2,3\n")
        with self.assertRaisesRegex(ValueError, "not a kestrelwood CSV .*has no v1x, v1y"):
            keys.read_csv(path, 0)

    def test_the_programs_warnings_are_read_by_key_in_the_panels_words(self):
        from kestrelwood import program, run_warnings, scene_build
        kwtest.reset(0, 5)
        flock = kwtest.empty("Flock")
        kwtest.empty("A", parent=flock)
        crowd = kwtest.carrier("Crowd", flock, kwtest.empty("Target", location=(0, 100, 0)))
        idle = kwtest.carrier("Idle", None, None)
        export = scene_build.build(bpy.context)
        err = ("warning: [no-start] s.kwscene.json: tag 1 on \"Idle\": no start state is recorded; pass --record\n"
               "warning: [no-target] s.kwscene.json: tag 1 on \"Idle\": TARGET is not set\n"
               "warning: [no-agents] s.kwscene.json: tag 1 on \"Idle\": AGENTS_GROUP is not set\n"
               "warning: [a-new-key] s.kwscene.json: what a newer program says\n"
               "warning: an older line without a key\n"
               "report: not a warning\n")
        pairs = program.warnings_of(err)
        self.assertEqual([k for k, _s in pairs], ["no-start", "no-target", "no-agents", "a-new-key", ""])
        notes = run_warnings.program_notes(pairs, bpy.context.scene, export, crowd, "s.kwscene.json")
        by_key = {n.key: n for n in notes}
        self.assertEqual(by_key["no-start"], ("Idle", "no-start", "no start is recorded, so its agents stand still: "
                                              "select it and press Record start"))
        self.assertEqual(by_key["no-target"].text, "no Target is linked, so its agents stand still: link one")
        self.assertIn("Agents group is not set", by_key["no-agents"].text)
        self.assertEqual(by_key["a-new-key"].text, "what a newer program says")
        self.assertEqual(by_key[""].text, "an older line without a key")
        self.assertEqual(run_warnings.panel_text(by_key["no-start"], "Crowd")[:8], "'Idle': ")
        del idle
