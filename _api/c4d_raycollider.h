// The host's ray collider over a polygon object, in the object's local
// coordinates.
#ifndef KW_C4D_RAYCOLLIDER_H
#define KW_C4D_RAYCOLLIDER_H

#include "c4d_nodes.h"

struct GeRayColResult {
  Vector hitPosition;
  Real distance;
  LONG face_id;
  Vector faceNormal;
  Vector barycentric;
  Bool backface;
};

class GeRayCollider {
 public:
  static GeRayCollider* Alloc();
  // Releases the collider and nulls the pointer.
  static void Free(GeRayCollider*& rc);

  Bool Init(BaseObject* goal, Bool force = FALSE);
  Bool Intersect(const Vector& ray_p, const Vector& ray_dir, Real distance, Bool only_test = FALSE);
  Bool GetNearestIntersection(GeRayColResult* res);

 private:
  GeRayCollider() = default;
  KwCollider* Handle() { return reinterpret_cast<KwCollider*>(this); }
};

#endif
