// Small meshes and ray sets for the collider tests, and the comparison of a
// collider's answer with the brute-force scan's.
#ifndef KW_TESTS_SUPPORT_COLLIDER_MESHES_H
#define KW_TESTS_SUPPORT_COLLIDER_MESHES_H

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "collider/ray_triangle.h"
#include "collider/terrain_collider.h"

namespace kwtest {

using kwhost::Vec3f;

struct Mesh {
  std::vector<Vec3f> points;
  std::vector<uint32_t> tris;
  size_t ntris() const { return tris.size() / 3; }
};

// A w x h grid of vertices, two triangles per cell in row order, heights
// from a few waves plus noise.
inline Mesh heightfield(int w, int h, float spacing, uint32_t seed) {
  Mesh m;
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> noise(-0.3f, 0.3f);
  for (int j = 0; j < h; ++j)
    for (int i = 0; i < w; ++i) {
      const float x = i * spacing, z = j * spacing;
      m.points.push_back({x, 3.0f * std::sin(x * 0.3f) * std::cos(z * 0.2f) + noise(rng), z});
    }
  for (int j = 0; j + 1 < h; ++j)
    for (int i = 0; i + 1 < w; ++i) {
      const uint32_t a = j * w + i, b = a + 1, c = a + w, d = c + 1;
      m.tris.insert(m.tris.end(), {a, c, b, b, c, d});
    }
  return m;
}

// Rotates every point by a rotation about axis (1,2,3) and scales it.
inline void rotateScale(Mesh& m, double angle, double scale) {
  double ax = 1, ay = 2, az = 3, n = std::sqrt(ax * ax + ay * ay + az * az);
  ax /= n; ay /= n; az /= n;
  const double c = std::cos(angle), s = std::sin(angle), t = 1 - c;
  const double R[3][3] = {{t * ax * ax + c, t * ax * ay - s * az, t * ax * az + s * ay},
                          {t * ax * ay + s * az, t * ay * ay + c, t * ay * az - s * ax},
                          {t * ax * az - s * ay, t * ay * az + s * ax, t * az * az + c}};
  for (Vec3f& p : m.points) {
    const double v[3] = {p.x, p.y, p.z};
    p = {float(scale * (R[0][0] * v[0] + R[0][1] * v[1] + R[0][2] * v[2])),
         float(scale * (R[1][0] * v[0] + R[1][1] * v[1] + R[1][2] * v[2])),
         float(scale * (R[2][0] * v[0] + R[2][1] * v[1] + R[2][2] * v[2]))};
  }
}

inline Vec3f randomUnit(std::mt19937& rng) {
  std::normal_distribution<float> g;
  for (;;) {
    const float x = g(rng), y = g(rng), z = g(rng), l = std::sqrt(x * x + y * y + z * z);
    if (l > 1e-3f) return {x / l, y / l, z / l};
  }
}

// The brute-force answer for one ray.
inline bool referenceHit(const Mesh& m, const Vec3f& s, const Vec3f& d, float len, kwhost::RayHit* out) {
  kwhost::PreparedRay r;
  if (!kwhost::prepareRay(s, d, len, &r)) return false;
  kwhost::TriangleHit h{};
  const float* p = &m.points[0].x;
  const int64_t f = kwhost::bruteForceNearest(r, m.points.empty() ? nullptr : p, m.points.size(),
                                              m.tris.data(), m.ntris(), &h);
  if (f < 0) return false;
  const uint32_t* t = &m.tris[3 * size_t(f)];
  *out = kwhost::makeHit(r, h, int32_t(f), p + 3 * t[0], p + 3 * t[1], p + 3 * t[2]);
  return true;
}

inline bool sameBits(const kwhost::RayHit& a, const kwhost::RayHit& b) {
  return std::memcmp(&a.hitPosition, &b.hitPosition, sizeof a.hitPosition) == 0 &&
         std::memcmp(&a.faceNormal, &b.faceNormal, sizeof a.faceNormal) == 0 &&
         std::memcmp(&a.barycentric, &b.barycentric, sizeof a.barycentric) == 0 &&
         std::memcmp(&a.distance, &b.distance, sizeof a.distance) == 0 && a.face == b.face &&
         a.backface == b.backface;
}

// Casts the ray through the collider (nearest and test-only) and checks
// both against the scan; returns whether it hit.
inline bool expectSameAsScan(kwhost::TerrainCollider& c, const Mesh& m, const Vec3f& s, const Vec3f& d,
                             float len = 100000.0f) {
  kwhost::RayHit want{}, got{};
  const bool hit = referenceHit(m, s, d, len, &want);
  const std::string where = "ray (" + std::to_string(s.x) + "," + std::to_string(s.y) + "," +
                            std::to_string(s.z) + ") dir (" + std::to_string(d.x) + "," +
                            std::to_string(d.y) + "," + std::to_string(d.z) + ")";
  EXPECT_EQ(c.intersect(s, d, len, true), hit) << where;
  EXPECT_FALSE(c.nearest(&got)) << "test-only ray kept a hit; " << where;
  EXPECT_EQ(c.intersect(s, d, len, false), hit) << where;
  EXPECT_EQ(c.nearest(&got), hit) << where;
  if (hit) {
    EXPECT_TRUE(sameBits(want, got)) << where << " want face " << want.face << " got " << got.face;
  }
  return hit;
}

inline void build(kwhost::TerrainCollider& c, const Mesh& m) {
  c.build(m.points.data(), m.points.size(), m.tris.data(), m.ntris());
}

}  // namespace kwtest

#endif
