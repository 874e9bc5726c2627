"""The start state is the carrier's: recorded, saved with the .blend file
and reopened, it gives the same keys, whatever became of the agents since."""

import bpy

import kwtest


def keys_of(agents):
    out = {}
    for a in agents:
        for fc in a.animation_data.action.fcurves:
            out[(a.name, fc.data_path, fc.array_index)] = [tuple(k.co) for k in fc.keyframe_points]
    return out


class PersistenceTest(kwtest.BlenderTestCase):
    def test_record_save_reopen_simulate_gives_the_same_keys(self):
        kwtest.reset(0, 25)
        flock = kwtest.empty("Flock", location=(20, 30, 5), rotation=(0, 0, 0.5))
        agents = [kwtest.empty(f"Agent {i}", location=(i * 50.0, 0, 0), rotation=(0.1, 0, i * 0.4), parent=flock)
                  for i in range(5)]
        kwtest.parent_keep_world(agents[2], flock)
        target = kwtest.empty("Target", location=(0, 1500, 0))
        crowd = kwtest.carrier("Crowd", flock, target, speed=12.0, speed_variation=0.5)
        bpy.context.view_layer.update()
        self.assertEqual(bpy.ops.kestrelwood.record_start(), {'FINISHED'})
        recorded = [tuple(s.matrix) for s in crowd.kestrelwood.start_slots]
        speeds = [s.speed for s in crowd.kestrelwood.start_slots]

        # Moved after the record: the start is still where it was recorded.
        for a in agents:
            a.location.x += 300.0
        path = kwtest.work_path("saved", "crowd.blend")
        bpy.ops.wm.save_as_mainfile(filepath=path)
        self.assertEqual(bpy.ops.kestrelwood.simulate(), {'FINISHED'})
        before = keys_of(agents)
        bpy.context.scene.frame_set(0)
        for a, slot in zip(agents, recorded):
            position = kwtest.host_of(a.matrix_world)[0]
            self.assertLess(max(abs(p - q) for p, q in zip(position, slot[0:3])), kwtest.POSITION_TOLERANCE)

        bpy.ops.wm.open_mainfile(filepath=path)
        crowd = bpy.data.objects["Crowd"]
        tag = crowd.kestrelwood
        self.assertTrue(tag.start_recorded)
        self.assertEqual([tuple(s.matrix) for s in tag.start_slots], recorded)
        self.assertEqual([s.speed for s in tag.start_slots], speeds)
        self.assertEqual(tag.start_count, 5)
        kwtest.activate(crowd)
        self.assertEqual(bpy.ops.kestrelwood.simulate(), {'FINISHED'})
        after = keys_of([bpy.data.objects[f"Agent {i}"] for i in range(5)])
        self.assertEqual(after, before)
