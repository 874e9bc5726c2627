// The validator's battery on the module as built, one test per check, and
// the validator's own reporting: its summary line, exit status and refusal
// of bad options or of a file that is no module.
#include <gtest/gtest.h>

#include <sstream>

#include "module_once.h"
#include "validate/validator.h"

namespace kv = kwhost::validate;

namespace {

class ValidatorCheck : public ::testing::TestWithParam<std::string> {};

TEST_P(ValidatorCheck, PassesOnTheBuiltModule) {
  kwtest::releaseSharedModule();  // every check loads the module itself
  kv::ValidatorOptions o;
  o.modulePath = KW_TEST_MODULE;
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
  kwtest::releaseSharedModule();
  kv::ValidatorOptions o;
  o.modulePath = KW_TEST_MODULE;
  o.strictness = 1;
  std::ostringstream out;
  EXPECT_EQ(kv::runValidator(o, out), 0) << out.str();
  const std::string text = out.str();
  for (const auto& name : kv::checkNames()) EXPECT_NE(text.find("PASS " + name), std::string::npos) << name;
  EXPECT_NE(text.find("\n" + std::to_string(kv::checkNames().size()) + " passed, 0 failed\n"), std::string::npos) << text;
}

TEST(Validator, FailsEveryCheckWithAReasonForAFileThatIsNoModule) {
  kwtest::releaseSharedModule();
  for (const char* path : {"/nonexistent/Kestrelwood.so", "/proc/self/exe"}) {
    kv::ValidatorOptions o;
    o.modulePath = path;
    o.strictness = 1;
    std::ostringstream out;
    EXPECT_EQ(kv::runValidator(o, out), 1) << path;
    EXPECT_NE(out.str().find("FAIL repeated-load: "), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("0 passed, " + std::to_string(kv::checkNames().size()) + " failed"), std::string::npos);
  }
}

TEST(Validator, RefusesBadOptionsWithoutRunningAnything) {
  std::ostringstream out;
  kv::ValidatorOptions o;
  EXPECT_EQ(kv::runValidator(o, out), 2);  // no module
  o.modulePath = KW_TEST_MODULE;
  o.strictness = 11;
  EXPECT_EQ(kv::runValidator(o, out), 2);
  o.strictness = 0;
  EXPECT_EQ(kv::runValidator(o, out), 2);
  o.strictness = 3;
  o.only = {"no-such-check"};
  EXPECT_EQ(kv::runValidator(o, out), 2);
  EXPECT_EQ(out.str().find("PASS"), std::string::npos);
  EXPECT_NE(out.str().find("no check named \"no-such-check\""), std::string::npos);
}

// The module must not be loaded twice: a validator started while the
// caller holds the module fails its checks instead of sharing its state.
TEST(Validator, RefusesToShareAModuleTheCallerHasLoaded) {
  ASSERT_NE(kwtest::sharedModule(), nullptr);
  kv::ValidatorOptions o;
  o.modulePath = KW_TEST_MODULE;
  o.only = {"defaults"};
  const auto r = kv::runChecks(o, nullptr);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_FALSE(r[0].passed);
  EXPECT_NE(r[0].reason.find("loaded already"), std::string::npos) << r[0].reason;
  kwtest::releaseSharedModule();
}

}  // namespace
