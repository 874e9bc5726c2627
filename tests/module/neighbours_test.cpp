// Repulsion with its speed factor, alignment and the target direction.
#include <cmath>

#include "scene_fixture.h"

namespace {

class Neighbours : public SceneTest {
 protected:
  void SetUp() override {
    SceneTest::SetUp();
    group_ = Add("Group");
    agent_ = AddAt("Agent", Vector(0, 0, 0), Vector(), group_);
  }
  Vector Repel(float radius, float* factor) {
    return Kestrelwood::AgentsRepulsion(B(agent_), B(group_), radius, factor);
  }
  kwhost::Object* group_ = nullptr;
  kwhost::Object* agent_ = nullptr;
};

}  // namespace

TEST_F(Neighbours, RepulsionAloneAndRadiusCases) {
  float f = 1.0f;
  EXPECT_EQ(Repel(200, &f), Vector());
  EXPECT_EQ(f, 1.0f);
  AddAt("N", Vector(0, 0, 150), Vector(), group_);
  // Radius 0: 0/0 is not a number and gives 1.0.
  f = 1.0f;
  EXPECT_EQ(Repel(0, &f), Vector());
  EXPECT_EQ(f, 1.0f);
  // Negative radius: min(1, 2 x the value given), 1.0 when negative.
  f = 0.3f;
  EXPECT_EQ(Repel(-200, &f), Vector());
  EXPECT_EQ(f, float(2.0 * double(0.3f)));
  f = 0.7f;
  Repel(-200, &f);
  EXPECT_EQ(f, 1.0f);
  f = -0.5f;
  Repel(-200, &f);
  EXPECT_EQ(f, 1.0f);
  // NaN radius: no crash, factor 1.0.
  f = 1.0f;
  Repel(std::nanf(""), &f);
  EXPECT_EQ(f, 1.0f);
}

TEST_F(Neighbours, RepulsionPushAndSpeedFactor) {
  kwhost::Object* n = AddAt("N", Vector(0, 0, 150), Vector(), group_);
  float f = 1.0f;
  Vector r = Repel(200, &f);
  EXPECT_FLOAT_EQ(r.z, -0.25f);  // unit push from the neighbour, weight 1 - 150/200
  EXPECT_EQ(r.x, 0.0f);
  EXPECT_FLOAT_EQ(f, 0.5f);  // 50 from the point ahead: 50 / 100
  // Exactly on the point one radius ahead: zero-weight push, factor 0.
  n->setPosition(KwVector{0, 0, 200});
  f = 1.0f;
  r = Repel(200, &f);
  EXPECT_EQ(r.z, 0.0f);
  EXPECT_EQ(f, 0.0f);
  // Beyond the radius: ignored.
  n->setPosition(KwVector{0, 0, 200.5f});
  f = 1.0f;
  EXPECT_EQ(Repel(200, &f), Vector());
  EXPECT_EQ(f, 1.0f);
  // Beside the agent: pushed sideways, factor unchanged.
  n->setPosition(KwVector{50, 0, 0});
  f = 1.0f;
  r = Repel(200, &f);
  EXPECT_FLOAT_EQ(r.x, -0.75f);
  EXPECT_EQ(f, 1.0f);
}

TEST_F(Neighbours, SamePointNoPush) {
  AddAt("Twin", Vector(0, 0, 0), Vector(), group_);
  float f = 1.0f;
  EXPECT_EQ(Repel(200, &f), Vector());
  EXPECT_EQ(f, 1.0f);  // 200 from the point ahead: 2 -> clamped
}

TEST_F(Neighbours, AlignmentFromMeanHeadingAndBank) {
  EXPECT_EQ(Kestrelwood::AgentsAlignment(B(agent_), B(group_), 800), Vector());
  kwhost::Object* a = AddAt("A", Vector(100, 0, 0), Vector(0.5f, 0.3f, 0.0f), group_);
  Vector v = Kestrelwood::AgentsAlignment(B(agent_), B(group_), 800);
  EXPECT_EQ(v, Vector(1, 0, 0));
  a->setRotation(KwVector{0.0f, 0.9f, 0.0f});  // pitch alone: zero
  EXPECT_EQ(Kestrelwood::AgentsAlignment(B(agent_), B(group_), 800), Vector());
  a->setRotation(KwVector{0.2f, 0.0f, 0.4f});
  AddAt("B", Vector(0, 0, 300), Vector(0.4f, 0.0f, 0.0f), group_);
  AddAt("Far", Vector(0, 0, 900), Vector(3.0f, 0.0f, 3.0f), group_);
  v = Kestrelwood::AgentsAlignment(B(agent_), B(group_), 800);
  float l = std::sqrt(0.2f * 0.2f + 0.3f * 0.3f);
  EXPECT_NEAR(v.x, 0.3f / l, 1e-6);
  EXPECT_NEAR(v.z, 0.2f / l, 1e-6);
  EXPECT_EQ(v.y, 0.0f);
  EXPECT_EQ(Kestrelwood::AgentsAlignment(B(agent_), B(group_), 0), Vector());
}

TEST_F(Neighbours, TargetDirectionIsHorizontal) {
  kwhost::Object* t = AddAt("Target", Vector(3, 50, 4));
  EXPECT_EQ(Kestrelwood::Lookfortarget(B(agent_), B(t)), Vector(0.6f, 0, 0.8f));
  t->setPosition(KwVector{0, -70, 0});
  EXPECT_EQ(Kestrelwood::Lookfortarget(B(agent_), B(t)), Vector());
}
