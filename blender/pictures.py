"""Draws the pictures of the add-on in a Blender window (under Xvfb, see
make_pictures.sh): the demo crowd keyed at frame 200 seen from above the
ground (blender-crowd.png), the same crowd as walkers playing their cycle by
the distance walked, seen from near the ground (blender-walk.png), and the
Kestrelwood panel in the properties editor of Blender's own layout, at its
default width (blender-panel.png).

    blender --factory-startup --python blender/pictures.py -- OUTPUT_FOLDER crowd|walk|panel

The crowd is the built-in demo's, laid out in metres (100 scene units per
Blender unit), its vision probes drawn. The panel's picture is written only
when every text of the panel fits its place, in that state and with a
Simulate's warnings, the overlays' note and a start out of date: a label
that Blender would cut ("Recor...") is named, the panel is kept as
blender-panel-cut.png, and the run fails.
"""

import os
import sys

import bpy

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "tools"))

import kestrelwood  # noqa: E402
import demo_crowd  # noqa: E402
import label_fit  # noqa: E402
from kestrelwood import program  # noqa: E402

args = sys.argv[sys.argv.index("--") + 1:] if "--" in sys.argv else []
out = args[0] if args else os.path.join(os.path.dirname(HERE), "docs")
what = args[1] if len(args) > 1 else "crowd"
FRAME = 200
WALK_FRAME = 96
UNITS = 100.0


def lay_out():
    kestrelwood.register()
    for o in list(bpy.data.objects):
        bpy.data.objects.remove(o)
    exe, _ = program.find_program()
    crowd = demo_crowd.build(exe, "walker" if what == "walk" else "cone", units=UNITS)
    crowd.select_set(True)
    tag = crowd.kestrelwood
    if what == "crowd":
        # The probes the tag drew, red where an agent sees a rock.
        tag.show_repulsion = tag.show_alignment = False
    elif what == "walk":
        tag.show_vision = tag.show_repulsion = tag.show_alignment = False
    assert bpy.ops.kestrelwood.record_start() == {'FINISHED'}
    if what != "panel":
        assert bpy.ops.kestrelwood.simulate() == {'FINISHED'}
        bpy.context.scene.frame_set(WALK_FRAME if what == "walk" else FRAME)
    # A plain look: the ground grey, the agents orange, no grid.
    ground = bpy.data.objects["Ground"]
    mat = bpy.data.materials.new("Ground")
    mat.diffuse_color = (0.55, 0.58, 0.5, 1.0)
    ground.data.materials.append(mat)
    agent_mat = bpy.data.materials.new("Agent")
    agent_mat.diffuse_color = (0.95, 0.45, 0.1, 1.0)
    # The agents' shared mesh: the cone, or the walkers' figure.
    shape = next(o.data for o in bpy.data.objects if o.type == 'MESH' and o.name != "Ground")
    shape.materials.append(agent_mat)
    return crowd


def crowd_centre():
    agents = bpy.data.objects["Flock"].children
    n = len(agents)
    return sum((a.matrix_world.translation for a in agents), start=__import__("mathutils").Vector()) / n


def view_crowd(window, rotation=(0.55, 0.0, 0.4), distance=32.0):
    """The largest area as a 3D view looking at the crowd."""
    from mathutils import Euler
    view = max(window.screen.areas, key=lambda a: a.width * a.height)
    view.type = 'VIEW_3D'
    space = view.spaces.active
    space.shading.type = 'SOLID'
    space.shading.color_type = 'MATERIAL'
    space.shading.light = 'STUDIO'
    space.overlay.show_floor = False
    space.overlay.show_axis_x = space.overlay.show_axis_y = False
    space.overlay.show_relationship_lines = False
    space.overlay.show_cursor = False
    space.overlay.show_bones = False
    space.show_gizmo = False
    space.show_region_toolbar = False
    space.clip_end = 1000.0
    r3d = space.region_3d
    r3d.view_perspective = 'PERSP'
    r3d.view_location = crowd_centre()
    r3d.view_rotation = Euler(rotation).to_quaternion()
    r3d.view_distance = distance
    return view


def properties_area(window, crowd):
    """The properties editor of Blender's own layout, as wide as it opens,
    on the carrier's Object tab."""
    props = next(a for a in window.screen.areas if a.type == 'PROPERTIES')
    props.spaces.active.context = 'OBJECT'
    bpy.context.view_layer.objects.active = crowd
    return props


