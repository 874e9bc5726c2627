// The shared per-triangle test: closed, two-sided, watertight, bounded t.
#include "collider_meshes.h"

namespace {

using kwhost::PreparedRay;
using kwhost::TriangleHit;
using kwhost::Vec3f;

bool cast(const float* a, const float* b, const float* c, Vec3f s, Vec3f d, float len, TriangleHit* h) {
  PreparedRay r;
  if (!kwhost::prepareRay(s, d, len, &r)) return false;
  return kwhost::intersectTriangle(r, a, b, c, h);
}

const float A[3] = {0, 0, 0}, B[3] = {0, 0, 1}, C[3] = {1, 0, 0};  // normal (b-a)x(c-a) = +y

TEST(RayTriangle, BothFacesWithBackfaceFlagAndWeights) {
  TriangleHit h{};
  ASSERT_TRUE(cast(A, B, C, {0.25f, 2, 0.25f}, {0, -1, 0}, 10, &h));
  EXPECT_DOUBLE_EQ(h.t, 2.0);
  EXPECT_FALSE(h.backface);
  EXPECT_DOUBLE_EQ(h.wa, 0.5);
  EXPECT_DOUBLE_EQ(h.wb, 0.25);
  EXPECT_DOUBLE_EQ(h.wc, 0.25);
  ASSERT_TRUE(cast(A, B, C, {0.25f, -2, 0.25f}, {0, 1, 0}, 10, &h));
  EXPECT_TRUE(h.backface);
  const Vec3f n = kwhost::faceNormal(A, B, C);
  EXPECT_EQ(n.x, 0.0f);
  EXPECT_EQ(n.y, 1.0f);
  EXPECT_EQ(n.z, 0.0f);
}

TEST(RayTriangle, BackfaceAgreesWithNormalForAnyDirection) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> u(-1, 1);
  int hits = 0;
  for (int i = 0; i < 4000; ++i) {
    const float a[3] = {u(rng), u(rng), u(rng)}, b[3] = {u(rng), u(rng), u(rng)}, c[3] = {u(rng), u(rng), u(rng)};
    const Vec3f d = kwtest::randomUnit(rng);
    const Vec3f s = {(a[0] + b[0] + c[0]) / 3 - 2 * d.x, (a[1] + b[1] + c[1]) / 3 - 2 * d.y,
                     (a[2] + b[2] + c[2]) / 3 - 2 * d.z};
    TriangleHit h{};
    if (!cast(a, b, c, s, d, 10, &h)) continue;
    ++hits;
    const Vec3f n = kwhost::faceNormal(a, b, c);
    const double dn = double(n.x) * d.x + double(n.y) * d.y + double(n.z) * d.z;
    if (std::fabs(dn) > 1e-4) {
      EXPECT_EQ(h.backface, dn > 0) << i;
    }
    EXPECT_NEAR(h.wa + h.wb + h.wc, 1.0, 1e-9);
    EXPECT_NEAR(h.t, 2.0, 1e-4);
  }
  EXPECT_GT(hits, 3900);  // rays aimed at the centroid
}

TEST(RayTriangle, LengthBoundsAreInclusive) {
  TriangleHit h{};
  EXPECT_TRUE(cast(A, B, C, {0.25f, 2, 0.25f}, {0, -1, 0}, 2.0f, &h));
  EXPECT_FALSE(cast(A, B, C, {0.25f, 2, 0.25f}, {0, -1, 0}, 1.999f, &h));
  EXPECT_FALSE(cast(A, B, C, {0.25f, 2, 0.25f}, {0, 1, 0}, 10, &h));  // behind the start
  ASSERT_TRUE(cast(A, B, C, {0.25f, 0, 0.25f}, {0, 1, 0}, 10, &h));   // starts on it
  EXPECT_EQ(h.t, 0.0);
  EXPECT_FALSE(std::signbit(h.t));
  EXPECT_FALSE(cast(A, B, C, {0.25f, 2, 0.25f}, {0, -1, 0}, -1.0f, &h));
  EXPECT_FALSE(cast(A, B, C, {0.25f, 2, 0.25f}, {0, -1, 0}, NAN, &h));
}

