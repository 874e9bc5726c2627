// Look-ahead, projection, frame turning, the vision probe and the affine
// inverse of the terrain matrix.
#include <gtest/gtest.h>

#include <cmath>

#include "Kestrelwood.h"
#include "affine_inverse.h"

namespace {

void ExpectNear(const Vector& a, const Vector& b, float tol) {
  EXPECT_NEAR(a.x, b.x, tol);
  EXPECT_NEAR(a.y, b.y, tol);
  EXPECT_NEAR(a.z, b.z, tol);
}

}  // namespace

TEST(VectorInSphere, InsideOrOnSurfaceIsZero) {
  // Origin on the surface (u^2 == r^2): 0, not a crossing distance.
  EXPECT_EQ(Kestrelwood::VectorInSphere(Vector(0, 0, 0), Vector(0, 0, 1), 1000, Vector(0, 0, 5), 5), 0.0f);
  EXPECT_EQ(Kestrelwood::VectorInSphere(Vector(0, 0, 0), Vector(0, 0, 1), 1000, Vector(1, 0, 1), 5), 0.0f);
}

TEST(VectorInSphere, CrossingTangentAndReach) {
  // Straight at a sphere 10 ahead of radius 2: the near crossing at 8.
  EXPECT_EQ(Kestrelwood::VectorInSphere(Vector(0, 0, 0), Vector(0, 0, 1), 1000, Vector(0, 0, 10), 2), 8.0f);
  // Tangent (D == 0): |t|.
  EXPECT_EQ(Kestrelwood::VectorInSphere(Vector(0, 0, 0), Vector(0, 0, 1), 1000, Vector(3, 0, 4), 3), 4.0f);
  // Past the tangent: miss.
  EXPECT_EQ(Kestrelwood::VectorInSphere(Vector(0, 0, 0), Vector(0, 0, 1), 1000, Vector(3.5f, 0, 4), 3), -1.0f);
  // Exactly at reach: seen; just short of it: not.
  EXPECT_EQ(Kestrelwood::VectorInSphere(Vector(0, 0, 0), Vector(0, 0, 1), 8, Vector(0, 0, 10), 2), 8.0f);
  EXPECT_EQ(Kestrelwood::VectorInSphere(Vector(0, 0, 0), Vector(0, 0, 1), 7.99f, Vector(0, 0, 10), 2), -1.0f);
}

TEST(VectorInSphere, BehindCountsByAbsoluteValue) {
  // Sphere behind the origin, line through it: |t - sqrt(D)| = |-10 - 2| = 12.
  EXPECT_EQ(Kestrelwood::VectorInSphere(Vector(0, 0, 0), Vector(0, 0, 1), 1000, Vector(0, 0, -10), 2), 12.0f);
  EXPECT_EQ(Kestrelwood::VectorInSphere(Vector(0, 0, 0), Vector(0, 0, 1), 11, Vector(0, 0, -10), 2), -1.0f);
  // An unnormalised direction scales t as the callers' axes do.
  EXPECT_EQ(Kestrelwood::VectorInSphere(Vector(0, 0, 0), Vector(0, 0, 2), 1000, Vector(0, 0, 10), 2), 20.0f - 
            std::sqrt(400.0f + 4.0f - 100.0f));
}

TEST(VectorProjection, ZeroDirectionAndSignedLength) {
  Vector base(1, 2, 3);
  EXPECT_EQ(Kestrelwood::VectorProjection(5, Vector(0, 0, 0), base), base);
  EXPECT_EQ(Kestrelwood::VectorProjection(-7, Vector(0, 0, 0), base), base);
  EXPECT_EQ(Kestrelwood::VectorProjection(5, Vector(0, 0, 2), base), Vector(1, 2, 8));
  EXPECT_EQ(Kestrelwood::VectorProjection(-5, Vector(0, 3, 0), base), Vector(1, -3, 3));
}

