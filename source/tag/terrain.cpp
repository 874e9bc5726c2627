// Terrain following: the ground point and face normal along the agent's up
// axis, or along its downward twin.
#include "Kestrelwood.h"
#include "affine_inverse.h"
#include "scene_views.h"

namespace {

// Reach of each ray, in the terrain object's local units.
const Real kRayLength = 100000.0f;

// v divided by its length, or the zero vector for a vector of length 0.
Vector DivideByLength(const Vector& v) {
  Real l = Len(v);
  if (l == 0.0f) return Vector();
  return Vector(v.x / l, v.y / l, v.z / l);
}

}  // namespace

// Casts a ray from m.off along m.v2 in the terrain's local coordinates; when
// it misses, a second one with the Y component of that direction negated.
// On a hit whose nearest intersection can be fetched, the record's position
// and groundNormal receive the contact in world coordinates. FALSE (record
// unchanged) when both rays miss.
Bool Kestrelwood::Verifica_collisione_terreno(GeRayCollider* collider, const TerrainView& terrain, const Matrix& m,
                                              TVistaHelper* rec) {
  Matrix t, tinv;
  terrain.Get(&t, &tinv);
  Vector start = tinv * m.off;
  Vector dir = DivideByLength(ApplyAxes(tinv, m.v2));

  GeRayColResult hit;
  if (!collider->Intersect(start, dir, kRayLength, FALSE)) {
    dir.y = -dir.y;
    if (!collider->Intersect(start, dir, kRayLength, FALSE)) return FALSE;
  }
  if (!collider->GetNearestIntersection(&hit)) return TRUE;

  rec->position = t * hit.hitPosition;
  rec->groundNormal = DivideByLength(ApplyAxes(t, hit.faceNormal));
  return TRUE;
}

// The rule on the terrain object: its matrices read.
Bool Kestrelwood::Verifica_collisione_terreno(GeRayCollider* collider, BaseObject* terrain, Matrix m,
                                              TVistaHelper* rec) {
  TerrainView view;
  view.Set(terrain, nullptr);
  return Verifica_collisione_terreno(collider, view, m, rec);
}
