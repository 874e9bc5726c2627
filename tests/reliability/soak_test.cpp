// A short soak run for CI (scripts/soak runs the long one): a crowd on
// terrain among obstacles, stepped with restores and presses; nothing goes
// non-finite and the module's live blocks stay flat.
#include <gtest/gtest.h>

#include <sstream>

#include "core/evaluate.h"
#include "module_test.h"
#include "scene/demo_scene.h"
#include "scene/scene_file.h"
#include "validate/soak.h"
#include "validate/tag_contract.h"

namespace kv = kwhost::validate;

namespace {

TEST(Soak, GeneratedCrowdStaysFiniteAndFlat) {
  kwhost::Module* m = kwtest::sharedModule();
  ASSERT_NE(m, nullptr);
  kv::SoakOptions o;
  o.frames = 3000;
  o.restoreEvery = 500;
  o.pressEvery = 1100;
  o.layout.agents = 40;
  o.driftLimit = 1e9;  // timing is reported by scripts/soak, not judged in CI
  const kv::SoakReport r = kv::runSoak(*m, o);
  std::ostringstream text;
  kv::printSoakReport(r, text);
  EXPECT_TRUE(r.ok) << text.str();
  EXPECT_EQ(r.frames, 3000);
  EXPECT_EQ(r.restores, 6);
  EXPECT_EQ(r.presses, 2);
  EXPECT_EQ(r.liveBlocksMin, r.liveBlocksMax);
}

TEST(Soak, DemoSceneStaysFiniteAndFlat) {
  kwhost::Module* m = kwtest::sharedModule();
  ASSERT_NE(m, nullptr);
  auto scene = kwhost::scene::readSceneJson(kwhost::scene::demoSceneJson(8), ".");
  ASSERT_TRUE(scene.ok()) << scene.error();
  kwhost::Document& doc = *scene.value().doc;
  for (kwhost::Tag* t : scene.value().recordStart) kwhost::pressButton(*t, kv::kRecordStart);
  const kv::Crowd crowd = kv::crowdOf(doc, *doc.tagsInOrder().at(0));
  ASSERT_NE(crowd.group, nullptr);
  kv::SoakOptions o;
  o.frames = 1500;
  o.restoreEvery = 400;
  o.pressEvery = 700;
  o.driftLimit = 1e9;
  const kv::SoakReport r = kv::runSoakOn(*m, doc, crowd, o);
  std::ostringstream text;
  kv::printSoakReport(r, text);
  EXPECT_TRUE(r.ok) << text.str();
}

}  // namespace
