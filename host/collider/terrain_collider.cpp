// TerrainCollider: the mesh (a private copy refreshed and checked on every
// build, or the caller's own buffers) and a block grid over its dominant
// plane.
#include "collider/terrain_collider.h"

#include "collider/block_grid.h"
#include "collider/mesh_mirror.h"
#include "collider/ray_triangle.h"

namespace kwhost {

struct TerrainCollider::Impl {
  MeshMirror mesh;
  BlockGrid grid;
  bool hasHit = false;
  RayHit hit{};
};

TerrainCollider::TerrainCollider() : impl_(std::make_unique<Impl>()) {}
TerrainCollider::~TerrainCollider() = default;

void TerrainCollider::build(const Vec3f* points, size_t npoints, const uint32_t* tris, size_t ntris) {
  Impl& m = *impl_;
  // Faces are reported as int32_t: later triangles are absent.
  if (ntris > size_t(INT32_MAX)) ntris = size_t(INT32_MAX);
  if (m.mesh.sync(points, npoints, tris, ntris)) m.grid.build(m.mesh);
  m.hasHit = false;
}

void TerrainCollider::borrow(const Vec3f* points, size_t npoints, const uint32_t* tris, size_t ntris) {
  Impl& m = *impl_;
  if (ntris > size_t(INT32_MAX)) ntris = size_t(INT32_MAX);
  m.mesh.borrow(points, npoints, tris, ntris);
  m.grid.build(m.mesh);
  m.hasHit = false;
}

bool TerrainCollider::intersect(const Vec3f& start, const Vec3f& direction, float length, bool onlyTest) {
  Impl& m = *impl_;
  m.hasHit = false;
  const bool hit = cast(start, direction, length, onlyTest, &m.hit);
  m.hasHit = hit && !onlyTest;
  return hit;
}

bool TerrainCollider::cast(const Vec3f& start, const Vec3f& direction, float length, bool onlyTest, RayHit* hit) {
  Impl& m = *impl_;
  PreparedRay r;
  if (!prepareRay(start, direction, length, &r)) return false;
  TriangleHit h{};
  const int64_t f = m.grid.nearest(m.mesh, r, onlyTest, &h);
  if (f < 0) return false;
  if (!onlyTest && hit) {
    const float* p = m.mesh.points();
    const uint32_t* t = m.mesh.tris() + 3 * size_t(f);
    *hit = makeHit(r, h, int32_t(f), p + 3 * size_t(t[0]), p + 3 * size_t(t[1]), p + 3 * size_t(t[2]));
  }
  return true;
}

bool TerrainCollider::nearest(RayHit* out) const {
  if (!impl_->hasHit || !out) return false;
  *out = impl_->hit;
  return true;
}

size_t TerrainCollider::memoryBytes() const { return impl_->mesh.memoryBytes() + impl_->grid.memoryBytes(); }

}  // namespace kwhost
