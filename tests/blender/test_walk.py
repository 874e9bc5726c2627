"""Walk cycles: each armature an agent carries plays the tag's walk action
by the distance the agent walked, at every frame, for agents of different
speeds, one that stands and walks on, and one on a slope; Blender plays the
frames the strip time names (the action starts at frame 1, not 0); only the
add-on's own tracks come and go through Clear, Simulate, save and reopen;
bad walk settings are refused before anything changes."""

import math
import os
import sys

import bpy
import numpy as np

import kestrelwood.operators as ops
import kwtest

sys.path.insert(0, os.path.join(kwtest.REPO, "blender", "tools"))
import walker  # noqa: E402

TRACK = "Kestrelwood walk"
STRIDE = 100.0
FRAMES = 40


def strip_of(arm):
    tracks = [t for t in arm.animation_data.nla_tracks if t.name == TRACK]
    assert len(tracks) == 1, [t.name for t in arm.animation_data.nla_tracks]
    return tracks[0].strips[0]


def strip_keys(arm):
    return [tuple(k.co) for k in strip_of(arm).fcurves.find("strip_time").keyframe_points]


def track_names(obj):
    ad = obj.animation_data
    return [t.name for t in ad.nla_tracks] if ad is not None else []


def on_cycle(a, b, length):
    """The difference of two action frames on a cycle of the given length."""
    return abs((a - b + length / 2) % length - length / 2)


def sway(name, angle):
    """An action of the user's own: the hips turning by angle over 20 frames."""
    action = bpy.data.actions.new(name)
    fc = action.fcurves.new('pose.bones["Hips"].rotation_euler', index=1)
    fc.keyframe_points.insert(0.0, 0.0)
    fc.keyframe_points.insert(20.0, angle)
    return action


def field():
    """Walkers at three speeds on flat ground, one blocked by an agent
    standing at the point it looks ahead to (the target between them), one
    coming up behind it, and one climbing a slope; the walk on the tag."""
    kwtest.reset(0, FRAMES)
    ground = kwtest.grid_mesh("Ground", 1200.0, 24, lambda x, y: 0.0 if x < 400 else 0.25 * (y + 1200))
    flock = kwtest.empty("Flock")
    kind = walker.Walker(STRIDE)
    radius, target_y = 60.0, 1000.0
    for i, x in enumerate((-900, -700, -500), 1):
        kind.make(f"Walker {i}", flock, (x, target_y - 600, 0))
    kind.make("Walker 4", flock, (0, target_y - radius / 2, 0))
    kwtest.empty("Walker 5 blocks 4", location=(0, target_y + radius / 2, 0), rotation=(0, 0, math.pi),
                 parent=flock)
    kind.make("Walker 6", flock, (0, target_y - radius / 2 - 150, 0))
    kind.make("Walker 7", flock, (800, target_y - 600, 0.25 * (target_y - 600 + 1200)))
    target = kwtest.empty("Target", location=(0, target_y, 0))
    crowd = kwtest.carrier("Crowd", flock, target, terrain=ground, speed=10.0, speed_variation=0.8,
                           repulsion_radius=radius, alignment_weight=0.0, walk_action=kind.action,
                           walk_stride=STRIDE)
    bpy.context.view_layer.update()
    return crowd, kind


