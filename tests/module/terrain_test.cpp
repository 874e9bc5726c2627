// Terrain following: the two rays, local coordinates of the terrain and the
// contact carried back to world coordinates.
#include <cmath>

#include "scene_fixture.h"

namespace {

class Terrain : public SceneTest {
 protected:
  void SetUp() override {
    SceneTest::SetUp();
    plane_ = AddPlane("Ground", 1000);
  }
  void TearDown() override {
    GeRayCollider::Free(rc_);
    SceneTest::TearDown();
  }
  // Builds the collider (after the terrain's transform is set) and casts.
  Bool Cast(Vector pos, Vector up = Vector(0, 1, 0)) {
    if (!rc_) {
      rc_ = GeRayCollider::Alloc();
      rc_->Init(B(plane_), TRUE);
    }
    Matrix m;
    m.off = pos;
    m.v2 = up;
    return Kestrelwood::Verifica_collisione_terreno(rc_, B(plane_), m, &rec_);
  }
  void Near(const Vector& a, const Vector& b, float tol = 1e-3f) {
    EXPECT_NEAR(a.x, b.x, tol);
    EXPECT_NEAR(a.y, b.y, tol);
    EXPECT_NEAR(a.z, b.z, tol);
  }
  kwhost::Object* plane_ = nullptr;
  GeRayCollider* rc_ = nullptr;
  TVistaHelper rec_{};
};

}  // namespace

TEST_F(Terrain, AboveAndBelowTheSurface) {
  ASSERT_TRUE(Cast(Vector(10, 50, 20)));
  EXPECT_EQ(rec_.position, Vector(10, 0, 20));
  EXPECT_EQ(rec_.groundNormal, Vector(0, 1, 0));
  rec_ = TVistaHelper{};
  ASSERT_TRUE(Cast(Vector(-30, -40, 5)));  // sunk: the ground lies above
  EXPECT_EQ(rec_.position, Vector(-30, 0, 5));
}

TEST_F(Terrain, TiltedAgentSecondRayMirrorsOnlyY) {
  // Up axis (0.6, 0.8, 0): the second ray runs along (0.6, -0.8, 0).
  ASSERT_TRUE(Cast(Vector(0, 100, 0), Vector(0.6f, 0.8f, 0)));
  Near(rec_.position, Vector(75, 0, 0));
}

TEST_F(Terrain, MovedRotatedAndTiltedTerrain) {
  plane_->setPSR(KwVector{0, -30, 0}, KwVector{0.5f, 0, 0}, KwVector{1, 1, 1});
  ASSERT_TRUE(Cast(Vector(10, 50, 20)));
  Near(rec_.position, Vector(10, -30, 20));
  Near(rec_.groundNormal, Vector(0, 1, 0), 1e-6f);
  // Tilted: the normal is the terrain's Y axis in world coordinates.
  GeRayCollider::Free(rc_);
  plane_->setPSR(KwVector{0, 0, 0}, KwVector{0, 0.3f, 0}, KwVector{1, 1, 1});
  ASSERT_TRUE(Cast(Vector(0, 50, 0)));
  Vector y = Normalize(Mg(plane_).v2);
  Near(rec_.groundNormal, y, 1e-6f);
  EXPECT_NEAR(std::sqrt(rec_.groundNormal * rec_.groundNormal), 1.0f, 1e-6);
}

TEST_F(Terrain, ScaledTerrainScalesTheReach) {
  // 1000 local units of height are 1 world unit: 150 world units up are
  // 150000 local units, beyond the ray's reach of 100000.
  std::vector<KwVector> pts = {{-1e7f, 0, -1e7f}, {1e7f, 0, -1e7f}, {1e7f, 0, 1e7f}, {-1e7f, 0, 1e7f}};
  ASSERT_TRUE(plane_->setMesh(pts, {{0, 3, 2, 1}}).ok());
  plane_->setScale(KwVector{0.001f, 0.001f, 0.001f});
  EXPECT_TRUE(Cast(Vector(0, 50, 0)));
  rec_.position = Vector(1, 2, 3);
  EXPECT_FALSE(Cast(Vector(0, 150, 0)));
  EXPECT_EQ(rec_.position, Vector(1, 2, 3));
}

TEST_F(Terrain, OffTheEdgeLeavesRecord) {
  rec_.position = Vector(5000, 50, 0);
  rec_.groundNormal = Vector(0, 0, 1);
  EXPECT_FALSE(Cast(Vector(5000, 50, 0)));
  EXPECT_EQ(rec_.position, Vector(5000, 50, 0));
  EXPECT_EQ(rec_.groundNormal, Vector(0, 0, 1));
}

TEST_F(Terrain, SingularTerrainMatrixCastsInWorld) {
  // Scale 0 in Y: determinant 0, the ray goes from the world position along
  // the world up axis; the normal carried back is the zero vector.
  plane_->setScale(KwVector{1, 0, 1});
  ASSERT_TRUE(Cast(Vector(10, 50, 20)));
  EXPECT_EQ(rec_.position, Vector(10, 0, 20));
  EXPECT_EQ(rec_.groundNormal, Vector(0, 0, 0));
}
