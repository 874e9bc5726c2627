// The JSON layer under the scene reader and writer: paths as users read
// them, parsing of any depth and width (nlohmann's own builder overflowed
// the stack on a deep value followed by a key, and took minutes on wide
// objects), and the saved layout, which must not change for ordinary scenes.
#include <gtest/gtest.h>

#include <string>

#include "scene/json_fault.h"
#include "scene/scene_file.h"
#include "text_files.h"

namespace {

using namespace kwtest;

namespace ks = kwhost::scene;
using ks::Json;
using ks::Where;

std::string faultOf(const std::string& text) {
  try {
    ks::parseStrict(text);
  } catch (const ks::Fault& f) {
    return f.where + ": " + f.what;
  }
  return "";
}

TEST(JsonPaths, ReadAsBefore) {
  EXPECT_EQ(Where().member("fps").str(), "fps");
  EXPECT_EQ(Where().member("objects").element(2).member("children").element(0).member("radius").str(),
            "objects[2].children[0].radius");
  // Kept nodes continue like own steps.
  ks::PathArena arena;
  const ks::PathNode* obj = arena.keep(Where().member("objects").element(1));
  EXPECT_EQ(Where(obj).member("tags").element(0).member("params").member("1025").member("matrix").element(11).str(),
            "objects[1].tags[0].params.1025.matrix[11]");
  // A key of a megabyte is shortened, at a character boundary.
  const std::string key = std::string(59, 'k') + "\xC3\xA9" + std::string(1 << 20, 'k');
  EXPECT_EQ(Where().member("objects").element(0).member(key).str(), cat({"objects[0].", std::string(59, 'k'), "..."}));
  EXPECT_EQ(ks::inQuotes("short"), "\"short\"");
}

TEST(StrictParse, AnyDepthUpToTheLimitAndNoFurther) {
  // A deep value followed by a key: the member list of the object grows
  // after its first value is finished.
  const size_t deep = 150000;
  const std::string text = cat({"{\"a\": ", std::string(deep, '['), std::string(deep, ']'), ", \"b\": 1}"});
  const Json j = ks::parseStrict(text);
  ASSERT_TRUE(j.is_object());
  EXPECT_EQ(j["b"], 1);
  size_t depth = 0;
  for (const Json* v = &j["a"]; v->is_array(); v = v->empty() ? nullptr : &(*v)[0]) {
    ++depth;
    if (v->empty()) break;
  }
  EXPECT_EQ(depth, deep);

  const size_t limit = ks::kMaxNesting;
  EXPECT_EQ(faultOf(std::string(limit, '[') + std::string(limit, ']')), "");
  EXPECT_EQ(faultOf(cat({" ", std::string(limit + 1, '['), std::string(limit + 1, ']')})),
            cat({"line 1, column ", std::to_string(limit + 2), ": objects and arrays nest more than ",
                 std::to_string(limit), " levels deep here; a scene file may nest at most that deep"}));
  // Brackets inside strings do not count.
  EXPECT_EQ(faultOf(cat({"[\"", std::string(limit + 5, '['), "\"]"})), "");
}

TEST(StrictParse, WideObjectsKeepTheirOrderAndFindDuplicates) {
  std::string text = "{";
  for (int i = 0; i < 100000; ++i) text += cat({i ? ", \"k" : "\"k", std::to_string(i), "\": ", std::to_string(i)});
  const Json j = ks::parseStrict(text + "}");
  ASSERT_EQ(j.size(), 100000u);
  EXPECT_EQ(std::next(j.begin(), 99999).key(), "k99999");
  EXPECT_EQ(j["k77777"], 77777);
  // Duplicates among few keys and among many, with the path of the object.
  EXPECT_EQ(faultOf(text + ", \"k5\": 0}"), "k5: duplicate key \"k5\" in one object");
  EXPECT_EQ(faultOf(R"({"a": [1, [{"b": 1, "c": 2, "b": 3}]]})"), "a[1][0].b: duplicate key \"b\" in one object");
  EXPECT_EQ(faultOf(R"([{"x": 1}, {"x": 1, "x": 2}])"), "[1].x: duplicate key \"x\" in one object");
}

TEST(StrictParse, NumberOutOfRangeSaysWhereItStands) {
  EXPECT_EQ(faultOf("{\"name\": \"1e999\",\n \"fps\": 1e999}"),
            "line 2, column 9: the number 1e999 is out of range (not a finite number)");
}

TEST(SavedLayout, OrdinaryJsonAsBefore) {
  const Json j = Json::parse(R"({"format": "f", "objects": [{"name": "A", "position": [1, 2.5, 3], "children": [],
    "tags": [{"type": "T", "params": {"X": {"real": 1.5}, "M": {"matrix": [1, 0]}, "E": {}}}]}], "n": null})");
  EXPECT_EQ(ks::formatJson(j), R"({
  "format": "f",
  "objects": [
    {
      "name": "A",
      "position": [1, 2.5, 3],
      "children": [],
      "tags": [
        {
          "type": "T",
          "params": {
            "X": {"real": 1.5},
            "M": {
              "matrix": [1, 0]
            },
            "E": {}
          }
        }
      ]
    }
  ],
  "n": null
}
)");
}

TEST(SavedLayout, AnyDepthIndentedUpToSixtyFourLevels) {
  // 30,000 levels of {"k": [ ... ]}: written without a call per level, and read back the same.
  std::string text;
  for (int i = 0; i < 30000; ++i) text += "{\"k\": [0, ";
  text += "1";
  for (int i = 0; i < 30000; ++i) text += "]}";
  const std::string out = ks::formatJson(ks::parseStrict(text));
  EXPECT_EQ(ks::formatJson(ks::parseStrict(out)), out);
  // The deepest line stands 64 levels in, no further; the first ones as ever.
  EXPECT_EQ(out.substr(0, 18), "{\n  \"k\": [\n    0,\n");
  const size_t at = out.find("\"k\": [0, 1]");
  ASSERT_NE(at, std::string::npos);
  const size_t lineStart = out.rfind('\n', at) + 1;
  EXPECT_EQ(out.substr(lineStart, at - lineStart), std::string(128, ' '));
}

}  // namespace
