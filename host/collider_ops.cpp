#include "collider_ops.h"

#include "allocator.h"
#include "object.h"

namespace kwhost {

KwCollider* colliderAlloc() {
  auto* rc = new KwCollider();
  rc->account = currentAccount();
  rc->account->handleCreated();
  return rc;
}

void colliderFree(KwCollider* rc) {
  if (!rc) return;
  if (rc->account) rc->account->handleFreed();
  delete rc;
}

int32_t colliderInit(KwCollider* rc, KwNode* op, int32_t) {
  if (!rc) return 0;
  rc->ready = false;
  rc->haveHit = false;
  if (!op || op->kind() != Node::Kind::Object || op->type() != kTypePolygon) return 0;
  const auto& obj = static_cast<const Object&>(*op);
  static_assert(sizeof(Vec3f) == sizeof(KwVector), "point layout");
  // Geometry is re-read on every init; the collider decides what it can reuse.
  rc->collider.build(reinterpret_cast<const Vec3f*>(obj.points().data()), obj.points().size(),
                     obj.triangles().data(), obj.triangles().size() / 3);
  rc->ready = true;
  return 1;
}

int32_t colliderIntersect(KwCollider* rc, const KwVector* start, const KwVector* direction, float distance,
                          int32_t onlyTest) {
  if (!rc) return 0;
  rc->haveHit = false;
  if (!rc->ready || !start || !direction) return 0;
  const bool hit = rc->collider.intersect(Vec3f{start->x, start->y, start->z},
                                          Vec3f{direction->x, direction->y, direction->z}, distance, onlyTest != 0);
  rc->haveHit = hit && !onlyTest;
  return hit ? 1 : 0;
}

int32_t colliderNearest(KwCollider* rc, KwRayColResult* out) {
  if (!rc || !out || !rc->ready || !rc->haveHit) return 0;
  RayHit h;
  if (!rc->collider.nearest(&h)) return 0;
  out->hitPosition = KwVector{h.hitPosition.x, h.hitPosition.y, h.hitPosition.z};
  out->distance = h.distance;
  out->faceId = h.face;
  out->faceNormal = KwVector{h.faceNormal.x, h.faceNormal.y, h.faceNormal.z};
  out->barycentric = KwVector{h.barycentric.x, h.barycentric.y, h.barycentric.z};
  out->backface = h.backface ? 1 : 0;
  return 1;
}

}  // namespace kwhost
