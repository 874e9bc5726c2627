// Neighbour rules: repulsion from nearby agents (with the speed factor),
// alignment with them, and the direction to the target. Repulsion and
// alignment take their pairs from one scan of the crowd snapshot
// (neighbour_scan.h); the update makes that scan once for both.
#include "Kestrelwood.h"
#include "neighbour_scan.h"

// The sum of unit pushes away from every neighbour within radius, weighted
// 1 at zero distance down to 0 at radius, as the scan added them. *factor is
// scaled by how close the nearest neighbour comes to the point one radius
// ahead of the agent (2 * nearest / radius), in double and stored as float,
// then clamped to [0, 1], a non-number giving 1.
Vector Kestrelwood::AgentsRepulsion(const NeighbourSums& sums, Real radius, Real* factor) {
  LReal f = static_cast<LReal>(sums.nearestAhead) / (static_cast<LReal>(radius) * 0.5) * static_cast<LReal>(*factor);
  Real stored = static_cast<Real>(f);
  if (stored > 1.0f || !(stored >= 0.0f)) stored = 1.0f;
  *factor = stored;
  return sums.push;
}

// The mean heading and mean bank of the neighbours within the alignment
// radius, read as the x and z of a horizontal direction and normalised:
// (mH / l, 0, mB / l), or the zero vector when there is none or l is 0.
Vector Kestrelwood::AgentsAlignment(const NeighbourSums& sums) {
  if (sums.count == 0) return Vector();
  Real mH = sums.sumH / static_cast<Real>(sums.count);
  Real mB = sums.sumB / static_cast<Real>(sums.count);
  Real l = Sqrt(mB * mB + mH * mH);
  if (l == 0.0f) return Vector();
  return Vector(mH / l, 0.0f, mB / l);
}

// Unit horizontal direction from the agent's position to the target's; zero
// when they share x and z.
Vector Kestrelwood::Lookfortarget(const Vector& agent, const Vector& target) {
  Real dx = target.x - agent.x;
  Real dz = target.z - agent.z;
  Real l = Sqrt(dz * dz + dx * dx);
  if (l == 0.0f) return Vector();
  return Vector(dx / l, 0.0f, dz / l);
}

namespace {

// One rule's scan of agent among the children of group. When the group
// cannot be read (no memory for its snapshot) there is no neighbour.
void ScanGroup(BaseObject* agent, BaseObject* group, Real repulsionRadius, Real alignmentRadius,
               NeighbourSums* sums) {
  CrowdSnapshot crowd;
  const Matrix a = agent->GetGlobalMatrix();
  if (!crowd.Fill(group->GetDown())) {
    ScanNeighbours(crowd, -1, a.off, a.off, 0.0f, 0.0f, sums);
    sums->nearestAhead = repulsionRadius;
    return;
  }
  ScanNeighbours(crowd, crowd.IndexOf(agent, -1), a.off, a.off + repulsionRadius * a.v3, repulsionRadius,
                 alignmentRadius, sums);
}

}  // namespace

// The rules on the host's objects: the other children of group scanned for
// the agent.
Vector Kestrelwood::AgentsRepulsion(BaseObject* agent, BaseObject* group, Real radius, Real* factor) {
  NeighbourSums sums;
  ScanGroup(agent, group, radius, 0.0f, &sums);
  return AgentsRepulsion(sums, radius, factor);
}

Vector Kestrelwood::AgentsAlignment(BaseObject* agent, BaseObject* group, Real radius) {
  NeighbourSums sums;
  ScanGroup(agent, group, 0.0f, radius, &sums);
  return AgentsAlignment(sums);
}

Vector Kestrelwood::Lookfortarget(BaseObject* agent, BaseObject* target) {
  return Lookfortarget(agent->GetGlobalMatrix().off, target->GetGlobalMatrix().off);
}
