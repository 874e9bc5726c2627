#include "module_once.h"

#include <gtest/gtest.h>

#include <memory>

namespace kwtest {

namespace {
std::unique_ptr<kwhost::Module>& slot() {
  static std::unique_ptr<kwhost::Module> m;
  return m;
}
}  // namespace

kwhost::Module* sharedModule() {
  if (!slot()) {
    auto m = kwhost::Module::load(KW_TEST_MODULE);
    EXPECT_TRUE(m.ok()) << m.error();
    if (!m.ok()) return nullptr;
    slot() = std::move(m.value());
  }
  return slot().get();
}

void releaseSharedModule() { slot().reset(); }

namespace {
// The module is ended before the program exits: at exit the module's own
// static destructors run first, and an end after them would free its
// resource a second time.
class ReleaseAtEnd : public ::testing::Environment {
 public:
  void TearDown() override { releaseSharedModule(); }
};
[[maybe_unused]] ::testing::Environment* const g_release = ::testing::AddGlobalTestEnvironment(new ReleaseAtEnd);
}  // namespace

}  // namespace kwtest