def scroll_to_bottom(window, props):
    region = next(r for r in props.regions if r.type == 'WINDOW')
    with bpy.context.temp_override(window=window, area=props, region=region):
        for _ in range(40):
            bpy.ops.view2d.scroll_down(deltay=100)


def drawn_red(path):
    """Pixels of the picture in the red pen of a probe that sees a rock."""
    import numpy as np
    image = bpy.data.images.load(path)
    pixels = np.empty(image.size[0] * image.size[1] * 4, dtype=np.float32)
    image.pixels.foreach_get(pixels)
    bpy.data.images.remove(image)
    rgba = pixels.reshape(-1, 4)
    return int(np.count_nonzero((rgba[:, 0] > 0.9) & (rgba[:, 1] < 0.1) & (rgba[:, 2] < 0.1)))


def main():
    crowd = lay_out()
    window = bpy.context.window_manager.windows[0]
    state = {}
    steps = []

    def shoot_crowd():
        view = view_crowd(window)
        state["view"] = view

    def save_crowd():
        path = os.path.join(out, "blender-crowd.png")
        with bpy.context.temp_override(window=window, area=state["view"]):
            bpy.ops.screen.screenshot_area(filepath=path)
        # The probes are drawn: the white and red of the tag's pens, and
        # nothing else in the picture is pure red.
        red = drawn_red(path)
        if red < 200:
            raise SystemExit(f"{path}: the tag's probes are not drawn ({red} red pixels)")
        print(f"wrote {path}, the tag's probes drawn ({red} red pixels)")

    def shoot_walk():
        # Low over the ground, from ahead and to the side of the walkers.
        state["view"] = view_crowd(window, rotation=(1.2, 0.0, 2.5), distance=15.0)

    def save_walk():
        path = os.path.join(out, "blender-walk.png")
        with bpy.context.temp_override(window=window, area=state["view"]):
            bpy.ops.screen.screenshot_area(filepath=path)
        print(f"wrote {path}")

    def open_panel():
        state["props"] = properties_area(window, crowd)
        label_fit.watch()

    def scroll():
        scroll_to_bottom(window, state["props"])

    def save_panel():
        cut = label_fit.cut_texts()
        for text, need, have in cut:
            print(f"cut: '{text}' needs {need:.0f} px, has {have:.0f}")
        # A panel with cut labels is kept under another name, to look at.
        name = "blender-panel-cut.png" if cut else "blender-panel.png"
        with bpy.context.temp_override(window=window, area=state["props"]):
            bpy.ops.screen.screenshot_area(filepath=os.path.join(out, name))
        if cut:
            raise SystemExit(f"the panel has texts that do not fit its default width: see {out}/{name}")
        print(f"wrote {out}/{name}; every text of the panel fits its {state['props'].width} px width")

    def other_states():
        # What else the panel shows, checked too: a Simulate's warnings, the
        # overlays' note, a start out of date.
        bpy.ops.mesh.primitive_cube_add(size=0.5, location=(0, 0, 0))
        bpy.context.object.parent = bpy.data.objects["Obstacles"]
        bpy.context.view_layer.objects.active = crowd
        assert bpy.ops.kestrelwood.simulate() == {'FINISHED'}
        tag = crowd.kestrelwood
        tag.show_vision = False
        tag.speed *= 2.0
        scroll_to_bottom(window, state["props"])

    def check_other_states():
        cut = label_fit.cut_texts()
        for text, need, have in cut:
            print(f"cut: '{text}' needs {need:.0f} px, has {have:.0f}")
        if cut:
            with bpy.context.temp_override(window=window, area=state["props"]):
                bpy.ops.screen.screenshot_area(filepath=os.path.join(out, "blender-panel-cut.png"))
            raise SystemExit(f"the panel has texts that do not fit its default width: see {out}/blender-panel-cut.png")
        print("every text of the panel's other states fits too")

    if what == "crowd":
        steps.extend([shoot_crowd, save_crowd])
    elif what == "walk":
        steps.extend([shoot_walk, save_walk])
    else:
        steps.extend([open_panel, scroll, save_panel, other_states, check_other_states])

    def next_step():
        # Each step after a few redraws of what the last one changed.
        try:
            steps.pop(0)()
        except BaseException:
            import traceback
            traceback.print_exc()
            sys.stdout.flush()
            os._exit(1)
        if not steps:
            sys.stdout.flush()
            bpy.ops.wm.quit_blender()
            return None
        return 1.0

    bpy.app.timers.register(next_step, first_interval=2.0)


main()
