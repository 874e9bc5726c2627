// Crowd scenes run through the module as the host loads it (loaded once per
// process): every test builds its own document through the host's API,
// with the crowd builder's pieces or a whole layout (validate/crowd_scene.h),
// presses RECORD_START and evaluates frames exactly as a user's scene is run.
// And what the tests measure of the result.
#ifndef KW_TESTS_SUPPORT_CROWD_FIXTURE_H
#define KW_TESTS_SUPPORT_CROWD_FIXTURE_H

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/document.h"
#include "core/object.h"
#include "core/tag.h"
#include "validate/crowd_scene.h"

namespace kwtest {

class CrowdScene : public ::testing::Test {
 protected:
  void SetUp() override;

  // Null, and a test failure, when the host refuses.
  kwhost::Object* add(const std::string& name, KwVector pos, kwhost::Object* parent = nullptr,
                      int32_t type = kwhost::kTypeNull);
  kwhost::Object* addCircle(const std::string& name, KwVector pos, float radius, kwhost::Object* parent);
  // A Kestrelwood tag on a new holder object "Crowd", linked to group and target.
  kwhost::Tag* addTag(kwhost::Object* group, kwhost::Object* target);
  bool press(kwhost::Tag* tag);
  void frame(int32_t f);  // evaluates the document at frame f

  std::unique_ptr<kwhost::Document> doc_;
};

// The height of the terrain's surface (in global coordinates) under (x, z):
// the highest crossing of a vertical line with any of its triangles; false
// off the terrain.
bool surfaceHeight(const kwhost::Object& terrain, double x, double z, double* y);

// FNV-1a over the bytes of every agent's global matrix.
uint64_t hashMatrices(uint64_t h, const std::vector<KwMatrix>& matrices);
inline constexpr uint64_t kFnvBasis = 1469598103934665603ull;

}  // namespace kwtest

#endif
