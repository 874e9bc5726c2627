// What a user sees when a scene runs: a lone agent easing toward its target,
// a crowd that gets there without two agents ever on one spot, agents that go
// round an obstacle, agents that keep to a hilly terrain with a limit on how
// fast they pitch. All through the loaded module and the host's evaluation.
#include <cmath>
#include <numbers>

#include "crowd_fixture.h"
#include "validate/tag_contract.h"

namespace {

using namespace kwtest;
using namespace kwhost::validate;

TEST_F(CrowdScene, LoneAgentTurnsATenthOfTheWayAndMovesItsSpeed) {
  kwhost::Object* group = add("Group", KwVector{0, 0, 0});
  kwhost::Object* agent = add("Agent", KwVector{0, 0, 0}, group);
  kwhost::Object* target = add("Target", KwVector{1000, 0, 0});
  kwhost::Tag* tag = addTag(group, target);
  ASSERT_NE(tag, nullptr);
  ASSERT_TRUE(press(tag));
  double heading = 0.0;
  for (int f = 1; f <= 40; ++f) {
    const KwVector before = agent->globalMatrix().off;
    // The wished heading toward the target, in the host's heading convention
    // (heading 0 walks along +Z, pi/2 along -X), taken the short way round.
    const double wish = std::atan2(-(1000.0 - before.x), -double(before.z));
    double turn = std::remainder(wish - heading, 2.0 * std::numbers::pi);
    const double expected = heading + 0.1 * turn;
    frame(f);
    heading = agent->rotation().x;
    EXPECT_NEAR(heading, expected, 2e-5) << "frame " << f;
    const KwVector after = agent->globalMatrix().off;
    EXPECT_NEAR(distance(before, after), 20.0, 1e-3) << "frame " << f;  // the default speed
    EXPECT_NEAR(after.x, before.x - 20.0 * std::sin(heading), 1e-3) << "frame " << f;
    EXPECT_NEAR(after.z, before.z + 20.0 * std::cos(heading), 1e-3) << "frame " << f;
  }
  EXPECT_LT(heading, -1.0);  // well on the way round to the target at +X
}

TEST_F(CrowdScene, CrowdReachesItsTargetWithoutTwoAgentsOnOneSpot) {
  CrowdLayout l;
  l.agents = 24;
  l.spacing = 120.0f;
  l.target = KwVector{0, 0, 2500};
  auto crowd = buildCrowd(*doc_, l);
  ASSERT_TRUE(crowd.ok()) << crowd.error();
  const auto agents = agentsOf(crowd.value());
  std::vector<double> closest(agents.size(), 1e30);
  double nearestPair = 1e30;
  for (int f = 1; f <= 400; ++f) {
    frame(f);
    const auto m = agentMatrices(crowd.value());
    for (size_t i = 0; i < m.size(); ++i) {
      closest[i] = std::min(closest[i], horizontalDistance(m[i].off, l.target));
      for (size_t j = i + 1; j < m.size(); ++j) nearestPair = std::min(nearestPair, distance(m[i].off, m[j].off));
    }
  }
  // Every agent starts 2000 or more from the target and comes within a few
  // repulsion radii of it. No two ever share a spot: circling the target they
  // cross each other's paths (about 4 units apart at the closest here, at a
  // speed of 20 a step), but repulsion never lets them meet.
  for (size_t i = 0; i < agents.size(); ++i) EXPECT_LT(closest[i], 600.0) << agents[i]->nameRef();
  EXPECT_GT(nearestPair, 1.0);
}

TEST_F(CrowdScene, AgentsGoRoundAnObstacleInTheirWay) {
  kwhost::Object* group = add("Group", KwVector{0, 0, 0});
  std::vector<kwhost::Object*> agents;
  for (int i = 0; i < 3; ++i) agents.push_back(add("Agent" + std::to_string(i), KwVector{float(i - 1) * 150, 0, 0}, group));
  kwhost::Object* target = add("Target", KwVector{0, 0, 5000});
  kwhost::Object* obstacles = add("Obstacles", KwVector{0, 0, 0});
  const KwVector rock{0, 0, 2500};
  const float radius = 400.0f;
  addCircle("Rock", rock, radius, obstacles);
  kwhost::Tag* tag = addTag(group, target);
  ASSERT_NE(tag, nullptr);
  tag->data().setLink(kObstaclesGroup, obstacles);
  ASSERT_TRUE(press(tag));
  std::vector<bool> passed(agents.size(), false);
  for (int f = 1; f <= 400; ++f) {
    frame(f);
    for (size_t i = 0; i < agents.size(); ++i) {
      const KwVector p = agents[i]->globalMatrix().off;
      ASSERT_GT(horizontalDistance(p, rock), radius) << agents[i]->nameRef() << " inside the obstacle at frame " << f;
      if (p.z > rock.z + radius) passed[i] = true;
    }
  }
  for (size_t i = 0; i < agents.size(); ++i) {
    EXPECT_TRUE(passed[i]) << agents[i]->nameRef() << " never got past the obstacle";
    EXPECT_LT(horizontalDistance(agents[i]->globalMatrix().off, target->globalMatrix().off), 800.0);
  }
}

TEST_F(CrowdScene, AgentsKeepToHillyTerrainWithLimitedPitchSteps) {
  CrowdLayout l;
  l.agents = 16;
  l.spacing = 250.0f;
  l.terrain = true;
  l.terrainCells = 40;
  l.terrainRelief = 700.0f;
  l.target = KwVector{0, 0, 6000};
  l.pressRecordStart = false;
  auto crowd = buildCrowd(*doc_, l);
  ASSERT_TRUE(crowd.ok()) << crowd.error();
  const float maxStep = 0.01f;
  crowd.value().tag->data().setReal(kMaxPitchStep, maxStep);
  ASSERT_TRUE(press(crowd.value().tag));
  const auto agents = agentsOf(crowd.value());
  std::vector<float> pitch(agents.size(), 0.0f);
  double largestStep = 0.0, largestGap = 0.0;
  for (int f = 1; f <= 200; ++f) {
    frame(f);
    for (size_t i = 0; i < agents.size(); ++i) {
      const KwMatrix m = agents[i]->globalMatrix();
      double ground = 0;
      ASSERT_TRUE(surfaceHeight(*crowd.value().terrain, m.off.x, m.off.z, &ground)) << "off the terrain, frame " << f;
      largestGap = std::max(largestGap, std::abs(m.off.y - ground));
      EXPECT_GT(m.v2.y, 0.0f) << agents[i]->nameRef() << " not upright at frame " << f;
      const float p = agents[i]->rotation().y;
      largestStep = std::max(largestStep, double(std::abs(p - pitch[i])));
      pitch[i] = p;
    }
  }
  EXPECT_LT(largestGap, 0.02);  // float rounding at coordinates of a few thousand
  EXPECT_LE(largestStep, maxStep + 1e-6);
  EXPECT_GT(largestStep, 0.9 * maxStep);  // the slopes are steep enough for the limit to bind
}

}  // namespace
