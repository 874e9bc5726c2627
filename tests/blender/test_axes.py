"""Blender's axes against the host's, both ways, on rotated, scaled and
parented objects: what the program loads from an exported scene is where
the objects stand in Blender, and the keys put the agents where the program
moved them."""

import math

import bpy
import numpy as np
from mathutils import Matrix, Vector

import kwtest
from kestrelwood import host_axes


def crooked_flock():
    """A flock under a turned, unevenly scaled rig, its agents turned on all
    three axes and scaled, one of them parented with a parent inverse."""
    kwtest.reset(0, 30)
    rig = kwtest.empty("Rig", location=(300, -200, 40), rotation=(0.2, -0.1, 0.7), scale=(1.5, 0.8, 1.2))
    flock = kwtest.empty("Flock", location=(50, 20, -10), rotation=(0.0, 0.0, -0.4), scale=(2.0, 2.0, 2.0))
    kwtest.parent_keep_world(flock, rig)
    flock.location = (10, 5, 0)  # now relative to the rig, through the parent inverse
    agents = []
    for i in range(6):
        a = kwtest.empty(f"Agent {i + 1}", location=(i * 40.0, (i % 3) * 30.0, 2.0 * i),
                         rotation=(0.1 * i, -0.05 * i, 0.3 * i), scale=(1.0, 1.0 + 0.1 * i, 1.0))
        a.parent = flock
        agents.append(a)
    kwtest.parent_keep_world(agents[3], flock)  # this one through a parent inverse
    target = kwtest.empty("Target", location=(-500, 4000, 0))
    kwtest.carrier("Crowd", flock, target, speed=15.0)
    bpy.context.view_layer.update()
    return agents


class ConversionTest(kwtest.BlenderTestCase):
    def test_host_matrices_round_trip(self):
        rng = np.random.default_rng(7)
        cases = [((0.0, math.pi / 2, 0.3), (1, 1, 1)), ((1.0, -math.pi / 2, 0.0), (2, 3, 4)),
                 ((3.0, 0.2, -2.5), (-1.5, 0.5, 2.0))]
        cases += [(tuple(rng.uniform(-3, 3, 3)), tuple(rng.uniform(0.2, 3, 3))) for _ in range(50)]
        for hpb, scale in cases:
            h12 = host_axes.host_matrix_from_psr([1.0, -2.0, 3.0], hpb, scale)
            d = host_axes.decompose_host(h12)
            again = host_axes.host_matrix_from_psr(d.position, d.rotation, d.scale)
            np.testing.assert_allclose(again, h12, atol=1e-12, err_msg=f"{hpb} {scale}")
            self.assertLess(d.shear, 1e-12)
            m = host_axes.blender_from_host(h12)
            np.testing.assert_allclose(host_axes.host_from_blender(m), h12, atol=1e-15)

    def test_blender_axes_are_the_hosts_x_z_y(self):
        # An agent whose local +Y points forward in Blender walks forward.
        m = Matrix.Translation((1, 2, 3)) @ Matrix.Rotation(0.5, 4, 'Z') @ Matrix.Rotation(0.2, 4, 'X')
        h = host_axes.host_from_blender(host_axes.to_numpy(m))
        pos, v1, v2, v3 = kwtest.host_of(m)
        np.testing.assert_allclose(h, list(pos) + list(v1) + list(v2) + list(v3), atol=1e-7)
        forward = m.to_3x3() @ Vector((0, 1, 0))
        np.testing.assert_allclose(v3, (forward.x, forward.z, forward.y), atol=1e-7)


class ThroughTheProgramTest(kwtest.BlenderTestCase):
    def test_exported_objects_stand_where_they_stand_in_blender(self):
        agents = crooked_flock()
        self.assertEqual(bpy.ops.kestrelwood.record_start(), {'FINISHED'})
        rows = kwtest.export_and_run(kwtest.work_path("crooked", "scene.kwscene.json"), "--frames", "0")
        for i, agent in enumerate(agents):
            dp, da = kwtest.matrix_difference(agent.matrix_world, rows[(0, 0, i)])
            self.assertLess(dp, kwtest.POSITION_TOLERANCE, agent.name)
            self.assertLess(da, kwtest.AXIS_TOLERANCE, agent.name)

    def test_keys_put_parented_agents_where_the_program_moved_them(self):
        agents = crooked_flock()
        self.assertEqual(bpy.ops.kestrelwood.record_start(), {'FINISHED'})
        self.assertEqual(bpy.ops.kestrelwood.simulate(), {'FINISHED'})
        rows = kwtest.export_and_run(kwtest.work_path("crooked-keys", "scene.kwscene.json"))
        self.assertKeysMatchRun(rows, 0, agents, range(0, 31))
        # They did move.
        self.assertGreater(abs(rows[(30, 0, 0)]["z"] - rows[(0, 0, 0)]["z"]), 100.0)

    def test_an_agent_facing_its_target_walks_along_its_y_axis(self):
        kwtest.reset(0, 1)
        flock = kwtest.empty("Flock")
        direction = Vector((3.0, -4.0, 0.0)).normalized()
        agent = kwtest.empty("Walker", location=(10, 20, 0), parent=flock)
        agent.rotation_euler = (0.0, 0.0, math.atan2(-direction.x, direction.y))  # local +Y along direction
        target = kwtest.empty("Target", location=Vector((10, 20, 0)) + 5000.0 * direction)
        kwtest.carrier("Crowd", flock, target, speed=7.0)
        bpy.context.view_layer.update()
        self.assertEqual(bpy.ops.kestrelwood.record_start(), {'FINISHED'})
        self.assertEqual(bpy.ops.kestrelwood.simulate(), {'FINISHED'})
        bpy.context.scene.frame_set(1)
        moved = agent.matrix_world.translation - Vector((10, 20, 0))
        self.assertLess((moved - 7.0 * direction).length, 1e-3, moved)
        self.assertLess((agent.matrix_world.to_3x3() @ Vector((0, 0, 1)) - Vector((0, 0, 1))).length, 1e-5)
