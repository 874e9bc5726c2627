#include "c4d_raycollider.h"

#include "c4d_os.h"

static_assert(sizeof(GeRayColResult) == sizeof(KwRayColResult), "result layout");

GeRayCollider* GeRayCollider::Alloc() { return reinterpret_cast<GeRayCollider*>(C4DOS.colliders.alloc()); }

void GeRayCollider::Free(GeRayCollider*& rc) {
  if (rc) C4DOS.colliders.free(rc->Handle());
  rc = nullptr;
}

Bool GeRayCollider::Init(BaseObject* goal, Bool force) {
  return C4DOS.colliders.init(Handle(), goal ? goal->Handle() : nullptr, force);
}

Bool GeRayCollider::Intersect(const Vector& ray_p, const Vector& ray_dir, Real distance, Bool only_test) {
  return C4DOS.colliders.intersect(Handle(), ToKw(&ray_p), ToKw(&ray_dir), distance, only_test);
}

Bool GeRayCollider::GetNearestIntersection(GeRayColResult* res) {
  return C4DOS.colliders.get_nearest(Handle(), reinterpret_cast<KwRayColResult*>(res));
}
