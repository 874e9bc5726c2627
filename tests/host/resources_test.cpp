#include "core/resources.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "core/description.h"
#include "scratch_folder.h"
#include "text_files.h"

namespace {

namespace fs = std::filesystem;

const std::string kSourceRes = std::string(KW_SOURCE_DIR) + "/res";

// A scratch copy of the module's res/ folder that a test may break.
class HostResources : public kwtest::ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    fs::copy(kSourceRes, dir_ / "res", fs::copy_options::recursive);
  }
  void write(const std::string& rel, const std::string& text) { kwtest::writeText(dir_ / "res" / rel, text); }
  std::string res() const { return (dir_ / "res").string(); }
};

TEST_F(HostResources, TheModulesStringTableNamesTheTag) {
  auto r = kwhost::loadResource(dir_.string());
  ASSERT_TRUE(r) << r.error();
  EXPECT_EQ(r->strings.at(10072), "Kestrelwood");
}

TEST_F(HostResources, TheModulesDescriptionListsEveryParameter) {
  auto d = kwhost::loadDescriptionFiles(res(), "Tkestrelwoodexp");
  ASSERT_TRUE(d) << d.error();
  using kwhost::ParamType;
  const struct {
    const char* name;
    int32_t id;
    ParamType type;
  } want[] = {
      {"AGENTS_GROUP", 1000, ParamType::Link},      {"TARGET", 1001, ParamType::Link},
      {"OBSTACLES_GROUP", 1002, ParamType::Link},   {"VISION_LENGTH", 1003, ParamType::Real},
      {"VISION_HALF_WIDTH", 1004, ParamType::Real}, {"AVOID_ANGLE", 1005, ParamType::Real},
      {"SPEED", 1006, ParamType::Real},             {"TARGET_WEIGHT", 1007, ParamType::Real},
      {"REPULSION_WEIGHT", 1008, ParamType::Real},  {"ALIGNMENT_WEIGHT", 1009, ParamType::Real},
      {"RECORD_START", 1010, ParamType::Button},    {"REPULSION_RADIUS", 1011, ParamType::Real},
      {"ALIGNMENT_RADIUS", 1012, ParamType::Real},  {"SHOW_VISION", 1016, ParamType::Bool},
      {"SHOW_REPULSION", 1017, ParamType::Bool},    {"SHOW_ALIGNMENT", 1018, ParamType::Bool},
      {"START_RECORDED", 1019, ParamType::Bool},    {"START_COUNT_ID", 1020, ParamType::Long},
      {"TERRAIN", 1021, ParamType::Link},           {"SPEED_VARIATION", 1022, ParamType::Real},
      {"MAX_PITCH_STEP", 1023, ParamType::Real},    {"START_COUNT", 1024, ParamType::Long},
  };
  EXPECT_EQ(d->entries.size(), std::size(want));
  for (const auto& w : want) {
    const kwhost::DescriptionEntry* e = d->find(w.name);
    ASSERT_NE(e, nullptr) << w.name;
    EXPECT_EQ(e->id, w.id) << w.name;
    EXPECT_EQ(e->type, w.type) << w.name;
    EXPECT_EQ(d->find(w.id), e);
  }
  const auto* avoid = d->find("AVOID_ANGLE");
  ASSERT_TRUE(avoid->def);
  EXPECT_EQ(static_cast<float>(*avoid->def), 0.7854f);
  EXPECT_EQ(*d->find("ALIGNMENT_RADIUS")->def, 800.0);
  EXPECT_EQ(*d->find("VISION_LENGTH")->min, 0.0);
  EXPECT_FALSE(d->find("SHOW_VISION")->def);
  EXPECT_TRUE(d->find("START_COUNT")->hidden);
  EXPECT_EQ(d->find("RECORD_START")->label, "Record start");
  EXPECT_EQ(d->label, "Kestrelwood");
}

TEST_F(HostResources, MissingFilesAreNamedInTheError) {
  fs::remove(dir_ / "res" / "strings_us" / "c4d_strings.str");
  auto r = kwhost::loadResource(dir_.string());
  ASSERT_FALSE(r);
  EXPECT_NE(r.error().find("c4d_strings.str: cannot be read"), std::string::npos) << r.error();
  fs::remove(dir_ / "res" / "description" / "Tkestrelwoodexp.h");
  auto d = kwhost::loadDescriptionFiles(res(), "Tkestrelwoodexp");
  ASSERT_FALSE(d);
  EXPECT_NE(d.error().find("Tkestrelwoodexp.h"), std::string::npos) << d.error();
  EXPECT_FALSE(kwhost::loadDescriptionFiles(res(), "Tnothing"));
  EXPECT_FALSE(kwhost::loadDescriptionFiles(res(), "../res/description/Tkestrelwoodexp"));
}

