"""Draws the pictures of the add-on in a Blender window (under Xvfb, see
make_pictures.sh): the demo crowd keyed at frame 200 seen from above the
ground (blender-crowd.png), the same crowd as walkers playing their cycle by
the distance walked, seen from near the ground (blender-walk.png), and the
Kestrelwood panel of the walkers' carrier (blender-panel.png).

    blender --factory-startup --python blender/pictures.py -- OUTPUT_FOLDER
"""

import os
import sys

import bpy

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "tools"))

import kestrelwood  # noqa: E402
import demo_crowd  # noqa: E402
from kestrelwood import program  # noqa: E402

out = sys.argv[sys.argv.index("--") + 1] if "--" in sys.argv else os.path.join(os.path.dirname(HERE), "docs")
FRAME = 200
WALK_FRAME = 96


def lay_out(figure, frame):
    """The demo crowd of the figure, recorded, simulated, shown at frame."""
    for o in list(bpy.data.objects):
        bpy.data.objects.remove(o)
    for collection in (bpy.data.meshes, bpy.data.armatures, bpy.data.actions, bpy.data.materials):
        for item in list(collection):
            collection.remove(item)
    exe, _ = program.find_program()
    crowd = demo_crowd.build(exe, figure)
    crowd.select_set(True)
    bpy.context.view_layer.objects.active = crowd
    scene = bpy.context.scene
    scene.frame_set(scene.frame_start)
    assert bpy.ops.kestrelwood.record_start() == {'FINISHED'}
    assert bpy.ops.kestrelwood.simulate() == {'FINISHED'}
    scene.frame_set(frame)
    # A plain look: the ground grey, the agents orange, no grid.
    ground = bpy.data.objects["Ground"]
    mat = bpy.data.materials.new("Ground")
    mat.diffuse_color = (0.55, 0.58, 0.5, 1.0)
    ground.data.materials.append(mat)
    agent_mat = bpy.data.materials.new("Agent")
    agent_mat.diffuse_color = (0.95, 0.45, 0.1, 1.0)
    shape = next(m for m in bpy.data.meshes if m.name != "Ground")
    shape.materials.append(agent_mat)
    return crowd


def crowd_centre():
    agents = bpy.data.objects["Flock"].children
    n = len(agents)
    return sum((a.matrix_world.translation for a in agents), start=__import__("mathutils").Vector()) / n


def view_crowd(window, rotation=(0.55, 0.0, 0.4), distance=3200.0, lens=50.0):
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
    space.clip_end = 100000.0
    r3d = space.region_3d
    r3d.view_perspective = 'PERSP'
    r3d.view_location = crowd_centre()
    r3d.view_rotation = Euler(rotation).to_quaternion()
    r3d.view_distance = distance
    space.lens = lens
    return view


def panel_area(window, view, crowd):
    """A properties editor beside the view, on the carrier's Object tab,
    scrolled down to the Kestrelwood panel."""
    with bpy.context.temp_override(window=window, area=view):
        bpy.ops.screen.area_split(direction='VERTICAL', factor=0.36)
    props = min((a for a in window.screen.areas if a.type == 'VIEW_3D'), key=lambda a: a.x)
    props.type = 'PROPERTIES'
    bpy.context.view_layer.objects.active = crowd
    return props


def scroll_to_bottom(window, props):
    region = next(r for r in props.regions if r.type == 'WINDOW')
    with bpy.context.temp_override(window=window, area=props, region=region):
        for _ in range(40):
            bpy.ops.view2d.scroll_down(deltay=100)


def main():
    kestrelwood.register()
    lay_out("cone", FRAME)
    window = bpy.context.window_manager.windows[0]
    state = {"view": view_crowd(window)}
    steps = []

    def shoot_crowd():
        with bpy.context.temp_override(window=window, area=state["view"]):
            bpy.ops.screen.screenshot_area(filepath=os.path.join(out, "blender-crowd.png"))
        state["crowd"] = lay_out("walker", WALK_FRAME)
        # Low over the ground, from ahead and to the side of the walkers.
        view_crowd(window, rotation=(1.2, 0.0, 2.5), distance=1500.0, lens=50.0)

    def shoot_walk():
        with bpy.context.temp_override(window=window, area=state["view"]):
            bpy.ops.screen.screenshot_area(filepath=os.path.join(out, "blender-walk.png"))
        state["props"] = panel_area(window, state["view"], state["crowd"])

    def object_tab():
        state["props"].spaces.active.context = 'OBJECT'

    def scroll():
        scroll_to_bottom(window, state["props"])

    def shoot_panel():
        with bpy.context.temp_override(window=window, area=state["props"]):
            bpy.ops.screen.screenshot_area(filepath=os.path.join(out, "blender-panel.png"))
        print(f"wrote {out}/blender-crowd.png, blender-walk.png and blender-panel.png")
        bpy.ops.wm.quit_blender()

    steps.extend([shoot_crowd, shoot_walk, object_tab, scroll, shoot_panel])

    def next_step():
        # Each step after a few redraws of what the last one changed.
        try:
            steps.pop(0)()
        except Exception:
            import traceback
            traceback.print_exc()
            sys.stdout.flush()
            os._exit(1)
        return 1.0 if steps else None

    bpy.app.timers.register(next_step, first_interval=2.0)


main()
