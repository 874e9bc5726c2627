// The collider gives, bit for bit, the brute-force scan's nearest hit, for
// terrains and for meshes that are nothing like one.
#include <tiny_obj_loader.h>

#include <algorithm>
#include <filesystem>

#include "collider_meshes.h"

namespace {

using kwhost::TerrainCollider;
using kwhost::Vec3f;
using kwtest::Mesh;

struct Bounds {
  Vec3f lo{1e30f, 1e30f, 1e30f}, hi{-1e30f, -1e30f, -1e30f};
};
Bounds boundsOf(const Mesh& m) {
  Bounds b;
  for (const Vec3f& p : m.points) {
    b.lo = {std::min(b.lo.x, p.x), std::min(b.lo.y, p.y), std::min(b.lo.z, p.z)};
    b.hi = {std::max(b.hi.x, p.x), std::max(b.hi.y, p.y), std::max(b.hi.z, p.z)};
  }
  return b;
}

// Random starts in (and a little around) the mesh's box, random directions;
// returns the number of hits.
int randomRays(TerrainCollider& c, const Mesh& m, int n, uint32_t seed, float len = 100000.0f) {
  const Bounds b = boundsOf(m);
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> u(-0.2f, 1.2f);
  int hits = 0;
  for (int i = 0; i < n; ++i) {
    const Vec3f s = {b.lo.x + u(rng) * (b.hi.x - b.lo.x), b.lo.y + u(rng) * (b.hi.y - b.lo.y),
                     b.lo.z + u(rng) * (b.hi.z - b.lo.z)};
    hits += kwtest::expectSameAsScan(c, m, s, kwtest::randomUnit(rng), len);
  }
  return hits;
}

TEST(ColliderExactness, HeightfieldAnyDirection) {
  Mesh m = kwtest::heightfield(60, 45, 1.0f, 1);
  TerrainCollider c;
  kwtest::build(c, m);
  EXPECT_GT(randomRays(c, m, 3000, 11), 600);
  // Agents' rays: straight and tilted up and down from above and below.
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> x(0, 59), z(0, 44), tilt(-0.4f, 0.4f);
  int hits = 0;
  for (int i = 0; i < 1000; ++i) {
    const float dx = tilt(rng), dz = tilt(rng), l = std::sqrt(dx * dx + 1 + dz * dz);
    const Vec3f s = {x(rng), i % 2 ? 10.0f : -10.0f, z(rng)};
    hits += kwtest::expectSameAsScan(c, m, s, {dx / l, (i % 2 ? -1 : 1) / l, dz / l});
  }
  EXPECT_GT(hits, 900);
}

TEST(ColliderExactness, RotatedAndScaledTerrains) {
  for (double scale : {1e-3, 1.0, 3e3}) {
    Mesh m = kwtest::heightfield(40, 40, 1.0f, 2);
    kwtest::rotateScale(m, 0.9, scale);
    TerrainCollider c;
    kwtest::build(c, m);
    EXPECT_GT(randomRays(c, m, 1500, 12), 150) << scale;
  }
}

TEST(ColliderExactness, RaysOnVerticesEdgesAndAlongThePlane) {
  // A flat terrain at y = 0 and one with heights on a lattice: rays that
  // start on vertices and edge midpoints, and rays in the plane.
  for (bool flat : {true, false}) {
    Mesh m = kwtest::heightfield(20, 20, 1.0f, 3);
    for (Vec3f& p : m.points) p.y = flat ? 0.0f : std::round(p.y);
    TerrainCollider c;
    kwtest::build(c, m);
    std::mt19937 rng(9);
    for (size_t t = 0; t < m.ntris(); t += 3) {
      const Vec3f& a = m.points[m.tris[3 * t]];
      const Vec3f& b = m.points[m.tris[3 * t + 1]];
      const Vec3f mid = {0.5f * (a.x + b.x), 0.5f * (a.y + b.y), 0.5f * (a.z + b.z)};
      for (const Vec3f& s : {a, mid}) {
        kwtest::expectSameAsScan(c, m, s, kwtest::randomUnit(rng));
        kwtest::expectSameAsScan(c, m, s, {0, -1, 0});
        kwtest::expectSameAsScan(c, m, s, {0.6f, 0, 0.8f});
        kwtest::expectSameAsScan(c, m, {s.x, s.y + 1, s.z}, {0, -1, 0});
      }
    }
    for (int i = 0; i < 200; ++i) {
      const float ang = i * 0.37f;
      const Vec3f d = {std::cos(ang), 0.0f, std::sin(ang)};
      kwtest::expectSameAsScan(c, m, {9.5f - 15 * d.x, 0.0f, 9.5f - 15 * d.z}, d);
      kwtest::expectSameAsScan(c, m, {9.5f - 15 * d.x, 1e-6f, 9.5f - 15 * d.z}, d);
      kwtest::expectSameAsScan(c, m, {9.5f - 15 * d.x, 0.3f, 9.5f - 15 * d.z}, d);
    }
  }
}

TEST(ColliderExactness, DegenerateDuplicateAndAbsentTriangles) {
  Mesh m = kwtest::heightfield(16, 16, 1.0f, 4);
  const uint32_t n = uint32_t(m.points.size());
  // Repeated vertices, a collinear triangle, indices out of range, and an
  // exact duplicate of triangle 10 (equal t: the lower index wins).
  m.points.push_back({3, 1, 3});
  m.points.push_back({4, 2, 4});
  m.points.push_back({5, 3, 5});
  m.tris.insert(m.tris.end(), {5, 5, 6, n, n + 1, n + 2, 0, n + 7, 1, 0xffffffffu, 2, 3});
  m.tris.insert(m.tris.begin(), m.tris.begin() + 30, m.tris.begin() + 33);  // dup of old 10 at index 0
  TerrainCollider c;
  kwtest::build(c, m);
  randomRays(c, m, 1500, 13);
  kwhost::RayHit h{};
  const Vec3f a = m.points[m.tris[0]], b = m.points[m.tris[1]], cc = m.points[m.tris[2]];
  const Vec3f centre = {(a.x + b.x + cc.x) / 3, (a.y + b.y + cc.y) / 3 + 5, (a.z + b.z + cc.z) / 3};
  ASSERT_TRUE(kwtest::expectSameAsScan(c, m, centre, {0, -1, 0}));
  ASSERT_TRUE(c.nearest(&h));
  EXPECT_EQ(h.face, 0);
  // The collinear triangle, hit edge-on along its own line, has no normal.
  Mesh line;
  line.points = {{0, 0, 0}, {1, 1, 1}, {2, 2, 2}};
  line.tris = {0, 1, 2};
  TerrainCollider lc;
  kwtest::build(lc, line);
  if (lc.intersect({1, 2, 1}, {0, -1, 0}, 10, false) && lc.nearest(&h)) {
    EXPECT_EQ(h.faceNormal.x, 0.0f);
    EXPECT_EQ(h.faceNormal.y, 0.0f);
  }
}

TEST(ColliderExactness, EmptyAndInvalidInput) {
  TerrainCollider c;
  kwhost::RayHit h{};
  EXPECT_FALSE(c.intersect({0, 1, 0}, {0, -1, 0}, 10, false));  // never built
  c.build(nullptr, 0, nullptr, 0);
  EXPECT_FALSE(c.intersect({0, 1, 0}, {0, -1, 0}, 10, false));
  EXPECT_FALSE(c.nearest(&h));
  const Vec3f pts[3] = {{0, 0, 0}, {0, 0, 1}, {1, 0, 0}};
  const uint32_t tri[3] = {0, 1, 2};
  c.build(pts, 3, nullptr, 5);  // no triangles
  EXPECT_FALSE(c.intersect({0.2f, 1, 0.2f}, {0, -1, 0}, 10, false));
  c.build(nullptr, 3, tri, 1);  // no points: the triangle is absent
  EXPECT_FALSE(c.intersect({0.2f, 1, 0.2f}, {0, -1, 0}, 10, false));
  c.build(pts, 3, tri, 1);
  EXPECT_TRUE(c.intersect({0.2f, 1, 0.2f}, {0, -1, 0}, 10, false));
  EXPECT_FALSE(c.intersect({0.2f, 1, 0.2f}, {0, 0, 0}, 10, false));    // zero direction
  EXPECT_FALSE(c.intersect({0.2f, 1, 0.2f}, {0, -1, 0}, -1, false));   // negative length
  EXPECT_FALSE(c.intersect({NAN, 1, 0.2f}, {0, -1, 0}, 10, false));
  EXPECT_FALSE(c.nearest(&h));  // a miss clears the last hit
  // Non-finite vertices: their triangles are absent, the rest still found.
  Mesh m = kwtest::heightfield(12, 12, 1.0f, 5);
  m.points[20].y = NAN;
  m.points[50].x = INFINITY;
  m.points[70].z = -INFINITY;
  kwtest::build(c, m);
  randomRays(c, m, 800, 14);
}

TEST(ColliderExactness, MeshesThatAreNoHeightfield) {
  std::mt19937 rng(21);
  // A soup of random triangles in random order, some of them huge.
  Mesh soup;
  std::uniform_real_distribution<float> u(0, 50), small(-1.5f, 1.5f), big(-40, 40);
  for (int i = 0; i < 1500; ++i) {
    const Vec3f c = {u(rng), u(rng) * 0.3f, u(rng)};
    for (int k = 0; k < 3; ++k) {
      const bool huge = i % 97 == 0;
      soup.points.push_back({c.x + (huge ? big(rng) : small(rng)), c.y + (huge ? big(rng) : small(rng)),
                             c.z + (huge ? big(rng) : small(rng))});
      soup.tris.push_back(uint32_t(soup.points.size() - 1));
    }
  }
  TerrainCollider c;
  kwtest::build(c, soup);
  EXPECT_GT(randomRays(c, soup, 2000, 15), 200);

  // A heightfield whose triangle order is shuffled (blocks spread wide).
  Mesh shuffled = kwtest::heightfield(40, 40, 1.0f, 6);
  std::vector<std::array<uint32_t, 3>> t(shuffled.ntris());
  std::memcpy(t.data(), shuffled.tris.data(), shuffled.tris.size() * 4);
  std::shuffle(t.begin(), t.end(), rng);
  std::memcpy(shuffled.tris.data(), t.data(), shuffled.tris.size() * 4);
  kwtest::build(c, shuffled);
  randomRays(c, shuffled, 1500, 16);

  // Vertical walls and an overhang: a folded strip (z up to 10, back over
  // itself) and walls along x = const.
  Mesh walls;
  for (int i = 0; i <= 30; ++i)
    for (int k = 0; k <= 6; ++k) {
      const float x = float(i);
      walls.points.push_back({x, float(k), (i % 10 == 0) ? 0.0f : std::sin(k * 0.5f) * 3});
    }
  for (int i = 0; i < 30; ++i)
    for (int k = 0; k < 6; ++k) {
      const uint32_t a = i * 7 + k, b = a + 1, cc = a + 7, d = cc + 1;
      walls.tris.insert(walls.tris.end(), {a, b, cc, b, d, cc});
    }
  for (int k = 0; k < 4; ++k) {  // a wall x = 5 standing in the strip
    const uint32_t base = uint32_t(walls.points.size());
    walls.points.insert(walls.points.end(), {{5, 0, -5}, {5, 0, 5}, {5, 6, -5}, {5, 6, 5}});
    walls.tris.insert(walls.tris.end(), {base, base + 1, base + 2, base + 1, base + 3, base + 2});
  }
  kwtest::build(c, walls);
  EXPECT_GT(randomRays(c, walls, 2000, 17), 300);
}

TEST(ColliderExactness, FarStartsAndShortRays) {
  Mesh m = kwtest::heightfield(30, 30, 1.0f, 7);
  TerrainCollider c;
  kwtest::build(c, m);
  kwtest::expectSameAsScan(c, m, {15, 99990, 15}, {0, -1, 0});
  kwtest::expectSameAsScan(c, m, {15, 9e9f, 15}, {0, -1, 0}, 1e10f);  // beyond the grid's margin
  kwtest::expectSameAsScan(c, m, {-5e4f, 1, 14.5f}, {1, 0, 0});
  randomRays(c, m, 500, 18, 0.7f);  // rays that end before most of the mesh
}

TEST(ColliderExactness, MountStHelensCoarse) {
  const std::string path = std::string(KW_SHARED_DATA) + "/mount-st-helens-2000-coarse.obj";
  if (!std::filesystem::exists(path))
    GTEST_SKIP() << path << " is missing (the shared terrain data is not beside this checkout)";
  tinyobj::ObjReader reader;
  tinyobj::ObjReaderConfig cfg;
  cfg.triangulate = true;
  ASSERT_TRUE(reader.ParseFromFile(path, cfg)) << reader.Error();
  Mesh m;
  const auto& v = reader.GetAttrib().vertices;
  for (size_t i = 0; i + 2 < v.size(); i += 3) m.points.push_back({v[i], v[i + 1], v[i + 2]});
  for (const auto& shape : reader.GetShapes())
    for (const auto& idx : shape.mesh.indices) m.tris.push_back(uint32_t(idx.vertex_index));
  ASSERT_EQ(m.ntris(), 29400u);
  TerrainCollider c;
  kwtest::build(c, m);
  const Bounds b = boundsOf(m);
  std::mt19937 rng(19);
  std::uniform_real_distribution<float> fx(b.lo.x, b.hi.x), fz(b.lo.z, b.hi.z), tilt(-0.5f, 0.5f);
  int hits = 0;
  for (int i = 0; i < 400; ++i) {
    const float dx = tilt(rng), dz = tilt(rng), l = std::sqrt(dx * dx + 1 + dz * dz);
    hits += kwtest::expectSameAsScan(c, m, {fx(rng), 3000.0f, fz(rng)}, {dx / l, -1 / l, dz / l});
  }
  EXPECT_GT(hits, 200);
  randomRays(c, m, 400, 20);
}

}  // namespace
