// Repulsion with its speed factor, alignment and the target direction.
#include <cmath>

#include <cstring>
#include <string>

#include "crowd_snapshot.h"
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

namespace {
// Appended, not "N" + ...: GCC 12 warns wrongly (-Wrestrict) on that.
// Bit for bit, but any two non-numbers alike: their sign bit says nothing
// and follows the compiler's order of operands.
bool Same(float a, float b) { return (std::isnan(a) && std::isnan(b)) || std::memcmp(&a, &b, sizeof a) == 0; }
bool Same(const Vector& a, const Vector& b) { return Same(a.x, b.x) && Same(a.y, b.y) && Same(a.z, b.z); }

std::string Numbered(int k) {
  std::string s("N");
  s.append(std::to_string(k));
  return s;
}
}  // namespace

// The step reads neighbours from a snapshot of the group and skips pairs
// that are surely out of reach; both must give exactly what reading every
// neighbour from the host gives, at the skip's edge (a component of exactly
// twice the radius), for radii too large to double, and with non-numbers.
TEST_F(Neighbours, SnapshotAndSkipGiveTheHostReadingBitForBit) {
  agent_->setRotation(KwVector{0.3f, 0, 0.1f});
  const float r = 200.0f;
  const Vector spots[] = {Vector(0, 0, 400), Vector(400, 0, 0), Vector(-399.99f, 0, 0), Vector(0, 0, -150),
                          Vector(120, 5, 130), Vector(0, 0, 0), Vector(141.42f, 0, 141.42f), Vector(0, 250, 0),
                          Vector(std::nanf(""), 0, 10), Vector(INFINITY, 0, 0), Vector(3e38f, 0, -3e38f),
                          Vector(700, 0, 90)};
  int k = 0;
  for (const Vector& s : spots) {
    kwhost::Object* n = AddAt(Numbered(k), s, Vector(0.1f * float(k), 0, -0.05f * float(k)), group_);
    (void)n;
    ++k;
  }
  CrowdSnapshot crowd;
  ASSERT_TRUE(FillCrowdSnapshot(&crowd, B(group_)->GetDown()));
  for (float radius : {r, 400.0f, 0.0f, -5.0f, 1e31f, 3e38f, INFINITY, std::nanf("")}) {
    float f1 = 0.8f, f2 = 0.8f;
    Vector a = Kestrelwood::AgentsRepulsion(B(agent_), B(group_), radius, &f1);
    Vector b = Kestrelwood::AgentsRepulsion(B(agent_), B(group_), radius, &f2, &crowd);
    EXPECT_TRUE(Same(a, b)) << radius;
    EXPECT_TRUE(Same(f1, f2)) << radius;
    Vector c = Kestrelwood::AgentsAlignment(B(agent_), B(group_), radius);
    Vector d = Kestrelwood::AgentsAlignment(B(agent_), B(group_), radius, &crowd);
    EXPECT_TRUE(Same(c, d)) << radius;
  }
}

// A group with more children than a snapshot holds is read from the host.
TEST_F(Neighbours, SnapshotRefusesGroupsBeyondItsCapacity) {
  for (int k = 0; k < CrowdSnapshot::kCapacity; ++k) AddAt(Numbered(k), Vector(float(k), 0, 0), Vector(), group_);
  CrowdSnapshot crowd;
  EXPECT_FALSE(FillCrowdSnapshot(&crowd, B(group_)->GetDown()));  // the agent makes one more
  EXPECT_EQ(crowd.count, -1);
  float f1 = 1.0f, f2 = 1.0f;
  Vector a = Kestrelwood::AgentsRepulsion(B(agent_), B(group_), 200, &f1);
  Vector b = Kestrelwood::AgentsRepulsion(B(agent_), B(group_), 200, &f2, &crowd);
  EXPECT_EQ(a, b);
  EXPECT_EQ(f1, f2);
}
