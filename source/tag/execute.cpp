// The per-evaluation update: one call steps the whole crowd, or puts it back
// to its recorded start at and before the document's first frame.
#include "Kestrelwood.h"
#include "agent_step.h"
#include "frame_time.h"
#include "start_table.h"
#include "step_params.h"

namespace {

// Every agent with a slot back to its recorded start matrix (flag 1).
void RestoreStart(const Kestrelwood& tag, BaseObject* first) {
  LONG i = 0;
  for (BaseObject* a = first; a && i < MAX_AGENTS; a = a->GetNext(), ++i) a->SetGlobalMatrix(tag.startMatrix[i], 1);
}

// A collider for this evaluation, initialised on the terrain with the force
// flag (its geometry as it is now); null without a terrain or when the host
// cannot make one (the crowd then walks flat).
GeRayCollider* TerrainCollider(BaseObject* terrain) {
  GeRayCollider* rc = GeRayCollider::Alloc();
  if (rc && terrain) rc->Init(terrain, TRUE);
  return rc;
}

}  // namespace

LONG Kestrelwood::Execute(PluginTag* tag, BaseDocument* doc, BaseObject*, BaseThread*, LONG, LONG) {
  // Parameters, each read afresh.
  StepParams p = ReadStepParams(tag, doc);

  // The ray collider, for this call only.
  GeRayCollider* collider = TerrainCollider(p.terrain);

  // The stored start state, loaded once per instance.
  if (!startRecorded) {
    startRecorded = tag->GetData().GetBool(START_RECORDED, FALSE);
    if (startRecorded) LoadStartTable(*this, tag);
  }

  // Current and first frame.
  LONG fps = doc->GetFps();
  LONG t = FrameOf(doc->GetTime(), fps);
  LONG s = FrameOf(doc->GetMinTime(), fps);

  // Nothing to do without a crowd, a target or a start state.
  BaseObject* first = p.group ? p.group->GetDown() : nullptr;
  if (!p.group || !first || !p.target || !startRecorded) {
    GeRayCollider::Free(collider);
    return EXECUTION_RESULT_OK;
  }

  // At or before the first frame, back to the start.
  if (t <= s) {
    RestoreStart(*this, first);
    GeRayCollider::Free(collider);
    return EXECUTION_RESULT_OK;
  }

  // One step per agent, in child order; each agent sees those
  // before it already moved. Agents past the last record slot are left
  // where they are. What the rules read of the scene is read once here
  // (scene_views.h), the group's children into a snapshot kept equal to the
  // scene (crowd_snapshot.h). When the memory for those cannot be had,
  // nothing moves in this call.
  CrowdSnapshot crowd;
  ObstacleView obstacles;
  if (!crowd.Fill(first) || (p.obstacles && !obstacles.Fill(p.obstacles->GetDown(), p.group))) {
    GeRayCollider::Free(collider);
    return EXECUTION_RESULT_OK;
  }
  StepContext c;
  c.p = p;
  c.crowd = &crowd;
  c.obstacles = p.obstacles ? &obstacles : nullptr;
  c.target.Set(p.target, p.group);
  bool followTerrain = p.terrain && collider;
  if (followTerrain) c.terrain.Set(p.terrain, p.group);
  LONG i = 0;
  for (BaseObject* agent = first; agent && i < MAX_AGENTS; agent = agent->GetNext(), ++i) {
    // Its matrix and rotation as they stand until it is written back.
    Matrix m = agent->GetGlobalMatrix();
    Vector r = agent->GetRotation();

    // Where the agent wants to head.
    Vector w = WishedOrientation(*this, c, i, m, r);

    // A tenth of the way there.
    Vector n = EaseOrientation(r, w);

    // Forward by its own speed along the new heading.
    Real f = VistaHelper[i].speed * VistaHelper[i].speedFactor;
    Vector pos = PlannedPosition(m.off, n.x, f);
    VistaHelper[i].position = pos;

    // Onto the ground, tilted to it.
    if (followTerrain) FollowTerrain(collider, c, m, r, i, &pos, &n);

    // Into the scene, and the snapshot told.
    WriteBack(agent, n, pos);
    crowd.Refresh(i, agent);
  }

  // The collider goes with the call.
  GeRayCollider::Free(collider);
  return EXECUTION_RESULT_OK;
}
