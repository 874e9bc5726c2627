#include "affine_inverse.h"

Matrix AffineInverse(const Matrix& m) {
  // Columns of the axis part: a = v1, b = v2, c = v3.
  const LReal ax = m.v1.x, ay = m.v1.y, az = m.v1.z;
  const LReal bx = m.v2.x, by = m.v2.y, bz = m.v2.z;
  const LReal cx = m.v3.x, cy = m.v3.y, cz = m.v3.z;

  // Rows of the inverse are (b x c, c x a, a x b) / det.
  const LReal r0x = by * cz - bz * cy, r0y = bz * cx - bx * cz, r0z = bx * cy - by * cx;
  const LReal r1x = cy * az - cz * ay, r1y = cz * ax - cx * az, r1z = cx * ay - cy * ax;
  const LReal r2x = ay * bz - az * by, r2y = az * bx - ax * bz, r2z = ax * by - ay * bx;
  const LReal det = ax * r0x + ay * r0y + az * r0z;
  if (det == 0.0) return Matrix();

  const LReal inv = 1.0 / det;
  // Entry (row i, column j) of the inverse is r_i.j / det; column j is the
  // inverse's axis j.
  const LReal i00 = r0x * inv, i01 = r0y * inv, i02 = r0z * inv;
  const LReal i10 = r1x * inv, i11 = r1y * inv, i12 = r1z * inv;
  const LReal i20 = r2x * inv, i21 = r2y * inv, i22 = r2z * inv;

  const LReal ox = m.off.x, oy = m.off.y, oz = m.off.z;
  const LReal tx = -(i00 * ox + i01 * oy + i02 * oz);
  const LReal ty = -(i10 * ox + i11 * oy + i12 * oz);
  const LReal tz = -(i20 * ox + i21 * oy + i22 * oz);

  return Matrix(Vector(static_cast<Real>(tx), static_cast<Real>(ty), static_cast<Real>(tz)),
                Vector(static_cast<Real>(i00), static_cast<Real>(i10), static_cast<Real>(i20)),
                Vector(static_cast<Real>(i01), static_cast<Real>(i11), static_cast<Real>(i21)),
                Vector(static_cast<Real>(i02), static_cast<Real>(i12), static_cast<Real>(i22)));
}
