"""The benchmark command of docs/blender.md, as written: it lays the
built-in demo and the 2,000,000-triangle ground out in Blender, times
Simulate, and its crowds must be the demo's and the run's."""

import re
import subprocess

import kwtest


class BenchTest(kwtest.BlenderTestCase):
    def test_the_readme_benchmark_runs_and_its_crowd_is_the_demos(self):
        command = kwtest.readme_command("blender -b --factory-startup --python blender/bench.py", "docs/blender.md")
        done = subprocess.run(command, shell=True, cwd=kwtest.REPO, capture_output=True, text=True)
        self.assertEqual(done.returncode, 0, done.stdout[-2000:] + done.stderr[-2000:])
        self.assertRegex(done.stdout, r"Simulate \(button press to last key\) +[\d.]+ ms")
        worst = float(re.search(r"largest position difference from kestrelwood demo.*: (\S+)", done.stdout).group(1))
        self.assertLess(worst, kwtest.POSITION_TOLERANCE)
        self.assertRegex(done.stdout, r"Simulate, 2,000,000-triangle ground \(button press to last key\) +[\d.]+ ms")
        worst = float(re.search(r"largest position difference of the keys from that run.*: (\S+)", done.stdout).group(1))
        self.assertLess(worst, kwtest.POSITION_TOLERANCE)
