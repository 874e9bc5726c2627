// Nearest-hit ray queries against a triangle mesh, in the mesh's own
// coordinates. This is what the host's ray-collider operations stand on.
//
// Contract (shared by every implementation and by the brute-force reference):
//  - a ray is start + t * direction, 0 <= t <= length; both faces of a
//    triangle count (no culling);
//  - the nearest hit is the smallest t; equal t: the lowest triangle index;
//  - faceNormal is the normalised (b - a) x (c - a) of the triangle hit, or
//    the zero vector for a degenerate triangle;
//  - build() re-reads the geometry every time; it may reuse what an earlier
//    call built only where the geometry read now proves it unchanged.
//
// Details every implementation keeps (ray_triangle.h holds the shared test):
//  - build() copies the mesh: the caller's buffers need not outlive the call,
//    and a later change to them counts only at the next build(). The copy is
//    also what proves, byte for byte, that a rebuild may keep its cells;
//    borrow() instead casts against the caller's buffers, which must then
//    stay alive and unchanged until the next build() or borrow();
//  - t runs along `direction` as given (the distance for a unit vector); a
//    zero or non-finite direction or start, or a negative or NaN length, hits
//    nothing;
//  - hitPosition = float(double(start) + t * double(direction)) per
//    component, with t in double; distance = float(t); a ray lying in a
//    triangle's plane does not hit it;
//  - degenerate: a cross product shorter than 2^-40 times the product of the
//    two edge lengths; a triangle with a non-finite vertex is never hit;
//  - at most INT32_MAX triangles (later ones are absent);
//  - one collider is used by one thread at a time (cast() included: the
//    queries share scratch space in the grid).
#ifndef KWHOST_TERRAIN_COLLIDER_H
#define KWHOST_TERRAIN_COLLIDER_H

#include <cstddef>
#include <cstdint>
#include <memory>

namespace kwhost {

struct Vec3f {
  float x, y, z;
};

struct RayHit {
  Vec3f hitPosition;
  Vec3f faceNormal;
  Vec3f barycentric;  // weights of a, b, c at the hit
  float distance;     // t along the (unit) direction
  int32_t face;       // triangle index
  bool backface;      // the ray met the triangle from behind its normal
};

class TerrainCollider {
 public:
  TerrainCollider();
  ~TerrainCollider();
  TerrainCollider(const TerrainCollider&) = delete;
  TerrainCollider& operator=(const TerrainCollider&) = delete;

  // points: npoints xyz triples; tris: ntris index triples into points.
  // Indices out of range make the triangle count as absent.
  void build(const Vec3f* points, size_t npoints, const uint32_t* tris, size_t ntris);
  // The same on the caller's buffers, without a copy (see above).
  void borrow(const Vec3f* points, size_t npoints, const uint32_t* tris, size_t ntris);

  // Casts a ray; true when it meets a triangle. With onlyTest the nearest
  // hit need not be kept.
  bool intersect(const Vec3f& start, const Vec3f& direction, float length, bool onlyTest);

  // The same, the nearest hit written to *hit instead of kept (unless
  // onlyTest; hit may then be null): callers that share one collider each
  // keep their own last hit.
  bool cast(const Vec3f& start, const Vec3f& direction, float length, bool onlyTest, RayHit* hit);

  // The nearest hit of the last intersect() that found one (and was not
  // only a test); false otherwise.
  bool nearest(RayHit* out) const;

  // Bytes held by the acceleration structure (for memory checks).
  size_t memoryBytes() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace kwhost

#endif
