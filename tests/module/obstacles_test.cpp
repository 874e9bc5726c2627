// Obstacle avoidance: which circles count, which side the agent turns to and
// how that side sticks.
#include <cmath>

#include "scene_fixture.h"

namespace {

const float kReach = 1000.0f, kHalf = 200.0f, kAngle = 0.7854f;

class Obstacles : public SceneTest {
 protected:
  void SetUp() override {
    SceneTest::SetUp();
    agent_ = AddAt("Agent", Vector(0, 0, 0));
    group_ = Add("Obstacles");
  }
  Vector Check(float half = kHalf) {
    return tag_->controlla_ostacoli(B(agent_), B(group_)->GetDown(), kReach, half, kAngle, 0);
  }
  kwhost::Object* agent_ = nullptr;
  kwhost::Object* group_ = nullptr;
};

}  // namespace

TEST_F(Obstacles, NoChainOrNothingInRange) {
  VistaHelper[0].obstacleSeen = 1;
  EXPECT_EQ(tag_->controlla_ostacoli(B(agent_), nullptr, kReach, kHalf, kAngle, 0), Vector());
  EXPECT_EQ(VistaHelper[0].obstacleSeen, 0);
  // Cubes, nulls and circles one level down are not obstacles.
  AddAt("Cube", Vector(0, 0, 400), Vector(), group_, kwhost::kTypeCube);
  kwhost::Object* holder = AddAt("Holder", Vector(0, 0, 400), Vector(), group_);
  AddCircle("Nested", Vector(0, 0, 400), 300, holder);
  EXPECT_EQ(Check(), Vector());
  EXPECT_EQ(VistaHelper[0].obstacleSeen, 0);
}

TEST_F(Obstacles, DeadAheadTurnsTowardPlusX) {
  AddCircle("C", Vector(0, 0, 500), 300, group_);
  Vector w = Check();
  EXPECT_EQ(tag_->turnSide[0], -1);
  EXPECT_EQ(VistaHelper[0].obstacleSeen, 1);
  EXPECT_EQ(w, Kestrelwood::GetNewOrientation(-1, B(agent_), kAngle));
  // Turning by -angle swings the forward axis to +X: heading 2 pi - angle.
  EXPECT_NEAR(w.x, 2 * M_PI - kAngle, 1e-5);
}

TEST_F(Obstacles, SideFollowsObstacleAndSticks) {
  kwhost::Object* c = AddCircle("C", Vector(100, 0, 500), 300, group_);
  Vector w = Check();
  EXPECT_EQ(tag_->turnSide[0], 1);
  EXPECT_NEAR(w.x, kAngle, 1e-5);  // away from +X, toward -X
  // The obstacle moves to the -X side: the side stays +1 until cleared.
  c->setPosition(KwVector{-100, 0, 500});
  w = Check();
  EXPECT_EQ(tag_->turnSide[0], 1);
  EXPECT_NEAR(w.x, kAngle, 1e-5);
  tag_->turnSide[0] = 0;
  Check();
  EXPECT_EQ(tag_->turnSide[0], -1);
}

TEST_F(Obstacles, LastSeenInChildOrderDecidesSide) {
  AddCircle("Right", Vector(100, 0, 500), 300, group_);
  AddCircle("Left", Vector(-100, 0, 600), 300, group_);
  Check();
  EXPECT_EQ(tag_->turnSide[0], -1);
}

TEST_F(Obstacles, ReachBoundaryBehindAndInside) {
  // Centre exactly radius + reach away: not examined.
  kwhost::Object* c = AddCircle("C", Vector(0, 0, 1300), 300, group_);
  EXPECT_EQ(Check(0), Vector());
  // Slightly nearer: examined, and seen at distance 999.5 <= reach.
  c->setPosition(KwVector{0, 0, 1299.5f});
  EXPECT_NE(Check(0), Vector());
  // Behind the agent: seen at |s| = 800.
  tag_->turnSide[0] = 0;
  c->setPosition(KwVector{0, 0, -500});
  EXPECT_NE(Check(0), Vector());
  EXPECT_EQ(VistaHelper[0].obstacleSeen, 1);
  // Look-ahead point inside the sphere: seen.
  c->setPosition(KwVector{0, 0, 100});
  EXPECT_NE(Check(0), Vector());
  // A circle without its radius entry has radius 0 and is missed by a ray
  // that passes beside it.
  c->data().remove(kwhost::kCircleRadiusId);
  c->setPosition(KwVector{50, 0, 500});
  EXPECT_EQ(Check(0), Vector());
}

TEST_F(Obstacles, AgentIndexOutsideTable) {
  AddCircle("C", Vector(0, 0, 500), 300, group_);
  EXPECT_EQ(tag_->controlla_ostacoli(B(agent_), B(group_)->GetDown(), kReach, kHalf, kAngle, 100), Vector());
}

TEST_F(Obstacles, GetNewOrientationSides) {
  agent_->setRotation(KwVector{0.4f, 0.0f, 0.0f});
  Vector minus = Kestrelwood::GetNewOrientation(-1, B(agent_), 0.3f);
  EXPECT_EQ(Kestrelwood::GetNewOrientation(0, B(agent_), 0.3f), minus);
  EXPECT_EQ(Kestrelwood::GetNewOrientation(7, B(agent_), 0.3f), minus);
  EXPECT_NEAR(minus.x, 0.1, 1e-5);
  EXPECT_NEAR(Kestrelwood::GetNewOrientation(1, B(agent_), 0.3f).x, 0.7, 1e-5);
}
