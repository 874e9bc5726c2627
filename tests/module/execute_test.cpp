// The per-evaluation update through Kestrelwood::Execute: gates, restore,
// the step of one agent, terrain, crowds past the table's size and
// parameters a user should not be able to crash the tag with.
#include <cmath>
#include <cstring>
#include <limits>

#include "scene_fixture.h"

namespace {

class ExecuteTest : public SceneTest {
 protected:
  void SetUp() override {
    SceneTest::SetUp();
    group_ = Add("Group");
    target_ = AddAt("Target", Vector(1000, 0, 0));
    Link(AGENTS_GROUP, group_);
    Link(TARGET, target_);
  }
  // A lone agent steered by the target alone.
  void TargetOnly() {
    SetReal(REPULSION_WEIGHT, 0);
    SetReal(ALIGNMENT_WEIGHT, 0);
  }
  kwhost::Object* group_ = nullptr;
  kwhost::Object* target_ = nullptr;
};

float Dist(const Vector& a, const Vector& b) {
  Vector d = a - b;
  return std::sqrt(d * d);
}

bool SameBits(const Matrix& a, const Matrix& b) { return std::memcmp(&a, &b, sizeof(Matrix)) == 0; }

uint64_t Fnv(uint64_t h, const void* p, size_t n) {
  const unsigned char* c = static_cast<const unsigned char*>(p);
  for (size_t i = 0; i < n; ++i) h = (h ^ c[i]) * 1099511628211ull;
  return h;
}

}  // namespace

TEST_F(ExecuteTest, GatesLeaveSceneUntouched) {
  auto a = AddAgents(group_, 2, 100);
  Matrix before = Mg(a[0]);
  EXPECT_EQ(Execute(5), 0);  // no start recorded
  EXPECT_EQ(Mg(a[0]), before);
  ASSERT_TRUE(Press());
  Params().remove(TARGET);
  EXPECT_EQ(Execute(5), 0);
  EXPECT_EQ(Mg(a[0]), before);
}

TEST_F(ExecuteTest, LoneAgentTurnsATenthAndMovesItsSpeed) {
  TargetOnly();
  kwhost::Object* a = AddAgents(group_, 1, 0)[0];
  ASSERT_TRUE(Press());
  float h = 0.0f;
  for (int f = 1; f <= 30; ++f) {
    Vector before = Mg(a).off;
    // Independent evaluation of the wish and the easing.
    Vector d = Vector(1000, 0, 0) - before;
    d.y = 0;
    double wish = std::atan2(-double(d.x), double(d.z));
    if (wish < -M_PI_2) wish += 2 * M_PI;
    double dh = wish - double(h);
    if (dh > M_PI) dh -= 2 * M_PI;
    if (dh < -M_PI) dh += 2 * M_PI;
    double expectH = double(h) + 0.1 * dh;
    ASSERT_EQ(Execute(f), 0);
    Vector r = B(a)->GetRotation();
    EXPECT_NEAR(r.x, expectH, 2e-5) << "frame " << f;
    h = r.x;
    Vector after = Mg(a).off;
    EXPECT_NEAR(Dist(before, after), 20.0f, 1e-3f);
    EXPECT_NEAR(after.x, before.x - 20.0 * std::sin(double(h)), 1e-3);
    EXPECT_EQ(after.y, 0.0f);
  }
  // Heading pi/2 moves along -X, heading 0 along +Z: the target at +X is
  // reached turning the short way (negative heading).
  EXPECT_LT(h, 0.0f);
}

TEST_F(ExecuteTest, FirstFrameRestoresAndFreshInstanceReloads) {
  auto a = AddAgents(group_, 3, 300);
  a[2]->setRotation(KwVector{0.3f, 0, 0});
  ASSERT_TRUE(Press());
  Matrix start[3] = {Mg(a[0]), Mg(a[1]), Mg(a[2])};
  for (int f = 1; f <= 5; ++f) Execute(f);
  EXPECT_FALSE(Mg(a[0]) == start[0]);
  Execute(0);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Mg(a[i]), start[i]);
  // Step again, then a new instance on the same container (a copied tag or
  // a reloaded scene) restores from the stored pairs.
  Execute(1);
  Kestrelwood* fresh = static_cast<Kestrelwood*>(Kestrelwood::Alloc());
  doc_->setFrame(-3);
  fresh->Execute(PluginTag::From(holder_), BaseDocument::From(doc_->handle()), nullptr, nullptr, 0, 0);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Mg(a[i]), start[i]);
  EXPECT_TRUE(fresh->startRecorded);
  delete fresh;
}

TEST_F(ExecuteTest, SameFrameTwiceStepsTwice) {
  TargetOnly();
  kwhost::Object* a = AddAgents(group_, 1, 0)[0];
  ASSERT_TRUE(Press());
  Execute(4);
  Vector once = Mg(a).off;
  Execute(4);
  EXPECT_NEAR(Dist(once, Mg(a).off), 20.0f, 1e-3f);
}

