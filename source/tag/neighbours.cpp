// Neighbour rules: repulsion from nearby agents (with the speed factor),
// alignment with them, and the direction to the target.
#include "Kestrelwood.h"
#include "crowd_snapshot.h"

namespace {

// The other children of the group, from the host or from a snapshot of them.
// Each visits (child, global position, index) in child order; Rotation reads
// the rotation of a visited child.
struct HostChildren {
  BaseObject* first;
  template <class F>
  void Each(F visit) const {
    LONG i = 0;
    for (BaseObject* n = first; n; n = n->GetNext(), ++i) visit(n, n->GetGlobalMatrix().off, i);
  }
  Vector Rotation(BaseObject* n, LONG) const { return n->GetRotation(); }
};

struct SnapshotChildren {
  const CrowdSnapshot* s;
  template <class F>
  void Each(F visit) const {
    for (LONG i = 0; i < s->count; ++i) visit(s->object[i], s->position[i], i);
  }
  Vector Rotation(BaseObject*, LONG i) const { return s->rotation[i]; }
};

// True only where Len(d) > radius is certain without computing it: one
// horizontal component at least twice the radius. Rounding cannot bring such
// a length back to the radius, so skipping these pairs changes no result; a
// radius too large for the doubling, or any non-number, is never skipped.
inline bool SurelyBeyond(const Vector& d, Real radius) {
  if (!(radius <= 1.0e30f)) return false;
  Real twice = radius + radius;
  return FAbs(d.x) >= twice || FAbs(d.z) >= twice;
}

template <class Children>
Vector Repulsion(BaseObject* agent, const Children& children, Real radius, Real* factor) {
  Vector sum;
  Real nearestAhead = radius;
  if (radius > 0.0f) {
    Matrix a = agent->GetGlobalMatrix();
    children.Each([&](BaseObject* n, const Vector& p, LONG) {
      if (n == agent) return;
      Vector v = a.off - p;
      if (SurelyBeyond(v, radius)) return;
      Real d = Len(v);
      if (d > radius) return;
      Real l = Len(v);
      if (l != 0.0f) sum += v * (1.0f / l) * (1.0f - d / radius);
      Real e = Len(a.off + radius * a.v3 - p);
      if (e < nearestAhead) nearestAhead = e;
    });
  }
  LReal f = static_cast<LReal>(nearestAhead) / (static_cast<LReal>(radius) * 0.5) * static_cast<LReal>(*factor);
  Real stored = static_cast<Real>(f);
  if (stored > 1.0f || !(stored >= 0.0f)) stored = 1.0f;
  *factor = stored;
  return sum;
}

template <class Children>
Vector Alignment(BaseObject* agent, const Children& children, Real radius) {
  if (radius <= 0.0f) return Vector();
  Matrix a = agent->GetGlobalMatrix();
  Real sumH = 0.0f;
  Real sumB = 0.0f;
  LONG count = 0;
  children.Each([&](BaseObject* n, const Vector& p, LONG i) {
    if (n == agent) return;
    Vector v = a.off - p;
    if (SurelyBeyond(v, radius) || !(Len(v) <= radius)) return;
    Vector r = children.Rotation(n, i);
    sumH += r.x;
    sumB += r.z;
    ++count;
  });
  if (count == 0) return Vector();
  Real mH = sumH / static_cast<Real>(count);
  Real mB = sumB / static_cast<Real>(count);
  Real l = Sqrt(mB * mB + mH * mH);
  if (l == 0.0f) return Vector();
  return Vector(mH / l, 0.0f, mB / l);
}

}  // namespace

// Sum of unit pushes away from every other child of group within radius,
// weighted 1 at zero distance down to 0 at radius. *factor is scaled by how
// close the nearest neighbour comes to the point one radius ahead of the
// agent (2 * nearest / radius), in double and stored as float, then clamped
// to [0, 1], a non-number giving 1.
Vector Kestrelwood::AgentsRepulsion(BaseObject* agent, BaseObject* group, Real radius, Real* factor,
                                    const CrowdSnapshot* crowd) {
  // With no neighbours nothing pushes; the factor is still scaled.
  BaseObject* first = group->GetDown();
  if (first && crowd && crowd->count >= 0) return Repulsion(agent, SnapshotChildren{crowd}, radius, factor);
  return Repulsion(agent, HostChildren{first}, radius, factor);
}

// The mean heading and mean bank of the other children of group within
// radius, read as the x and z of a horizontal direction and normalised.
Vector Kestrelwood::AgentsAlignment(BaseObject* agent, BaseObject* group, Real radius, const CrowdSnapshot* crowd) {
  BaseObject* first = group->GetDown();
  if (!first) return Vector();
  if (crowd && crowd->count >= 0) return Alignment(agent, SnapshotChildren{crowd}, radius);
  return Alignment(agent, HostChildren{first}, radius);
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
