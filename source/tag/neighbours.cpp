// Neighbour rules: repulsion from nearby agents (with the speed factor),
// alignment with them, and the direction to the target. The pairs are
// scanned over a snapshot of the group (neighbour_scan.h).
#include "Kestrelwood.h"
#include "neighbour_scan.h"

// f = nearestAhead / (radius * 0.5) * factor in double, stored as float,
// then clamped to [0, 1], a non-number giving 1.
Real ScaleSpeedFactor(Real factor, Real nearestAhead, Real radius) {
  LReal f = static_cast<LReal>(nearestAhead) / (static_cast<LReal>(radius) * 0.5) * static_cast<LReal>(factor);
  Real stored = static_cast<Real>(f);
  if (stored > 1.0f || !(stored >= 0.0f)) stored = 1.0f;
  return stored;
}

// (mH / l, 0, mB / l) of the mean heading and bank, or the zero vector.
Vector AlignmentDirection(Real sumH, Real sumB, LONG count) {
  if (count == 0) return Vector();
  Real mH = sumH / static_cast<Real>(count);
  Real mB = sumB / static_cast<Real>(count);
  Real l = Sqrt(mB * mB + mH * mH);
  if (l == 0.0f) return Vector();
  return Vector(mH / l, 0.0f, mB / l);
}

Vector TargetDirection(const Vector& a, const Vector& t) {
  Real dx = t.x - a.x;
  Real dz = t.z - a.z;
  Real l = Sqrt(dz * dz + dx * dx);
  if (l == 0.0f) return Vector();
  return Vector(dx / l, 0.0f, dz / l);
}

namespace {

// One rule's scan of agent among the children of group. FALSE when the
// group cannot be read (no memory for its snapshot): then no neighbour.
Bool ScanGroup(BaseObject* agent, BaseObject* group, Real repulsionRadius, Real alignmentRadius,
               NeighbourSums* sums) {
  CrowdSnapshot crowd;
  const Matrix a = agent->GetGlobalMatrix();
  if (!crowd.Fill(group->GetDown())) {
    ScanNeighbours(crowd, -1, a.off, a.off, 0.0f, 0.0f, sums);
    sums->nearestAhead = repulsionRadius;
    return FALSE;
  }
  ScanNeighbours(crowd, crowd.IndexOf(agent, -1), a.off, a.off + repulsionRadius * a.v3, repulsionRadius,
                 alignmentRadius, sums);
  return TRUE;
}

}  // namespace

// Sum of unit pushes away from every other child of group within radius,
// weighted 1 at zero distance down to 0 at radius. *factor is scaled by how
// close the nearest neighbour comes to the point one radius ahead of the
// agent (2 * nearest / radius), in double and stored as float, then clamped
// to [0, 1], a non-number giving 1.
Vector Kestrelwood::AgentsRepulsion(BaseObject* agent, BaseObject* group, Real radius, Real* factor) {
  NeighbourSums sums;
  ScanGroup(agent, group, radius, 0.0f, &sums);
  *factor = ScaleSpeedFactor(*factor, sums.nearestAhead, radius);
  return sums.push;
}

// The mean heading and mean bank of the other children of group within
// radius, read as the x and z of a horizontal direction and normalised.
Vector Kestrelwood::AgentsAlignment(BaseObject* agent, BaseObject* group, Real radius) {
  NeighbourSums sums;
  ScanGroup(agent, group, 0.0f, radius, &sums);
  return AlignmentDirection(sums.sumH, sums.sumB, sums.count);
}

// Unit horizontal direction from the agent to the target; zero when they
// share x and z.
Vector Kestrelwood::Lookfortarget(BaseObject* agent, BaseObject* target) {
  return TargetDirection(agent->GetGlobalMatrix().off, target->GetGlobalMatrix().off);
}
