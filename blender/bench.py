"""Times Simulate on the demo-sized crowd (60 agents, 301 frames, a ground of
105,800 triangles) in Blender, from the button press to the last key, with
its parts and with `kestrelwood run` of the same scene file beside it.

    blender -b --factory-startup --python blender/bench.py [-- REPETITIONS]

The crowd is the built-in demo's, laid out in Blender (tools/demo_crowd.py);
the run is checked against `kestrelwood demo` frame by frame. Then the same
crowd of walkers (an armature and its figure per agent): Simulate with their
walk cycle on the tag, and without it, as the reference.
"""

import csv
import os
import statistics
import subprocess
import sys
import tempfile
import time

import bpy

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "tools"))

import kestrelwood  # noqa: E402
import demo_crowd  # noqa: E402
from kestrelwood import keys, program, scene_build, scene_order, scene_text, shapes, walk  # noqa: E402


def median_time(fn, repeat):
    times = []
    for _ in range(repeat):
        t = time.perf_counter()
        fn()
        times.append(time.perf_counter() - t)
    return statistics.median(times), min(times)


def main():
    args = sys.argv[sys.argv.index("--") + 1:] if "--" in sys.argv else []
    repeat = int(args[0]) if args else 5
    exe, where = program.find_program()
    kestrelwood.register()
    bpy.ops.wm.read_factory_settings(use_empty=True)
    crowd = demo_crowd.build(exe)
    ctx = bpy.context
    tag = crowd.kestrelwood
    agents = scene_order.agents_of(tag, ctx.scene)
    tris = len(shapes.terrain_mesh(tag.terrain, ctx.evaluated_depsgraph_get())[1])
    frames = ctx.scene.frame_end - ctx.scene.frame_start + 1
    print(f"kestrelwood: {exe} (from {where})")
    print(f"crowd: {len(agents)} agents, {frames} frames, ground of {tris} triangles; median of {repeat}")

    rows = []
    t, _ = median_time(lambda: bpy.ops.kestrelwood.record_start(), repeat)
    rows.append(("Record start (button press to stored start)", t))
    t, _ = median_time(lambda: bpy.ops.kestrelwood.simulate(), repeat)
    rows.append(("Simulate (button press to last key)", t))

    folder = tempfile.mkdtemp(prefix="kestrelwood-bench-")
    scene_path = os.path.join(folder, "demo.kwscene.json")
    csv_path = os.path.join(folder, "agents.csv")
    holder = {}

    def export():
        holder["export"] = scene_build.build(ctx)
        with open(scene_path, "w") as f:
            f.write(scene_text.to_text(holder["export"].document))

    t, _ = median_time(export, repeat)
    rows.append(("  part: scene file written (terrain, agents, tag)", t))
    t, _ = median_time(lambda: program.run(exe, ["run", scene_path, "--csv", csv_path], cwd=folder), repeat)
    rows.append(("  part: kestrelwood run of it, as run by the add-on", t))
    t, _ = median_time(lambda: holder.update(tracks=keys.read_csv(csv_path, 0)), repeat)
    rows.append(("  part: CSV read", t))

    def key_all():
        for i, a in enumerate(agents):
            keys.key_agent(a, holder["tracks"][i])

    t, _ = median_time(key_all, repeat)
    rows.append(("  part: agents keyed", t))
    t, _ = median_time(lambda: subprocess.run([exe, "run", scene_path, "--csv", csv_path], check=True,
                                              capture_output=True), repeat)
    rows.append(("reference: kestrelwood run SCENE --csv (command line)", t))
    demo_csv = os.path.join(folder, "demo.csv")
    t, _ = median_time(lambda: subprocess.run([exe, "demo", "--csv", demo_csv], check=True, capture_output=True),
                       repeat)
    rows.append(("reference: kestrelwood demo --csv (the built-in scene)", t))
    for label, seconds in rows:
        print(f"{label:<58} {seconds * 1000:9.1f} ms")

    # The crowd in Blender is the built-in demo's, frame for frame.
    worst = 0.0
    with open(demo_csv) as f:
        demo = {(int(r["frame"]), int(r["index"])): r for r in csv.DictReader(f)}
    scene = ctx.scene
    for frame in range(scene.frame_start, scene.frame_end + 1, 10):
        scene.frame_set(frame)
        for i, a in enumerate(agents):
            m = a.matrix_world
            r = demo[(frame, i)]
            worst = max(worst, abs(m[0][3] - float(r["x"])), abs(m[2][3] - float(r["y"])),
                        abs(m[1][3] - float(r["z"])))
    print(f"largest position difference from kestrelwood demo (every 10th frame): {worst:.3g}")
    walkers(exe, repeat, folder)


def walkers(exe, repeat, folder):
    """Simulate on the demo crowd as walkers, with and without the cycle."""
    bpy.ops.wm.read_factory_settings(use_empty=True)
    crowd = demo_crowd.build(exe, "walker")
    ctx = bpy.context
    tag = crowd.kestrelwood
    agents = scene_order.agents_of(tag, ctx.scene)
    action = tag.walk_action
    assert bpy.ops.kestrelwood.record_start() == {'FINISHED'}
    # Taken in turns, so that other work on the machine weighs on both alike.
    times = {None: [], action: []}
    for _ in range(repeat):
        for cycle in times:
            tag.walk_action = cycle
            t = time.perf_counter()
            bpy.ops.kestrelwood.simulate()
            times[cycle].append(time.perf_counter() - t)
    rows = [("reference: Simulate of the walkers without a walk cycle", statistics.median(times[None])),
            (f"Simulate with walk cycles ({len(agents)} armatures)", statistics.median(times[action]))]

    scene_path = os.path.join(folder, "walkers.kwscene.json")
    csv_path = os.path.join(folder, "walkers.csv")
    with open(scene_path, "w") as f:
        f.write(scene_text.to_text(scene_build.build(ctx).document))
    program.run(exe, ["run", scene_path, "--csv", csv_path], cwd=folder)
    tracks = keys.read_csv(csv_path, 0)
    t, _ = median_time(lambda: walk.play(walk.plan(tag, agents, tracks, ctx.scene)), repeat)
    rows.append(("  part: walk strips planned and keyed", t))
    print(f"walkers: the same crowd, each agent an armature with its figure, stride {demo_crowd.WALKER_STRIDE:g}")
    for label, seconds in rows:
        print(f"{label:<58} {seconds * 1000:9.1f} ms")


main()