TEST(RayTriangle, EdgesAndVerticesAreClosed) {
  TriangleHit h{};
  EXPECT_TRUE(cast(A, B, C, {0, 1, 0}, {0, -1, 0}, 10, &h));        // vertex a
  EXPECT_TRUE(cast(A, B, C, {0.5f, 1, 0.5f}, {0, -1, 0}, 10, &h));  // hypotenuse
  EXPECT_TRUE(cast(A, B, C, {0, 1, 0.3f}, {0, -1, 0}, 10, &h));     // edge a-b
  EXPECT_FALSE(cast(A, B, C, {0.5001f, 1, 0.5f}, {0, -1, 0}, 10, &h));
}

TEST(RayTriangle, NoRayThroughAFanSlipsBetweenTriangles) {
  // Six triangles of a tilted plane around a centre, with uneven spokes;
  // rays through the centre and through points of the spokes, from any
  // direction not grazing the plane, must meet at least one of them.
  const float centre[3] = {0.1f, 0.2f, 0.3f};
  float rim[6][3];
  for (int k = 0; k < 6; ++k) {
    const float r = 0.7f + 0.13f * k;
    rim[k][0] = centre[0] + r * std::cos(k * 1.0471975f);
    rim[k][2] = centre[2] + r * std::sin(k * 1.0471975f);
    rim[k][1] = centre[1] + 0.3f * (rim[k][0] - centre[0]) - 0.2f * (rim[k][2] - centre[2]);
  }
  std::mt19937 rng(3);
  for (int i = 0; i < 2000; ++i) {
    Vec3f d = kwtest::randomUnit(rng);
    if (std::fabs(d.y) < 0.2f) continue;
    const int k = i % 6;
    const float f = (i % 7) / 7.0f;  // a point on spoke k (f = 0: the centre)
    const float p[3] = {centre[0] + f * (rim[k][0] - centre[0]), centre[1] + f * (rim[k][1] - centre[1]),
                        centre[2] + f * (rim[k][2] - centre[2])};
    const Vec3f s = {p[0] - 3 * d.x, p[1] - 3 * d.y, p[2] - 3 * d.z};
    bool any = false;
    for (int t = 0; t < 6; ++t) {
      TriangleHit h{};
      any = any || cast(centre, rim[t], rim[(t + 1) % 6], s, d, 10, &h);
    }
    EXPECT_TRUE(any) << "ray " << i << " slipped through";
  }
}

TEST(RayTriangle, DegenerateAndCoplanarCases) {
  TriangleHit h{};
  // A ray lying in the triangle's plane sees no area: a miss.
  EXPECT_FALSE(cast(A, B, C, {-1, 0, 0.2f}, {1, 0, 0}, 10, &h));
  // Zero-area triangles have the zero normal and are never met through a
  // repeated vertex.
  const float P[3] = {0, 0, 0}, Q[3] = {1, 1, 1}, R[3] = {2, 2, 2};
  EXPECT_EQ(kwhost::faceNormal(P, Q, R).x, 0.0f);
  EXPECT_EQ(kwhost::faceNormal(P, P, Q).y, 0.0f);
  EXPECT_FALSE(cast(P, P, Q, {0.5f, 2, 0.5f}, {0, -1, 0}, 10, &h));
  // A zero direction or a non-finite start cannot be cast.
  PreparedRay r;
  EXPECT_FALSE(kwhost::prepareRay({0, 0, 0}, {0, 0, 0}, 1, &r));
  EXPECT_FALSE(kwhost::prepareRay({NAN, 0, 0}, {0, 1, 0}, 1, &r));
  // A triangle with a non-finite vertex is never hit.
  const float N[3] = {NAN, 0, 0}, I[3] = {INFINITY, 0, 0};
  EXPECT_FALSE(cast(N, B, C, {0.25f, 2, 0.25f}, {0, -1, 0}, 10, &h));
  EXPECT_FALSE(cast(I, B, C, {0.25f, 2, 0.25f}, {0, -1, 0}, 10, &h));
}

}  // namespace
