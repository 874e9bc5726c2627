"""The zip as an artist installs it: made by the README's command, copied
away from the repository, installed through Blender's own installer into a
fresh user folder (run_blender_test.sh --artist: a home of its own,
PATH=/usr/bin:/bin, no KESTRELWOOD). The add-on finds the program it brings,
gives it back the run bit the installer dropped, records and simulates; the
keys equal the run of the exported file by the zip's program, and the
ground file Simulate wrote is kept for the next press.

It leaves the zip it installed and the exported scene with that run's CSV in
its work folder, for the Windows program's test under wine
(tests/cross/zip_programs.sh)."""

import os
import re
import shutil
import subprocess
import sys

import addon_utils
import bpy

import kwtest

# This test imports the add-on from the installed zip, not from the
# repository's blender/ folder.
REGISTER_ADDON = False
sys.path[:] = [p for p in sys.path if os.path.abspath(p) != os.path.join(kwtest.REPO, "blender")]

FRAMES = 60


def lay_out():
    """Nine agents crossing a hilly ground with a modifier round a rock."""
    kwtest.reset(0, FRAMES)
    ground = kwtest.grid_mesh("Ground", 500.0, 20, lambda x, y: 15.0 * (x / 500.0) ** 2 + 0.02 * y)
    ground.modifiers.new("Smooth", 'SUBSURF').levels = 1
    flock = kwtest.empty("Flock", location=(0, -350, 0))
    agents = [kwtest.empty(f"Agent {i + 1}", location=(-80 + 80 * (i % 3), -350 - 60 * (i // 3), 40),
                           rotation=(0, 0, 0.1 * i), parent=flock) for i in range(9)]
    rocks = kwtest.empty("Rocks")
    kwtest.empty("Rock", location=(20, 0, 0), display='CIRCLE', size=40.0, parent=rocks)
    target = kwtest.empty("Target", location=(0, 450, 0))
    kwtest.carrier("Crowd", flock, target, obstacles=rocks, terrain=ground, speed=9.0, speed_variation=0.3,
                   vision_length=150.0, vision_half_width=30.0, repulsion_radius=40.0, alignment_radius=120.0)
    bpy.context.view_layer.update()
    return agents


class InstallTest(kwtest.BlenderTestCase):
    def test_an_artist_installs_the_zip_and_simulates(self):
        self.assertNotIn("KESTRELWOOD", os.environ, "run with run_blender_test.sh --artist")
        self.assertEqual(os.environ["PATH"], "/usr/bin:/bin")
        self.assertIsNone(shutil.which("kestrelwood"))

        command = kwtest.readme_command("scripts/package blender")
        made = subprocess.run(command, shell=True, cwd=kwtest.REPO, capture_output=True, text=True)
        self.assertEqual(made.returncode, 0, made.stdout[-3000:] + made.stderr[-3000:])
        built = os.path.join(kwtest.REPO, re.search(r"wrote (\S+)", made.stdout).group(1))
        downloaded = kwtest.work_path("downloads", "kestrelwood-blender.zip")
        shutil.copy(built, downloaded)
        print(f"zip: {os.path.getsize(downloaded) / 1e6:.1f} MB")

        self.assertNotIn("kestrelwood", sys.modules)
        self.assertEqual(bpy.ops.preferences.addon_install(filepath=downloaded), {'FINISHED'})
        addon = os.path.join(os.environ["BLENDER_USER_SCRIPTS"], "addons", "kestrelwood")
        program = os.path.join(addon, "programs", "linux-x64", "bin", "kestrelwood")
        self.assertTrue(os.path.isfile(program))
        self.assertFalse(os.access(program, os.X_OK), "the installer was expected to drop the run bit")
        self.assertEqual(bpy.ops.preferences.addon_enable(module="kestrelwood"), {'FINISHED'})
        package = sys.modules["kestrelwood"]
        self.assertEqual(package.__file__, os.path.join(addon, "__init__.py"))
        self.assertEqual(addon_utils.module_bl_info(package)["blender"], (3, 4, 0))
        self.assertEqual(bpy.context.preferences.addons["kestrelwood"].preferences.program, "")

        agents = lay_out()
        self.assertEqual(bpy.ops.kestrelwood.record_start(), {'FINISHED'})
        self.assertTrue(os.access(program, os.X_OK))
        self.assertEqual(package.program.find_program(""), (program, "the add-on's own program for linux-x64"))
        self.assertEqual(bpy.ops.kestrelwood.simulate(), {'FINISHED'})

        # The ground went to the user's folder as a glb, and a second press
        # with the same ground writes nothing.
        grounds = os.path.join(os.environ["BLENDER_USER_SCRIPTS"], "kestrelwood-data", "grounds")
        files = os.listdir(grounds)
        self.assertEqual(len(files), 1, files)
        first = os.stat(os.path.join(grounds, files[0]))
        self.assertEqual(bpy.ops.kestrelwood.simulate(), {'FINISHED'})
        self.assertEqual(os.listdir(grounds), files)
        self.assertEqual(os.stat(os.path.join(grounds, files[0])).st_ino, first.st_ino)

        # The keys are the run of the exported file by the zip's program.
        exported = kwtest.work_path("exported", "scene.kwscene.json")
        self.assertEqual(bpy.ops.kestrelwood.export_scene(filepath=exported), {'FINISHED'})
        csv_path = kwtest.work_path("exported", "linux.csv")
        ran = subprocess.run([program, "run", exported, "--csv", csv_path], capture_output=True, text=True)
        self.assertEqual(ran.returncode, 0, ran.stderr)
        self.assertKeysMatchRun(kwtest.read_csv(csv_path), 0, agents, range(0, FRAMES + 1))

        self.assertEqual(bpy.ops.preferences.addon_disable(module="kestrelwood"), {'FINISHED'})
        self.assertFalse(hasattr(bpy.types.Object, "kestrelwood"))
