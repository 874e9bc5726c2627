"""Times Simulate in Blender, from the button press to the last key, each
figure next to its reference measured in the same run: `kestrelwood run` of
the same scene file (the one Simulate writes, its ground in a glb beside
it), from the command line.

  - the demo-sized crowd: the built-in demo laid out in Blender
    (tools/demo_crowd.py): 60 agents, 301 frames, a ground of 105,800
    triangles; checked against `kestrelwood demo` frame by frame;
  - 100 agents, 300 frames, a ground of 2,000,000 triangles: the frame
    benchmark's heightfield scene (tools/terrain_crowd.py; needs the
    release build's bench/frames_bench);
  - the demo crowd as walkers (an armature and its figure per agent):
    Simulate with their walk cycle on the tag, next to Simulate of the same
    walkers without it;

each pressed with no ground file kept (the ground written) and again with
the ground unchanged since the last press. Times are CPU time, Blender's
and the program's it runs (steady on a machine shared with builds; for
this single-threaded work the same as the wall clock on an idle one, which
is shown beside it), medians.

    blender -b --factory-startup --python blender/bench.py [-- REPETITIONS]
"""

import csv
import os
import resource
import shutil
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
import terrain_crowd  # noqa: E402
from kestrelwood import (ground_glb, ground_triangles, keys, overlays, program, scene_build,  # noqa: E402
                         scene_order, scene_text, shapes, user_files, walk)

FRAMES_BENCH = os.path.join(os.path.dirname(HERE), "build", "release", "bench", "frames_bench")


def clocks():
    """(CPU seconds of this process and the programs it ran, wall seconds)."""
    children = resource.getrusage(resource.RUSAGE_CHILDREN)
    return time.process_time() + children.ru_utime + children.ru_stime, time.perf_counter()


def median_time(fn, repeat, before=None):
    """(median CPU seconds, median wall seconds) of fn; before() runs
    untimed ahead of each call."""
    cpu, wall = [], []
    for _ in range(repeat):
        if before is not None:
            before()
        c0, w0 = clocks()
        fn()
        c1, w1 = clocks()
        cpu.append(c1 - c0)
        wall.append(w1 - w0)
    return statistics.median(cpu), statistics.median(wall)


def forget_grounds():
    """As if the ground were new: no ground file, no triangles kept."""
    ground_triangles.forget()
    folder = user_files.folder("grounds")
    for name in os.listdir(folder):
        os.unlink(os.path.join(folder, name))


def simulate():
    assert bpy.ops.kestrelwood.simulate() == {'FINISHED'}


class Table:
    def __init__(self):
        self.rows = []

    def add(self, label, times):
        self.rows.append((label, times))

    def print(self):
        for label, (cpu, wall) in self.rows:
            print(f"{label:<70} {cpu * 1000:9.1f} ms   (wall {wall * 1000:7.1f} ms)")


def scene_file(ctx, folder):
    """The scene file Simulate writes, with its ground in a glb."""
    path = os.path.join(folder, "scene.kwscene.json")
    with open(path, "w") as f:
        f.write(scene_text.to_text(scene_build.build(ctx, ground=ground_glb.cached).document))
    return path


def command_line(exe, path, csv_path, *more):
    subprocess.run([exe, "run", path, "--csv", csv_path, *more], check=True, capture_output=True)


def demo_sized(exe, repeat, folder):
    bpy.ops.wm.read_factory_settings(use_empty=True)
    crowd = demo_crowd.build(exe)
    ctx = bpy.context
    tag = crowd.kestrelwood
    agents = scene_order.agents_of(tag, ctx.scene)
    tris = len(shapes.terrain_mesh(tag.terrain, ctx.evaluated_depsgraph_get())[1])
    frames = ctx.scene.frame_end - ctx.scene.frame_start + 1
    print(f"\ncrowd: {len(agents)} agents, {frames} frames, ground of {tris} triangles; median of {repeat}")

    table = Table()
    table.add("Record start (button press to stored start)",
              median_time(lambda: bpy.ops.kestrelwood.record_start(), repeat))
    # The demo's tag shows its three overlays: timed with them off, and on.
    shown = overlays.ticks_of(tag)
    tag.show_vision = tag.show_repulsion = tag.show_alignment = False
    table.add("Simulate (button press to last key)", median_time(simulate, repeat, before=forget_grounds))
    table.add("Simulate again, the ground unchanged", median_time(simulate, repeat))
    tag.show_vision, tag.show_repulsion, tag.show_alignment = True, True, True
    table.add("Simulate again, the three overlays on (their drawing read)", median_time(simulate, repeat))
    tag.show_vision, tag.show_repulsion, tag.show_alignment = shown

    scene_path = os.path.join(folder, "scene.kwscene.json")
    csv_path = os.path.join(folder, "agents.csv")
    holder = {}
    table.add("  part: scene file written, the ground's glb too",
              median_time(lambda: scene_file(ctx, folder), repeat, before=forget_grounds))
    table.add("  part: scene file written, the ground's glb kept", median_time(lambda: scene_file(ctx, folder), repeat))
    table.add("  part: kestrelwood run of it, as the add-on runs it",
              median_time(lambda: program.run(exe, ["run", scene_path, "--csv", csv_path], cwd=folder), repeat))
    table.add("  part: CSV read", median_time(lambda: holder.update(tracks=keys.read_csv(csv_path, 0)), repeat))
    drawing_path = os.path.join(folder, "drawing.json")
    program.run(exe, ["run", scene_path, "--csv", csv_path, "--drawing", drawing_path], cwd=folder)
    table.add("  part: drawing read (three overlays)",
              median_time(lambda: holder.update(drawing=overlays.read(drawing_path, 0, crowd.name, shown, 1.0)),
                          repeat))
    fresh = iter([overlays.read(drawing_path, 0, crowd.name, shown, 1.0) for _ in range(repeat)])
    frame = ctx.scene.frame_start + 100
    table.add("  part: a frame's shapes parsed when it is first shown",
              median_time(lambda: next(fresh).shapes(frame), repeat))

    def key_all():
        for i, a in enumerate(agents):
            keys.key_agent(a, holder["tracks"][i])

    table.add("  part: agents keyed", median_time(key_all, repeat))
    table.add("reference: kestrelwood run SCENE --csv of the same file (command line)",
              median_time(lambda: command_line(exe, scene_path, csv_path), repeat))
    table.add("reference: the same with --drawing (command line)",
              median_time(lambda: command_line(exe, scene_path, csv_path, "--drawing", drawing_path), repeat))
    demo_csv = os.path.join(folder, "demo.csv")
    table.add("reference: kestrelwood demo --csv (the built-in scene)",
              median_time(lambda: subprocess.run([exe, "demo", "--csv", demo_csv], check=True, capture_output=True),
                          repeat))
    table.print()

    # The crowd in Blender is the built-in demo's, frame for frame.
    with open(demo_csv) as f:
        demo = {(int(r["frame"]), int(r["index"])): r for r in csv.DictReader(f)}
    print(f"largest position difference from kestrelwood demo (every 10th frame): "
          f"{worst_position(agents, demo):.3g}")


