// The validator's battery on the module as built, one test per check, and
// the validator's own reporting: its summary line, exit status and refusal
// of bad options or of a file that is no module.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "module_test.h"
#include "validate/validator.h"

namespace kv = kwhost::validate;

namespace {

class ValidatorCheck : public ::testing::TestWithParam<std::string> {};

TEST_P(ValidatorCheck, PassesOnTheBuiltModule) {
  (void)kwtest::endModuleOnce();  // every check loads the module itself
  kv::ValidatorOptions o;
  o.modulePath = kwtest::builtModulePath();
  o.strictness = 4;
  o.only = {GetParam()};
  const auto results = kv::runChecks(o, nullptr);
  ASSERT_EQ(results.size(), 1u);
  EXPECT_TRUE(results[0].passed) << results[0].name << ": " << results[0].reason;
}

INSTANTIATE_TEST_SUITE_P(Battery, ValidatorCheck, ::testing::ValuesIn(kv::checkNames()),
                         [](const auto& info) {
                           std::string n = info.param;
                           for (char& c : n)
                             if (c == '-') c = '_';
                           return n;
                         });

TEST(Validator, ReportsEveryCheckAndASummaryAndExitsZeroWhenAllPass) {
  (void)kwtest::endModuleOnce();
  kv::ValidatorOptions o;
  o.modulePath = kwtest::builtModulePath();
  o.strictness = 1;
  std::ostringstream out, err;
  EXPECT_EQ(kv::runValidator(o, out, err), 0) << out.str() << err.str();
  EXPECT_EQ(err.str(), "");
  const std::string text = out.str();
  for (const auto& name : kv::checkNames()) EXPECT_NE(text.find("PASS " + name), std::string::npos) << name;
  EXPECT_NE(text.find("\n" + std::to_string(kv::checkNames().size()) + " passed, 0 failed\n"), std::string::npos) << text;
}

// A file that is no module: one error line and exit 4, as run and demo
// give; each check on its own still fails with a reason.
TEST(Validator, SaysOnceThatAFileIsNoModuleAndExitsWithFour) {
  (void)kwtest::endModuleOnce();
  for (const char* path : {"/nonexistent/Kestrelwood.so", "/proc/self/exe"}) {
    kv::ValidatorOptions o;
    o.modulePath = path;
    o.strictness = 1;
    std::ostringstream out, err;
    EXPECT_EQ(kv::runValidator(o, out, err), 4) << path;
    EXPECT_EQ(out.str(), "") << path;
    EXPECT_EQ(err.str().rfind(std::string("error: ") + path + ": cannot be loaded", 0), 0u) << err.str();
    const std::string said = err.str();
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    const auto r = kv::runChecks(o, nullptr);
    ASSERT_EQ(r.size(), kv::checkNames().size());
    for (const auto& c : r) {
      EXPECT_FALSE(c.passed) << c.name;
      EXPECT_FALSE(c.reason.empty()) << c.name;
    }
  }
}

TEST(Validator, RefusesBadOptionsWithoutRunningAnything) {
  std::ostringstream out, err;
  kv::ValidatorOptions o;
  EXPECT_EQ(kv::runValidator(o, out, err), 2);  // no module
  o.modulePath = kwtest::builtModulePath();
  o.strictness = 11;
  EXPECT_EQ(kv::runValidator(o, out, err), 2);
  o.strictness = 0;
  EXPECT_EQ(kv::runValidator(o, out, err), 2);
  o.strictness = 3;
  o.only = {"no-such-check"};
  EXPECT_EQ(kv::runValidator(o, out, err), 2);
  EXPECT_EQ(out.str(), "");
  EXPECT_NE(err.str().find("no check named \"no-such-check\""), std::string::npos);
}

// The module must not be loaded twice: a validator started while the
// caller holds the module fails its checks instead of sharing its state.
TEST(Validator, RefusesToShareAModuleTheCallerHasLoaded) {
  ASSERT_NE(kwtest::sharedModule(), nullptr);
  kv::ValidatorOptions o;
  o.modulePath = kwtest::builtModulePath();
  o.only = {"defaults"};
  const auto r = kv::runChecks(o, nullptr);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_FALSE(r[0].passed);
  EXPECT_NE(r[0].reason.find("loaded already"), std::string::npos) << r[0].reason;
  (void)kwtest::endModuleOnce();
}

}  // namespace