TEST_F(ExecuteTest, StoredTableBoundsAndIdRange) {
  auto a = AddAgents(group_, 2, 10);
  Matrix m(Vector(7, 8, 9), Vector(1, 0, 0), Vector(0, 1, 0), Vector(0, 0, 1));
  KwMatrix km = ToKwMatrix(m);
  // Count entry at INT32_MAX - 1: pair 0's matrix at INT32_MAX is in range,
  // its speed and every later pair would wrap and read as absent.
  Params().setBool(START_RECORDED, true);
  Params().setLong(START_COUNT_ID, INT32_MAX - 1);
  Params().setLong(INT32_MAX - 1, 3);
  Params().setMatrix(INT32_MAX, km);
  Params().setReal(INT32_MIN, 55.0f);
  Params().setMatrix(INT32_MIN + 1, km);
  VistaHelper[0].speed = 99;
  Execute(0);
  EXPECT_EQ(tag_->startMatrix[0], m);
  EXPECT_EQ(VistaHelper[0].speed, 0.0f);
  EXPECT_EQ(tag_->startMatrix[1], Matrix());
  EXPECT_EQ(Mg(a[0]), m);
}

TEST_F(ExecuteTest, CountAboveHundredLoadsHundred) {
  AddAgents(group_, 1, 0);
  ASSERT_TRUE(Press());
  Params().setLong(START_COUNT, 5000);
  Kestrelwood* fresh = static_cast<Kestrelwood*>(Kestrelwood::Alloc());
  doc_->setFrame(0);
  fresh->Execute(PluginTag::From(holder_), BaseDocument::From(doc_->handle()), nullptr, nullptr, 0, 0);
  EXPECT_TRUE(fresh->startRecorded);
  delete fresh;
}

TEST_F(ExecuteTest, AgentsPastHundredAreLeftAlone) {
  // 105 agents: the first 100 move exactly as a crowd of 100 does.
  auto a = AddAgents(group_, 105, 30);
  for (int i = 100; i < 105; ++i) a[i]->setPosition(KwVector{0, 0, 5000.0f + 30 * float(i)});
  ASSERT_TRUE(Press());
  for (int f = 1; f <= 5; ++f) Execute(f);
  std::vector<Matrix> big;
  for (auto* o : a) big.push_back(Mg(o));
  for (int i = 100; i < 105; ++i) EXPECT_EQ(big[i].off, Vector(0, 0, 5000.0f + 30 * float(i)));

  SceneTest::TearDown();
  SetUp();
  auto b = AddAgents(group_, 100, 30);
  ASSERT_TRUE(Press());
  for (int f = 1; f <= 5; ++f) Execute(f);
  for (int i = 0; i < 100; ++i) EXPECT_TRUE(SameBits(Mg(b[i]), big[i])) << "agent " << i;
}

TEST_F(ExecuteTest, NoColliderWalksFlat) {
  TargetOnly();
  kwhost::Object* ground = AddPlane("Ground", 5000);
  ground->setPosition(KwVector{0, -100, 0});
  Link(TERRAIN, ground);
  kwhost::Object* a = AddAgents(group_, 1, 0)[0];
  ASSERT_TRUE(Press());
  table_.colliders.alloc = []() -> KwCollider* { return nullptr; };
  Execute(1);
  EXPECT_EQ(Mg(a).off.y, 0.0f);
  table_ = kwhost::makeHostTable();
  Execute(2);
  EXPECT_NEAR(Mg(a).off.y, -100.0f, 1e-4f);
}

TEST_F(ExecuteTest, PitchStepLimitsTiltOnSlope) {
  TargetOnly();
  target_->setPosition(KwVector{0, 0, 100000});
  kwhost::Object* ground = AddPlane("Slope", 100000);
  ground->setRotation(KwVector{0, 0.5f, 0});  // rises along +Z
  Link(TERRAIN, ground);
  kwhost::Object* a = AddAgents(group_, 1, 0)[0];
  a->setPosition(KwVector{0, 10, 0});
  SetReal(MAX_PITCH_STEP, 0.1f);
  ASSERT_TRUE(Press());
  for (int f = 1; f <= 4; ++f) {
    Execute(f);
    EXPECT_NEAR(B(a)->GetRotation().y, 0.1 * f, 1e-5) << "frame " << f;
  }
  for (int f = 5; f <= 7; ++f) Execute(f);
  EXPECT_NEAR(B(a)->GetRotation().y, 0.5, 1e-5);
  // Without a limit the pitch follows the slope at once.
  SetReal(MAX_PITCH_STEP, 0);
  a->setRotation(KwVector{0, 0, 0});
  Execute(8);
  EXPECT_NEAR(B(a)->GetRotation().y, 0.5, 1e-5);
}