def worst_position(agents, rows):
    scene = bpy.context.scene
    worst = 0.0
    for frame in range(scene.frame_start, scene.frame_end + 1, 10):
        scene.frame_set(frame)
        for i, a in enumerate(agents):
            m = a.matrix_world
            r = rows[(frame, i)]
            worst = max(worst, abs(m[0][3] - float(r["x"])), abs(m[2][3] - float(r["y"])),
                        abs(m[1][3] - float(r["z"])))
    return worst


def walkers(exe, repeat, folder):
    """Simulate on the demo crowd as walkers, with and without the cycle."""
    bpy.ops.wm.read_factory_settings(use_empty=True)
    crowd = demo_crowd.build(exe, "walker")
    ctx = bpy.context
    tag = crowd.kestrelwood
    agents = scene_order.agents_of(tag, ctx.scene)
    action = tag.walk_action
    assert bpy.ops.kestrelwood.record_start() == {'FINISHED'}
    print(f"\nwalkers: the same crowd, each agent an armature with its figure, stride "
          f"{demo_crowd.WALKER_STRIDE:g}; median of {repeat}")
    # Taken in turns, so that other work on the machine weighs on both alike.
    times = {None: [], action: []}
    for _ in range(repeat):
        for cycle in times:
            tag.walk_action = cycle
            times[cycle].append(median_time(simulate, 1))
    table = Table()
    table.add("reference: Simulate of the walkers without a walk cycle",
              tuple(statistics.median(t[k] for t in times[None]) for k in (0, 1)))
    table.add(f"Simulate with walk cycles ({len(agents)} armatures)",
              tuple(statistics.median(t[k] for t in times[action]) for k in (0, 1)))
    scene_path = scene_file(ctx, folder)
    csv_path = os.path.join(folder, "walkers.csv")
    command_line(exe, scene_path, csv_path)
    tracks = keys.read_csv(csv_path, 0)
    table.add("  part: walk strips planned and keyed",
              median_time(lambda: walk.play(walk.plan(tag, agents, tracks, ctx.scene)), repeat))
    table.print()


def big_ground(exe, repeat, folder):
    if not os.path.isfile(FRAMES_BENCH):
        print(f"\n2,000,000-triangle ground: skipped, {FRAMES_BENCH} is not built")
        return
    bpy.ops.wm.read_factory_settings(use_empty=True)
    crowd = terrain_crowd.build(terrain_crowd.scene_files(FRAMES_BENCH)["terrain-2m-glb"], 300)
    ctx = bpy.context
    agents = scene_order.agents_of(crowd.kestrelwood, ctx.scene)
    print(f"\ncrowd: {len(agents)} agents, 300 frames, ground of {len(crowd.kestrelwood.terrain.data.polygons)} "
          f"triangles; median of {repeat}")
    table = Table()
    table.add("Record start (button press to stored start)",
              median_time(lambda: bpy.ops.kestrelwood.record_start(), repeat))
    table.add("Simulate, 2,000,000-triangle ground (button press to last key)",
              median_time(simulate, repeat, before=forget_grounds))
    table.add("Simulate again, the ground unchanged", median_time(simulate, repeat))
    scene_path = scene_file(ctx, folder)
    csv_path = os.path.join(folder, "terrain.csv")
    table.add("reference: kestrelwood run SCENE --csv of the same file (command line)",
              median_time(lambda: command_line(exe, scene_path, csv_path), repeat))
    table.print()
    with open(csv_path) as f:
        rows = {(int(r["frame"]), int(r["index"])): r for r in csv.DictReader(f)}
    print(f"largest position difference of the keys from that run (every 10th frame): "
          f"{worst_position(agents, rows):.3g}")


def main():
    args = sys.argv[sys.argv.index("--") + 1:] if "--" in sys.argv else []
    repeat = int(args[0]) if args else 5
    exe, where = program.find_program()
    kestrelwood.register()
    print(f"kestrelwood: {exe} (from {where})")
    folder = tempfile.mkdtemp(prefix="kestrelwood-bench-")
    try:
        demo_sized(exe, repeat, folder)
        big_ground(exe, repeat, folder)
        walkers(exe, repeat, folder)
    finally:
        shutil.rmtree(folder, ignore_errors=True)


main()
