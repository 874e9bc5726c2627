// Rebuilding: a deformed, resized or untouched mesh answers as a collider
// built from scratch would, the collider depends on no buffer of the
// caller's after build(), and a steady frame allocates nothing.
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>

#include "collider_meshes.h"

namespace {
std::atomic<long> g_allocations{0};
}  // namespace

// Counts every allocation of this test program.
void* operator new(std::size_t n) {
  ++g_allocations;
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

using kwhost::TerrainCollider;
using kwhost::Vec3f;
using kwtest::Mesh;

// Same answers as a fresh collider and as the scan, for agent-like rays.
void expectAsFresh(TerrainCollider& reused, const Mesh& m, uint32_t seed) {
  TerrainCollider fresh;
  kwtest::build(fresh, m);
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> x(-2, 42), tilt(-0.3f, 0.3f);
  for (int i = 0; i < 300; ++i) {
    const float dx = tilt(rng), dz = tilt(rng), l = std::sqrt(dx * dx + 1 + dz * dz);
    const Vec3f s = {x(rng), 5, x(rng)}, d = {dx / l, -1 / l, dz / l};
    kwtest::expectSameAsScan(reused, m, s, d);
    kwhost::RayHit a{}, b{};
    const bool ha = reused.intersect(s, d, 1e5f, false) && reused.nearest(&a);
    const bool hb = fresh.intersect(s, d, 1e5f, false) && fresh.nearest(&b);
    ASSERT_EQ(ha, hb);
    if (ha) {
      EXPECT_TRUE(kwtest::sameBits(a, b));
    }
  }
}

TEST(ColliderRebuild, FollowsEveryChangeOfTheGeometry) {
  Mesh m = kwtest::heightfield(40, 40, 1.0f, 1);
  TerrainCollider c;
  kwtest::build(c, m);
  expectAsFresh(c, m, 1);
  // Deformed everywhere, then one vertex raised into a spike.
  for (Vec3f& p : m.points) p.y += 0.5f * std::sin(p.x * 0.7f);
  kwtest::build(c, m);
  expectAsFresh(c, m, 2);
  m.points[820].y += 30.0f;
  kwtest::build(c, m);
  expectAsFresh(c, m, 3);
  // One index changed (the same counts everywhere).
  m.tris[3 * 1000 + 1] = 5;
  kwtest::build(c, m);
  expectAsFresh(c, m, 4);
  // Fewer triangles, more points, then the same again (untouched).
  m.tris.resize(m.tris.size() / 2);
  m.points.push_back({1, 2, 3});
  kwtest::build(c, m);
  expectAsFresh(c, m, 5);
  kwtest::build(c, m);
  expectAsFresh(c, m, 6);
  // A change and back within one frame: the last geometry counts.
  m.points[10].y += 100.0f;
  kwtest::build(c, m);
  m.points[10].y -= 100.0f;
  kwtest::build(c, m);
  expectAsFresh(c, m, 7);
}

TEST(ColliderRebuild, KeepsItsOwnCopyOfTheMesh) {
  Mesh m = kwtest::heightfield(30, 30, 1.0f, 2);
  const Mesh original = m;
  TerrainCollider c;
  kwtest::build(c, m);
  for (Vec3f& p : m.points) p.y = 1000.0f;  // the caller's buffers change, no build
  std::fill(m.tris.begin(), m.tris.end(), 0u);
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> x(0, 29);
  for (int i = 0; i < 200; ++i) kwtest::expectSameAsScan(c, original, {x(rng), 10, x(rng)}, {0, -1, 0});
  m = Mesh{};  // buffers gone
  EXPECT_TRUE(c.intersect({10, 10, 10}, {0, -1, 0}, 100, false));
}

TEST(ColliderRebuild, SteadyFramesAllocateNothing) {
  Mesh m = kwtest::heightfield(80, 80, 1.0f, 3);
  TerrainCollider c;
  kwtest::build(c, m);
  kwtest::build(c, m);
  for (int frame = 0; frame < 3; ++frame) {
    for (Vec3f& p : m.points) p.y += 0.01f * frame;  // deformed each frame
    const long before = g_allocations.load();
    kwtest::build(c, m);
    kwhost::RayHit h{};
    for (int i = 0; i < 200; ++i) {
      c.intersect({float(i % 79) + 0.3f, 20, float(i / 3) + 0.6f}, {0, -1, 0}, 1e5f, false);
      c.nearest(&h);
    }
    EXPECT_EQ(g_allocations.load(), before) << "frame " << frame;
  }
}

// Borrowed buffers answer as a copy of them does, after every change, also
// from a collider that held a copy before; the last vertex ends the buffer
// (no byte past it is read: the sanitizer build would report it).
TEST(ColliderRebuild, BorrowedBuffersAnswerAsACopyOfThem) {
  Mesh m = kwtest::heightfield(40, 40, 1.0f, 4);
  TerrainCollider borrowed;
  kwtest::build(borrowed, m);  // a copy first, then borrowing over it
  for (int round = 0; round < 3; ++round) {
    std::unique_ptr<Vec3f[]> points(new Vec3f[m.points.size()]);
    std::copy(m.points.begin(), m.points.end(), points.get());
    std::unique_ptr<uint32_t[]> tris(new uint32_t[m.tris.size()]);
    std::copy(m.tris.begin(), m.tris.end(), tris.get());
    borrowed.borrow(points.get(), m.points.size(), tris.get(), m.tris.size() / 3);
    expectAsFresh(borrowed, m, 10 + uint32_t(round));
    for (Vec3f& p : m.points) p.y += 0.3f * std::sin(p.z + float(round));
    m.points.back().y += 50.0f;  // the last vertex raised into a spike
  }
  // A copy again after borrowing.
  kwtest::build(borrowed, m);
  expectAsFresh(borrowed, m, 20);
}

}  // namespace
