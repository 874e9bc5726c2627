// The table's ray collider: a TerrainCollider built on a polygon object's
// triangles, in the object's local coordinates.
#ifndef KWHOST_COLLIDER_OPS_H
#define KWHOST_COLLIDER_OPS_H

#include "c4d_hosttable.h"
#include "collider/terrain_collider.h"

namespace kwhost {
class Account;
}

struct KwCollider {
  kwhost::TerrainCollider collider;
  bool ready = false;        // built on a polygon object
  bool haveHit = false;      // the last intersect found a hit (not only a test)
  kwhost::Account* account = nullptr;
};

namespace kwhost {

KwCollider* colliderAlloc();
void colliderFree(KwCollider* rc);
// FALSE (and intersect answers FALSE) for null, a non-polygon object or a collider.
int32_t colliderInit(KwCollider* rc, KwNode* op, int32_t force);
int32_t colliderIntersect(KwCollider* rc, const KwVector* start, const KwVector* direction, float distance,
                          int32_t onlyTest);
int32_t colliderNearest(KwCollider* rc, KwRayColResult* out);

}  // namespace kwhost

#endif
