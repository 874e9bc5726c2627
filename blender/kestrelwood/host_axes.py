"""Blender's axes and the host's, and the host's transform model.

Blender is right-handed with Z up; the host is left-handed with Y up. A point
(x, y, z) in Blender is (x, z, y) in the host, and an object's local X, Y, Z
axes in Blender are its X, Z, Y axes in the host, so an agent whose local +Y
points forward in Blender walks forward (along its host Z axis) in the host.
With S the matrix that swaps Y and Z, a host matrix is S M S of the Blender
matrix M, and the other way round.

Host matrices travel as 12 numbers, the offset and then the X, Y and Z axes
(off, v1, v2, v3), as the module's matrices and the CSV's columns do.
Blender matrices are 4x4 numpy arrays (rows, column vectors). Everything here
is double precision; Blender's own matrices are single, so they are taken
into numpy before any product or inverse.
"""

import math

import numpy as np

# Swaps Y and Z; its own inverse.
SWAP = np.array([[1.0, 0.0, 0.0, 0.0],
                 [0.0, 0.0, 1.0, 0.0],
                 [0.0, 1.0, 0.0, 0.0],
                 [0.0, 0.0, 0.0, 1.0]])

# Relative size of the skew between two axes below which a matrix counts as
# free of shear (the host's objects cannot hold a sheared local matrix).
SHEAR_TOLERANCE = 1e-4


def to_numpy(matrix):
    """A mathutils 4x4 matrix (or anything indexable as rows) in double."""
    return np.array([[float(matrix[r][c]) for c in range(4)] for r in range(4)])


def host_from_blender(m):
    """The 12 host numbers (off, v1, v2, v3) of a 4x4 Blender matrix."""
    h = SWAP @ np.asarray(m, dtype=float) @ SWAP
    return [h[0, 3], h[1, 3], h[2, 3],
            h[0, 0], h[1, 0], h[2, 0],
            h[0, 1], h[1, 1], h[2, 1],
            h[0, 2], h[1, 2], h[2, 2]]


def blender_from_host(h12):
    """The 4x4 Blender matrix of 12 host numbers (off, v1, v2, v3)."""
    h = host_4x4(h12)
    return SWAP @ h @ SWAP


def host_4x4(h12):
    """12 host numbers as a 4x4 matrix with the axes as columns."""
    off, v1, v2, v3 = h12[0:3], h12[3:6], h12[6:9], h12[9:12]
    m = np.identity(4)
    m[0:3, 0] = v1
    m[0:3, 1] = v2
    m[0:3, 2] = v3
    m[0:3, 3] = off
    return m


def blender_from_host_rows(rows):
    """Many host matrices at once: an (n, 12) array to (n, 4, 4) Blender
    matrices. Host v1, v2, v3 become Blender's X, Z and Y columns."""
    rows = np.asarray(rows, dtype=float)
    n = rows.shape[0]
    out = np.zeros((n, 4, 4))
    swap = [0, 2, 1]  # host component -> Blender component
    for col, start in ((3, 0), (0, 3), (2, 6), (1, 9)):  # off, v1 -> X, v2 -> Z, v3 -> Y
        out[:, swap, col] = rows[:, start:start + 3]
    out[:, 3, 3] = 1.0
    return out


def hpb_axes(h, p, b):
    """Unit X, Y, Z axes of the rotation (heading, pitch, bank), in the
    host's model: Z = (-sin H cos P, sin P, cos H cos P), h = (cos H, 0,
    sin H), Y0 = Z x h, X = cos B h - sin B Y0, Y = Z x X."""
    sh, ch, sp, cp, sb, cb = math.sin(h), math.cos(h), math.sin(p), math.cos(p), math.sin(b), math.cos(b)
    z = np.array([-sh * cp, sp, ch * cp])
    hor = np.array([ch, 0.0, sh])
    y0 = np.cross(z, hor)
    x = cb * hor - sb * y0
    y = np.cross(z, x)
    return x, y, z


def hpb_of_axes(x, z):
    """(heading, pitch, bank) whose axes are the unit axes x and z (the host's
    X and Z, orthogonal). The inverse of hpb_axes: H in (-pi, pi], P in
    [-pi/2, pi/2], B in (-pi, pi]."""
    p = math.asin(max(-1.0, min(1.0, z[1])))
    if math.hypot(z[0], z[2]) < 1e-12:
        # Z straight up or down: heading and bank turn about the same axis;
        # put it all in the heading (B = 0, X = h).
        return math.atan2(x[2], x[0]), p, 0.0
    h = math.atan2(-z[0], z[2])
    hor = np.array([math.cos(h), 0.0, math.sin(h)])
    y0 = np.cross(z, hor)
    y0 /= np.linalg.norm(y0)
    return h, p, math.atan2(-float(np.dot(x, y0)), float(np.dot(x, hor)))


def host_matrix_from_psr(position, hpb, scale):
    """The host's local matrix (12 numbers) of a position, rotation and scale."""
    x, y, z = hpb_axes(*hpb)
    return list(position) + list(x * scale[0]) + list(y * scale[1]) + list(z * scale[2])


class Decomposed:
    """A host local matrix as the scene file stores it."""

    def __init__(self, position, rotation, scale, shear):
        self.position = position  # [x, y, z]
        self.rotation = rotation  # [h, p, b], radians
        self.scale = scale        # [x, y, z]; x negative for a mirrored matrix
        self.shear = shear        # largest cosine between two axes


def decompose_host(h12):
    """Position, heading-pitch-bank and scale of a host matrix. A mirrored
    matrix (negative determinant) gets a negative X scale; a sheared one is
    made orthogonal about its Z axis, and `shear` says by how much it was
    off. A zero axis gets scale 0 and an axis chosen square to the others."""
    off = np.array(h12[0:3], dtype=float)
    axes = [np.array(h12[i:i + 3], dtype=float) for i in (3, 6, 9)]
    lengths = [float(np.linalg.norm(a)) for a in axes]
    units = [a / n if n > 0.0 else None for a, n in zip(axes, lengths)]
    shear = 0.0
    for i, j in ((0, 1), (0, 2), (1, 2)):
        if units[i] is not None and units[j] is not None:
            shear = max(shear, abs(float(np.dot(units[i], units[j]))))
    det = float(np.linalg.det(np.column_stack(axes)))
    sx = -lengths[0] if det < 0.0 else lengths[0]
    x, y, z = units
    if x is not None and det < 0.0:
        x = -x
    # Fill in zero axes so that a rotation can still be found.
    if z is None:
        z = np.cross(x, y) if x is not None and y is not None else (
            _square_to(x if x is not None else y) if (x is not None or y is not None) else np.array([0.0, 0.0, 1.0]))
    if x is None:
        x = np.cross(y, z) if y is not None else _square_to(z)
    # Orthogonal about Z, as the host builds its axes from Z outwards.
    z = z / np.linalg.norm(z)
    x = x - np.dot(x, z) * z
    n = np.linalg.norm(x)
    x = x / n if n > 1e-12 else _square_to(z)
    h, p, b = hpb_of_axes(x, z)
    # + 0.0 turns a negative zero into zero.
    return Decomposed([float(c) + 0.0 for c in off], [h + 0.0, p + 0.0, b + 0.0],
                      [sx + 0.0, lengths[1], lengths[2]], shear)


def _square_to(v):
    """A unit vector square to v."""
    helper = np.array([1.0, 0.0, 0.0]) if abs(v[0]) < 0.9 else np.array([0.0, 1.0, 0.0])
    w = np.cross(v, helper)
    return w / np.linalg.norm(w)
