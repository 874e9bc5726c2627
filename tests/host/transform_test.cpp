#include "core/transform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "c4d_types.h"
#include "core/document.h"
#include "core/host_table.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// Difference of two angles, folded into [-pi, pi].
double angleDiff(double a, double b) {
  double d = std::fmod(a - b, 2 * kPi);
  if (d > kPi) d -= 2 * kPi;
  if (d < -kPi) d += 2 * kPi;
  return d;
}

bool sameBits(const KwVector& a, const KwVector& b) { return std::memcmp(&a, &b, sizeof a) == 0; }
bool sameBits(const KwMatrix& a, const KwMatrix& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(HostTransform, HpbRoundTripsThroughTheMatrix) {
  int cases = 0;
  for (double h = 0.0; h < 2 * kPi; h += 0.31) {
    for (double p = -1.5; p < 1.51; p += 0.25) {
      for (double b = 0.0; b < 2 * kPi; b += 0.29) {
        const KwVector hpb{static_cast<float>(h), static_cast<float>(p), static_cast<float>(b)};
        const KwVector back = kwhost::matrixToHPB(kwhost::matrixFromPSR({0, 0, 0}, hpb, {1, 1, 1}));
        ASSERT_NEAR(angleDiff(back.x, hpb.x), 0.0, 2e-4) << h << " " << p << " " << b;
        ASSERT_NEAR(back.y, hpb.y, 2e-4) << h << " " << p << " " << b;
        ASSERT_NEAR(angleDiff(back.z, hpb.z), 0.0, 2e-4) << h << " " << p << " " << b;
        ++cases;
      }
    }
  }
  EXPECT_GT(cases, 5000);
}

TEST(HostTransform, AxesFollowTheHeadingConvention) {
  // Heading pi/2 points the Z axis along -X; pitch pi/4 lifts it.
  KwMatrix m = kwhost::matrixFromPSR({1, 2, 3}, {static_cast<float>(kPi / 2), 0, 0}, {1, 1, 1});
  EXPECT_NEAR(m.v3.x, -1.0f, 1e-6);
  EXPECT_NEAR(m.v3.z, 0.0f, 1e-6);
  EXPECT_NEAR(m.v2.y, 1.0f, 1e-6);
  EXPECT_EQ(m.off.x, 1.0f);
  m = kwhost::matrixFromPSR({0, 0, 0}, {0, static_cast<float>(kPi / 4), 0}, {2, 3, 4});
  EXPECT_NEAR(m.v3.y, 4 * std::sqrt(0.5), 1e-5);
  EXPECT_NEAR(m.v3.z, 4 * std::sqrt(0.5), 1e-5);
  EXPECT_NEAR(m.v1.x, 2.0f, 1e-6);
  EXPECT_NEAR(m.v2.y, 3 * std::sqrt(0.5), 1e-5);
}

// The axes as the transform model states them: double angles, each entry
// rounded to float and then multiplied by its float scale component. Banks
// near 0 give subnormal entries, which the host multiplies another way.
TEST(HostTransform, ScaledAxesAreTheFloatProducts) {
  const float banks[] = {0.0f, -0.0f, 6e-45f, -1.4e-45f, 1.881397e-34f, 3e-39f, 1.3411045e-08f, 0.7f};
  const float scales[] = {1.0f, -1.0f, 2.5f, 1e-30f, 3e-39f, 0.0f, -0.0f, 1e30f, INFINITY};
  for (float b : banks)
    for (float s : scales) {
      const KwVector hpb{2.1f, 0.0f, b}, scale{s, 1.0f / 3.0f, -s};
      const double sh = std::sin(double(hpb.x)), ch = std::cos(double(hpb.x)), sb = std::sin(double(b)),
                   cb = std::cos(double(b));
      // Pitch 0: Z = (-sin H, 0, cos H); the model's cross products in double.
      const double z[3] = {-sh, 0.0, ch}, h[3] = {ch, 0.0, sh};
      const double y0[3] = {z[1] * h[2] - z[2] * h[1], z[2] * h[0] - z[0] * h[2], z[0] * h[1] - z[1] * h[0]};
      const double x[3] = {cb * h[0] - sb * y0[0], cb * h[1] - sb * y0[1], cb * h[2] - sb * y0[2]};
      const double y[3] = {z[1] * x[2] - z[2] * x[1], z[2] * x[0] - z[0] * x[2], z[0] * x[1] - z[1] * x[0]};
      auto axis = [](const double* v, float scaleComponent) {
        volatile float f = scaleComponent, a = float(v[0]), b = float(v[1]), c = float(v[2]);
        return KwVector{a * f, b * f, c * f};
      };
      const KwMatrix m = kwhost::matrixFromPSR({0, 0, 0}, hpb, scale);
      EXPECT_TRUE(sameBits(m.v1, axis(x, scale.x))) << b << " " << s;
      EXPECT_TRUE(sameBits(m.v2, axis(y, scale.y))) << b << " " << s;
      EXPECT_TRUE(sameBits(m.v3, axis(z, scale.z))) << b << " " << s;
    }
}

class HostObjectTransform : public ::testing::Test {
 protected:
  kwhost::Document doc;
  C4D_OS t = kwhost::makeHostTable();
  kwhost::Object* obj(const char* name, kwhost::Object* parent = nullptr) {
    return doc.createObject(name, kwhost::kTypeNull, parent).value();
  }
};

TEST_F(HostObjectTransform, SetRotationStoresExactlyAndKeepsPosition) {
  kwhost::Object* o = obj("O");
  o->setPSR({5, 6, 7}, {0, 0, 0}, {2, 2, 2});
  const KwVector v{7.5f, -0.25f, -9.0f};  // outside the canonical ranges on purpose
  t.objects.set_rotation(o, &v);
  KwVector back;
  t.objects.get_rotation(o, &back);
  EXPECT_TRUE(sameBits(back, v));
  KwMatrix g;
  t.objects.get_global_matrix(o, &g);
  EXPECT_TRUE(sameBits(g, kwhost::matrixFromPSR({5, 6, 7}, v, {2, 2, 2})));
}

TEST_F(HostObjectTransform, UnchangedAxesMoveOnlyThePosition) {
  kwhost::Object* o = obj("O");
  const KwVector rot{20.0f, 0.1f, -7.0f};
  o->setPSR({0, 0, 0}, rot, {1, 3, 1});
  KwMatrix g = o->globalMatrix();
  g.off = KwVector{10, 20, 30};
  t.objects.set_global_matrix(o, &g, 0);
  EXPECT_TRUE(sameBits(o->rotation(), rot));  // not reduced to [0, 2 pi)
  EXPECT_TRUE(sameBits(o->scale(), KwVector{1, 3, 1}));
  EXPECT_TRUE(sameBits(o->position(), KwVector{10, 20, 30}));
  EXPECT_TRUE(sameBits(o->globalMatrix(), g));
}

TEST_F(HostObjectTransform, NewAxesTakeMatrixToHpbWithOptimalAngleForFlag0) {
  kwhost::Object* a = obj("A");
  kwhost::Object* b = obj("B");
  const KwVector old{static_cast<float>(6 * kPi + 0.5), 0.0f, 0.0f};
  a->setRotation(old);
  b->setRotation(old);
  const KwMatrix m = kwhost::matrixFromPSR({1, 2, 3}, {0.6f, 0.2f, 0.1f}, {1, 1, 1});
  const KwVector hpb = kwhost::matrixToHPB(m);
  t.objects.set_global_matrix(a, &m, 0);
  t.objects.set_global_matrix(b, &m, 1);
  EXPECT_TRUE(sameBits(a->rotation(), kwhost::optimalAngle(old, hpb)));
  EXPECT_NEAR(a->rotation().x, 6 * kPi + 0.6, 1e-4);  // stays near the old turn count
  EXPECT_TRUE(sameBits(b->rotation(), hpb));
  EXPECT_NEAR(b->rotation().x, 0.6, 1e-5);
  // The matrix given is the matrix read back.
  EXPECT_TRUE(sameBits(a->globalMatrix(), m));
  EXPECT_TRUE(sameBits(a->position(), KwVector{1, 2, 3}));
}

TEST_F(HostObjectTransform, ScaleComesFromTheAxisLengths) {
  kwhost::Object* o = obj("O");
  const KwMatrix m = kwhost::matrixFromPSR({0, 0, 0}, {1.0f, 0, 0}, {2, 0.5f, 4});
  o->setGlobalMatrix(m, 1);
  EXPECT_NEAR(o->scale().x, 2.0f, 1e-5);
  EXPECT_NEAR(o->scale().y, 0.5f, 1e-5);
  EXPECT_NEAR(o->scale().z, 4.0f, 1e-5);
  // A later SetRotation rebuilds the axes with that scale.
  o->setRotation({0, 0, 0});
  EXPECT_NEAR(o->globalMatrix().v3.z, 4.0f, 1e-5);
}

TEST_F(HostObjectTransform, ChildGlobalIsParentTimesLocal) {
  kwhost::Object* parent = obj("Parent");
  kwhost::Object* child = obj("Child", parent);
  parent->setPSR({10, 0, 0}, {static_cast<float>(kPi / 2), 0, 0}, {1, 1, 1});
  child->setPSR({0, 0, 5}, {0.3f, 0, 0}, {1, 1, 1});
  const KwMatrix g = child->globalMatrix();
  EXPECT_TRUE(sameBits(g, kwhost::multiply(parent->globalMatrix(), child->localMatrix())));
  EXPECT_NEAR(g.off.x, 5.0f, 1e-5);  // 5 along the parent's Z axis, which points along -X
  EXPECT_NEAR(g.off.z, 0.0f, 1e-5);

  // Setting a world matrix on the child reads back (up to rounding) and
  // leaves the child's local matrix relative to its parent.
  const KwMatrix want = kwhost::matrixFromPSR({-3, 4, 8}, {1.2f, 0.1f, 0.2f}, {1, 1, 1});
  child->setGlobalMatrix(want, 1);
  const KwMatrix got = child->globalMatrix();
  const float* w = &want.off.x;
  const float* r = &got.off.x;
  for (int i = 0; i < 12; ++i) EXPECT_NEAR(r[i], w[i], 2e-5) << i;
  EXPECT_NEAR(angleDiff(child->rotation().x, 1.2 - kPi / 2), 0.0, 1e-5);
  // Moving the parent carries the child.
  parent->setPosition({0, 100, 0});
  EXPECT_NEAR(child->globalMatrix().off.y, 104.0f, 1e-4);
}

// Global matrices are cached: every change above an object must show at once.
TEST_F(HostObjectTransform, GlobalMatricesFollowEveryChangeAbove) {
  kwhost::Object* a = obj("A");
  kwhost::Object* b = obj("B", a);
  kwhost::Object* c = obj("C", b);
  c->setPosition({0, 0, 1});
  auto expect = [&] {
    const KwMatrix want = kwhost::multiply(kwhost::multiply(a->localMatrix(), b->localMatrix()), c->localMatrix());
    EXPECT_TRUE(sameBits(c->globalMatrix(), want));
  };
  expect();
  a->setRotation({0.5f, 0, 0});
  expect();
  b->setScale({2, 2, 2});
  expect();
  a->setPosition({1, 2, 3});
  expect();
  b->setGlobalMatrix(kwhost::matrixFromPSR({4, 5, 6}, {1.0f, 0.2f, 0.1f}, {1, 1, 1}), 0);
  expect();
  c->setPSR({7, 0, 0}, {0, 0, 0}, {1, 1, 1});
  expect();
}

TEST_F(HostObjectTransform, RestoringTheCurrentMatrixChangesNothing) {
  kwhost::Object* parent = obj("Parent");
  kwhost::Object* o = obj("O");
  kwhost::Object* c = obj("C", parent);
  parent->setPSR({1, 2, 3}, {0.4f, 0.2f, 0.1f}, {1, 1, 1});
  o->setPSR({4, 5, 6}, {2.0f, -0.3f, 0.2f}, {1, 1, 1});
  c->setPSR({0, 0, 0}, {0, 0, 0}, {1, 1, 1});
  const KwVector rot = o->rotation();
  const KwMatrix g = o->globalMatrix();
  o->setGlobalMatrix(g, 1);
  EXPECT_TRUE(sameBits(o->rotation(), rot));
  EXPECT_TRUE(sameBits(o->globalMatrix(), g));
  // Under a rotated parent the axes need not survive the inverse bit for
  // bit; the rotation then stays within rounding.
  c->setGlobalMatrix(c->globalMatrix(), 0);
  EXPECT_NEAR(angleDiff(c->rotation().x, 0), 0.0, 1e-5);
  EXPECT_NEAR(c->rotation().y, 0.0, 1e-5);
}

TEST(HostTransformMath, InverseUndoesTheMatrixAndSingularGivesIdentity) {
  const KwMatrix m = kwhost::matrixFromPSR({7, -2, 5}, {0.7f, 0.3f, -0.4f}, {2, 1, 0.5f});
  const KwMatrix id = kwhost::multiply(kwhost::inverse(m), m);
  EXPECT_NEAR(id.v1.x, 1, 1e-5);
  EXPECT_NEAR(id.v2.y, 1, 1e-5);
  EXPECT_NEAR(id.v3.z, 1, 1e-5);
  EXPECT_NEAR(id.v1.y, 0, 1e-5);
  EXPECT_NEAR(id.off.x, 0, 1e-4);
  const KwMatrix flat{{1, 2, 3}, {1, 0, 0}, {0, 0, 0}, {0, 0, 1}};
  const KwMatrix inv = kwhost::inverse(flat);
  EXPECT_EQ(inv.v2.y, 1.0f);
  EXPECT_EQ(inv.off.x, 0.0f);
}

// Bit for bit, but any two non-numbers alike: their sign bit follows the
// compiler's order of operands.
bool sameOrBothNaN(const KwMatrix& a, const KwMatrix& b) {
  const float* x = &a.off.x;
  const float* y = &b.off.x;
  for (int i = 0; i < 12; ++i)
    if (!(std::isnan(x[i]) && std::isnan(y[i])) && std::memcmp(x + i, y + i, sizeof(float)) != 0) return false;
  return true;
}

// The host's product is the module's Matrix product bit for bit, signed
// zeros and infinities included.
TEST(HostTransformMath, ProductIsTheModulesBitForBit) {
  uint32_t seed = 7;
  auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    switch (seed >> 28) {
      case 0: return -0.0f;
      case 1: return 0.0f;
      case 2: return INFINITY;
      case 3: return std::nanf("");
      case 4: return 3e38f;
      default: return float(int32_t(seed) >> 8) / 65536.0f;
    }
  };
  // Also under the identity, its inverse (offset -0) and the matrix of
  // rotation 0 (-0 in places), where the product may take a short cut.
  const KwMatrix identity{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  const KwMatrix unturned = kwhost::matrixFromPSR({0, 0, 0}, {0, 0, 0}, {1, 1, 1});
  const KwMatrix signedZeros{{-0.0f, 0, -0.0f}, {1, -0.0f, -0.0f}, {0, 1, -0.0f}, {-0.0f, 0, 1}};
  for (int k = 0; k < 50000; ++k) {
    float f[24];
    for (float& x : f) x = next();
    KwMatrix a, b;
    std::memcpy(&a, f, sizeof a);
    std::memcpy(&b, f + 12, sizeof b);
    if (k % 5 == 1) a = identity;
    if (k % 5 == 2) a = kwhost::inverse(identity);
    if (k % 5 == 3) a = unturned;
    if (k % 5 == 4) a = signedZeros;
    Matrix ma, mb;
    std::memcpy(static_cast<void*>(&ma), &a, sizeof a);
    std::memcpy(static_cast<void*>(&mb), &b, sizeof b);
    const Matrix want = ma * mb;
    KwMatrix w;
    std::memcpy(&w, &want, sizeof w);
    ASSERT_TRUE(sameOrBothNaN(kwhost::multiply(a, b), w)) << "case " << k;
  }
}

}  // namespace
