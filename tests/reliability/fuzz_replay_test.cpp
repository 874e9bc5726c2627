// Every seed input and every input a fuzzer ever crashed on, replayed
// through the code the fuzz targets run (fuzz/corpus/<target>/ and
// fuzz/regressions/<target>/): each must hold every invariant.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "module_test.h"
#include "text_files.h"
#include "validate/fuzz_inputs.h"

namespace fs = std::filesystem;
namespace kv = kwhost::validate;

namespace {

std::vector<fs::path> inputsOf(const std::string& target) {
  std::vector<fs::path> out;
  for (const char* kind : {"corpus", "regressions"}) {
    const fs::path dir = fs::path(KW_FUZZ_DIR) / kind / target;
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) continue;
    for (const auto& e : fs::directory_iterator(dir))
      if (e.is_regular_file() && e.path().filename().string()[0] != '.') out.push_back(e.path());
  }
  std::sort(out.begin(), out.end());
  return out;
}

template <class Fn>
void replay(const std::string& target, Fn run) {
  const auto inputs = inputsOf(target);
  EXPECT_FALSE(inputs.empty()) << "no seed inputs for " << target;
  for (const auto& p : inputs) {
    // A block of exactly the input's size, as libFuzzer hands it over, so that
    // ASan sees a read past its end.
    const std::string text = kwtest::readText(p);
    const std::vector<uint8_t> bytes(text.begin(), text.end());
    EXPECT_EQ(run(bytes.data(), bytes.size()), "") << p;
  }
}

TEST(FuzzReplay, Crowd) {
  kwhost::Module* m = kwtest::sharedModule();
  ASSERT_NE(m, nullptr);
  replay("crowd", [m](const uint8_t* d, size_t n) { return kv::fuzzCrowd(*m, d, n); });
}

TEST(FuzzReplay, CrowdOfPlausibleValues) {
  kwhost::Module* m = kwtest::sharedModule();
  ASSERT_NE(m, nullptr);
  replay("crowd_finite", [m](const uint8_t* d, size_t n) { return kv::fuzzCrowd(*m, d, n, true); });
}

TEST(FuzzReplay, SceneReader) {
  kwhost::Module* m = kwtest::sharedModule();
  ASSERT_NE(m, nullptr);
  replay("scene_reader", [m](const uint8_t* d, size_t n) { return kv::fuzzSceneText(*m, d, n); });
}

TEST(FuzzReplay, ObjReader) { replay("obj_reader", kv::fuzzObjText); }

TEST(FuzzReplay, ResourceReaders) { replay("res_readers", kv::fuzzResourceText); }

}  // namespace
