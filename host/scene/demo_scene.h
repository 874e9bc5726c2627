// The built-in demo: 60 agents cross hilly ground, flow round a field of
// six circle obstacles and gather at a target beyond them. Everything is
// made here in code, the terrain too, so `kestrelwood demo` needs no file.
#ifndef KWHOST_SCENE_DEMO_SCENE_H
#define KWHOST_SCENE_DEMO_SCENE_H

#include "scene/json_fault.h"

namespace kwhost::scene {

// The terrain is a grid of cells x cells quads (two triangles each) over
// 7200 x 7200 scene units; the demo uses kDemoCells (105,800 triangles).
inline constexpr int kDemoCells = 230;

// Height of the demo ground at (x, z), scene units.
double demoTerrainHeight(double x, double z);

// The demo as a scene file's JSON (short-form parameters, "recordStart": true).
Json demoSceneJson(int cells = kDemoCells);

}  // namespace kwhost::scene

#endif
