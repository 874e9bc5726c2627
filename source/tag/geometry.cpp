// Vector and matrix arithmetic of the steering rules, all in single
// precision; none of it touches the tag's state or parameters.
#include "Kestrelwood.h"

// Turns the frame m about its own Y axis, through its own origin: m x RotY.
// The full product is evaluated (terms with a zero factor included), so a
// frame with non-finite axes gives what the product gives.
Matrix Kestrelwood::MatrixglobalrotY(Matrix m, Real angle) { return m * MatrixRotY(angle); }

// The absolute orientation op would have after turning by +angle (side 1) or
// -angle (any other side) about its own Y axis; side 1 swings the forward
// axis toward the object's -X side.
Vector Kestrelwood::GetNewOrientation(LONG side, BaseObject* op, Real angle) {
  Matrix m = op->GetGlobalMatrix();
  Real a = side == 1 ? angle : -angle;
  return MatrixToHPB(MatrixglobalrotY(m, a));
}

// Squared distance between the two objects' positions (y term first).
Real Kestrelwood::distanza(BaseObject* a, BaseObject* b) {
  Vector pa = a->GetGlobalMatrix().off;
  Vector pb = b->GetGlobalMatrix().off;
  Real dy = pa.y - pb.y;
  Real dx = pa.x - pb.x;
  Real dz = pa.z - pb.z;
  return dy * dy + dx * dx + dz * dz;
}

// Look-ahead of the ray origin + s * direction against a sphere: 0.0 when
// origin is inside or on the sphere, -1.0 for a miss or a crossing beyond
// reach, else the distance |s| of the nearer crossing (also when it lies
// behind the origin). direction is used as given, not normalised.
Real Kestrelwood::VectorInSphere(Vector origin, Vector direction, Real reach, Vector centre, Real radius) {
  Vector d = centre - origin;
  Real u = Sqrt(d * d);
  Real u2 = u * u;
  Real r2 = radius * radius;
  if (!(u2 > r2)) return 0.0f;
  Real t = d * direction;
  Real disc = t * t + r2 - u2;
  if (disc < 0.0f) return -1.0f;
  Real s = t - Sqrt(disc);
  Real dist = FAbs(s);
  if (reach >= dist) return dist;
  return -1.0f;
}

// The point at the signed distance length from base along direction; base
// itself for a zero direction.
Vector Kestrelwood::VectorProjection(Real length, Vector direction, Vector base) {
  Real l = Sqrt(direction.y * direction.y + direction.x * direction.x + direction.z * direction.z);
  if (l == 0.0f) return base;
  Real inv = 1.0f / l;
  return Vector(inv * direction.x * length + base.x, inv * direction.y * length + base.y,
                inv * direction.z * length + base.z);
}
