// Camera framing: how far back a perspective camera must stand, looking at a
// target along a given direction, for a set of points to fit the part of the
// view that the side panel leaves free. Plain arrays, no three.js, so that
// node can test it alone.

const dot = (a, b) => a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
const cross = (a, b) => [a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]];
const unit = (a) => { const l = Math.hypot(a[0], a[1], a[2]) || 1; return [a[0] / l, a[1] / l, a[2] / l]; };

// The camera's right and up axes for a view from the target towards `back`
// (a unit vector from the target to the camera), world up +Y.
export function cameraAxes(back) {
  const right = unit(cross([0, 1, 0], back));
  return { right, up: cross(back, right) };
}

// points: flat x, y, z. tanX, tanY: tangents of the half angles, measured
// from the view's centre (the target), within which the points must stay.
// Returns the distance from the target to the camera (0 for no points).
export function fitDistance(points, target, back, tanX, tanY) {
  const { right, up } = cameraAxes(back);
  let d = 0;
  const v = [0, 0, 0];
  for (let i = 0; i + 2 < points.length; i += 3) {
    v[0] = points[i] - target[0]; v[1] = points[i + 1] - target[1]; v[2] = points[i + 2] - target[2];
    if (!Number.isFinite(v[0] + v[1] + v[2])) continue;
    // At distance d a point lies d - z ahead of the camera; it is in view when
    // |x| <= (d - z) tanX and |y| <= (d - z) tanY.
    const z = dot(v, back);
    d = Math.max(d, z + Math.abs(dot(v, right)) / tanX, z + Math.abs(dot(v, up)) / tanY);
  }
  return d;
}

// The centre of the points' box, and the box's size (flat x, y, z input).
export function boxOf(points) {
  const lo = [Infinity, Infinity, Infinity], hi = [-Infinity, -Infinity, -Infinity];
  for (let i = 0; i + 2 < points.length; i += 3) {
    if (!Number.isFinite(points[i] + points[i + 1] + points[i + 2])) continue;
    for (let k = 0; k < 3; k++) {
      lo[k] = Math.min(lo[k], points[i + k]);
      hi[k] = Math.max(hi[k], points[i + k]);
    }
  }
  if (!(hi[0] >= lo[0])) return null;
  return { min: lo, max: hi, centre: lo.map((v, k) => (v + hi[k]) / 2), size: lo.map((v, k) => hi[k] - v) };
}

// Of the candidate view directions (unit vectors from the target towards the
// camera), the first one whose distance is within 10% of the nearest: a long
// run is seen across its length rather than end on, while a run that fits
// either way keeps the first (the default) view.
export function bestDirection(points, target, candidates, tanX, tanY) {
  const ds = candidates.map((c) => fitDistance(points, target, c, tanX, tanY));
  const best = Math.min(...ds);
  const k = ds.findIndex((d) => d <= best * 1.1);
  return { back: candidates[k], distance: ds[k] };
}

// The view direction at `elevation` radians above the ground, from the side
// `azimuth` radians round the Y axis from +Z.
export function direction(azimuth, elevation) {
  return [Math.sin(azimuth) * Math.cos(elevation), Math.sin(elevation), Math.cos(azimuth) * Math.cos(elevation)];
}
