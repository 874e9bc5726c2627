// The same scene run twice gives bit-identical agent matrices, and a
// reference run's hash is pinned per build: a change of any rule, of the
// order of operations or of a float/double choice shows up here.
#include "core/evaluate.h"
#include "crowd_fixture.h"
#include "validate/tag_contract.h"

namespace {

using namespace kwtest;
using namespace kwhost::validate;

// 30 agents, obstacles and a terrain, 100 frames.
uint64_t referenceRun(kwhost::Document& doc) {
  CrowdLayout l;
  l.agents = 30;
  l.spacing = 200.0f;
  l.obstacles = 6;
  l.terrain = true;
  l.terrainCells = 24;
  l.terrainRelief = 400.0f;
  l.speedVariation = 0.4f;
  auto crowd = buildCrowd(doc, l);
  EXPECT_TRUE(crowd.ok()) << crowd.error();
  if (!crowd.ok()) return 0;
  crowd.value().tag->data().setReal(kMaxPitchStep, 0.03f);
  uint64_t h = kFnvBasis;
  for (int f = 1; f <= 100; ++f) {
    kwhost::evaluateFrame(doc, f);
    h = hashMatrices(h, agentMatrices(crowd.value()));
  }
  return h;
}

// Builds may differ only in the rounding of their maths libraries; the
// Linux, Windows x64 and Windows x86 builds give this same hash.
constexpr uint64_t kReferenceHash = 10236929519483317657ull;

TEST_F(CrowdScene, SameSceneTwiceIsBitIdenticalAndMatchesReference) {
  const uint64_t first = referenceRun(*doc_);
  kwhost::Document second;
  const uint64_t again = referenceRun(second);
  EXPECT_EQ(first, again);
  RecordProperty("reference_hash", std::to_string(first));
  EXPECT_EQ(first, kReferenceHash) << "reference hash changed: " << first;
}

}  // namespace