TEST(MatrixglobalrotY, ZeroAndQuarterTurn) {
  Matrix m(Vector(10, 20, 30), Vector(0.6f, 0, 0.8f), Vector(0, 2, 0), Vector(-0.8f, 0, 0.6f));
  EXPECT_EQ(Kestrelwood::MatrixglobalrotY(m, 0.0f), m);
  Matrix q = Kestrelwood::MatrixglobalrotY(m, 1.57079637f);
  EXPECT_EQ(q.off, m.off);
  EXPECT_EQ(q.v2, m.v2);
  ExpectNear(q.v3, -m.v1, 1e-6f);
  ExpectNear(q.v1, m.v3, 1e-6f);
  // It turns about the frame's own Y axis: a tilted frame keeps its up axis.
  Matrix tilted(Vector(), Vector(1, 0, 0), Vector(0, 0.6f, 0.8f), Vector(0, -0.8f, 0.6f));
  Matrix t = Kestrelwood::MatrixglobalrotY(tilted, 0.3f);
  EXPECT_EQ(t.v2, tilted.v2);
  EXPECT_NEAR(t.v1 * t.v2, 0.0f, 1e-6f);
}

TEST(CreaVistaHelper, ProbeCornersAndDegenerateAxes) {
  TVistaHelper rec{};
  rec.speed = 7;
  rec.obstacleSeen = 1;
  // Scaled axes are normalised: the probe ignores the agent's scale.
  Matrix mg(Vector(1, 0, 1), Vector(2, 0, 0), Vector(0, 2, 0), Vector(0, 0, 2));
  TVistaHelper r = Kestrelwood::CreaVistaHelper(mg, rec, 100, 10);
  EXPECT_EQ(r.cornerRearLeft, Vector(-9, 0, 1));
  EXPECT_EQ(r.cornerFrontLeft, Vector(-9, 0, 101));
  EXPECT_EQ(r.cornerFrontRight, Vector(11, 0, 101));
  EXPECT_EQ(r.cornerRearRight, Vector(11, 0, 1));
  EXPECT_EQ(r.speed, 7.0f);
  EXPECT_EQ(r.obstacleSeen, 1);
  // Zero X axis: a segment along Z; zero Z axis: the rear edge.
  mg.v1 = Vector(0, 0, 0);
  r = Kestrelwood::CreaVistaHelper(mg, rec, 100, 10);
  EXPECT_EQ(r.cornerRearLeft, r.cornerRearRight);
  EXPECT_EQ(r.cornerFrontLeft, Vector(1, 0, 101));
  EXPECT_EQ(r.cornerFrontLeft, r.cornerFrontRight);
  mg.v1 = Vector(1, 0, 0);
  mg.v3 = Vector(0, 0, 0);
  r = Kestrelwood::CreaVistaHelper(mg, rec, 100, 10);
  EXPECT_EQ(r.cornerFrontLeft, r.cornerRearLeft);
  EXPECT_EQ(r.cornerFrontRight, r.cornerRearRight);
  // A negative length mirrors the probe behind the agent.
  mg.v3 = Vector(0, 0, 1);
  r = Kestrelwood::CreaVistaHelper(mg, rec, -50, 10);
  EXPECT_EQ(r.cornerFrontLeft.z, -49.0f);
}

TEST(AffineInverse, UndoesRotationScaleAndOffset) {
  Matrix t(Vector(5, -3, 2), Vector(0, 0, -2), Vector(0, 2, 0), Vector(2, 0, 0));
  Matrix inv = AffineInverse(t);
  Vector p(7, 1, -4);
  ExpectNear(inv * (t * p), p, 1e-5f);
  ExpectNear(ApplyAxes(inv, ApplyAxes(t, Vector(0, 1, 0))), Vector(0, 1, 0), 1e-6f);
  // Singular axis part: identity.
  Matrix flat(Vector(1, 2, 3), Vector(1, 0, 0), Vector(0, 0, 0), Vector(0, 0, 1));
  EXPECT_EQ(AffineInverse(flat), Matrix());
}
