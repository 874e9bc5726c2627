// Repulsion with its speed factor, alignment and the target direction.
#include <cmath>

#include <cstring>
#include <string>

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

// The rules as written, every neighbour read from the host one pair at a
// time, in single precision: what the scan over the snapshot must give bit
// for bit.
Vector PlainRepulsion(BaseObject* agent, BaseObject* group, Real radius, Real* factor) {
  Vector sum;
  Real nearestAhead = radius;
  if (group->GetDown() && radius > 0.0f) {
    for (BaseObject* n = group->GetDown(); n; n = n->GetNext()) {
      if (n == agent) continue;
      Matrix a = agent->GetGlobalMatrix();
      Vector p = n->GetGlobalMatrix().off;
      Real d = Len(a.off - p);
      if (d > radius) continue;
      Vector v = a.off - p;
      Real l = Len(v);
      if (l != 0.0f) sum += v * (1.0f / l) * (1.0f - d / radius);
      Real e = Len(a.off + radius * a.v3 - p);
      if (e < nearestAhead) nearestAhead = e;
    }
  }
  LReal f = static_cast<LReal>(nearestAhead) / (static_cast<LReal>(radius) * 0.5) * static_cast<LReal>(*factor);
  Real stored = static_cast<Real>(f);
  if (stored > 1.0f || !(stored >= 0.0f)) stored = 1.0f;
  *factor = stored;
  return sum;
}

Vector PlainAlignment(BaseObject* agent, BaseObject* group, Real radius) {
  if (!group->GetDown() || radius <= 0.0f) return Vector();
  Real sumH = 0.0f, sumB = 0.0f;
  LONG count = 0;
  for (BaseObject* n = group->GetDown(); n; n = n->GetNext()) {
    if (n == agent) continue;
    if (!(Len(agent->GetGlobalMatrix().off - n->GetGlobalMatrix().off) <= radius)) continue;
    Vector r = n->GetRotation();
    sumH += r.x;
    sumB += r.z;
    ++count;
  }
  if (count == 0) return Vector();
  Real mH = sumH / static_cast<Real>(count), mB = sumB / static_cast<Real>(count);
  Real l = Sqrt(mB * mB + mH * mH);
  if (l == 0.0f) return Vector();
  return Vector(mH / l, 0.0f, mB / l);
}

void ExpectAsPlainRules(BaseObject* agent, BaseObject* group, float radius, const std::string& what) {
  float f1 = 0.8f, f2 = 0.8f;
  Vector a = Kestrelwood::AgentsRepulsion(agent, group, radius, &f1);
  Vector b = PlainRepulsion(agent, group, radius, &f2);
  EXPECT_TRUE(Same(a, b)) << what << ", radius " << radius;
  EXPECT_TRUE(Same(f1, f2)) << what << ", radius " << radius;
  EXPECT_TRUE(Same(Kestrelwood::AgentsAlignment(agent, group, radius), PlainAlignment(agent, group, radius)))
      << what << ", radius " << radius;
}

const float kRadii[] = {200.0f, 400.0f, 0.0f, -5.0f, 1e31f, 3e38f, INFINITY, std::nanf("")};

}  // namespace

// At a reach's edge (a component of exactly twice the radius, a neighbour on
// the radius), for radii too large to double, with infinite and huge
// positions, and with the agent first, in the middle and last (the lanes
// round it and the padding after the last child).
TEST_F(Neighbours, ScanGivesThePlainRulesBitForBit) {
  agent_->setRotation(KwVector{0.3f, 0, 0.1f});
  const Vector spots[] = {Vector(0, 0, 400), Vector(400, 0, 0), Vector(-399.99f, 0, 0), Vector(0, 0, -150),
                          Vector(120, 5, 130), Vector(0, 0, 0), Vector(141.42f, 0, 141.42f), Vector(0, 250, 0),
                          Vector(0, 0, 200), Vector(INFINITY, 0, 0), Vector(3e38f, 0, -3e38f), Vector(700, 0, 90)};
  int k = 0;
  for (const Vector& s : spots) {
    AddAt(Numbered(k), s, Vector(0.1f * float(k), 0, -0.05f * float(k)), group_);
    ++k;
    if (k == 6) {
      kwhost::Object* middle = AddAt("Middle", Vector(10, 0, 20), Vector(0.2f, 0, 0), group_);
      for (float radius : kRadii) ExpectAsPlainRules(B(middle), B(group_), radius, "in the middle");
    }
  }
  kwhost::Object* last = AddAt("Last", Vector(-30, 0, 5), Vector(-0.4f, 0, 0.2f), group_);
  for (float radius : kRadii) {
    ExpectAsPlainRules(B(agent_), B(group_), radius, "first");
    ExpectAsPlainRules(B(last), B(group_), radius, "last");
  }
  // A neighbour with a non-number among its coordinates is always within
  // reach (its distance is no number, so not greater than the radius), also
  // beside a coordinate far beyond it.
  AddAt("Unknown", Vector(1e30f, std::nanf(""), 0), Vector(0.5f, 0, 0), group_);
  AddAt("Unknown too", Vector(std::nanf(""), 0, 10), Vector(0.5f, 0, 0), group_);
  for (float radius : kRadii) ExpectAsPlainRules(B(agent_), B(group_), radius, "beside non-numbers");
  float f = 1.0f;
  EXPECT_TRUE(std::isnan(Kestrelwood::AgentsRepulsion(B(agent_), B(group_), 200.0f, &f).x));
}

// Sums of many pushes and angles come out as added in child order, for every
// agent of a crowd of any size (no cap on the group: 300 children here).
TEST_F(Neighbours, EveryAgentOfALargeCrowdGetsThePlainSums) {
  std::vector<kwhost::Object*> crowd{agent_};
  unsigned seed = 12345;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return float((seed >> 8) & 0xffff) / 65536.0f;
  };
  for (int i = 1; i < 300; ++i)
    crowd.push_back(AddAt(Numbered(i), Vector(600 * next() - 300, 40 * next(), 600 * next() - 300),
                          Vector(6 * next() - 3, 0, next() - 0.5f), group_));
  for (size_t i = 0; i < crowd.size(); i += 37) {
    crowd[i]->setRotation(KwVector{next(), 0.1f, next()});
    for (float radius : {200.0f, 800.0f})
      ExpectAsPlainRules(B(crowd[i]), B(group_), radius, "agent " + std::to_string(i));
  }
}
