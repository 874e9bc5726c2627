// TerrainCollider: first version, a brute-force scan of a private copy of the
// mesh (the reference every faster structure must match).
#include "terrain_collider.h"

#include <vector>

#include "ray_triangle.h"

namespace kwhost {

struct TerrainCollider::Impl {
  std::vector<float> points;  // npoints xyz
  std::vector<uint32_t> tris;
  size_t npoints = 0, ntris = 0;
  bool hasHit = false;
  RayHit hit{};
};

TerrainCollider::TerrainCollider() : impl_(std::make_unique<Impl>()) {}
TerrainCollider::~TerrainCollider() = default;

void TerrainCollider::build(const Vec3f* points, size_t npoints, const uint32_t* tris, size_t ntris) {
  Impl& m = *impl_;
  if (ntris > size_t(INT32_MAX)) ntris = size_t(INT32_MAX);
  m.npoints = points ? npoints : 0;
  m.ntris = tris ? ntris : 0;
  m.points.resize(3 * m.npoints);
  m.tris.resize(3 * m.ntris);
  for (size_t i = 0; i < m.npoints; ++i) {
    m.points[3 * i] = points[i].x;
    m.points[3 * i + 1] = points[i].y;
    m.points[3 * i + 2] = points[i].z;
  }
  for (size_t i = 0; i < 3 * m.ntris; ++i) m.tris[i] = tris[i];
  m.hasHit = false;
}

bool TerrainCollider::intersect(const Vec3f& start, const Vec3f& direction, float length, bool onlyTest) {
  Impl& m = *impl_;
  m.hasHit = false;
  PreparedRay r;
  if (!prepareRay(start, direction, length, &r)) return false;
  TriangleHit h{};
  const int64_t f = bruteForceNearest(r, m.points.data(), m.npoints, m.tris.data(), m.ntris, &h);
  if (f < 0) return false;
  if (!onlyTest) {
    const uint32_t* t = &m.tris[3 * size_t(f)];
    m.hit = makeHit(r, h, int32_t(f), &m.points[3 * t[0]], &m.points[3 * t[1]], &m.points[3 * t[2]]);
    m.hasHit = true;
  }
  return true;
}

bool TerrainCollider::nearest(RayHit* out) const {
  if (!impl_->hasHit || !out) return false;
  *out = impl_->hit;
  return true;
}

size_t TerrainCollider::memoryBytes() const {
  return impl_->points.capacity() * sizeof(float) + impl_->tris.capacity() * sizeof(uint32_t);
}

}  // namespace kwhost
