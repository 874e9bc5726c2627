#include "module_test.h"

#include "text_files.h"

namespace fs = std::filesystem;

namespace kwtest {

namespace {

class EndAfterTheLastTest : public ::testing::Environment {
 public:
  void TearDown() override { (void)endModuleOnce(); }
};
[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new EndAfterTheLastTest);

}  // namespace

kwhost::Module* sharedModule() {
  std::string why;
  kwhost::Module* m = moduleOnce(&why);
  EXPECT_NE(m, nullptr) << why;
  return m;
}

void ModuleTest::SetUp() {
  ScratchTest::SetUp();
  const fs::path built = builtModulePath();
  folder_ = dir_ / "Kestrelwood";
  fs::create_directories(folder_);
  moduleFile_ = built.filename().string();
  fs::copy_file(built, folder_ / moduleFile_);
  fs::copy(built.parent_path() / "res", folder_ / "res", fs::copy_options::recursive);
  kwhost::Console::instance().clear();
  kwhost::Console::instance().setArguments({});
}

void ModuleTest::TearDown() {
  module_.reset();
  ScratchTest::TearDown();
}

void ModuleTest::writeRes(const std::string& rel, const std::string& text) { writeText(resDir() / rel, text); }

void ModuleTest::start(const kwhost::LoadOptions& o) {
  auto m = kwhost::Module::load(modulePath(), o);
  ASSERT_TRUE(m) << m.error();
  module_ = std::move(m.value());
}

}  // namespace kwtest