TEST_F(ExecuteTest, ZeroGroundNormalKeepsEasedPitchAndBank) {
  TargetOnly();
  kwhost::Object* ground = AddPlane("Flat", 5000);
  ground->setScale(KwVector{1, 0, 1});  // singular: contacts carry no normal
  Link(TERRAIN, ground);
  kwhost::Object* a = AddAgents(group_, 1, 0)[0];
  a->setPSR(KwVector{0, 40, 0}, KwVector{0, 0.2f, 1.0f}, KwVector{1, 1, 1});
  ASSERT_TRUE(Press());
  Execute(1);
  Vector r = B(a)->GetRotation();
  EXPECT_EQ(r.y, 0.2f);                 // pitch kept
  EXPECT_EQ(r.z, 1.0f + 0.1f * (0.0f - 1.0f));  // bank eased toward 0
  EXPECT_FALSE(std::isnan(r.x));
  EXPECT_NEAR(Mg(a).off.y, 0.0f, 1e-4f);  // on the ground point
}

TEST_F(ExecuteTest, NonFiniteParametersDoNotCrash) {
  AddAgents(group_, 5, 50);
  kwhost::Object* obst = Add("Obstacles");
  AddCircle("C", Vector(0, 0, 300), 100, obst);
  Link(OBSTACLES_GROUP, obst);
  kwhost::Object* ground = AddPlane("Ground", 5000);
  Link(TERRAIN, ground);
  ASSERT_TRUE(Press());
  const float values[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                          -std::numeric_limits<float>::infinity(), 3e38f, -3e38f, 0.0f};
  const int32_t ids[] = {VISION_LENGTH, VISION_HALF_WIDTH, AVOID_ANGLE, TARGET_WEIGHT, REPULSION_WEIGHT,
                         ALIGNMENT_WEIGHT, REPULSION_RADIUS, ALIGNMENT_RADIUS, MAX_PITCH_STEP};
  int frame = 1;
  for (float v : values) {
    for (int32_t id : ids) SetReal(id, v);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(Execute(frame++), 0);
  }
  // Extreme speeds and times.
  SetReal(SPEED, 3e38f);
  SetReal(SPEED_VARIATION, std::numeric_limits<float>::quiet_NaN());
  ASSERT_TRUE(Press());
  EXPECT_EQ(Execute(frame++), 0);
  EXPECT_TRUE(doc_->setTimeline(1, INT32_MIN + 1, INT32_MAX).ok());
  EXPECT_EQ(Execute(INT32_MAX), 0);
}

TEST_F(ExecuteTest, CrowdIsDeterministic) {
  auto run = [this]() {
    group_ = Add("Crowd");
    Link(AGENTS_GROUP, group_);
    target_->setPosition(KwVector{0, 0, 3000});
    auto a = AddAgents(group_, 20, 60);
    for (int i = 0; i < 20; ++i) a[i]->setPosition(KwVector{60.0f * float(i % 5), 0, 60.0f * float(i / 5)});
    kwhost::Object* obst = Add("Obstacles");
    AddCircle("Rock", Vector(100, 0, 1200), 250, obst);
    Link(OBSTACLES_GROUP, obst);
    kwhost::Object* ground = AddPlane("Ground", 10000);
    ground->setRotation(KwVector{0, 0.05f, 0});
    ground->setPosition(KwVector{0, -20, 0});
    Link(TERRAIN, ground);
    SetReal(SPEED_VARIATION, 0.4f);
    SetReal(MAX_PITCH_STEP, 0.02f);
    EXPECT_TRUE(Press());
    uint64_t h = 1469598103934665603ull;
    for (int f = 1; f <= 80; ++f) {
      Execute(f);
      for (auto* o : a) {
        Matrix m = Mg(o);
        h = Fnv(h, &m, sizeof(m));
      }
    }
    // Every agent has closed in on the target; no two end on the same spot.
    for (auto* o : a) EXPECT_LT(Dist(Mg(o).off, Vector(0, 0, 3000)), 2500.0f);  // all start 2820 or more away
    for (size_t i = 0; i < a.size(); ++i)
      for (size_t j = i + 1; j < a.size(); ++j) EXPECT_GT(Dist(Mg(a[i]).off, Mg(a[j]).off), 1.0f);
    return h;
  };
  uint64_t first = run();
  SceneTest::TearDown();
  SetUp();
  uint64_t second = run();
  EXPECT_EQ(first, second);
  RecordProperty("crowd_hash", std::to_string(first));
  // Reference run of this scene (x86-64, SSE2, no contraction).
  EXPECT_EQ(first, 8051906905354342826ull) << "reference hash changed: " << first;
}
