// Heading/pitch/bank conversions: every branch of VectorToHPB and
// MatrixToHPB, and the choice GetOptimalAngle makes.
#include <gtest/gtest.h>

#include <cmath>

#include "c4d.h"

namespace {

const float kPi05 = 1.57079637f;
const float kPi05Below = 1.57079625f;
const float kPi15 = 4.71238899f;

// Axes of a rotation as the host builds them from (H, P, B).
Matrix FromHPB(double h, double p, double b) {
  double zx = -std::sin(h) * std::cos(p), zy = std::sin(p), zz = std::cos(h) * std::cos(p);
  double hx = std::cos(h), hz = std::sin(h);
  // Y0 = Z x h
  double y0x = zy * hz - zz * 0.0, y0y = zz * hx - zx * hz, y0z = zx * 0.0 - zy * hx;
  double xx = std::cos(b) * hx - std::sin(b) * y0x, xy = -std::sin(b) * y0y,
         xz = std::cos(b) * hz - std::sin(b) * y0z;
  double yx = zy * xz - zz * xy, yy = zz * xx - zx * xz, yz = zx * xy - zy * xx;
  return Matrix(Vector(), Vector(float(xx), float(xy), float(xz)), Vector(float(yx), float(yy), float(yz)),
                Vector(float(zx), float(zy), float(zz)));
}

}  // namespace

TEST(Orientation, MatrixRotYTurnsZTowardMinusX) {
  Matrix r = MatrixRotY(0.5f);
  EXPECT_EQ(r.v1.x, float(std::cos(0.5)));
  EXPECT_EQ(r.v1.z, float(std::sin(0.5)));
  EXPECT_EQ(r.v3.x, -float(std::sin(0.5)));
  EXPECT_EQ(r.v3.z, float(std::cos(0.5)));
  EXPECT_EQ(r.v2, Vector(0, 1, 0));
  EXPECT_EQ(r.off, Vector(0, 0, 0));
}

TEST(Orientation, VectorToHPBAxisDirections) {
  // Forward along +Z: heading 0; along +X with z > 0 side q >= 1.
  EXPECT_EQ(VectorToHPB(Vector(0, 0, 1)).x, 0.0f);
  // q >= 1 needs z on the chosen side: z > 0 tiny, q rounds to 1.
  EXPECT_EQ(VectorToHPB(Vector(1, 0, 1e-30f)).x, -kPi05);
  EXPECT_EQ(VectorToHPB(Vector(-1, 0, 1e-30f)).x, kPi05);
  // z <= 0 branch: +X gives 3 pi/2, -X gives the constant one ulp below pi/2.
  EXPECT_EQ(VectorToHPB(Vector(1, 0, 0)).x, kPi15);
  EXPECT_EQ(VectorToHPB(Vector(-1, 0, 0)).x, kPi05Below);
  EXPECT_EQ(VectorToHPB(Vector(-1, 0, -1e-30f)).x, kPi05Below);
  EXPECT_NE(kPi05Below, kPi05);
  // General directions.
  Vector back = VectorToHPB(Vector(0, 0, -1));
  EXPECT_FLOAT_EQ(back.x, 3.14159274f);
  Vector side = VectorToHPB(Vector(-1, 0, 1));  // forward for heading pi/4
  EXPECT_FLOAT_EQ(side.x, 0.785398163f);
  EXPECT_EQ(side.z, 0.0f);
}

TEST(Orientation, VectorToHPBPitchAndVertical) {
  Vector up = VectorToHPB(Vector(0, 5, 0));
  EXPECT_EQ(up.x, 0.0f);
  EXPECT_EQ(up.y, kPi05);
  EXPECT_EQ(VectorToHPB(Vector(0, -5, 0)).y, -kPi05);
  EXPECT_EQ(VectorToHPB(Vector(0, 0, 0)).y, -kPi05);
  // Horizontal length just under the threshold counts as vertical.
  EXPECT_EQ(VectorToHPB(Vector(0.000009f, 1, 0)).x, 0.0f);
  EXPECT_FLOAT_EQ(VectorToHPB(Vector(0, 1, 1)).y, 0.785398163f);
}

TEST(Orientation, MatrixToHPBRoundTrip) {
  const double cases[][3] = {{0.3, 0.2, 0.1}, {2.5, -0.4, 5.0}, {4.0, 1.2, 3.0}, {6.0, -1.0, 0.0}};
  for (const auto& c : cases) {
    Vector hpb = MatrixToHPB(FromHPB(c[0], c[1], c[2]));
    EXPECT_NEAR(hpb.x, c[0], 2e-6);
    EXPECT_NEAR(hpb.y, c[1], 2e-6);
    EXPECT_NEAR(hpb.z, c[2], 2e-6);
  }
  // Heading comes back in [0, 2 pi): a forward axis toward +X is 3 pi/2.
  Matrix m(Vector(), Vector(0, 0, 1), Vector(0, 1, 0), Vector(1, 0, 0));
  EXPECT_FLOAT_EQ(MatrixToHPB(m).x, kPi15);
  // The position plays no part.
  Matrix moved = FromHPB(1.0, 0.0, 0.0);
  moved.off = Vector(100, -5, 3);
  EXPECT_EQ(MatrixToHPB(moved), MatrixToHPB(FromHPB(1.0, 0.0, 0.0)));
}

