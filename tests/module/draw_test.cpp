// Viewport overlays: what is drawn, in which colour, and for whom.
#include "scene_fixture.h"
#include "core/viewport.h"

namespace {

class DrawTest : public SceneTest {
 protected:
  void SetUp() override {
    SceneTest::SetUp();
    group_ = Add("Group");
    Link(AGENTS_GROUP, group_);
  }
  kwhost::Object* group_ = nullptr;
  kwhost::RecordingViewport vp_;
};

bool Same(const KwVector& a, const Vector& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

}  // namespace

TEST_F(DrawTest, NothingWhenOffOrNoAgents) {
  AddAgents(group_, 2, 100);
  VistaHelper[0].cornerRearLeft = Vector(1, 2, 3);
  EXPECT_TRUE(Draw(vp_));
  EXPECT_TRUE(vp_.passes().empty());
  EXPECT_EQ(VistaHelper[0].cornerRearLeft, Vector(1, 2, 3));
  Params().setBool(SHOW_VISION, true);
  Params().remove(AGENTS_GROUP);
  EXPECT_TRUE(Draw(vp_));
  EXPECT_TRUE(vp_.passes().empty());
}

TEST_F(DrawTest, ProbeColoursAndCircles) {
  auto a = AddAgents(group_, 2, 1000);
  a[1]->setScale(KwVector{2, 2, 2});
  Params().setBool(SHOW_VISION, true);
  Params().setBool(SHOW_REPULSION, true);
  Params().setBool(SHOW_ALIGNMENT, true);
  VistaHelper[0].obstacleSeen = 1;
  VistaHelper[1].obstacleSeen = 0;
  ASSERT_TRUE(Draw(vp_));
  ASSERT_EQ(vp_.passes().size(), 1u);
  const kwhost::DrawPass& pass = vp_.passes()[0];
  ASSERT_EQ(pass.lines.size(), 8u);
  EXPECT_TRUE(Same(pass.lines[0].color, Vector(255, 0, 0)));
  EXPECT_TRUE(Same(pass.lines[4].color, Vector(255, 255, 255)));
  // The probe closes its loop and keeps its size on the scaled agent.
  EXPECT_TRUE(Same(pass.lines[3].b, Vector(pass.lines[0].a.x, pass.lines[0].a.y, pass.lines[0].a.z)));
  EXPECT_FLOAT_EQ(pass.lines[5].b.z - pass.lines[5].a.z, 0.0f);
  EXPECT_FLOAT_EQ(pass.lines[4].b.z - pass.lines[4].a.z, 1000.0f);
  ASSERT_EQ(pass.circles.size(), 4u);
  EXPECT_TRUE(Same(pass.circles[0].color, Vector(0, 255, 0)));
  EXPECT_TRUE(Same(pass.circles[1].color, Vector(0, 0, 255)));
  EXPECT_EQ(pass.circles[0].m.v1.x, 200.0f);
  EXPECT_EQ(pass.circles[2].m.v1.x, 400.0f);  // repulsion circle grows with scale
  EXPECT_EQ(pass.circles[3].m.v1.x, 800.0f);  // alignment circle does not
  EXPECT_EQ(pass.circles[3].m.v2.z, 800.0f);
}

TEST_F(DrawTest, AgentsPastHundredNotDrawn) {
  AddAgents(group_, 103, 10);
  Params().setBool(SHOW_REPULSION, true);
  ASSERT_TRUE(Draw(vp_));
  ASSERT_EQ(vp_.passes().size(), 1u);
  EXPECT_EQ(vp_.passes()[0].circles.size(), 100u);
}
