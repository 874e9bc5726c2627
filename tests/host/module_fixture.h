// End-to-end tests: every test loads its own copy of the built module folder
// (Kestrelwood.so with res/ beside it), so a test may break the copy's res/
// files and every test starts with fresh module globals.
#ifndef KW_TESTS_HOST_MODULE_FIXTURE_H
#define KW_TESTS_HOST_MODULE_FIXTURE_H

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/console.h"
#include "core/document.h"
#include "core/module_loader.h"

class ModuleTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  std::string modulePath() const { return (folder_ / moduleFile_).string(); }
  std::filesystem::path resDir() const { return folder_ / "res"; }
  void writeRes(const std::string& rel, const std::string& text);

  kwhost::Result<std::unique_ptr<kwhost::Module>> open(const kwhost::LoadOptions& o = {}) {
    return kwhost::Module::open(modulePath(), o);
  }
  // Loads and starts the module copy into module_; fails the test otherwise.
  void start(const kwhost::LoadOptions& o = {});
  std::vector<std::string> lines() const { return kwhost::Console::instance().lines(); }

  std::filesystem::path root_, folder_;
  std::string moduleFile_;
  std::unique_ptr<kwhost::Module> module_;
};

#endif
