// Neighbour rules: repulsion from nearby agents (with the speed factor),
// alignment with them, and the direction to the target.
#include "Kestrelwood.h"

// Sum of unit pushes away from every other child of group within radius,
// weighted 1 at zero distance down to 0 at radius. *factor is scaled by how
// close the nearest neighbour comes to the point one radius ahead of the
// agent (2 * nearest / radius), in double and stored as float, then clamped
// to [0, 1], a non-number giving 1.
Vector Kestrelwood::AgentsRepulsion(BaseObject* agent, BaseObject* group, Real radius, Real* factor) {
  Vector sum;
  Real nearestAhead = radius;
  BaseObject* first = group->GetDown();
  if (first && radius > 0.0f) {
    Matrix a = agent->GetGlobalMatrix();
    for (BaseObject* n = first; n; n = n->GetNext()) {
      if (n == agent) continue;
      Vector p = n->GetGlobalMatrix().off;
      Real d = Len(a.off - p);
      if (d > radius) continue;
      Vector v = a.off - p;
      Real l = Len(v);
      if (l != 0.0f) sum += v * (1.0f / l) * (1.0f - d / radius);
      Real e = Len(a.off + radius * a.v3 - p);
      if (e < nearestAhead) nearestAhead = e;
    }
  }
  LReal f = static_cast<LReal>(nearestAhead) / (static_cast<LReal>(radius) * 0.5) * static_cast<LReal>(*factor);
  Real stored = static_cast<Real>(f);
  if (stored > 1.0f || !(stored >= 0.0f)) stored = 1.0f;
  *factor = stored;
  return sum;
}

// The mean heading and mean bank of the other children of group within
// radius, read as the x and z of a horizontal direction and normalised.
Vector Kestrelwood::AgentsAlignment(BaseObject* agent, BaseObject* group, Real radius) {
  BaseObject* first = group->GetDown();
  if (!first || radius <= 0.0f) return Vector();
  Matrix a = agent->GetGlobalMatrix();
  Real sumH = 0.0f;
  Real sumB = 0.0f;
  LONG count = 0;
  for (BaseObject* n = first; n; n = n->GetNext()) {
    if (n == agent) continue;
    Vector p = n->GetGlobalMatrix().off;
    if (!(Len(a.off - p) <= radius)) continue;
    Vector r = n->GetRotation();
    sumH += r.x;
    sumB += r.z;
    ++count;
  }
  if (count == 0) return Vector();
  Real mH = sumH / static_cast<Real>(count);
  Real mB = sumB / static_cast<Real>(count);
  Real l = Sqrt(mB * mB + mH * mH);
  if (l == 0.0f) return Vector();
  return Vector(mH / l, 0.0f, mB / l);
}

// Unit horizontal direction from the agent to the target; zero when they
// share x and z.
Vector Kestrelwood::Lookfortarget(BaseObject* agent, BaseObject* target) {
  Vector a = agent->GetGlobalMatrix().off;
  Vector t = target->GetGlobalMatrix().off;
  Real dx = t.x - a.x;
  Real dz = t.z - a.z;
  Real l = Sqrt(dz * dz + dx * dx);
  if (l == 0.0f) return Vector();
  return Vector(dx / l, 0.0f, dz / l);
}
