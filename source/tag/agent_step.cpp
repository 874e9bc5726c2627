#include "agent_step.h"

#include "neighbour_scan.h"

namespace {

const Real kEase = 0.1f;  // share of the remaining turn taken per step

// The agent's frame tilted so that its Y axis follows the ground normal n,
// its Z axis as near its current one as that allows.
Matrix TiltToNormal(Matrix g, const Vector& n) {
  g.v1 = Normalize(n % g.v3);
  g.v2 = Normalize(n);
  g.v3 = Normalize(g.v1 % g.v2);
  return g;
}

// The pitch t, but no farther than maxStep from the current pitch r when a
// limit is set.
Real LimitPitch(Real t, Real r, Real maxStep) {
  if (maxStep > 0.0f && FAbs(r - t) > maxStep) return t >= r ? r + maxStep : r - maxStep;
  return t;
}

}  // namespace

Vector WishedOrientation(Kestrelwood& tag, const StepContext& c, LONG i, const Matrix& m, const Vector& r) {
  const StepParams& p = c.p;
  TVistaHelper& rec = VistaHelper[i];

  // Obstacles: the turn away from what the vision probe sees.
  Vector w;
  if (c.obstacles) w = AvoidObstacles(tag, *c.obstacles, m, p.visionLength, p.visionHalfWidth, p.avoidAngle, i);
  rec.speedFactor = 1.0f;
  if (w.x != 0.0f || w.y != 0.0f || w.z != 0.0f) return GetOptimalAngle(r, w);

  // No obstacle: target, then repulsion (which may slow the agent), then
  // alignment, weighted and summed; both neighbour rules in one scan.
  tag.turnSide[i] = 0;
  Vector g = TargetDirection(m.off, c.target.Get()) * p.targetWeight;
  NeighbourSums s;
  ScanNeighbours(*c.crowd, i, m.off, m.off + p.repulsionRadius * m.v3, p.repulsionRadius, p.alignmentRadius, &s);
  rec.speedFactor = ScaleSpeedFactor(rec.speedFactor, s.nearestAhead, p.repulsionRadius);
  Vector rp = s.push;
  Vector a = AlignmentDirection(s.sumH, s.sumB, s.count);
  Vector d(rp.x * p.repulsionWeight + p.alignmentWeight * a.x + g.x,
           rp.y * p.repulsionWeight + p.alignmentWeight * a.y + g.y,
           rp.z * p.repulsionWeight + p.alignmentWeight * a.z + g.z);
  return VectorToHPB(d);
}

Vector EaseOrientation(const Vector& r, const Vector& w) {
  Real dH = w.x - r.x;
  // A single-precision difference against the double pi: 3.1415925f is not
  // wrapped, 3.1415927f (above pi) is.
  if (FAbs(static_cast<LReal>(dH)) > pi) {
    LReal d = static_cast<LReal>(dH);
    dH = static_cast<Real>(dH > 0.0f ? d - 2.0 * pi : d + 2.0 * pi);
  }
  return Vector(r.x + kEase * dH, r.y, r.z + kEase * (w.z - r.z));
}

Vector PlannedPosition(const Vector& off, Real heading, Real f) {
  LReal h = static_cast<LReal>(heading);
  LReal step = static_cast<LReal>(f);
  return Vector(static_cast<Real>(static_cast<LReal>(off.x) - sin(h) * step), off.y,
                static_cast<Real>(static_cast<LReal>(off.z) + cos(h) * step));
}

void FollowTerrain(GeRayCollider* collider, const StepContext& c, const Matrix& m, const Vector& r, LONG i,
                   Vector* pos, Vector* n) {
  TVistaHelper& rec = VistaHelper[i];
  Matrix planned = m;
  planned.off = *pos;
  if (!FindGround(collider, c.terrain, planned, &rec)) return;

  *pos = rec.position;
  // A contact without a normal (degenerate face, or none fetched yet) gives
  // no frame to tilt to: the agent keeps the pitch and bank of its easing.
  Vector normal = rec.groundNormal;
  if (normal.x == 0.0f && normal.y == 0.0f && normal.z == 0.0f) return;

  // The agent has not moved yet: m and r are still its matrix and rotation.
  Vector t = MatrixToHPB(TiltToNormal(m, normal));
  n->y = LimitPitch(t.y, r.y, c.p.maxPitchStep);
  n->z = t.z;
}

void WriteBack(BaseObject* agent, const Vector& n, const Vector& pos) {
  agent->SetRotation(n);
  Matrix m = agent->GetGlobalMatrix();
  m.off = pos;
  agent->SetGlobalMatrix(m, 0);
}
