// The module's entry point as the host drives it: initialisation counting,
// version check, the interface query, plug-in messages and console output.
#include <cstring>

#include "core/registry.h"
#include "module_test.h"

namespace {

using kwhost::Module;
using kwtest::ModuleTest;

int32_t init(Module& m) { return m.call(KW_ACTION_INIT, &m.table(), nullptr, m.folderHandle()); }

TEST_F(ModuleTest, LifecycleTwoInitsNeedTwoEnds) {
  auto m = open();
  ASSERT_TRUE(m) << m.error();
  Module& mod = *m.value();
  EXPECT_EQ(init(mod), 1);
  EXPECT_EQ(init(mod), 1);
  EXPECT_EQ(mod.message(KW_PLUGINMSG_INIT_RESOURCE, nullptr), 1);
  EXPECT_GT(mod.account().snapshot().liveBlocks, 0);  // path and resource folder held
  EXPECT_EQ(mod.call(KW_ACTION_END, nullptr, nullptr, nullptr), 1);
  // The end hook has not run: the module still holds its path and resource.
  EXPECT_GT(mod.account().snapshot().liveBlocks, 0);
  EXPECT_GT(mod.account().snapshot().liveHandles, 0);
  EXPECT_EQ(mod.call(KW_ACTION_END, nullptr, nullptr, nullptr), 1);
  EXPECT_EQ(mod.account().snapshot().liveBlocks, 0);
  EXPECT_EQ(mod.account().snapshot().liveHandles, 0);
  EXPECT_EQ(mod.account().snapshot().badFrees, 0);
}

TEST_F(ModuleTest, LifecycleVersion11499IsRefused) {
  kwhost::LoadOptions o;
  o.hostVersion = 11499;
  auto m = open(o);
  ASSERT_TRUE(m) << m.error();
  EXPECT_EQ(init(*m.value()), -3);
  m.value().reset();
  // Through the loader the refusal is one clear error.
  auto loaded = Module::load(modulePath(), o);
  ASSERT_FALSE(loaded);
  EXPECT_NE(loaded.error().find("answered -3"), std::string::npos) << loaded.error();
  EXPECT_NE(loaded.error().find("11499"), std::string::npos) << loaded.error();
}

TEST_F(ModuleTest, LifecycleVersion11500IsAccepted) {
  auto m = open();
  ASSERT_TRUE(m) << m.error();
  EXPECT_EQ(m.value()->table().version, 11500);
  EXPECT_EQ(init(*m.value()), 1);
  EXPECT_EQ(m.value()->call(KW_ACTION_END, nullptr, nullptr, nullptr), 1);
}

// A table shorter than the one the module was built against (an older host
// that lacks the newest sub-table) is refused before anything of it is used;
// a longer one (a newer host) is taken.
TEST_F(ModuleTest, LifecycleTableSizeIsChecked) {
  kwhost::LoadOptions shorter;
  shorter.tableSize = uint32_t(offsetof(C4D_OS, crash_handler));
  auto refused = Module::load(modulePath(), shorter);
  ASSERT_FALSE(refused);
  EXPECT_NE(refused.error().find("answered -3"), std::string::npos) << refused.error();
  EXPECT_NE(refused.error().find("table of " + std::to_string(shorter.tableSize) + " bytes"), std::string::npos)
      << refused.error();

  kwhost::LoadOptions longer;
  longer.tableSize = uint32_t(sizeof(C4D_OS) + 64);
  auto taken = open(longer);
  ASSERT_TRUE(taken) << taken.error();
  EXPECT_EQ(init(*taken.value()), 1);
  EXPECT_EQ(taken.value()->call(KW_ACTION_END, nullptr, nullptr, nullptr), 1);
}

TEST_F(ModuleTest, LifecycleNoModulePathIsRefused) {
  auto m = open();
  ASSERT_TRUE(m) << m.error();
  EXPECT_EQ(m.value()->call(KW_ACTION_INIT, &m.value()->table(), nullptr, nullptr), -3);
}

TEST_F(ModuleTest, LifecycleInterfaceQueryAnswers3AlsoBeforeInit) {
  auto m = open();
  ASSERT_TRUE(m) << m.error();
  EXPECT_EQ(m.value()->call(KW_ACTION_VERSION, nullptr, nullptr, nullptr), 3);
  for (int32_t action : {0, 5, 7, -1, 1000}) EXPECT_EQ(m.value()->call(action, nullptr, nullptr, nullptr), -1);
  EXPECT_EQ(init(*m.value()), 1);
  EXPECT_EQ(m.value()->call(KW_ACTION_VERSION, nullptr, nullptr, nullptr), 3);
  EXPECT_EQ(m.value()->call(KW_ACTION_END, nullptr, nullptr, nullptr), 1);
}

TEST_F(ModuleTest, LifecycleStartPrintsTheArgumentCount) {
  kwhost::Console::instance().setArguments({"kestrelwood", "run", "scene.json"});
  start();
  const auto out = lines();
  ASSERT_GE(out.size(), 1u);
  EXPECT_EQ(out[0], "\x01" "COMMANDLINE number of arguments: 3");
  EXPECT_TRUE(module_->started());
}

TEST_F(ModuleTest, MessagesZeroAndUnknown) {
  start();
  EXPECT_EQ(module_->message(0, nullptr), 1);
  EXPECT_EQ(module_->message(1001, nullptr), -1);
  EXPECT_EQ(module_->message(-5, nullptr), -1);
}

class CommandLineTest : public ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    kwhost::LoadOptions o;
    o.sendCommandLine = false;
    start(o);
    kwhost::Console::instance().clear();
  }
  int32_t send(std::vector<const char*> args) {
    argv_.assign(args.begin(), args.end());
    KwCommandLineArgs a{static_cast<int32_t>(argv_.size()), const_cast<char**>(argv_.data())};
    return module_->message(KW_PLUGINMSG_COMMANDLINE, &a);
  }
  std::vector<const char*> argv_;
};

