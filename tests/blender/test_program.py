"""Where the add-on finds the kestrelwood program: its preferences,
KESTRELWOOD, the program it brings for the platform it runs on, the PATH,
the repository's build, in this order; the program it brings given its run
bit back, or copied to the user's folder when its own folder cannot be
changed; a platform it brings no program for told in one line."""

import os
import shutil
import stat
import subprocess
from pathlib import Path
from unittest import mock

import kwtest
from kestrelwood import program
from kestrelwood.problem import Problem


def bundle(name, platforms):
    """A programs/ folder as the zip has it, with this build's program (its
    run bit dropped, as the installers drop it) and module for each platform."""
    root = Path(kwtest.WORK) / name / "programs"
    for platform in platforms:
        bin_dir = root / platform / "bin"
        bin_dir.mkdir(parents=True)
        target = bin_dir / ("kestrelwood.exe" if platform.startswith("windows") else "kestrelwood")
        shutil.copy(kwtest.PROGRAM, target)
        target.chmod(0o644)
        shutil.copytree(Path(kwtest.PROGRAM).parents[1] / "plugins", root / platform / "plugins")
    return root


def runs(path):
    return subprocess.run([str(path), "demo", "--frames", "1"], capture_output=True).returncode == 0


class ProgramTest(kwtest.BlenderTestCase):
    def setUp(self):
        self.saved = {k: os.environ.get(k) for k in ("KESTRELWOOD", "PATH")}

    def tearDown(self):
        for k, v in self.saved.items():
            if v is None:
                os.environ.pop(k, None)
            else:
                os.environ[k] = v

    def test_the_program_is_found_in_order(self):
        on_path = kwtest.work_path("bin", "kestrelwood")
        shutil.copy(kwtest.PROGRAM, on_path)
        self.assertEqual(program.find_program(kwtest.PROGRAM), (kwtest.PROGRAM, "the add-on's preferences"))
        self.assertEqual(program.find_program(""), (kwtest.PROGRAM, "the environment variable KESTRELWOOD"))
        del os.environ["KESTRELWOOD"]
        os.environ["PATH"] = os.path.dirname(on_path) + os.pathsep + self.saved["PATH"]
        self.assertEqual(program.find_program(""), (on_path, "the PATH"))
        os.environ["PATH"] = os.path.join(kwtest.WORK, "empty")
        built = program.repository_build()
        if os.path.isfile(built):
            self.assertEqual(program.find_program(""), (str(built), "the repository's release build"))
        else:
            with self.assertRaisesRegex(Problem, "not found .*the PATH"):
                program.find_program("")

        # The program the add-on brings comes before the PATH, and runs.
        bundled = bundle("addon", ["linux-x64", "windows-x64"])
        os.environ["PATH"] = os.path.dirname(on_path)
        with mock.patch.object(program, "BUNDLED", bundled):
            mine = bundled / "linux-x64" / "bin" / "kestrelwood"
            self.assertFalse(os.access(mine, os.X_OK))
            self.assertEqual(program.find_program(""), (str(mine), "the add-on's own program for linux-x64"))
            self.assertTrue(os.access(mine, os.X_OK))
            self.assertEqual(stat.S_IMODE(mine.stat().st_mode), 0o755)
            self.assertTrue(runs(mine))
            self.assertEqual(program.bundled_platforms(), ["linux-x64", "windows-x64"])

            # On a platform it brings nothing for: one line that says what to do.
            elsewhere = mock.patch.object(program, "running_platform", lambda: "macos-arm64")
            unbuilt = mock.patch.object(program, "repository_build", lambda: Path(kwtest.WORK) / "none" / "kestrelwood")
            with elsewhere, unbuilt:
                os.environ["PATH"] = os.path.join(kwtest.WORK, "empty")
                with self.assertRaises(Problem) as said:
                    program.find_program("")
                self.assertEqual(str(said.exception),
                                 "on macos-arm64 the add-on needs a kestrelwood program (it brings one for "
                                 "linux-x64, windows-x64 only): set its path in Preferences > Add-ons > "
                                 "Kestrelwood crowd")

    def test_a_program_that_cannot_be_changed_in_place_is_run_from_a_copy(self):
        bundled = bundle("readonly", ["linux-x64"])
        mine = bundled / "linux-x64" / "bin" / "kestrelwood"
        add_run_bit = program._add_run_bit

        def read_only_there(path):
            if bundled in Path(path).parents:
                raise PermissionError(13, "Read-only file system", str(path))
            add_run_bit(path)

        with mock.patch.object(program, "_add_run_bit", read_only_there):
            copy = Path(program.runnable_copy(mine))
            self.assertNotIn(bundled, copy.parents)
            self.assertEqual(copy.relative_to(copy.parents[2]), Path("linux-x64/bin/kestrelwood"))
            self.assertTrue(runs(copy), "the copy finds its module beside it")
            self.assertFalse(os.access(mine, os.X_OK))
            # The next run uses the same copy.
            self.assertEqual(Path(program.runnable_copy(mine)).stat().st_ino, copy.stat().st_ino)
