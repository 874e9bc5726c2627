// The per-agent record that lives outside the scene, and the module-wide
// table of them: agent i of any crowd uses record i.
#ifndef KW_VISION_HELPER_H
#define KW_VISION_HELPER_H

#include "c4d.h"
#include "kestrelwood_params.h"

struct TVistaHelper {
  LONG obstacleSeen;        // the last obstacle check saw an obstacle
  Vector cornerRearLeft;    // vision probe corners as last drawn (world)
  Vector cornerFrontLeft;
  Vector cornerFrontRight;
  Vector cornerRearRight;
  Vector position;          // planned position of this step, or the ground point
  Vector groundNormal;      // unit normal of the terrain at the ground point, or zero
  Vector reserved1;         // not read by anything
  LONG reserved2;
  Vector reserved3;
  Real speedFactor;         // multiplier of speed for this step
  Real speed;               // cruising speed, scene units per step
};

// Shared by every tag instance in every document; zero at load, never saved.
extern TVistaHelper VistaHelper[MAX_AGENTS];

#endif
