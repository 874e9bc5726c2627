#include "scene_load.h"

#include <gtest/gtest.h>

namespace kwtest {

std::string loadError(const std::string& text, const std::string& baseDir) {
  auto r = kwhost::scene::readSceneText(text, baseDir);
  return r ? std::string() : r.error();
}

kwhost::scene::LoadedScene loadOk(const std::string& text, const std::string& baseDir) {
  auto r = kwhost::scene::readSceneText(text, baseDir);
  EXPECT_TRUE(r) << r.error();
  if (!r) return {};
  return std::move(r.value());
}

}  // namespace kwtest
