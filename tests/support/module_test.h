// The module under test in a GoogleTest program, in one of two ways:
//  - sharedModule(): loaded once per process (module_once.h) and ended
//    after the last test, while the host's own state is still alive;
//  - ModuleTest: a fixture that gives every test its own copy of the built
//    module's folder (the library with res/ beside it), so that a test may
//    break the copy's res/ files, and loads it only when the test asks.
#ifndef KW_TESTS_SUPPORT_MODULE_TEST_H
#define KW_TESTS_SUPPORT_MODULE_TEST_H

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/console.h"
#include "core/module_loader.h"
#include "module_once.h"
#include "scratch_folder.h"

namespace kwtest {

// The module loaded once per process; null, and a test failure saying why,
// when it cannot be loaded.
kwhost::Module* sharedModule();

class ModuleTest : public ScratchTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  std::string modulePath() const { return (folder_ / moduleFile_).string(); }
  std::filesystem::path resDir() const { return folder_ / "res"; }
  void writeRes(const std::string& rel, const std::string& text);

  kwhost::Result<std::unique_ptr<kwhost::Module>> open(const kwhost::LoadOptions& o = {}) {
    return kwhost::Module::open(modulePath(), o);
  }
  // Loads and starts the copy into module_; fails the test otherwise.
  void start(const kwhost::LoadOptions& o = {});
  std::vector<std::string> lines() const { return kwhost::Console::instance().lines(); }

  std::filesystem::path folder_;  // the copy of the module's folder, in dir_
  std::string moduleFile_;
  std::unique_ptr<kwhost::Module> module_;
};

}  // namespace kwtest

#endif
