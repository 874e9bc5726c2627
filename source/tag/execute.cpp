// The per-evaluation update: one call steps the whole crowd by one step, or
// puts it back to its recorded start at and before the document's first
// frame. Kestrelwood::Execute below reads top to bottom in its phases:
// parameters, collider, start state, frame, restore, steer, ease, move,
// ground, write back.
//
// The rules it calls by their names live with their own tests:
//   controlla_ostacoli            obstacles.cpp, on the obstacles as read once
//                                 per step (scene_views.h)
//   Lookfortarget, AgentsRepulsion, AgentsAlignment
//                                 neighbours.cpp; the last two on one scan of
//                                 the crowd snapshot for both
//                                 (neighbour_scan.h, crowd_snapshot.h)
//   Verifica_collisione_terreno   terrain.cpp, on the terrain's matrices as
//                                 read once per step (scene_views.h)
//   orientation helpers           the host boundary (VectorToHPB,
//                                 GetOptimalAngle, MatrixToHPB)
//   start table                   start_table.h (its layout; written by the
//                                 record start command, record_start.cpp)
//   per-agent records             vision_helper.h
#include "Kestrelwood.h"
#include "crowd_snapshot.h"
#include "neighbour_scan.h"
#include "scene_views.h"
#include "start_table.h"

namespace {

const Real kEase = 0.1f;  // share of the remaining turn taken per step

// What one call reads of the tag's parameters. Each value comes from a fresh
// copy of the tag's container, as the host expects of an expression that may
// be edited between evaluations; links are resolved in the document
// evaluated, every real defaults to 0.0.
struct Params {
  BaseObject* target;
  BaseObject* group;
  BaseObject* obstacles;
  BaseObject* terrain;
  Real visionLength;     // scene units
  Real visionHalfWidth;  // scene units
  Real avoidAngle;       // radians
  Real targetWeight;
  Real repulsionWeight;
  Real alignmentWeight;
  Real repulsionRadius;  // scene units
  Real alignmentRadius;  // scene units
  Real maxPitchStep;     // radians per step; 0 or less: no limit
};

BaseObject* Link(PluginTag* tag, LONG id, BaseDocument* doc) { return tag->GetData().GetObjectLink(id, doc); }
Real Value(PluginTag* tag, LONG id) { return tag->GetData().GetReal(id, 0.0f); }

Params ReadParams(PluginTag* tag, BaseDocument* doc) {
  Params p;
  p.target = Link(tag, TARGET, doc);
  p.group = Link(tag, AGENTS_GROUP, doc);
  p.obstacles = Link(tag, OBSTACLES_GROUP, doc);
  p.terrain = Link(tag, TERRAIN, doc);
  p.visionLength = Value(tag, VISION_LENGTH);
  p.visionHalfWidth = Value(tag, VISION_HALF_WIDTH);
  p.avoidAngle = Value(tag, AVOID_ANGLE);
  p.targetWeight = Value(tag, TARGET_WEIGHT);
  p.repulsionWeight = Value(tag, REPULSION_WEIGHT);
  p.alignmentWeight = Value(tag, ALIGNMENT_WEIGHT);
  p.repulsionRadius = Value(tag, REPULSION_RADIUS);
  p.alignmentRadius = Value(tag, ALIGNMENT_RADIUS);
  p.maxPitchStep = Value(tag, MAX_PITCH_STEP);
  return p;
}

// The ray collider of one call, built with the force flag on the terrain's
// geometry as it is now, and freed on every way out of the call. Null when
// the host cannot make one: the crowd then walks flat.
class ScopedCollider {
 public:
  explicit ScopedCollider(BaseObject* terrain) : rc_(GeRayCollider::Alloc()) {
    if (rc_ && terrain) rc_->Init(terrain, TRUE);
  }
  ~ScopedCollider() { GeRayCollider::Free(rc_); }
  ScopedCollider(const ScopedCollider&) = delete;
  ScopedCollider& operator=(const ScopedCollider&) = delete;
  GeRayCollider* Get() const { return rc_; }

