#include "scratch_folder.h"

#include <unistd.h>

namespace fs = std::filesystem;

namespace kwtest {

void ScratchTest::SetUp() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  // Parameterised suites and tests carry '/' in their names.
  std::string name = std::string("kw-") + info->test_suite_name() + "-" + info->name() + "-" + std::to_string(::getpid());
  for (char& c : name)
    if (c == '/') c = '_';
  dir_ = fs::temp_directory_path() / name;
  fs::remove_all(dir_);
  fs::create_directories(dir_);
}

void ScratchTest::TearDown() {
  std::error_code ec;
  fs::remove_all(dir_, ec);
}

std::string tempFolder(const std::string& name) {
  fs::path p = fs::path(::testing::TempDir()) / ("kw-" + name);
  fs::remove_all(p);
  fs::create_directories(p);
  return p.string();
}

}  // namespace kwtest
