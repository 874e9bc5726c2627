// Crowd scenes made through the host's API, for the validator, the soak run,
// the fuzz targets, the tests and the benchmarks: a group of agents on a
// grid, a target, circle obstacles, an optional height-field terrain and one
// Kestrelwood tag that links them; or the same pieces one by one. Also what
// the checks read back: every agent's global matrix and rotation, whether
// they are all finite, and distances between them.
#ifndef KWHOST_VALIDATE_CROWD_SCENE_H
#define KWHOST_VALIDATE_CROWD_SCENE_H

#include <cstdint>
#include <string>
#include <vector>

#include "core/document.h"
#include "core/result.h"

namespace kwhost::validate {

struct CrowdLayout {
  std::string prefix;           // put before every object name (several crowds in one document)
  int agents = 10;              // children of the agent group, on a square grid
  float spacing = 300.0f;       // grid spacing, scene units
  int obstacles = 0;            // circle splines between the crowd and the target
  float obstacleRadius = 150.0f;
  bool terrain = false;         // a height field under the crowd
  int terrainCells = 8;         // cells per side
  float terrainHalfSize = 8000.0f;
  float terrainRelief = 250.0f; // peak height of the bumps
  KwVector target{0.0f, 0.0f, 6000.0f};
  float speed = 20.0f;
  float speedVariation = 0.5f;
  bool pressRecordStart = true;  // press RECORD_START once the crowd is built
  Object* parent = nullptr;      // the crowd's objects go under it (null: the top level)
};

struct Crowd {
  Object* group = nullptr;
  Object* target = nullptr;
  Object* obstacles = nullptr;  // null without obstacles
  Object* terrain = nullptr;    // null without terrain
  Object* holder = nullptr;     // the object that carries the tag
  Tag* tag = nullptr;
};

// The tag type must be registered (the module started).
Result<Crowd> buildCrowd(Document& doc, const CrowdLayout& layout);

// The pieces buildCrowd is made of, for scenes of another shape: an object
// of any type at pos under parent (null: the top level); a circle spline of
// the radius; a Kestrelwood tag on holder linked to the agents' group and
// the target.
Result<Object*> addObject(Document& doc, const std::string& name, int32_t type, Object* parent, KwVector pos);
Result<Object*> addCircle(Document& doc, const std::string& name, KwVector pos, float radius, Object* parent);
Result<Tag*> addCrowdTag(Object& holder, Object* group, Object* target);

// The crowd a tag steers, as its links name it in doc (null where a link is
// empty); the holder is the object that carries the tag.
Crowd crowdOf(Document& doc, Tag& tag);

// The direct children of the crowd's group, in child order.
std::vector<Object*> agentsOf(const Crowd& crowd);
std::vector<KwMatrix> agentMatrices(const Crowd& crowd);

// True when every agent's global matrix and rotation is finite; otherwise
// *where names the first agent and value that is not.
bool agentsFinite(const Crowd& crowd, std::string* where);
bool matrixFinite(const KwMatrix& m);

// The largest distance between corresponding offsets; infinity when the
// lists differ in length.
double largestOffsetDistance(const std::vector<KwMatrix>& a, const std::vector<KwMatrix>& b);
bool sameBits(const KwMatrix& a, const KwMatrix& b);

// Distances in double precision, in scene units; the horizontal one in the
// X-Z plane (the ground plane of a flat scene).
double distance(const KwVector& a, const KwVector& b);
double horizontalDistance(const KwVector& a, const KwVector& b);

}  // namespace kwhost::validate

#endif
