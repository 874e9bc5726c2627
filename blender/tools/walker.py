"""A procedural walker, for the demo crowd, the walk-cycle benchmark and the
tests: a low-poly figure on two legs, rigged, with an in-place walk cycle
whose stride it knows. Run inside Blender.

Sizes follow the stride (in Blender units): legs 0.65 of it, the hips 0.59
of it above the ground. The figure faces its local +Y, as an agent walks,
and stands on its origin.

The cycle, "Walk" (frames 1 to 25: 24 frames, the last pose the first; an
artist's cycle rarely starts at frame 0), moves each foot back under the hips
at one pace for its stance, STANCE of the cycle, and lifts it forward over
the rest; the right foot half a cycle after the left. A planted foot moves
back by STANCE * stride over its stance: by the stride in one cycle's time.
Played one cycle per stride walked, it stays where it was put down. Its
bones: "Hips" (the body), "Thigh" and "Shin" (two-bone IK to the foot) and
"Foot" (keyed, the ankle at its head), each leg's with ".L" or ".R".
"""

import math

import bpy

from kestrelwood import action_keys

STANCE = 14 / 24     # share of the cycle a foot is on the ground
CYCLE = 24           # frames
FIRST_FRAME = 1
LIFT = 0.08          # a swinging foot's highest point, in strides
BOB = 0.015          # the hips' rise and fall, in strides
LEG = 0.65           # thigh and shin, in strides
ANKLE = 0.03         # the ankle's height over the sole, in strides
HIP_HEIGHT = ANKLE + 0.56  # in strides: the leg reaches a foot at either end of its stance
FOOT_SPREAD = 0.09   # each foot's distance from the middle, in strides
SIDES = (("L", FOOT_SPREAD, 0.0), ("R", -FOOT_SPREAD, 0.5))  # name, x, phase offset


def foot_place(phase, stride):
    """(forward, up) of a foot's ankle over the ground, relative to the
    hips, at a phase of its own cycle (0: just put down)."""
    if phase < STANCE:
        return stride * STANCE * (0.5 - phase / STANCE), ANKLE * stride
    s = (phase - STANCE) / (1.0 - STANCE)
    ease = (1.0 - math.cos(math.pi * s)) / 2.0
    return stride * STANCE * (ease - 0.5), (ANKLE + LIFT * math.sin(math.pi * s)) * stride


def walk_action(stride, name="Walk"):
    """The in-place cycle, keyed on every one of its frames (linear)."""
    action = bpy.data.actions.new(name)
    action.use_fake_user = True

    def curve(path, index, group, values):
        fc = action_keys.new_curve(action, path, index, group)
        fc.keyframe_points.add(len(values))
        for k, v in zip(fc.keyframe_points, values):
            k.co = v
            k.interpolation = 'LINEAR'
        fc.update()

    frames = [FIRST_FRAME + k for k in range(CYCLE + 1)]
    for side, _x, offset in SIDES:
        places = [foot_place((k / CYCLE + offset) % 1.0, stride) for k in range(CYCLE + 1)]
        bone = f'pose.bones["Foot.{side}"]'
        # A foot bone lies along +Y: its own axes are the armature's.
        curve(f"{bone}.location", 1, f"Foot.{side}", [(f, p[0]) for f, p in zip(frames, places)])
        curve(f"{bone}.location", 2, f"Foot.{side}", [(f, p[1] - ANKLE * stride) for f, p in zip(frames, places)])
    # The hips' bone stands up: its own Y is the armature's Z. Lowest when a
    # foot is put down.
    curve('pose.bones["Hips"].location', 1, "Hips",
          [(f, -BOB * stride * math.cos(4.0 * math.pi * k / CYCLE)) for k, f in enumerate(frames)])
    return action


def rig(stride, name="Walker"):
    """The armature data (shared by every walker of one stride)."""
    arm = bpy.data.armatures.new(name)
    holder = bpy.data.objects.new(name + " (rig)", arm)
    bpy.context.scene.collection.objects.link(holder)
    previous = bpy.context.view_layer.objects.active
    bpy.context.view_layer.objects.active = holder
    bpy.ops.object.mode_set(mode='EDIT')
    hip = HIP_HEIGHT * stride
    hips = arm.edit_bones.new("Hips")
    hips.head, hips.tail = (0, 0, hip), (0, 0, hip + 0.3 * stride)
    for side, x, _offset in SIDES:
        x *= stride
        ankle = ANKLE * stride
        thigh = arm.edit_bones.new(f"Thigh.{side}")
        thigh.head, thigh.tail = (x, 0, hip), knee(x, stride)
        thigh.parent = hips
        shin = arm.edit_bones.new(f"Shin.{side}")
        shin.head, shin.tail = knee(x, stride), (x, 0, ankle)
        shin.parent, shin.use_connect = thigh, True
        foot = arm.edit_bones.new(f"Foot.{side}")
        foot.head, foot.tail = (x, 0, ankle), (x, 0.12 * stride, ankle)
    bpy.ops.object.mode_set(mode='OBJECT')
    bpy.context.view_layer.objects.active = previous
    bpy.data.objects.remove(holder)
    return arm


