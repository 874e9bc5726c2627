// Scenes of any depth, width and length through the kestrelwood program:
// a crowd at the bottom of 20,000 nested objects runs, saves, exports and
// writes its CSV exactly as the same crowd near the top; faults deep down
// name their whole path; what is too deep, too long or too wide to say in a
// line gets one short line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "module_test.h"
#include "program_run.h"
#include "scene_load.h"
#include "scene_text.h"
#include "scratch_folder.h"
#include "text_files.h"

namespace {

using namespace kwtest;

namespace fs = std::filesystem;
using kwhost::scene::Json;

constexpr int kLevels = 20000;

std::string sceneOf(const std::string& objects) { return sceneFileText(objects, 12); }

// The JSON chunk of a binary glTF file.
Json glbJson(const std::string& bytes) {
  if (bytes.size() < 20 || bytes.compare(0, 4, "glTF") != 0) return nullptr;
  uint32_t length = 0;
  std::memcpy(&length, bytes.data() + 12, 4);
  return Json::parse(bytes.substr(20, length));
}

TEST(DeepScenes, RunSaveCsvAndOutAtTwentyThousandLevels) {
  ASSERT_NE(sharedModule(), nullptr);
  const std::string dir = tempFolder("deep-run");
  const std::string deep = dir + "/deep.kwscene.json", flat = dir + "/flat.kwscene.json";
  writeText(deep, sceneOf(chainText(kLevels, watchedCrowdText())));
  // The reference: the crowd under one object standing where the chain ends
  // (sums of whole units and identity axes: the same matrices, bit for bit).
  writeText(flat, sceneOf(R"({"name": "n0", "position": [)" + std::to_string(kLevels) + R"(, 0, 0], "children": [)" +
                          watchedCrowdText() + "]}"));
  const std::string saved = dir + "/saved.kwscene.json", out = dir + "/view";
  Ran r = kestrelwood("run " + quote(deep) + " --csv " + quote(dir + "/deep.csv") + " --save " + quote(saved) +
                          " --out " + quote(out),
                      dir);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  Ran f = kestrelwood("run " + quote(flat) + " --csv " + quote(dir + "/flat.csv"), dir);
  ASSERT_EQ(f.status, 0) << f.err;
  const std::string csv = readText(dir + "/deep.csv");
  EXPECT_EQ(countLines(csv), 1u + 13u * 3u);
  EXPECT_EQ(csv, readText(dir + "/flat.csv")) << "the crowd moves as it does near the top";
  EXPECT_EQ(readText(out + "/agents.csv"), csv);

  // The saved scene reads back as the same document: every level, and the same text once written again.
  auto again = kwhost::scene::readSceneFile(saved);
  ASSERT_TRUE(again) << again.error();
  int depth = 0;
  for (const kwhost::Object* o = again->doc->firstObject(); o && o->nameRef()[0] == 'n'; o = o->firstChild()) ++depth;
  EXPECT_EQ(depth, kLevels);
  auto json = kwhost::scene::sceneToJson(*again->doc, &again->geometrySources, dir);
  ASSERT_TRUE(json) << json.error();
  EXPECT_TRUE(kwhost::scene::formatJson(json.value()) == readText(saved));

  // The glTF is flat: every node placed by its global matrix, none nested
  // (the Khronos validator and three.js never see the depth).
  const Json gltf = glbJson(readText(out + "/run.glb"));
  ASSERT_TRUE(gltf.is_object());
  size_t agents = 0;
  for (const Json& node : gltf["nodes"]) {
    EXPECT_FALSE(node.contains("children")) << node.dump();
    agents += node.value("name", "").size() == 2 && node.value("name", "")[0] == 'a';
  }
  EXPECT_EQ(agents, 3u);
  EXPECT_TRUE(fs::exists(out + "/index.html"));
  EXPECT_TRUE(fs::exists(out + "/poster.svg"));
}

TEST(DeepScenes, FaultsDeepDownNameTheirWholePath) {
  const std::string dir = tempFolder("deep-faults");
  const std::string scene = dir + "/s.kwscene.json";
  writeText(scene, sceneOf(chainText(kLevels, R"({"name": "b", "radius": 5})")));
  Ran r = kestrelwood("run " + quote(scene) + " --save " + quote(dir + "/saved.json") + " --csv " + quote(dir + "/a.csv"), dir);
  EXPECT_EQ(r.status, 3);
  EXPECT_TRUE(r.err == "error: " + scene + ": " + chainPath(kLevels) + ".radius: \"radius\" belongs to \"circle\" objects only\n")
      << r.err.substr(0, 200);
  EXPECT_FALSE(fs::exists(dir + "/saved.json"));
  EXPECT_FALSE(fs::exists(dir + "/a.csv"));

  // A name taken far up the chain: both places in full.
  writeText(scene, sceneOf(chainText(kLevels, R"({"name": "n7"})")));
  r = kestrelwood("run " + quote(scene), dir);
  EXPECT_EQ(r.status, 3);
  EXPECT_TRUE(r.err == "error: " + scene + ": " + chainPath(kLevels) + ".name: the name \"n7\" is used already by " +
                           chainPath(7) + "\n")
      << r.err.substr(0, 200);
}

TEST(DeepScenes, PastTheNestingLimitOneLineSaysWhere) {
  const std::string dir = tempFolder("deep-limit");
  const std::string scene = dir + "/s.kwscene.json";
  // Two levels per object, plus the top object and its list: 200,004 levels.
  writeText(scene, sceneOf(chainText(100001, "")));
  Ran r = kestrelwood("run " + quote(scene) + " --save " + quote(dir + "/saved.json") + " --out " + quote(dir + "/view"), dir);
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(countLines(r.err), 1u);
  EXPECT_EQ(r.err.rfind("error: " + scene + ": line 1, column ", 0), 0u) << r.err;
  EXPECT_NE(r.err.find(": objects and arrays nest more than 200000 levels deep here; a scene file may nest at most that deep\n"),
            std::string::npos)
      << r.err;
  EXPECT_FALSE(fs::exists(dir + "/saved.json"));
  EXPECT_FALSE(fs::exists(dir + "/view/index.html"));
}

TEST(WideScenes, ManyObjectsAndParametersRunAndSave) {
  ASSERT_NE(sharedModule(), nullptr);
  const std::string dir = tempFolder("wide");
  const int objects = 100000, params = 20000;
  const std::string list = siblingsText(objects);
  std::string entries;
  for (int i = 0; i < params; ++i) entries += R"(, ")" + std::to_string(5000 + i) + R"(": {"long": )" + std::to_string(i) + "}";
  const std::string crowd = R"({"name": "Crowd", "tags": [{"type": "Kestrelwood", "params": {"TARGET": "o5")" + entries + "}}]}";
  const std::string scene = dir + "/s.kwscene.json", saved = dir + "/saved.kwscene.json";
  writeText(scene, sceneOf(list + crowd));
  Ran r = kestrelwood("run " + quote(scene) + " --frames 2 --save " + quote(saved), dir);
  ASSERT_EQ(r.status, 0) << r.err;
  auto again = kwhost::scene::readSceneFile(saved);
  ASSERT_TRUE(again) << again.error();
  EXPECT_EQ(again->doc->objects().size(), size_t(objects) + 1);
  const auto& tag = *again->doc->find("Crowd")->tags().at(0);
  EXPECT_EQ(tag.data().getLong(5000 + params - 1), params - 1);
}

TEST(LongTexts, StayOneShortLine) {
  ASSERT_NE(sharedModule(), nullptr);
  const std::string name(1 << 20, 'x');
  struct Case {
    const char* label;
    std::string text;
    std::string start, end;
  };
  const Case cases[] = {
      {"name taken", sceneOf(R"({"name": ")" + name + R"("}, {"name": ")" + name + R"("})"),
       "objects[1].name: the name \"" + name.substr(0, 60) + "...\" is used already by objects[0]", ""},
      {"unknown key", sceneOf(R"({"name": "a", ")" + name + R"(": 1})"),
       "objects[0]." + name.substr(0, 60) + "...: unknown key \"" + name.substr(0, 60) + "...\"", ""},
      {"unknown link", sceneOf(R"({"name": "a", "tags": [{"type": "Kestrelwood", "params": {"TARGET": ")" + name + R"("}}]})"),
       "objects[0].tags[0].params.TARGET: no object is named \"" + name.substr(0, 60) + "...\"", ""},
      {"unterminated string", sceneOf(R"({"name": ")" + std::string(10 << 20, 'z')),
       "line 1, column ", "invalid string: missing closing quote; last read: '\"" + std::string(59, 'z') + "...'"},
  };
  for (const Case& c : cases) {
    const std::string err = loadError(c.text);
    EXPECT_LT(err.size(), 300u) << c.label << ": " << err.substr(0, 300);
    EXPECT_EQ(err.substr(0, c.start.size()), c.start) << c.label << ": " << err.substr(0, 300);
    EXPECT_TRUE(err.ends_with(c.end)) << c.label << ": " << err.substr(0, 300);
  }
}

}  // namespace
