// Obstacle avoidance: does the agent's look-ahead meet a circle obstacle, and
// which way does it turn.
#include "Kestrelwood.h"
#include "scene_views.h"

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

// Squared distance between two positions, the y term first (as distanza).
Real SquaredDistance(const Vector& pa, const Vector& pb) {
  Real dy = pa.y - pb.y;
  Real dx = pa.x - pb.x;
  Real dz = pa.z - pb.z;
  return dy * dy + dx * dx + dz * dz;
}

}  // namespace

// Scans the circle obstacles for those nearer than radius + reach to the
// agent with global matrix a and whether its look-ahead sees them. The last
// one seen in child order decides the side; once an agent has a side
// (+1 / -1) it keeps it until the caller clears it. Returns the orientation
// to turn toward, or the zero vector when nothing is seen.
Vector Kestrelwood::controlla_ostacoli(const ObstacleView& obstacles, const Matrix& a, Real reach, Real halfWidth,
                                        Real angle, LONG index) {
  // Only the 100 agents with a record take part in obstacle avoidance.
  if (index < 0 || index >= MAX_AGENTS) return Vector();
  TVistaHelper& rec = VistaHelper[index];

  bool seen = false;
  LONG side = 0;
  for (LONG k = 0; k < obstacles.Count(); ++k) {
    const ObstacleEntry& e = obstacles[k];
    Real clear = e.radius + reach;
    Vector o = e.centre.Get();
    if (SquaredDistance(a.off, o) >= clear * clear) continue;
    if (SeesObstacle(a, o, e.radius, reach, halfWidth, &side)) seen = true;
  }

  if (!seen) {
    rec.obstacleSeen = 0;
    return Vector();
  }
  rec.obstacleSeen = 1;
  LONG& turn = turnSide[index];
  if (turn != 1 && turn != -1) turn = side == 1 ? 1 : -1;
  // As GetNewOrientation: the frame turned about its own Y axis.
  return MatrixToHPB(Kestrelwood::MatrixglobalrotY(a, turn == 1 ? angle : -angle));
}

// The rule on the sibling chain from first: its circle splines (radius
// parameter 2012) read, the agent's global matrix taken.
Vector Kestrelwood::controlla_ostacoli(BaseObject* agent, BaseObject* first, Real reach, Real halfWidth, Real angle,
                                        LONG index) {
  if (index < 0 || index >= MAX_AGENTS) return Vector();
  ObstacleView obstacles;
  if (!obstacles.Fill(first, nullptr)) {  // out of memory: nothing seen
    VistaHelper[index].obstacleSeen = 0;
    return Vector();
  }
  return controlla_ostacoli(obstacles, agent->GetGlobalMatrix(), reach, halfWidth, angle, index);
}
