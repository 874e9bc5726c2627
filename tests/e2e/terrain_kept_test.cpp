// The terrain's collision structure is kept with the terrain object from one
// evaluation to the next: a change of its points is seen at the very next
// frame, a move of the object rebuilds nothing, and there is one structure
// per terrain object, which goes with it.
#include <cmath>

#include "core/collider_ops.h"
#include "crowd_fixture.h"
#include "module_test.h"
#include "validate/tag_contract.h"

namespace {

using namespace kwtest;
using namespace kwhost::validate;

CrowdLayout hillCrowd(const std::string& prefix = "") {
  CrowdLayout l;
  l.prefix = prefix;
  l.agents = 9;
  l.spacing = 250.0f;
  l.terrain = true;
  l.terrainCells = 30;
  l.terrainRelief = 300.0f;
  return l;
}

// Every agent stands on the terrain's surface as it is now.
void expectOnSurface(const Crowd& crowd, const char* when) {
  for (kwhost::Object* a : agentsOf(crowd)) {
    const KwVector p = a->globalMatrix().off;
    double ground = 0;
    ASSERT_TRUE(surfaceHeight(*crowd.terrain, p.x, p.z, &ground)) << a->nameRef() << " off the terrain " << when;
    EXPECT_NEAR(p.y, ground, 0.02) << a->nameRef() << " " << when;
  }
}

int64_t builds() { return kwhost::colliderStats().builds; }

TEST_F(CrowdScene, ANewShapeOfTheTerrainIsFollowedAtTheNextFrame) {
  auto crowd = buildCrowd(*doc_, hillCrowd());
  ASSERT_TRUE(crowd.ok()) << crowd.error();
  kwhost::Object* terrain = crowd.value().terrain;
  for (int f = 1; f <= 3; ++f) frame(f);
  expectOnSurface(crowd.value(), "on the first shape");
  const int64_t before = builds();

  // The same polygons, every point raised and the relief turned over.
  std::vector<KwVector> points = terrain->points();
  for (KwVector& p : points) p.y = 400.0f - p.y;
  std::vector<std::vector<uint32_t>> triangles;
  const auto& t = terrain->triangles();
  for (size_t i = 0; i + 2 < t.size(); i += 3) triangles.push_back({t[i], t[i + 1], t[i + 2]});
  ASSERT_TRUE(terrain->setMesh(std::move(points), triangles));
  frame(4);
  EXPECT_EQ(builds(), before + 1);
  expectOnSurface(crowd.value(), "right after the change");
  frame(5);
  EXPECT_EQ(builds(), before + 1) << "an unchanged terrain was rebuilt";
  expectOnSurface(crowd.value(), "a frame later");
}

TEST_F(CrowdScene, MovingTheTerrainObjectRebuildsNothing) {
  auto crowd = buildCrowd(*doc_, hillCrowd());
  ASSERT_TRUE(crowd.ok()) << crowd.error();
  kwhost::Object* terrain = crowd.value().terrain;
  frame(1);
  frame(2);
  const int64_t before = builds();
  // Lifted, turned a little and scaled: the rays are cast in its own
  // coordinates, so its structure stays as it is.
  terrain->setPSR(KwVector{30, 250, -40}, KwVector{0.2f, 0, 0}, KwVector{1.1f, 1.1f, 1.1f});
  frame(3);
  frame(4);
  EXPECT_EQ(builds(), before);
  expectOnSurface(crowd.value(), "after the move");
}

TEST_F(CrowdScene, OneStructurePerTerrainObjectFreedWithIt) {
  kwhost::Module* module = kwtest::sharedModule();
  ASSERT_NE(module, nullptr);
  const int64_t shapes = kwhost::colliderStats().liveShapes;
  const auto account = module->account().snapshot();
  // Two crowds on one terrain.
  auto a = buildCrowd(*doc_, hillCrowd("A "));
  ASSERT_TRUE(a.ok()) << a.error();
  CrowdLayout lb = hillCrowd("B ");
  lb.terrain = false;
  auto b = buildCrowd(*doc_, lb);
  ASSERT_TRUE(b.ok()) << b.error();
  b.value().tag->data().setLink(kTerrain, a.value().terrain);
  for (int f = 1; f <= 5; ++f) frame(f);
  EXPECT_EQ(kwhost::colliderStats().liveShapes, shapes + 1);
  // Between evaluations the module holds no collider and no block it took for a frame.
  const auto between = module->account().snapshot();
  EXPECT_EQ(between.liveHandles, account.liveHandles);
  EXPECT_EQ(between.badFrees, 0);

  doc_->deleteObject(a.value().terrain);
  EXPECT_EQ(kwhost::colliderStats().liveShapes, shapes);
  frame(6);  // both crowds now walk flat
  EXPECT_EQ(kwhost::colliderStats().liveShapes, shapes);
  doc_.reset();
  const auto after = module->account().snapshot();
  EXPECT_EQ(after.liveBlocks, account.liveBlocks);  // the tag instances went with the document
  EXPECT_EQ(after.liveBytes, account.liveBytes);
  EXPECT_EQ(after.liveHandles, account.liveHandles);
}

}  // namespace
