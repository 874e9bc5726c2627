#include "core/collider_ops.h"

#include <atomic>

#include "core/allocator.h"

namespace kwhost {

namespace {
std::atomic<int64_t> g_liveShapes{0};
std::atomic<int64_t> g_builds{0};
}  // namespace

ColliderShape::ColliderShape() { g_liveShapes.fetch_add(1, std::memory_order_relaxed); }
ColliderShape::~ColliderShape() { g_liveShapes.fetch_sub(1, std::memory_order_relaxed); }

ColliderStats colliderStats() {
  return ColliderStats{g_liveShapes.load(std::memory_order_relaxed), g_builds.load(std::memory_order_relaxed)};
}

void geometryReplaced(std::shared_ptr<ColliderShape>& shape) {
  if (!shape) return;
  if (shape.use_count() == 1) {
    shape->geometry.reset();  // stale (its version is behind): never cast against before the rebuild
  } else {
    shape.reset();
  }
}

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
  rc->shape.reset();
  rc->haveHit = false;
  if (!op || op->kind() != Node::Kind::Object || op->type() != kTypePolygon) return 0;
  auto& obj = static_cast<Object&>(*op);
  std::shared_ptr<ColliderShape>& shape = obj.colliderShape();
  if (!shape || shape->version != obj.geometryVersion()) {
    // A handle initialised earlier still casts against the geometry it was
    // initialised on: such a structure is left to it, and a new one built.
    if (!shape || shape.use_count() > 1) shape = std::make_shared<ColliderShape>();
    static_assert(sizeof(Vec3f) == sizeof(KwVector), "point layout");
    try {
      shape->geometry = obj.geometry();
      const Object::Geometry& g = *shape->geometry;
      shape->collider.borrow(reinterpret_cast<const Vec3f*>(g.points.data()), g.points.size(), g.tris.data(),
                             g.tris.size() / 3);
    } catch (...) {
      shape.reset();  // half built (out of memory): the next init starts afresh
      throw;
    }
    shape->version = obj.geometryVersion();
    g_builds.fetch_add(1, std::memory_order_relaxed);
  }
  rc->shape = shape;
  return 1;
}

int32_t colliderIntersect(KwCollider* rc, const KwVector* start, const KwVector* direction, float distance,
                          int32_t onlyTest) {
  if (!rc) return 0;
  rc->haveHit = false;
  if (!rc->shape || !start || !direction) return 0;
  const bool hit = rc->shape->collider.cast(Vec3f{start->x, start->y, start->z},
                                            Vec3f{direction->x, direction->y, direction->z}, distance,
                                            onlyTest != 0, &rc->hit);
  rc->haveHit = hit && !onlyTest;
  return hit ? 1 : 0;
}

int32_t colliderNearest(KwCollider* rc, KwRayColResult* out) {
  if (!rc || !out || !rc->shape || !rc->haveHit) return 0;
  const RayHit& h = rc->hit;
  out->hitPosition = KwVector{h.hitPosition.x, h.hitPosition.y, h.hitPosition.z};
  out->distance = h.distance;
  out->faceId = h.face;
  out->faceNormal = KwVector{h.faceNormal.x, h.faceNormal.y, h.faceNormal.z};
  out->barycentric = KwVector{h.barycentric.x, h.barycentric.y, h.barycentric.z};
  out->backface = h.backface ? 1 : 0;
  return 1;
}

}  // namespace kwhost