class WalkTest(kwtest.BlenderTestCase):
    def simulate(self):
        self.assertEqual(bpy.ops.kestrelwood.simulate(), {'FINISHED'})

    def test_strip_time_follows_the_distance_walked_at_every_frame(self):
        crowd, kind = field()
        self.assertEqual(bpy.ops.kestrelwood.record_start(), {'FINISHED'})
        self.simulate()
        a0, a1 = kind.action.frame_range
        self.assertEqual((a0, a1), (1.0, 25.0))
        length = a1 - a0
        walkers = [o for o in bpy.data.objects["Flock"].children if o.type == 'ARMATURE']
        scene = bpy.context.scene
        foot = kind.action.fcurves.find('pose.bones["Foot.L"].location', index=1)

        walked, starts, steps = {}, {}, {}
        for arm in walkers:
            curve = strip_of(arm).fcurves.find("strip_time")
            previous, d, phase = None, 0.0, None
            steps[arm.name] = []
            for f in range(0, FRAMES + 1):
                scene.frame_set(f)
                here = arm.matrix_world.translation.copy()
                if previous is not None:
                    steps[arm.name].append((here - previous).length)
                    d += steps[arm.name][-1]
                previous = here
                t = curve.evaluate(f)
                if phase is None:
                    phase = (t - a0) / length
                    starts[arm.name] = phase
                expected = a0 + ((phase + d / STRIDE) % 1.0) * length
                self.assertLess(on_cycle(t, expected, length), 1e-3, f"{arm.name} at frame {f}")
                # Blender plays that frame of the action.
                self.assertAlmostEqual(arm.pose.bones["Foot.L"].location.y, foot.evaluate(t), delta=1e-3 * STRIDE,
                                       msg=f"{arm.name} at frame {f}: strip time {t}")
            walked[arm.name] = d

        # Different speeds, different distances; different phases.
        self.assertGreater(max(walked[f"Walker {i}"] for i in (1, 2, 3)) -
                           min(walked[f"Walker {i}"] for i in (1, 2, 3)), 40.0)
        self.assertEqual(len({round(p, 6) for p in starts.values()}), len(starts))
        # Walker 4 stands while it is blocked, and its cycle holds.
        standing = [k for k, s in enumerate(steps["Walker 4"]) if s < 1e-6]
        self.assertGreater(len(standing), 5)
        curve = strip_of(bpy.data.objects["Walker 4"]).fcurves.find("strip_time")
        for k in standing:
            self.assertAlmostEqual(curve.evaluate(k + 1), curve.evaluate(k), places=4)
        self.assertGreater(walked["Walker 4"], STRIDE / 2, "Walker 4 never walked on")
        # On the slope the steps climb, and the climb counts.
        scene.frame_set(0)
        start = bpy.data.objects["Walker 7"].matrix_world.translation.copy()
        scene.frame_set(FRAMES)
        end = bpy.data.objects["Walker 7"].matrix_world.translation
        self.assertGreater(end.z - start.z, 20.0)
        self.assertGreater(walked["Walker 7"], (end - start).xy.length * 1.02)

        # Between two frames the cycle plays on too (motion blur): where it
        # wraps, it runs to the end of the range and starts again.
        arm = bpy.data.objects["Walker 1"]
        curve = strip_of(arm).fcurves.find("strip_time")
        sub = np.arange(0.0, FRAMES, 0.05)
        times = np.array([curve.evaluate(x) for x in sub])
        self.assertTrue(((times >= a0 - 1e-4) & (times <= a1 + 1e-4)).all())
        forward = (np.diff(times) + length / 2) % length - length / 2
        self.assertTrue((forward >= -1e-4).all(), "the cycle ran backwards between two frames")

        # A rerun gives the same keys; without random phases every agent
        # starts at the cycle's first frame.
        before = {a.name: strip_keys(a) for a in walkers}
        scene.frame_set(0)
        self.simulate()
        self.assertEqual({a.name: strip_keys(a) for a in walkers}, before)
        crowd.kestrelwood.walk_phase_random = False
        self.simulate()
        for arm in walkers:
            self.assertEqual(strip_of(arm).fcurves.find("strip_time").evaluate(0), a0, arm.name)

    def test_refused_before_anything_changes(self):
        crowd, kind = field()
        tag = crowd.kestrelwood
        self.assertEqual(bpy.ops.kestrelwood.record_start(), {'FINISHED'})
        empty = bpy.data.actions.new("Empty")
        one_frame = bpy.data.actions.new("Pose")
        fc = one_frame.fcurves.new('pose.bones["Foot.L"].location', index=1)
        fc.keyframe_points.insert(5.0, 1.0)
        fc.keyframe_points.insert(5.5, 2.0)
        cases = (("no keys", dict(walk_action=empty), "'Empty' has no keys"),
                 ("half a frame", dict(walk_action=one_frame), "spans 0.5 frames"),
                 ("stride 0", dict(walk_action=kind.action, walk_stride=0.0), "walk stride is 0"))
        for name, settings, message in cases:
            with self.subTest(name):
                for k, v in settings.items():
                    setattr(tag, k, v)
                self.assertEqual(bpy.ops.kestrelwood.simulate(), {'CANCELLED'})
                self.assertEqual(len(ops.last_reports), 1, ops.last_reports)
                self.assertIn(message, ops.last_reports[0][1])
                self.assertUnchanged()
        with self.subTest("stride under a step"):
            # Known only once the crowd has run; still before any key.
            tag.walk_stride = 5.0
            with self.assertRaisesRegex(RuntimeError, "walks 1[0-9.]+ in one frame, more than the walk stride 5"):
                bpy.ops.kestrelwood.simulate()
            self.assertUnchanged()

    def assertUnchanged(self):
        for agent in bpy.data.objects["Flock"].children:
            self.assertIsNone(agent.animation_data, agent.name)

    def test_only_the_add_ons_tracks_come_and_go(self):
        crowd, kind = field()
        # An agent carrying an armature with an action of its own (its hips
        # swaying) and a track of its own.
        carrier = kwtest.empty("Walker 0", location=(-1100, 400, 0), parent=bpy.data.objects["Flock"])
        arm = kind.make("Rig", carrier, (-1100, 400, 0))
        ad = arm.animation_data_create()
        ad.action = sway("Sway", 0.2)
        mine = ad.nla_tracks.new()
        mine.name = "Mine"
        mine.strips.new("Lean", 10, sway("Lean", -0.1))
        own_keys = [tuple(k.co) for k in ad.action.fcurves[0].keyframe_points]
        self.assertEqual(bpy.ops.kestrelwood.record_start(), {'FINISHED'})

        self.simulate()
        self.assertEqual(track_names(arm), ["Mine", TRACK])
        first = strip_keys(arm)
        self.assertEqual(bpy.ops.kestrelwood.clear(), {'FINISHED'})
        self.assertEqual(track_names(arm), ["Mine"])
        self.assertEqual(track_names(bpy.data.objects["Walker 2"]), [])
        self.assertEqual(track_names(carrier), [])
        self.simulate()
        self.simulate()
        self.assertEqual(track_names(arm), ["Mine", TRACK])
        self.assertEqual(strip_keys(arm), first)

        path = kwtest.work_path("walk", "walk.blend")
        bpy.ops.wm.save_as_mainfile(filepath=path)
        bpy.ops.wm.open_mainfile(filepath=path)
        arm = bpy.data.objects["Rig"]
        self.assertEqual(track_names(arm), ["Mine", TRACK])
        self.assertEqual(strip_keys(arm), first)
        self.assertEqual(arm.animation_data.action.name, "Sway")
        self.assertEqual([tuple(k.co) for k in arm.animation_data.action.fcurves[0].keyframe_points], own_keys)
        crowd = bpy.data.objects["Crowd"]
        self.assertEqual(crowd.kestrelwood.walk_action.name, "Walk")
        kwtest.activate(crowd)
        self.assertEqual(bpy.ops.kestrelwood.clear(), {'FINISHED'})
        self.assertEqual(track_names(arm), ["Mine"])
        self.assertEqual([(s.name, s.action.name) for s in arm.animation_data.nla_tracks["Mine"].strips],
                         [("Lean", "Lean")])
        self.assertEqual(arm.animation_data.action.name, "Sway")

        # Without a walk action a new Simulate removes the tracks of the last.
        self.simulate()
        crowd.kestrelwood.walk_action = None
        self.simulate()
        self.assertEqual(track_names(arm), ["Mine"])

    def test_the_armatures_an_agent_carries(self):
        kwtest.reset(0, 10)
        flock = kwtest.empty("Flock")
        kind = walker.Walker(STRIDE)
        pair = kwtest.empty("A pair", location=(0, 0, 0), parent=flock)
        left, right = kind.make("Left", pair, (-30, 0, 0)), kind.make("Right", pair, (30, 0, 0))
        grandchild = kind.make("Grandchild", left, (0, -40, 0))
        rig = kind.make("B rig", flock, (300, 0, 0))
        bpy.ops.mesh.primitive_cube_add(size=20.0, location=(600, 0, 0))
        cube = bpy.context.object
        cube.name = "C cube"
        kwtest.parent_keep_world(cube, flock)
        crowd = kwtest.carrier("Crowd", flock, kwtest.empty("Target", location=(0, 2000, 0)), speed=8.0,
                               walk_action=kind.action, walk_stride=STRIDE)
        self.assertEqual(bpy.ops.kestrelwood.record_start(), {'FINISHED'})
        self.simulate()
        self.assertReported('INFO', "the walk cycle on 3 armatures")
        self.assertEqual(track_names(left), [TRACK])
        self.assertEqual(strip_keys(left), strip_keys(right))
        self.assertNotEqual(strip_keys(left), strip_keys(rig))
        self.assertEqual(track_names(grandchild), [])
        self.assertEqual(track_names(rig), [TRACK])
        self.assertEqual([t.name for t in cube.animation_data.nla_tracks], [])
        # The agent's own keys and its walk on one armature: both play.
        bpy.context.scene.frame_set(10)
        self.assertGreater(rig.matrix_world.translation.y, 50.0)
        self.assertEqual(rig.animation_data.action.name, "B rig Kestrelwood")

        # An armature that plays the walk action itself hides the track.
        rig.animation_data.action = None
        rig.animation_data.action = kind.action
        self.simulate()
        self.assertReported('WARNING', "'B rig' key channels of 'Walk'")
        rig.animation_data.action = None

        # No armature at all: said, not silently nothing.
        for o in (left, right, grandchild, rig):
            bpy.data.objects.remove(o)
        self.assertEqual(bpy.ops.kestrelwood.simulate(), {'CANCELLED'})
        self.assertReported('WARNING', "the start is out of date: 2 agent(s) are not where Record start found "
                                       "them ('C cube', 'B rig')")
        bpy.context.scene.frame_set(bpy.context.scene.frame_start)
        self.assertEqual(bpy.ops.kestrelwood.record_start(), {'FINISHED'})
        self.simulate()
        self.assertReported('WARNING', "no agent carries an armature")