TEST_F(HostResources, BrokenStringTablesFailWithFileAndLine) {
  write("strings_us/c4d_strings.str", "STRINGTABLE\n{\n  IDS_KESTRELWOOD \"Kestrel;\n}\n");
  auto r = kwhost::loadResource(dir_.string());
  ASSERT_FALSE(r);
  EXPECT_NE(r.error().find("c4d_strings.str:3:"), std::string::npos) << r.error();

  write("strings_us/c4d_strings.str", "STRINGTABLE { IDS_UNKNOWN \"x\"; }");
  r = kwhost::loadResource(dir_.string());
  ASSERT_FALSE(r);
  EXPECT_NE(r.error().find("IDS_UNKNOWN is not numbered"), std::string::npos) << r.error();

  write("strings_us/c4d_strings.str", "STRINGTABLE { IDS_KESTRELWOOD \"a\"; IDS_KESTRELWOOD \"b\"; }");
  EXPECT_FALSE(kwhost::loadResource(dir_.string()));
  write("strings_us/c4d_strings.str", "STRINGTABLE { IDS_KESTRELWOOD \"a\" }");
  EXPECT_FALSE(kwhost::loadResource(dir_.string()));
}

TEST_F(HostResources, TextsKeepTheirBytesAndEscapes) {
  write("strings_us/c4d_strings.str",
        "// comment\nSTRINGTABLE { /* block */ IDS_KESTRELWOOD \"\\x01K\\\"\xC3\xA9\" \"!\"; }");
  auto r = kwhost::loadResource(dir_.string());
  ASSERT_TRUE(r) << r.error();
  EXPECT_EQ(r->strings.at(10072), "\x01K\"\xC3\xA9!");
}

TEST_F(HostResources, SymbolHeadersCountOnLikeC) {
  auto s = kwhost::parseSymbolHeader("#ifndef X\nenum { A = 0x10, B, C = -3, D };\n#endif\n", "t.h");
  ASSERT_TRUE(s) << s.error();
  EXPECT_EQ(s->at("A"), 16);
  EXPECT_EQ(s->at("B"), 17);
  EXPECT_EQ(s->at("D"), -2);
  EXPECT_FALSE(kwhost::parseSymbolHeader("enum { A = 1, A = 2 };", "t.h"));
  EXPECT_FALSE(kwhost::parseSymbolHeader("int x;", "t.h"));
  EXPECT_FALSE(kwhost::parseSymbolHeader("enum { A = 99999999999 };", "t.h"));
}

TEST_F(HostResources, BrokenDescriptionsFail) {
  const std::string head = "CONTAINER Tkestrelwoodexp { NAME Tkestrelwoodexp; ";
  struct {
    const char* body;
    const char* expect;
  } cases[] = {
      {"REAL NOT_NUMBERED { } }", "not numbered"},
      {"REAL SPEED { } REAL SPEED { } }", "described twice"},
      {"WIDGET SPEED { } }", "unknown description element"},
      {"REAL SPEED { MIN 5; MAX 1; } }", "MIN is greater"},
      {"REAL SPEED { MIN 0; DEFAULT -1; } }", "outside MIN..MAX"},
      {"REAL SPEED { DEFAULT x; } }", "expected a number"},
      {"REAL SPEED { ", "expected a property"},
  };
  for (const auto& c : cases) {
    write("description/Tkestrelwoodexp.res", head + c.body);
    auto d = kwhost::loadDescriptionFiles(res(), "Tkestrelwoodexp");
    ASSERT_FALSE(d) << c.body;
    EXPECT_NE(d.error().find(c.expect), std::string::npos) << d.error();
    EXPECT_NE(d.error().find("Tkestrelwoodexp.res:1:"), std::string::npos) << d.error();
  }
  write("description/Tkestrelwoodexp.res", "CONTAINER Tother { }");
  EXPECT_FALSE(kwhost::loadDescriptionFiles(res(), "Tkestrelwoodexp"));
}

TEST_F(HostResources, TheIconIsATiff) {
  EXPECT_TRUE(kwhost::isTiffFile(res() + "/kestrelwood.tif"));
  write("kestrelwood.tif", "GIF89a");
  EXPECT_FALSE(kwhost::isTiffFile(res() + "/kestrelwood.tif"));
  EXPECT_FALSE(kwhost::isTiffFile(res() + "/missing.tif"));
}

}  // namespace
