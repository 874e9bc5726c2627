"""The geometry the tag reads from Blender objects: round rocks and the
ground, in the host's terms."""

import numpy as np

from . import ground_triangles, host_axes
from .problem import Problem

# Relative spread of a curve's points around their centre below which its
# spline counts as a circle; also the relative difference of a circle's two
# scales below which its scaling counts as even.
CIRCLE_TOLERANCE = 1e-3


def obstacle_circle(obj, depsgraph):
    """(centre in the object's own coordinates, world radius, two unit axes
    of the circle's plane in the object's own coordinates) of an obstacle, or
    (None, reason, None) when the object is not one."""
    x_scale = float(np.linalg.norm(host_axes.to_numpy(obj.matrix_world)[0:3, 0]))
    if obj.type == 'EMPTY':
        if obj.empty_display_type != 'CIRCLE':
            return None, "an empty not drawn as a circle", None
        # Blender draws an empty's circle in its X-Z plane.
        return np.zeros(3), obj.empty_display_size * x_scale, (np.array([1.0, 0, 0]), np.array([0, 0, 1.0]))
    if obj.type == 'CURVE':
        splines = obj.data.splines
        if len(splines) != 1:
            return None, f"a curve with {len(splines)} splines, not one", None
        spline = splines[0]
        if not spline.use_cyclic_u:
            return None, "a curve whose spline is not closed", None
        if spline.type == 'BEZIER':
            pts = np.array([p.co[:] for p in spline.bezier_points])
        elif spline.type == 'NURBS':
            pts = _evaluated_curve_points(obj, depsgraph)
        else:
            pts = np.array([p.co[:3] for p in spline.points])
        if len(pts) < 3:
            return None, "a curve with fewer than three points", None
        centre = pts.mean(axis=0)
        dist = np.linalg.norm(pts - centre, axis=1)
        radius = float(dist.mean())
        if radius <= 0.0 or float(np.abs(dist - radius).max()) > CIRCLE_TOLERANCE * radius:
            return None, "a curve whose spline is not a circle", None
        u = (pts[0] - centre) / dist[0]
        normal = np.cross(pts[1] - pts[0], pts[2] - pts[0])
        if np.linalg.norm(normal) > 0.0:
            normal /= np.linalg.norm(normal)
            if float(np.abs((pts - centre) @ normal).max()) > CIRCLE_TOLERANCE * radius:
                return None, "a curve whose spline is not flat", None
        w = np.cross(normal, u)
        return centre, radius * x_scale, (u, w / np.linalg.norm(w) if np.linalg.norm(w) > 0.0 else u)
    return None, f"a {obj.type.lower()} object, neither an empty drawn as a circle nor a circle curve", None


def uneven_scale(obj, plane):
    """The world lengths of the two unit axes of a circle's plane when they
    differ (Blender then draws an ellipse, while the tag sees a circle of the
    world X scale), else None."""
    axes = host_axes.to_numpy(obj.matrix_world)[0:3, 0:3]
    a, b = (float(np.linalg.norm(axes @ v)) for v in plane)
    return (a, b) if abs(a - b) > CIRCLE_TOLERANCE * max(a, b) else None


def _evaluated_curve_points(obj, depsgraph):
    ev = obj.evaluated_get(depsgraph)
    mesh = ev.to_mesh()
    try:
        co = np.empty(len(mesh.vertices) * 3)
        mesh.vertices.foreach_get("co", co)
        return co.reshape(-1, 3)
    finally:
        ev.to_mesh_clear()


def terrain_mesh(obj, depsgraph):
    """(points, triangles) of the evaluated mesh, in the host's axes and the
    object's own coordinates. Triangles are wound the other way round, so that
    a face that looks up in Blender looks up in the host (swapping two axes
    mirrors the winding)."""
    ev = obj.evaluated_get(depsgraph)
    # The evaluated object's mesh (modifiers and shape keys applied) read
    # where it is: a copy (to_mesh) of a 2,000,000-triangle ground costs a
    # fifth of a second on every Simulate. to_mesh where there is none.
    mesh = ev.data if getattr(ev.data, "bl_rna", None) is not None and ev.data.bl_rna.identifier == "Mesh" else None
    copied = mesh is None
    if copied:
        mesh = ev.to_mesh()
    try:
        mesh.calc_loop_triangles()
        co = np.empty(len(mesh.vertices) * 3, dtype=np.float32)
        mesh.vertices.foreach_get("co", co)
        tris = ground_triangles.of(obj, mesh, depsgraph.scene.frame_current)
    finally:
        if copied:
            ev.to_mesh_clear()
    points = np.ascontiguousarray(co.reshape(-1, 3)[:, [0, 2, 1]])  # 32-bit, as the host keeps them
    triangles = tris.reshape(-1, 3)[:, [0, 2, 1]]
    if not np.isfinite(points).all():
        raise Problem(f"terrain '{obj.name}': its mesh has a point that is not a finite number")
    return points, triangles
