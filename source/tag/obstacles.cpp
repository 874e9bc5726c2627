// Obstacle avoidance: does the agent's look-ahead meet a circle obstacle, and
// which way does it turn.
#include "Kestrelwood.h"

namespace {

// Whether the look-ahead of the agent with global matrix a sees the circle
// obstacle at o of radius r; *side is 1 when the obstacle lies nearer the
// agent's +X side, 0 when nearer its -X side or dead ahead.
bool SeesObstacle(const Matrix& a, const Vector& o, Real r, Real reach, Real halfWidth, LONG* side) {
  Vector plus = a.off + halfWidth * a.v1;
  Vector minus = a.off - halfWidth * a.v1;
  Real dPlus = Len(plus - o);
  Real dMinus = Len(minus - o);
  Vector from = minus;
  LONG flag = 0;
  if (!(dPlus >= dMinus)) {
    from = plus;
    flag = 1;
  }
  Real d = Kestrelwood::VectorInSphere(from, a.v3, reach, o, r);
  if (d < 0.0f) return false;
  *side = flag;
  return true;
}

}  // namespace

// Scans the sibling chain from first for circle splines (radius parameter
// 2012) nearer than radius + reach. The last one seen in child order decides
// the side; once an agent has a side (+1 / -1) it keeps it until the caller
// clears it. Returns the orientation to turn toward, or the zero vector when
// nothing is seen.
Vector Kestrelwood::controlla_ostacoli(BaseObject* agent, BaseObject* first, Real reach, Real halfWidth, Real angle,
                                        LONG index) {
  // Only the 100 agents with a record take part in obstacle avoidance.
  if (index < 0 || index >= MAX_AGENTS) return Vector();
  TVistaHelper& rec = VistaHelper[index];

  bool seen = false;
  LONG side = 0;
  for (BaseObject* n = first; n; n = n->GetNext()) {
    if (n->GetType() != Ospline_circle) continue;
    Real r = n->GetData().GetReal(PRIM_CIRCLE_RADIUS, 0.0f);
    Real clear = r + reach;
    if (distanza(agent, n) >= clear * clear) continue;
    Matrix a = agent->GetGlobalMatrix();
    Vector o = n->GetGlobalMatrix().off;
    if (SeesObstacle(a, o, r, reach, halfWidth, &side)) seen = true;
  }

  if (!seen) {
    rec.obstacleSeen = 0;
    return Vector();
  }
  rec.obstacleSeen = 1;
  if (turnSide[index] != 1 && turnSide[index] != -1) turnSide[index] = side == 1 ? 1 : -1;
  return GetNewOrientation(turnSide[index], agent, angle);
}