def knee(x, stride):
    """The knee at rest: half way down, bent forward so that the IK bends
    it forward."""
    drop = (HIP_HEIGHT - ANKLE) / 2
    return (x, math.sqrt((LEG / 2) ** 2 - drop ** 2) * stride, (ANKLE + drop) * stride)


def _box(verts, faces, a, b, half):
    """A box round the segment a-b, `half` to each side."""
    ax = [b[i] - a[i] for i in range(3)]
    n = math.sqrt(sum(c * c for c in ax)) or 1.0
    ax = [c / n for c in ax]
    ref = (0.0, 0.0, 1.0) if abs(ax[2]) < 0.9 else (1.0, 0.0, 0.0)
    u = [ax[1] * ref[2] - ax[2] * ref[1], ax[2] * ref[0] - ax[0] * ref[2], ax[0] * ref[1] - ax[1] * ref[0]]
    un = math.sqrt(sum(c * c for c in u))
    u = [c / un for c in u]
    v = [ax[1] * u[2] - ax[2] * u[1], ax[2] * u[0] - ax[0] * u[2], ax[0] * u[1] - ax[1] * u[0]]
    first = len(verts)
    for end in (a, b):
        for su, sv in ((-1, -1), (1, -1), (1, 1), (-1, 1)):
            verts.append(tuple(end[i] + half[0] * su * u[i] + half[1] * sv * v[i] for i in range(3)))
    q = [first + k for k in range(8)]
    faces += [(q[0], q[3], q[2], q[1]), (q[4], q[5], q[6], q[7]), (q[0], q[1], q[5], q[4]),
              (q[1], q[2], q[6], q[5]), (q[2], q[3], q[7], q[6]), (q[3], q[0], q[4], q[7])]
    return range(first, first + 8)


def body(stride, name="Walker"):
    """The figure's mesh in the rest pose, each part weighted to its bone."""
    s = stride
    verts, faces, parts = [], [], []
    hip = HIP_HEIGHT * s
    parts.append(("Hips", _box(verts, faces, (0, 0, hip - 0.04 * s), (0, 0, hip + 0.3 * s), (0.12 * s, 0.07 * s))))
    parts.append(("Hips", _box(verts, faces, (0, 0, hip + 0.32 * s), (0, 0, hip + 0.44 * s),
                               (0.055 * s, 0.06 * s))))
    for side, x, _offset in SIDES:
        x *= s
        bend = knee(x, s)
        parts.append((f"Thigh.{side}", _box(verts, faces, (x, 0, hip), bend, (0.045 * s, 0.045 * s))))
        parts.append((f"Shin.{side}", _box(verts, faces, bend, (x, 0, ANKLE * s), (0.035 * s, 0.035 * s))))
        parts.append((f"Foot.{side}", _box(verts, faces, (x, -0.04 * s, ANKLE * s / 2), (x, 0.13 * s, ANKLE * s / 2),
                                           (0.04 * s, ANKLE * s / 2))))
    mesh = bpy.data.meshes.new(name)
    mesh.from_pydata(verts, [], faces)
    return mesh, parts


class Walker:
    """What every walker of one stride shares: rig, mesh and cycle."""

    def __init__(self, stride, material=None):
        self.stride = stride
        self.armature = rig(stride)
        self.mesh, self.parts = body(stride)
        if material is not None:
            self.mesh.materials.append(material)
        self.action = walk_action(stride)

    def make(self, name, parent=None, location=(0, 0, 0)):
        """A walker: an armature object named `name` with its figure as a
        child, linked to the scene."""
        scene = bpy.context.scene
        rig_obj = bpy.data.objects.new(name, self.armature)
        scene.collection.objects.link(rig_obj)
        rig_obj.location = location
        rig_obj.parent = parent
        figure = bpy.data.objects.new(name + " figure", self.mesh)
        scene.collection.objects.link(figure)
        figure.parent = rig_obj
        for bone, indices in self.parts:
            # Vertex groups belong to the shared mesh: made with the first.
            if figure.vertex_groups.get(bone) is None:
                figure.vertex_groups.new(name=bone)
            figure.vertex_groups[bone].add(list(indices), 1.0, 'REPLACE')
        figure.modifiers.new("Armature", 'ARMATURE').object = rig_obj
        bpy.context.view_layer.update()
        for side, _x, _offset in SIDES:
            ik = rig_obj.pose.bones[f"Shin.{side}"].constraints.new('IK')
            ik.target, ik.subtarget, ik.chain_count = rig_obj, f"Foot.{side}", 2
        return rig_obj
