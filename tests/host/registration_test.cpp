// Registration of the tag type at the module's start, and its failure paths
// with broken copies of the module's res/ folder.
#include <filesystem>

#include "core/document.h"
#include "core/registry.h"
#include "core/tag.h"
#include "module_test.h"

namespace {

namespace fs = std::filesystem;
using kwtest::ModuleTest;
constexpr int32_t kTagId = 1019785;

TEST_F(ModuleTest, RegistrationRecordsTheTagType) {
  start();
  auto type = kwhost::findTagType(kTagId);
  ASSERT_NE(type, nullptr);
  EXPECT_EQ(type->name, "Kestrelwood");
  EXPECT_EQ(type->info, 9);
  EXPECT_EQ(type->description, "Tkestrelwoodexp");
  EXPECT_EQ(type->icon, "kestrelwood.tif");
  EXPECT_EQ(type->diskLevel, 0);
  EXPECT_EQ(type->module, module_->context());
  EXPECT_EQ(kwhost::findTagType("Kestrelwood"), type);
  const kwhost::DescriptionInfo* d = kwhost::findDescription("Tkestrelwoodexp");
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->find("VISION_LENGTH")->id, 1003);
  EXPECT_EQ(kwhost::findDescription("Kestrelwood"), d);
  // Ending the module unregisters it.
  ASSERT_TRUE(module_->end());
  EXPECT_EQ(kwhost::findTagType(kTagId), nullptr);
  EXPECT_EQ(kwhost::findDescription("Tkestrelwoodexp"), nullptr);
}

TEST_F(ModuleTest, RegistrationFailsWithoutIcon) {
  fs::remove(resDir() / "kestrelwood.tif");
  auto m = kwhost::Module::load(modulePath());
  ASSERT_FALSE(m);
  EXPECT_NE(m.error().find("start failed"), std::string::npos) << m.error();
  EXPECT_NE(m.error().find("kestrelwood.tif"), std::string::npos) << m.error();
  EXPECT_EQ(kwhost::findTagType(kTagId), nullptr);
}

TEST_F(ModuleTest, RegistrationFailsWithAnIconThatIsNoTiff) {
  writeRes("kestrelwood.tif", "\x89PNG\r\n");
  EXPECT_FALSE(kwhost::Module::load(modulePath()));
}

TEST_F(ModuleTest, RegistrationFailsWithoutDescription) {
  fs::remove(resDir() / "description" / "Tkestrelwoodexp.res");
  auto m = kwhost::Module::load(modulePath());
  ASSERT_FALSE(m);
  EXPECT_NE(m.error().find("Tkestrelwoodexp.res"), std::string::npos) << m.error();
}

TEST_F(ModuleTest, RegistrationWithEmptyNameSucceedsButRegistersNothing) {
  writeRes("strings_us/c4d_strings.str", "STRINGTABLE { IDS_KESTRELWOOD \"\"; }");
  start();
  EXPECT_TRUE(module_->started());
  EXPECT_EQ(kwhost::findTagType(kTagId), nullptr);
}

TEST_F(ModuleTest, RegistrationFailsWhenTheResourceCannotLoad) {
  fs::remove(resDir() / "strings_us" / "c4d_strings.str");
  auto m = kwhost::Module::load(modulePath());
  ASSERT_FALSE(m);
  EXPECT_NE(m.error().find("could not load its resource"), std::string::npos) << m.error();
  EXPECT_NE(m.error().find("c4d_strings.str"), std::string::npos) << m.error();
}

TEST_F(ModuleTest, DescriptionLoadsOnlyWhileItsFilesExist) {
  start();
  kwhost::Document doc;
  kwhost::Object* o = doc.createObject("Holder", kwhost::kTypeNull).value();
  auto tag = kwhost::createTag(*o, kTagId);
  ASSERT_TRUE(tag) << tag.error();
  int32_t flags = 0x100;
  auto d = tag.value()->description(&flags);
  ASSERT_TRUE(d) << d.error();
  EXPECT_EQ(flags, 0x102);  // the loaded flag or-ed in
  EXPECT_EQ(d->find("RECORD_START")->type, kwhost::ParamType::Button);
  fs::remove(resDir() / "description" / "Tkestrelwoodexp.res");
  flags = 0x100;
  EXPECT_FALSE(tag.value()->description(&flags));
  EXPECT_EQ(flags, 0x100);  // left untouched on failure
}

}  // namespace
