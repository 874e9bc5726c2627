"""The foot-slide benchmark of docs/blender.md, as written but over fewer
frames: with the walk cycle played by distance the planted feet of a crowd
walking straight drift at most 1% of the stride, against a reference at one
fixed rate that slides, measured in the same run."""

import re
import subprocess

import kwtest

FRAMES = 90


def figure(label, text):
    found = re.search(re.escape(label) + r" +worst stance +([\d.]+)% of the stride \(mean ([\d.]+)%, (\d+) stances\)",
                      text)
    assert found, f"no '{label}' line in:\n{text}"
    return float(found.group(1)), float(found.group(2)), int(found.group(3))


class WalkBenchTest(kwtest.BlenderTestCase):
    def test_planted_feet_stay_planted(self):
        command = kwtest.readme_command("blender -b --factory-startup --python blender/walk_bench.py",
                                        "docs/blender.md")
        done = subprocess.run(f"{command} -- {FRAMES}", shell=True, cwd=kwtest.REPO, capture_output=True,
                              text=True)
        self.assertEqual(done.returncode, 0, done.stdout[-2000:] + done.stderr[-2000:])
        out = done.stdout
        slowed = int(re.search(r"; (\d+) of 30 slowed by agents ahead", out).group(1))
        self.assertGreater(slowed, 3, "no agent was slowed by those ahead: the benchmark measures no slowing")
        worst, _mean, stances = figure("foot slide, played by distance (Simulate)", out)
        reference, _ref_mean, ref_stances = figure("reference: one fixed rate, one cycle per stride at Speed", out)
        self.assertGreater(stances, 30 * 2 * 3)
        self.assertGreater(ref_stances, 30 * 2 * 3)
        self.assertLessEqual(worst, 1.0)
        self.assertGreater(reference, 5.0)
        self.assertIn("goal: at most 1% of the stride played by distance: met", out)
        turning, _m, _n = figure("turning (Alignment weight 1), played by distance", out)
        turning_reference, _m, _n = figure("turning, reference: one fixed rate", out)
        self.assertLess(turning, turning_reference)
