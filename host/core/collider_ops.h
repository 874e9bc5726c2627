// The table's ray collider. The structure a ray is cast against (a
// TerrainCollider on a polygon object's triangles, in the object's local
// coordinates) is kept with the object and built only when its geometry
// version moved on: a handle, allocated and initialised anew in every
// evaluation, only refers to it and keeps its own last hit. The structure
// casts against the object's geometry itself, which is never changed in
// place (a write replaces it): it holds a reference to the geometry it was
// built on instead of a copy.
#ifndef KWHOST_COLLIDER_OPS_H
#define KWHOST_COLLIDER_OPS_H

#include <cstdint>
#include <memory>

#include "c4d_hosttable.h"
#include "collider/terrain_collider.h"
#include "core/object.h"

namespace kwhost {

class Account;

// One polygon object's collision structure and the geometry version it was
// built on.
struct ColliderShape {
  ColliderShape();
  ~ColliderShape();
  ColliderShape(const ColliderShape&) = delete;
  ColliderShape& operator=(const ColliderShape&) = delete;

  TerrainCollider collider;
  std::shared_ptr<const Object::Geometry> geometry;  // what the collider casts against
  uint64_t version = 0;
};

// The object's geometry was replaced: its structure lets go of the old one
// and is rebuilt, in the same memory, at the next init; a structure a
// handle still casts against is left to that handle.
void geometryReplaced(std::shared_ptr<ColliderShape>& shape);

// Process-wide figures, for tests and benchmarks.
struct ColliderStats {
  int64_t liveShapes = 0;  // structures alive (kept by objects or handles)
  int64_t builds = 0;      // structures built or rebuilt since the start
};
ColliderStats colliderStats();

}  // namespace kwhost

struct KwCollider {
  std::shared_ptr<kwhost::ColliderShape> shape;  // null until initialised on a polygon object
  kwhost::RayHit hit{};
  bool haveHit = false;  // the last intersect found a hit (not only a test)
  kwhost::Account* account = nullptr;
};

namespace kwhost {

KwCollider* colliderAlloc();
void colliderFree(KwCollider* rc);
// FALSE (and intersect answers FALSE) for null, a non-polygon object or a
// collider. The force flag changes nothing: the version proves what is
// current.
int32_t colliderInit(KwCollider* rc, KwNode* op, int32_t force);
int32_t colliderIntersect(KwCollider* rc, const KwVector* start, const KwVector* direction, float distance,
                          int32_t onlyTest);
int32_t colliderNearest(KwCollider* rc, KwRayColResult* out);

}  // namespace kwhost

#endif
