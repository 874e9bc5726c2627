// The phases of one agent's step, in the order the update runs them.
#ifndef KW_AGENT_STEP_H
#define KW_AGENT_STEP_H

#include "Kestrelwood.h"
#include "crowd_snapshot.h"
#include "scene_views.h"
#include "step_params.h"

// What one evaluation's step reads besides the agent itself.
struct StepContext {
  StepParams p;
  CrowdSnapshot* crowd;            // the group's children, kept equal to the scene
  const ObstacleView* obstacles;   // null when OBSTACLES_GROUP is not set
  PlaceView target;
  TerrainView terrain;             // set when the crowd follows a terrain
};

// Agent i with global matrix m and rotation r as read when its step began.
// Obstacle check, then either the turn away from the obstacle or the
// weighted sum of target, repulsion and alignment, as a rotation vector
// (heading, pitch, bank). Resets the agent's speed factor to 1 before the
// neighbour rules and clears its turn side when it is not avoiding.
Vector WishedOrientation(Kestrelwood& tag, const StepContext& c, LONG i, const Matrix& m, const Vector& r);

// controlla_ostacoli on obstacles read for the whole step, for the agent
// with global matrix a.
Vector AvoidObstacles(Kestrelwood& tag, const ObstacleView& obstacles, const Matrix& a, Real reach, Real halfWidth,
                      Real angle, LONG index);

// One tenth of the way from the rotation r toward w in heading (the short
// way round) and bank; the pitch stays.
Vector EaseOrientation(const Vector& r, const Vector& w);

// The agent's position moved f units along the horizontal direction of the
// heading, in double precision rounded to Real; the height stays.
Vector PlannedPosition(const Vector& off, Real heading, Real f);

// Verifica_collisione_terreno on the terrain's matrices read for the step.
Bool FindGround(GeRayCollider* collider, const TerrainView& terrain, const Matrix& m, TVistaHelper* rec);

// Terrain following for agent i (global matrix m, rotation r) at the
// planned position *pos: on ground contact *pos becomes the ground point
// and, when the contact has a normal, n's pitch (limited by maxPitchStep)
// and bank come from the frame tilted to that normal.
void FollowTerrain(GeRayCollider* collider, const StepContext& c, const Matrix& m, const Vector& r, LONG i,
                   Vector* pos, Vector* n);

// Rotation first, then the global matrix of that rotation at pos (flag 0).
void WriteBack(BaseObject* agent, const Vector& n, const Vector& pos);

#endif
