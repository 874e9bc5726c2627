"""The add-on as a user installs it: the zip made by the README's command,
installed and enabled through Blender's preferences into a user folder of
this test's own; the program found through the preferences, the environment
and the PATH."""

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


class InstallTest(kwtest.BlenderTestCase):
    def test_install_the_zip_and_simulate(self):
        command = kwtest.readme_command("python3 blender/make_zip.py")
        made = subprocess.run(command, shell=True, cwd=kwtest.REPO, capture_output=True, text=True)
        self.assertEqual(made.returncode, 0, made.stderr)
        zip_path = os.path.join(kwtest.REPO, re.search(r"wrote (\S+)", made.stdout).group(1))

        self.assertNotIn("kestrelwood", sys.modules)
        self.assertEqual(bpy.ops.preferences.addon_install(filepath=zip_path), {'FINISHED'})
        installed = os.path.join(os.environ["BLENDER_USER_SCRIPTS"], "addons", "kestrelwood", "__init__.py")
        self.assertTrue(os.path.isfile(installed))
        self.assertEqual(bpy.ops.preferences.addon_enable(module="kestrelwood"), {'FINISHED'})
        self.assertEqual(sys.modules["kestrelwood"].__file__, installed)
        self.assertEqual(addon_utils.module_bl_info(sys.modules["kestrelwood"])["blender"], (3, 4, 0))

        # The program named in the add-on's preferences, with nothing in
        # the environment.
        prefs = bpy.context.preferences.addons["kestrelwood"].preferences
        prefs.program = kwtest.PROGRAM
        saved = os.environ.pop("KESTRELWOOD")
        try:
            kwtest.reset(0, 5)
            group = kwtest.empty("Flock")
            agent = kwtest.empty("Agent", parent=group)
            kwtest.carrier("Crowd", group, kwtest.empty("Target", location=(0, 100, 0)), speed=3.0)
            self.assertEqual(bpy.ops.kestrelwood.record_start(), {'FINISHED'})
            self.assertEqual(bpy.ops.kestrelwood.simulate(), {'FINISHED'})
            bpy.context.scene.frame_set(5)
            self.assertAlmostEqual(agent.matrix_world.translation.y, 15.0, places=3)

            prefs = bpy.context.preferences.addons["kestrelwood"].preferences
            prefs.program = os.path.join(kwtest.WORK, "nowhere", "kestrelwood")
            with self.assertRaisesRegex(RuntimeError, "in the add-on's preferences"):
                bpy.ops.kestrelwood.simulate()
        finally:
            os.environ["KESTRELWOOD"] = saved

        self.assertEqual(bpy.ops.preferences.addon_disable(module="kestrelwood"), {'FINISHED'})
        self.assertFalse(hasattr(bpy.types.Object, "kestrelwood"))

    def test_the_program_is_found_in_order(self):
        sys.path.insert(0, os.path.join(kwtest.REPO, "blender"))
        try:
            from kestrelwood import program
            from kestrelwood.problem import Problem
        finally:
            sys.path.pop(0)
        on_path = kwtest.work_path("bin", "kestrelwood")
        shutil.copy(kwtest.PROGRAM, on_path)
        saved = {k: os.environ.get(k) for k in ("KESTRELWOOD", "PATH")}
        try:
            self.assertEqual(program.find_program(kwtest.PROGRAM), (kwtest.PROGRAM, "the add-on's preferences"))
            self.assertEqual(program.find_program(""), (kwtest.PROGRAM, "the environment variable KESTRELWOOD"))
            del os.environ["KESTRELWOOD"]
            os.environ["PATH"] = os.path.dirname(on_path) + os.pathsep + saved["PATH"]
            self.assertEqual(program.find_program(""), (on_path, "the PATH"))
            os.environ["PATH"] = os.path.join(kwtest.WORK, "empty")
            built = program.repository_build()
            if os.path.isfile(built):
                self.assertEqual(program.find_program(""), (str(built), "the repository's release build"))
            else:
                with self.assertRaisesRegex(Problem, "not found .*the PATH"):
                    program.find_program("")
        finally:
            for k, v in saved.items():
                os.environ[k] = v