 private:
  GeRayCollider* rc_;
};

// The stored start pairs into tag.startMatrix and the speeds of VistaHelper,
// at most MAX_AGENTS of them; a pair the table does not hold, or whose
// identifiers leave the 32-bit range, reads as absent (identity, 0.0).
// Every entry is read from a fresh copy of the tag's container.
void LoadStartState(Kestrelwood& tag, PluginTag* node) {
  LONG countId = node->GetData().GetLong(START_COUNT_ID, 0);
  LONG n = node->GetData().GetLong(countId, 0);
  if (n > MAX_AGENTS) n = MAX_AGENTS;
  for (LONG k = 0; k < n; ++k) {
    LONG matrixId = 0;
    LONG speedId = 0;
    tag.startMatrix[k] =
        StartMatrixId(countId, k, &matrixId) ? node->GetData().GetMatrix(matrixId, Matrix()) : Matrix();
    VistaHelper[k].speed = StartSpeedId(countId, k, &speedId) ? node->GetData().GetReal(speedId, 0.0f) : 0.0f;
  }
}

Real FloorR(Real x) { return static_cast<Real>(floor(static_cast<LReal>(x))); }

LONG TruncateToLong(LReal q) {
  if (!(q == q)) return INT32_MIN;
  if (q >= 2147483647.0) return INT32_MAX;
  if (q <= -2147483648.0) return INT32_MIN;
  return static_cast<LONG>(q);
}

// The agent's frame g tilted so that its Y axis follows the ground normal n,
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

LONG FrameOf(const BaseTime& time, LONG fps) {
  Real product = static_cast<Real>(fps) * static_cast<Real>(time.GetNumerator());
  Real num = FloorR(product);
  Real den = FloorR(static_cast<Real>(time.GetDenominator()));
  return TruncateToLong(static_cast<LReal>(num) / static_cast<LReal>(den));
}

Vector EaseOrientation(const Vector& r, const Vector& w) {
  Real dH = w.x - r.x;
  // A single-precision difference against the double pi: 3.1415925f is not
  // wrapped, 3.1415927f (above pi) is.
  if (FAbs(static_cast<LReal>(dH)) > pi) {
    LReal d = static_cast<LReal>(dH);
    dH = static_cast<Real>(dH > 0.0f ? d - 2.0 * pi : d + 2.0 * pi);
  }
  // The bank's share through ExactProduct: a bank easing towards 0 ends in
  // subnormals (k * 2^-149 with k < 5 is a fixed point of this step).
  return Vector(r.x + kEase * dH, r.y, r.z + ExactProduct(kEase, w.z - r.z));
}

Vector PlannedPosition(const Vector& off, Real heading, Real f) {
  LReal h = static_cast<LReal>(heading);
  LReal step = static_cast<LReal>(f);
  return Vector(static_cast<Real>(static_cast<LReal>(off.x) - sin(h) * step), off.y,
                static_cast<Real>(static_cast<LReal>(off.z) + cos(h) * step));
}

LONG Kestrelwood::Execute(PluginTag* tag, BaseDocument* doc, BaseObject*, BaseThread*, LONG, LONG) {
  // Parameters, each read afresh.
  const Params p = ReadParams(tag, doc);

  // The ray collider, for this call only.
  ScopedCollider collider(p.terrain);

  // Start state: the stored table, loaded once per instance.
  if (!startRecorded) {
    startRecorded = tag->GetData().GetBool(START_RECORDED, FALSE);
    if (startRecorded) LoadStartState(*this, tag);
  }

  // Frame: the current and the first frame of the document.
  const LONG fps = doc->GetFps();
  const LONG t = FrameOf(doc->GetTime(), fps);
  const LONG s = FrameOf(doc->GetMinTime(), fps);

  // Nothing to do without a crowd, a target or a start state.
  BaseObject* first = p.group ? p.group->GetDown() : nullptr;
  if (!p.group || !first || !p.target || !startRecorded) return EXECUTION_RESULT_OK;

  // Restore: at or before the first frame every agent with a slot goes back
  // to its recorded start matrix (flag 1); nothing else is reset.
  if (t <= s) {
    LONG i = 0;
    for (BaseObject* a = first; a && i < MAX_AGENTS; a = a->GetNext(), ++i) a->SetGlobalMatrix(startMatrix[i], 1);
    return EXECUTION_RESULT_OK;
  }

  // Before the step, the scene as the rules read it: the group's children
  // into a snapshot kept equal to the scene, the obstacles, target and
  // terrain once for the whole step. When the memory for those cannot be
  // had, nothing moves in this call.
  CrowdSnapshot crowd;
  ObstacleView obstacles;
  if (!crowd.Fill(first) || (p.obstacles && !obstacles.Fill(p.obstacles->GetDown(), p.group)))
    return EXECUTION_RESULT_OK;
  PlaceView target;
  target.Set(p.target, p.group);
  const bool followTerrain = p.terrain && collider.Get();
  TerrainView terrain;
  if (followTerrain) terrain.Set(p.terrain, p.group);

  // One step per agent, in child order; each agent sees those before it
  // already moved. Agents past the last record slot are left where they are.
  LONG i = 0;
  for (BaseObject* agent = first; agent && i < MAX_AGENTS; agent = agent->GetNext(), ++i) {
    TVistaHelper& rec = VistaHelper[i];
    // Its matrix and rotation as they stand until it is written back.
    const Matrix m = agent->GetGlobalMatrix();
    const Vector r = agent->GetRotation();

    // Steer: where the agent wants to head. An obstacle in its vision probe
    // turns it away and nothing else counts; otherwise target, repulsion
    // (which may slow it) and alignment, weighted and summed, both neighbour
    // rules taken in one scan.
    Vector w;
    if (p.obstacles) w = controlla_ostacoli(obstacles, m, p.visionLength, p.visionHalfWidth, p.avoidAngle, i);
    rec.speedFactor = 1.0f;
    if (w.x != 0.0f || w.y != 0.0f || w.z != 0.0f) {
      w = GetOptimalAngle(r, w);
    } else {
      turnSide[i] = 0;
      Vector g = Lookfortarget(m.off, target.Get()) * p.targetWeight;
      NeighbourSums sums;
      ScanNeighbours(crowd, i, m.off, m.off + p.repulsionRadius * m.v3, p.repulsionRadius, p.alignmentRadius, &sums);
      Vector rp = AgentsRepulsion(sums, p.repulsionRadius, &rec.speedFactor);
      Vector a = AgentsAlignment(sums);
      Vector d(rp.x * p.repulsionWeight + p.alignmentWeight * a.x + g.x,
               rp.y * p.repulsionWeight + p.alignmentWeight * a.y + g.y,
               rp.z * p.repulsionWeight + p.alignmentWeight * a.z + g.z);
      w = VectorToHPB(d);
    }

    // Ease: a tenth of the way there in heading and bank.
    Vector n = EaseOrientation(r, w);

    // Move: forward by its own speed along the new heading.
    Vector pos = PlannedPosition(m.off, n.x, rec.speed * rec.speedFactor);
    rec.position = pos;

    // Ground: onto the terrain at the planned position, tilted to its normal.
    // A contact without a normal (degenerate face, or none fetched yet) gives
    // no frame to tilt to: the agent keeps the pitch and bank of its easing.
    if (followTerrain) {
      Matrix planned = m;
      planned.off = pos;
      if (Verifica_collisione_terreno(collider.Get(), terrain, planned, &rec)) {
        pos = rec.position;
        const Vector normal = rec.groundNormal;
        if (normal.x != 0.0f || normal.y != 0.0f || normal.z != 0.0f) {
          // Not moved yet: m and r are still the agent's matrix and rotation.
          const Vector tilt = MatrixToHPB(TiltToNormal(m, normal));
          n.y = LimitPitch(tilt.y, r.y, p.maxPitchStep);
          n.z = tilt.z;
        }
      }
    }

    // Write back: rotation first, then the global matrix of that rotation at
    // the new position (flag 0); the snapshot told.
    agent->SetRotation(n);
    Matrix moved = agent->GetGlobalMatrix();
    moved.off = pos;
    agent->SetGlobalMatrix(moved, 0);
    crowd.Refresh(i, agent);
  }
  return EXECUTION_RESULT_OK;
}
