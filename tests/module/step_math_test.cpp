// The arithmetic of one step: easing with its wrap at pi, the forward move
// and the frame number of a document time.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

#include "Kestrelwood.h"

TEST(EaseOrientation, WrapComparesFloatDifferenceWithDoublePi) {
  const float below = 3.1415925f;  // largest float below pi
  const float above = 3.1415927f;  // float nearest pi, above it
  EXPECT_LT(double(below), M_PI);
  EXPECT_GT(double(above), M_PI);
  Vector r(0, 0.3f, 0);
  EXPECT_EQ(EaseOrientation(r, Vector(below, 0, 0)).x, 0.1f * below);
  float wrapped = float(double(above) - 2.0 * M_PI);
  EXPECT_EQ(EaseOrientation(r, Vector(above, 0, 0)).x, 0.1f * wrapped);
  EXPECT_LT(EaseOrientation(r, Vector(above, 0, 0)).x, 0.0f);
  // Negative differences wrap the other way; the short way round.
  EXPECT_GT(EaseOrientation(Vector(3.0f, 0, 0), Vector(-3.0f, 0, 0)).x, 3.0f);
  // Pitch stays; bank eases without wrapping.
  Vector n = EaseOrientation(Vector(0, 0.3f, 0), Vector(0, 1.0f, 6.0f));
  EXPECT_EQ(n.y, 0.3f);
  EXPECT_EQ(n.z, 0.1f * 6.0f);
}

// The exact double product rounded once is the float product, bit for bit,
// over the whole range: subnormal operands and results, zeros of both
// signs, overflow, infinities.
TEST(ExactProduct, IsTheFloatProductBitForBit) {
  std::vector<float> v = {0.0f, -0.0f, 1.4e-45f, -1.4e-45f, 6e-45f, 1.1754942e-38f, 1.1754944e-38f, 1e-30f,
                          0.1f, 1.0f, -1.0f, 3.1415927f, 1e19f, 3.4028235e38f, -3.4028235e38f, INFINITY, -INFINITY};
  uint32_t state = 12345;
  for (int i = 0; i < 4000; ++i) {  // random bit patterns: every exponent, subnormals included
    state = state * 1664525u + 1013904223u;
    float f;
    std::memcpy(&f, &state, sizeof f);
    if (f == f) v.push_back(f);
  }
  for (float a : v)
    for (float b : {0.1f, -0.5f, 1.0f, 7.3e-39f, 1e-20f, 2.5e37f, -3e-45f, -0.0f}) {
      volatile float va = a, vb = b;
      const float expected = va * vb, got = ExactProduct(a, b);
      ASSERT_EQ(std::memcmp(&expected, &got, sizeof got), 0) << a << " * " << b;
    }
}

TEST(EaseOrientation, SubnormalBankEasesAsTheFloatStep) {
  for (float bank : {6e-45f, 1.4e-45f, -7e-45f, 3e-39f, 1e-38f}) {
    volatile float k = 0.1f, d = 0.0f - bank;
    const float expected = bank + k * d;
    const float got = EaseOrientation(Vector(1.0f, 0.0f, bank), Vector(1.0f, 0.0f, 0.0f)).z;
    EXPECT_EQ(std::memcmp(&expected, &got, sizeof got), 0) << bank;
  }
  // The smallest banks stay put: a tenth of them rounds to 0.
  EXPECT_EQ(EaseOrientation(Vector(0, 0, 6e-45f), Vector()).z, 6e-45f);
}

TEST(PlannedPosition, MovesAlongHeading) {
  Vector p = PlannedPosition(Vector(1, 5, 2), 0.0f, 20.0f);
  EXPECT_EQ(p, Vector(1, 5, 22));
  p = PlannedPosition(Vector(0, 0, 0), 1.57079637f, 10.0f);
  EXPECT_FLOAT_EQ(p.x, -10.0f);
  EXPECT_NEAR(p.z, 0.0f, 1e-6f);
  EXPECT_EQ(p.y, 0.0f);
  // Double precision throughout, rounded once.
  p = PlannedPosition(Vector(1000.1f, 0, 0), 0.3f, 3.3f);
  EXPECT_EQ(p.x, float(double(1000.1f) - std::sin(double(0.3f)) * double(3.3f)));
}

TEST(FrameOf, FramesAndDegenerateTimes) {
  EXPECT_EQ(FrameOf(BaseTime(10, 30), 30), 10);
  EXPECT_EQ(FrameOf(BaseTime(0, 30), 30), 0);
  EXPECT_EQ(FrameOf(BaseTime(1, 3), 30), 10);   // floor(30 * 1) / floor(3)
  EXPECT_EQ(FrameOf(BaseTime(-1, 30), 30), -1);
  // The product in single precision: 25 fps * 0.04 -> 1.0000001f, floor 1.
  EXPECT_EQ(FrameOf(BaseTime(0.04, 1), 25), 1);
  // Out of range and 0/0 never wrap or trap.
  EXPECT_EQ(FrameOf(BaseTime(1e30, 1), 30), INT_MAX);
  EXPECT_EQ(FrameOf(BaseTime(-1e30, 1), 30), INT_MIN);
  EXPECT_EQ(FrameOf(BaseTime(1, 0), 30), INT_MAX);
  EXPECT_EQ(FrameOf(BaseTime(0, 0), 30), INT_MIN);
}