TEST_F(CommandLineTest, HelpAndSdkAnswerInArgumentOrder) {
  const char* prog = "kestrelwood";
  EXPECT_EQ(send({prog, "-SDK", "x", "--help"}), -1);  // answered FALSE
  ASSERT_EQ(lines(), (std::vector<std::string>{"\x01-SDK executed:-)", "\x01-SDK is here :-)"}));
  EXPECT_EQ(argv_[0], prog);
  EXPECT_EQ(argv_[1], nullptr);  // only "-SDK" is consumed
  EXPECT_STREQ(argv_[2], "x");
  EXPECT_STREQ(argv_[3], "--help");
  kwhost::Console::instance().clear();
  send({"--help", nullptr, "-SDK"});
  EXPECT_EQ(lines(), (std::vector<std::string>{"\x01-SDK is here :-)", "\x01-SDK executed:-)"}));
}

TEST_F(CommandLineTest, LetterCaseVariantsMatchNothing) {
  send({"-sdk", "--HELP", "-Sdk", "--Help", "-SDK ", "--help=1"});
  EXPECT_TRUE(lines().empty());
  for (const char* a : argv_) EXPECT_NE(a, nullptr);
}

TEST_F(CommandLineTest, NoArgumentsOrNoDataPrintNothing) {
  KwCommandLineArgs none{0, nullptr};
  EXPECT_EQ(module_->message(KW_PLUGINMSG_COMMANDLINE, &none), -1);
  const char* one[] = {"-SDK"};
  KwCommandLineArgs negative{-1, const_cast<char**>(one)};
  EXPECT_EQ(module_->message(KW_PLUGINMSG_COMMANDLINE, &negative), -1);
  EXPECT_EQ(module_->message(KW_PLUGINMSG_COMMANDLINE, nullptr), -1);
  EXPECT_EQ(module_->message(KW_PLUGINMSG_EDIT_IMAGE, nullptr), -1);
  EXPECT_TRUE(lines().empty());
  EXPECT_NE(one[0], nullptr);
}

TEST_F(CommandLineTest, EditImageHookReportsUnhandledImages) {
  KwFilename* f = module_->table().filenames.create();
  KwString* s = module_->table().strings.create("/tmp/render\x01.tif", -1);
  module_->table().filenames.set_string(f, s);
  KwImageEditRecord rec{f, 1};
  EXPECT_EQ(module_->message(KW_PLUGINMSG_EDIT_IMAGE, &rec), -1);
  EXPECT_TRUE(lines().empty());
  rec.handled = 0;
  EXPECT_EQ(module_->message(KW_PLUGINMSG_EDIT_IMAGE, &rec), -1);
  EXPECT_EQ(lines(), (std::vector<std::string>{"C4DSDK - Edit Image Hook: /tmp/render\x01.tif"}));
  EXPECT_EQ(rec.image, f);
  EXPECT_EQ(rec.handled, 0);
  module_->table().strings.free(s);
  module_->table().filenames.free(f);
}

TEST_F(ModuleTest, LifecycleCrashHandlerIsChained) {
  auto m = open();
  ASSERT_TRUE(m) << m.error();
  static int calls = 0;
  calls = 0;
  m.value()->table().crash_handler = [](char*) { ++calls; };
  ASSERT_TRUE(m.value()->start()) << "start";
  auto handler = m.value()->table().crash_handler;
  ASSERT_NE(handler, nullptr);
  char text[] = "crash";
  handler(text);
  EXPECT_EQ(calls, 1);
}

TEST_F(ModuleTest, LifecycleLoadingTheSameFileTwiceIsRefused) {
  start();
  auto again = Module::open(modulePath());
  ASSERT_FALSE(again);
  EXPECT_NE(again.error().find("loaded already"), std::string::npos);
}

TEST_F(ModuleTest, LifecycleMissingFileIsAClearError) {
  auto m = Module::open((dir_ / "nope.so").string());
  ASSERT_FALSE(m);
  EXPECT_NE(m.error().find("cannot be loaded"), std::string::npos) << m.error();
}

}  // namespace
