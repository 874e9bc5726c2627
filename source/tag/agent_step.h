// The phases of one agent's step, in the order the update runs them.
#ifndef KW_AGENT_STEP_H
#define KW_AGENT_STEP_H

#include "Kestrelwood.h"
#include "step_params.h"

// Obstacle check, then either the turn away from the obstacle or the
// weighted sum of target, repulsion and alignment, as a rotation vector
// (heading, pitch, bank). Resets the agent's speed factor to 1 before the
// neighbour rules and clears its turn side when it is not avoiding.
// crowd: the group's children as read at this step, or null.
Vector WishedOrientation(Kestrelwood& tag, const StepParams& p, BaseObject* agent, LONG i,
                         const CrowdSnapshot* crowd);

// One tenth of the way from the rotation r toward w in heading (the short
// way round) and bank; the pitch stays.
Vector EaseOrientation(const Vector& r, const Vector& w);

// The agent's position moved f units along the horizontal direction of the
// heading, in double precision rounded to Real; the height stays.
Vector PlannedPosition(const Vector& off, Real heading, Real f);

// Terrain following for agent i at the planned position *pos: on ground
// contact *pos becomes the ground point and, when the contact has a normal,
// n's pitch (limited by maxPitchStep) and bank come from the frame tilted to
// that normal.
void FollowTerrain(GeRayCollider* collider, const StepParams& p, BaseObject* agent, const Matrix& m, LONG i,
                   Vector* pos, Vector* n);

// Rotation first, then the global matrix of that rotation at pos (flag 0).
void WriteBack(BaseObject* agent, const Vector& n, const Vector& pos);

#endif
