"""What the Blender tests share: building scenes, running the program, and
reading its CSV. The conversion to the host's axes is written out here on its
own, not taken from the add-on, so that the tests check the add-on's."""

import csv
import json
import math
import os
import subprocess
import unittest

import bpy

WORK = os.environ.get("KW_TEST_WORK") or os.path.join(os.getcwd(), "kw-blender-test")
PROGRAM = os.environ.get("KESTRELWOOD", "")
REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

POSITION_TOLERANCE = 1e-3
AXIS_TOLERANCE = 1e-5


def work_path(*parts):
    path = os.path.join(WORK, *parts)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    return path


def reset(frame_start=0, frame_end=40):
    """An empty scene with the given frames. The preferences stay as they
    are (reading factory settings would disable an installed add-on)."""
    for collection in (bpy.data.objects, bpy.data.meshes, bpy.data.curves, bpy.data.actions,
                       bpy.data.materials, bpy.data.cameras, bpy.data.lights, bpy.data.armatures):
        for item in list(collection):
            collection.remove(item)
    scene = bpy.context.scene
    scene.frame_start, scene.frame_end = frame_start, frame_end
    scene.render.fps = 30
    scene.frame_set(frame_start)
    return scene


def empty(name, location=(0, 0, 0), rotation=(0, 0, 0), scale=(1, 1, 1), parent=None, display='PLAIN_AXES',
          size=1.0):
    obj = bpy.data.objects.new(name, None)
    bpy.context.scene.collection.objects.link(obj)
    obj.empty_display_type = display
    obj.empty_display_size = size
    obj.location, obj.rotation_euler, obj.scale = location, rotation, scale
    if parent is not None:
        parent_keep_world(obj, parent)
    return obj


def parent_keep_world(obj, parent):
    """Parents obj as Ctrl+P does: its world matrix stays, through the
    parent inverse."""
    bpy.context.view_layer.update()
    obj.parent = parent
    obj.matrix_parent_inverse = parent.matrix_world.inverted()
    bpy.context.view_layer.update()


def grid_mesh(name, size, cells, height):
    """A square mesh of cells x cells quads over [-size, size]^2, at height
    height(x, y)."""
    verts, faces = [], []
    step = 2.0 * size / cells
    for j in range(cells + 1):
        for i in range(cells + 1):
            x, y = -size + i * step, -size + j * step
            verts.append((x, y, height(x, y)))
    for j in range(cells):
        for i in range(cells):
            a = j * (cells + 1) + i
            faces.append((a, a + 1, a + cells + 2, a + cells + 1))
    mesh = bpy.data.meshes.new(name)
    mesh.from_pydata(verts, [], faces)
    obj = bpy.data.objects.new(name, mesh)
    bpy.context.scene.collection.objects.link(obj)
    return obj


def carrier(name, agents_group, target, obstacles=None, terrain=None, units=1.0, **params):
    """An empty carrying a new tag, ticked on as a user does, with the tag's
    defaults at units scene units per Blender unit (1: the scene's numbers
    are the tag's own), then params."""
    obj = empty(name)
    tag = obj.kestrelwood
    tag.enabled = True
    from kestrelwood import parameters
    for p in parameters.LENGTHS:
        setattr(tag, p.attr, p.default / units)
    tag.units_per_blender_unit = units
    tag.agents_group, tag.target = agents_group, target
    tag.obstacles_group, tag.terrain = obstacles, terrain
    for k, v in params.items():
        setattr(tag, k, v)
    activate(obj)
    return obj


def activate(obj):
    bpy.context.view_layer.objects.active = obj


def run_program(*args, cwd=None):
    """Runs kestrelwood; returns its standard output and error."""
    proc = subprocess.run([PROGRAM] + list(args), cwd=cwd or WORK, capture_output=True, text=True)
    if proc.returncode != 0:
        raise AssertionError(f"kestrelwood {' '.join(args)} failed ({proc.returncode}): {proc.stderr}")
    return proc.stdout, proc.stderr


def read_csv(path):
    """{(frame, tag, index): row as a dict of floats, name as text}."""
    rows = {}
    with open(path, newline="") as f:
        for r in csv.DictReader(f):
            d = {k: (v if k == "name" else float(v)) for k, v in r.items()}
            rows[(int(d["frame"]), int(d["tag"]), int(d["index"]))] = d
    return rows


def host_of(matrix_world):
    """(position, v1, v2, v3) in the host's axes of a Blender world matrix:
    a point (x, y, z) is (x, z, y); Blender's X, Y, Z axes are the host's
    X, Z, Y axes."""
    m = matrix_world

    def swapped(col):
        return (m[0][col], m[2][col], m[1][col])

    return swapped(3), swapped(0), swapped(2), swapped(1)


def row_matrix(row):
    return ((row["x"], row["y"], row["z"]), (row["v1x"], row["v1y"], row["v1z"]),
            (row["v2x"], row["v2y"], row["v2z"]), (row["v3x"], row["v3y"], row["v3z"]))


def matrix_difference(matrix_world, row, units=1.0):
    """(largest position difference in scene units, largest axis
    difference), with units scene units per Blender unit."""
    mine, theirs = host_of(matrix_world), row_matrix(row)
    dp = max(abs(a * units - b) for a, b in zip(mine[0], theirs[0]))
    da = max(abs(a - b) for i in (1, 2, 3) for a, b in zip(mine[i], theirs[i]))
    return dp, da


def export_and_run(path, *run_args):
    """Exports the scene with the add-on's command and runs it with
    kestrelwood run; returns the CSV rows."""
    result = bpy.ops.kestrelwood.export_scene(filepath=path)
    assert result == {'FINISHED'}, result
    csv_path = path + ".csv"
    run_program("run", path, "--csv", csv_path, *run_args)
    return read_csv(csv_path)


def readme_command(prefix, document="README.md"):
    """The command line of the README (or another page of the repository)
    that starts with prefix, as written."""
    with open(os.path.join(REPO, document)) as f:
        for line in f:
            if line.strip().startswith(prefix):
                return line.split("#")[0].strip()
    raise AssertionError(f"{document} has no command starting with {prefix!r}")


def load_json(path):
    with open(path) as f:
        return json.load(f)


class BlenderTestCase(unittest.TestCase):
    def assertKeysMatchRun(self, rows, tag, agents, frames, units=1.0):
        """Every agent at every frame, as Blender evaluates its keys, equals
        the run's row within the tolerances (in scene units, with units of
        them per Blender unit)."""
        scene = bpy.context.scene
        worst_p = worst_a = 0.0
        for f in frames:
            scene.frame_set(f)
            for i, agent in enumerate(agents):
                row = rows[(f, tag, i)]
                self.assertEqual(row["name"], agent.name)
                dp, da = matrix_difference(agent.matrix_world, row, units)
                worst_p, worst_a = max(worst_p, dp), max(worst_a, da)
                self.assertLess(dp, POSITION_TOLERANCE, f"{agent.name} at frame {f}: position off by {dp}")
                self.assertLess(da, AXIS_TOLERANCE, f"{agent.name} at frame {f}: axes off by {da}")
        return worst_p, worst_a

    def assertReported(self, level, fragment):
        import kestrelwood.operators as ops
        texts = [t for lv, t in ops.last_reports if lv == level]
        self.assertTrue(any(fragment in t for t in texts), f"no {level} with '{fragment}' in {ops.last_reports}")


def angle_between(a, b):
    return math.acos(max(-1.0, min(1.0, sum(x * y for x, y in zip(a, b)))))
