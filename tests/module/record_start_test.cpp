// RECORD_START: the instance, the shared speeds and the stored start table.
#include <cmath>
#include <cstring>

#include "core/console.h"
#include "scene_fixture.h"

namespace {

class RecordStart : public SceneTest {
 protected:
  void SetUp() override {
    SceneTest::SetUp();
    group_ = Add("Group");
    Link(AGENTS_GROUP, group_);
  }
  void ExpectPair(int k, const Matrix& m, float speed) {
    KwMatrix stored = Params().getMatrix(START_MATRIX + 2 * k);
    EXPECT_EQ(FromKw(stored), m) << "slot " << k;
    EXPECT_EQ(Params().getReal(START_SPEED + 2 * k, -1.0f), speed) << "slot " << k;
  }
  std::vector<float> Speeds(int n, float speed, float variation) {
    Random r;
    r.Init(1234567);
    std::vector<float> out;
    float spread = variation * speed * 0.5f;
    for (int i = 0; i < n; ++i) out.push_back(r.Get11() * spread + speed);
    return out;
  }
  kwhost::Object* group_ = nullptr;
};

}  // namespace

TEST_F(RecordStart, EmptyGroupWritesWholeTable) {
  int64_t events = kwhost::Console::instance().events();
  EXPECT_TRUE(Press());
  EXPECT_TRUE(tag_->startRecorded);
  EXPECT_TRUE(Params().getBool(START_RECORDED));
  EXPECT_EQ(Params().getLong(START_COUNT_ID), START_COUNT);
  EXPECT_EQ(Params().getLong(START_COUNT), 100);
  for (int k = 0; k < 100; ++k) ExpectPair(k, Matrix(), 0.0f);
  EXPECT_FALSE(Params().has(START_MATRIX + 200));
  EXPECT_EQ(kwhost::Console::instance().events(), events + 1);
}

TEST_F(RecordStart, MissingGroupActsAsEmptyGroup) {
  Params().remove(AGENTS_GROUP);
  EXPECT_TRUE(Press());
  EXPECT_TRUE(Params().getBool(START_RECORDED));
  EXPECT_EQ(Params().getLong(START_COUNT), 100);
}

TEST_F(RecordStart, ThreeAgentsGetMatricesAndSpeeds) {
  SetReal(SPEED_VARIATION, 0.5f);
  auto agents = AddAgents(group_, 3, 50);
  agents[1]->setRotation(KwVector{1.0f, 0.2f, 0.0f});
  tag_->turnSide[1] = 1;
  ASSERT_TRUE(Press());
  auto speeds = Speeds(3, 20.0f, 0.5f);
  for (int k = 0; k < 3; ++k) {
    ExpectPair(k, Mg(agents[k]), speeds[k]);
    EXPECT_EQ(VistaHelper[k].speed, speeds[k]);
    EXPECT_EQ(tag_->startMatrix[k], Mg(agents[k]));
    EXPECT_GE(speeds[k], 15.0f);
    EXPECT_LE(speeds[k], 25.0f);
  }
  EXPECT_EQ(tag_->turnSide[1], 0);
  for (int k = 3; k < 100; ++k) ExpectPair(k, Matrix(), 0.0f);
  // A second press gives the same speeds.
  ASSERT_TRUE(Press());
  for (int k = 0; k < 3; ++k) EXPECT_EQ(VistaHelper[k].speed, speeds[k]);
}

TEST_F(RecordStart, NoVariationGivesExactSpeed) {
  AddAgents(group_, 4, 10);
  ASSERT_TRUE(Press());
  for (int k = 0; k < 4; ++k) EXPECT_EQ(VistaHelper[k].speed, 20.0f);
}

TEST_F(RecordStart, HundredAndOneChildren) {
  auto agents = AddAgents(group_, 101, 10);
  SetReal(SPEED_VARIATION, 1.0f);
  ASSERT_TRUE(Press());
  auto speeds = Speeds(100, 20.0f, 1.0f);
  for (int k = 0; k < 100; ++k) ExpectPair(k, Mg(agents[k]), speeds[k]);
  EXPECT_FALSE(Params().has(START_MATRIX + 200));
  EXPECT_EQ(Params().getLong(START_COUNT), 100);
}

TEST_F(RecordStart, OtherMessagesDoNothing) {
  AddAgents(group_, 2, 10);
  EXPECT_TRUE(tag_->Message(GeListNode::From(holder_), MSG_DESCRIPTION_COMMAND, nullptr));
  DescriptionCommand other;
  other.id = DescID(SPEED);
  EXPECT_TRUE(tag_->Message(GeListNode::From(holder_), MSG_DESCRIPTION_COMMAND, &other));
  DescriptionCommand press;
  press.id = DescID(RECORD_START);
  EXPECT_TRUE(tag_->Message(GeListNode::From(holder_), 17, &press));
  EXPECT_FALSE(tag_->startRecorded);
  EXPECT_FALSE(Params().getBool(START_RECORDED));
  EXPECT_FALSE(Params().has(START_COUNT));
}