TEST(Orientation, MatrixToHPBVerticalZ) {
  // Z up: H 0, P +pi/2, bank from the X axis.
  double h = 0.7;
  Matrix up(Vector(), Vector(float(std::cos(h)), 0, float(std::sin(h))), Vector(), Vector(0, 1, 0));
  Vector a = MatrixToHPB(up);
  EXPECT_EQ(a.x, 0.0f);
  EXPECT_EQ(a.y, kPi05);
  EXPECT_NEAR(a.z, 0.7, 1e-6);  // x.z >= 0
  up.v1.z = -up.v1.z;
  EXPECT_NEAR(MatrixToHPB(up).z, 2 * M_PI - 0.7, 1e-6);  // x.z < 0
  // Z down: the sides swap.
  Matrix down(Vector(), Vector(float(std::cos(h)), 0, float(std::sin(h))), Vector(), Vector(0, -1, 0));
  EXPECT_EQ(MatrixToHPB(down).y, -kPi05);
  EXPECT_NEAR(MatrixToHPB(down).z, 2 * M_PI - 0.7, 1e-6);  // x.z > 0
  down.v1.z = -down.v1.z;
  EXPECT_NEAR(MatrixToHPB(down).z, 0.7, 1e-6);
}

TEST(Orientation, MatrixToHPBClampsAndDegenerateAxes) {
  // A scaled X axis is normalised; an argument just past 1 clamps to bank 0.
  Matrix m(Vector(), Vector(3.0000002f, 0, 0), Vector(0, 1, 0), Vector(0, 0, 1));
  Vector a = MatrixToHPB(m);
  EXPECT_EQ(a.z, 0.0f);
  EXPECT_FALSE(std::isnan(a.z));
  // X axis opposite the heading's horizontal: bank pi.
  Matrix flipped(Vector(), Vector(-1, 0, 0), Vector(0, -1, 0), Vector(0, 0, 1));
  EXPECT_FLOAT_EQ(MatrixToHPB(flipped).z, 3.14159274f);
  // Zero X axis: no NaN.
  Matrix zero(Vector(), Vector(0, 0, 0), Vector(0, 1, 0), Vector(0, 0, 1));
  EXPECT_FALSE(std::isnan(MatrixToHPB(zero).z));
  // Vertical Z with the X axis on the heading: acos(1) clamps to 0.
  Matrix vert(Vector(), Vector(1, 0, 0), Vector(0, 0, -1), Vector(0, 1, 0));
  EXPECT_EQ(MatrixToHPB(vert).z, 0.0f);
  // Bank with X tilted up: 2 pi - g.
  Vector b = MatrixToHPB(FromHPB(0.0, 0.0, 5.5));
  EXPECT_NEAR(b.z, 5.5, 2e-6);
}

TEST(Orientation, GetOptimalAngleNearestEquivalent) {
  // Whole turns come off each component.
  Vector r = GetOptimalAngle(Vector(0, 0, 0), Vector(float(2 * M_PI + 0.25), 0, 0));
  EXPECT_NEAR(r.x, 0.25, 1e-6);
  r = GetOptimalAngle(Vector(6.0f, 0, 0), Vector(0.1f, 0, 0));
  EXPECT_NEAR(r.x, 0.1 + 2 * M_PI, 2e-6);
  // A difference of pi lands at -pi ([-pi, pi)).
  r = GetOptimalAngle(Vector(0, 0, 0), Vector(float(M_PI), 0, 0));
  EXPECT_NEAR(r.x, -M_PI, 1e-6);
  // The alternative (H + pi, pi - P, B + pi) wins when it is nearer.
  r = GetOptimalAngle(Vector(3.0f, 0.2f, 3.0f), Vector(0.0f, 2.9f, 0.0f));
  EXPECT_NEAR(r.x, M_PI, 1e-6);
  EXPECT_NEAR(r.y, M_PI - 2.9, 1e-6);
  EXPECT_NEAR(r.z, M_PI, 1e-6);
}

TEST(Orientation, GetOptimalAngleTieKeepsFirst) {
  // old 0, new (-x, y, -x): first cost 2x + y, alternative 2(pi - x) + pi - y.
  // Search floats near the tie line for exact ties in the routine's own
  // single-precision costs; at each one the first candidate is kept.
  int ties = 0;
  for (float x = 1.0f; x < 1.5f; x = std::nextafter(x, 2.0f) + 1e-4f) {
    double yd = 1.5 * M_PI - 2.0 * x;
    float y = float(yd);
    for (int k = -3; k <= 3; ++k) {
      float yy = y;
      for (int s = 0; s < std::abs(k); ++s) yy = std::nextafter(yy, k > 0 ? 10.0f : -10.0f);
      float c1 = x + yy + x;
      float ax = float(-double(x) + M_PI), ay = float(M_PI - double(yy));
      float c2 = ax + ay + ax;
      if (c1 != c2) continue;
      Vector r = GetOptimalAngle(Vector(0, 0, 0), Vector(-x, yy, -x));
      EXPECT_EQ(r.x, -x);
      EXPECT_EQ(r.y, yy);
      ++ties;
    }
  }
  EXPECT_GT(ties, 0);
}
