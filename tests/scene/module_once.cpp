#include "module_once.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "core/module_loader.h"

namespace fs = std::filesystem;

namespace {

std::unique_ptr<kwhost::Module> module;
std::string failure;

// Ends the module after the last test, while the host's own state is still
// alive (not at static destruction, whose order is not ours to choose).
class ModuleEnvironment : public ::testing::Environment {
 public:
  void TearDown() override { module.reset(); }
};
[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new ModuleEnvironment);

}  // namespace

void requireModule() {
  if (!module && failure.empty()) {
    auto m = kwhost::Module::load(KW_TEST_MODULE);
    if (m) module = std::move(m.value());
    else failure = m.error();
  }
  ASSERT_TRUE(module) << failure;
}

std::string tempFolder(const std::string& name) {
  fs::path p = fs::path(::testing::TempDir()) / ("kw-scene-" + name);
  fs::remove_all(p);
  fs::create_directories(p);
  return p.string();
}

void writeText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

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

std::string quote(const std::string& s) { return "'" + s + "'"; }

Ran kestrelwood(const std::string& args, const std::string& dir) {
  const std::string out = dir + "/stdout.txt", err = dir + "/stderr.txt";
  const std::string cmd = quote(KW_PROGRAM) + " " + args + " >" + quote(out) + " 2>" + quote(err) + " </dev/null";
  int rc = std::system(cmd.c_str());
  Ran r{WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, readText(out), readText(err)};
  fs::remove(out);
  fs::remove(err);
  return r;
}

std::string cat(std::initializer_list<std::string_view> parts) {
  std::string s;
  for (std::string_view p : parts) s.append(p.data(), p.size());
  return s;
}
