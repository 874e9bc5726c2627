#include "module_fixture.h"

#include <unistd.h>

#include <fstream>

namespace fs = std::filesystem;

void ModuleTest::SetUp() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  root_ = fs::temp_directory_path() /
          (std::string("kw_e2e_") + info->test_suite_name() + "_" + info->name() + "_" + std::to_string(::getpid()));
  fs::remove_all(root_);
  folder_ = root_ / "Kestrelwood";
  fs::create_directories(folder_);
  moduleFile_ = fs::path(KW_TEST_MODULE).filename().string();
  fs::copy_file(KW_TEST_MODULE, folder_ / moduleFile_);
  fs::copy(fs::path(KW_TEST_MODULE_DIR) / "res", folder_ / "res", fs::copy_options::recursive);
  kwhost::Console::instance().clear();
  kwhost::Console::instance().setArguments({});
}

void ModuleTest::TearDown() {
  module_.reset();
  fs::remove_all(root_);
}

void ModuleTest::writeRes(const std::string& rel, const std::string& text) {
  std::ofstream(resDir() / rel, std::ios::binary) << text;
}

void ModuleTest::start(const kwhost::LoadOptions& o) {
  auto m = kwhost::Module::load(modulePath(), o);
  ASSERT_TRUE(m) << m.error();
  module_ = std::move(m.value());
}
