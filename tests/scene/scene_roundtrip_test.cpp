// Saving and reloading: the same objects and the same containers bit for
// bit, OBJ geometry referred to again, and a save that fails leaves the old
// file as it was.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>

#include "core/atomic_file.h"
#include "core/evaluate.h"
#include "core/tag.h"
#include "module_test.h"
#include "scene/scene_run.h"
#include "scene_load.h"
#include "scratch_folder.h"
#include "text_files.h"

namespace {

using namespace kwtest;

namespace fs = std::filesystem;
using kwhost::Document;
using kwhost::Object;
using kwhost::scene::LoadedScene;

bool sameBits(const KwVector& a, const KwVector& b) { return std::memcmp(&a, &b, sizeof a) == 0; }
bool sameBits(const KwMatrix& a, const KwMatrix& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Containers compared entry by entry, links by the name of the object they name.
void expectSameContainer(const KwContainer& a, const KwContainer& b, const std::string& what) {
  ASSERT_EQ(a.entries.size(), b.entries.size()) << what;
  for (const auto& [id, va] : a.entries) {
    auto it = b.entries.find(id);
    ASSERT_NE(it, b.entries.end()) << what << " entry " << id;
    const auto& vb = it->second;
    ASSERT_EQ(va.index(), vb.index()) << what << " entry " << id;
    if (auto* f = std::get_if<float>(&va)) {
      float g = std::get<float>(vb);
      EXPECT_EQ(std::memcmp(f, &g, sizeof g), 0) << what << " entry " << id << ": " << *f << " vs " << g;
    } else if (auto* m = std::get_if<KwMatrix>(&va)) {
      EXPECT_TRUE(sameBits(*m, std::get<KwMatrix>(vb))) << what << " entry " << id;
    } else if (std::holds_alternative<kwhost::LinkValue>(va)) {
      const KwNode* na = a.getLinkAnywhere(id);
      const KwNode* nb = b.getLinkAnywhere(id);
      EXPECT_EQ(na ? na->name() : "", nb ? nb->name() : "") << what << " entry " << id;
    } else if (auto* i = std::get_if<int32_t>(&va)) {
      EXPECT_EQ(*i, std::get<int32_t>(vb)) << what << " entry " << id;
    } else if (auto* bo = std::get_if<bool>(&va)) {
      EXPECT_EQ(*bo, std::get<bool>(vb)) << what << " entry " << id;
    } else {
      EXPECT_EQ(std::get<std::string>(va), std::get<std::string>(vb)) << what << " entry " << id;
    }
  }
}

void expectSameObjects(const std::vector<std::unique_ptr<Object>>& a, const std::vector<std::unique_ptr<Object>>& b) {
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 0; i < a.size(); ++i) {
    const Object &x = *a[i], &y = *b[i];
    const std::string what = x.nameRef();
    EXPECT_EQ(x.nameRef(), y.nameRef());
    EXPECT_EQ(x.type(), y.type()) << what;
    EXPECT_TRUE(sameBits(x.position(), y.position())) << what;
    EXPECT_TRUE(sameBits(x.rotation(), y.rotation())) << what;
    EXPECT_TRUE(sameBits(x.scale(), y.scale())) << what;
    EXPECT_EQ(x.points().size(), y.points().size()) << what;
    for (size_t k = 0; k < x.points().size() && k < y.points().size(); ++k)
      EXPECT_TRUE(sameBits(x.points()[k], y.points()[k])) << what << " point " << k;
    EXPECT_EQ(x.triangles(), y.triangles()) << what;
    expectSameContainer(x.data(), y.data(), what);
    ASSERT_EQ(x.tags().size(), y.tags().size()) << what;
    for (size_t t = 0; t < x.tags().size(); ++t) {
      EXPECT_EQ(x.tags()[t]->type(), y.tags()[t]->type());
      expectSameContainer(x.tags()[t]->data(), y.tags()[t]->data(), what + " tag " + std::to_string(t));
    }
    expectSameObjects(x.children(), y.children());
  }
}

// Awkward floats: not short in decimal, the largest, the smallest, negative zero.
const char* kScene = R"({
  "format": "kestrelwood-scene/1", "fps": 24, "minFrame": -5, "maxFrame": 40,
  "objects": [
    {"name": "Ground", "type": "polygon", "position": [0.1, -0.0, 3.4028235e38],
     "mesh": {"points": [[-1000, 0, -1000], [-1000, 0, 1000], [1000, 0, 1000], [1000, 0, -1000], [0, 5, 1200]],
              "polygons": [[0, 1, 2, 3], [1, 4, 2]]}},
    {"name": "Target", "position": [100, 0, 900], "rotation": [3.14159265358979, 0.3, 1e-45]},
    {"name": "Rocks", "children": [{"name": "Rock", "type": "circle", "radius": 123.456, "position": [0, 0, 300]}]},
    {"name": "Flock", "scale": [1, 1, 1], "children": [
      {"name": "A1", "position": [-100, 0, -800]}, {"name": "A2", "position": [0, 0, -800], "rotation": [0.5, 0, 0]},
      {"name": "A3", "position": [100, 0, -800]}, {"name": "Box", "type": "cube", "position": [200, 0, -800]}]},
    {"name": "Crowd", "tags": [{"type": "Kestrelwood", "recordStart": true, "params": {
      "AGENTS_GROUP": "Flock", "TARGET": "Target", "OBSTACLES_GROUP": "Rocks", "TERRAIN": "Ground",
      "SPEED": 17.3, "SPEED_VARIATION": 0.4, "SHOW_VISION": true, "1023": {"real": 0.1},
      "5000": {"long": -7}, "5001": {"bool": false}, "5002": {"link": null}, "5003": {"link": "Box"},
      "5004": {"matrix": [1, 2, 3, 0.1, 0.2, 0.3, 1e-38, 0, 1, 16777217, -0.0, 3]}}}]}
  ]
})";

TEST(SceneRoundTrip, SavedSceneReloadsBitForBit) {
  ASSERT_NE(sharedModule(), nullptr);
  const std::string dir = tempFolder("roundtrip");
  LoadedScene first = loadOk(kScene);
  ASSERT_TRUE(first.doc);
  ASSERT_EQ(first.recordStart.size(), 1u);
  kwhost::pressButton(*first.recordStart[0], kwhost::scene::kRecordStartButton);

  const std::string path = dir + "/saved.kwscene.json";
  auto saved = kwhost::scene::writeSceneFile(*first.doc, path);
  ASSERT_TRUE(saved) << saved.error();
  const std::string text = readText(path);
  EXPECT_EQ(text.find("recordStart"), std::string::npos) << "a saved scene presses nothing on reload";
  EXPECT_NE(text.find("\"1224\": {\"real\""), std::string::npos) << "the whole start table is written";
  EXPECT_NE(text.find("\"VISION_LENGTH\": {\"real\": 1000.0}"), std::string::npos) << "names, typed form";

  auto again = kwhost::scene::readSceneFile(path);
  ASSERT_TRUE(again) << again.error();
  EXPECT_TRUE(again->recordStart.empty());
  EXPECT_EQ(again->doc->fps(), 24);
  EXPECT_EQ(again->doc->minFrame(), -5);
  EXPECT_EQ(again->doc->maxFrame(), 40);
  expectSameObjects(first.doc->objects(), again->doc->objects());

  // Saving the reloaded scene gives the same text: the format is stable.
  const std::string path2 = dir + "/saved2.kwscene.json";
  ASSERT_TRUE(kwhost::scene::writeSceneFile(*again->doc, path2));
  EXPECT_EQ(readText(path2), text);
}

TEST(SceneRoundTrip, PolygonsSplitIntoTrianglesAsWritten) {
  ASSERT_NE(sharedModule(), nullptr);
  LoadedScene s = loadOk(R"({"format": "kestrelwood-scene/1", "objects": [{"name": "P", "type": "polygon", "mesh": {
    "points": [[0,0,0],[0,0,1],[1,0,1],[1,0,0],[2,0,0]], "polygons": [[0,1,2,3], [4,3,2], [0,1,2,3,4]]}}]})");
  ASSERT_TRUE(s.doc);
  EXPECT_EQ(s.doc->find("P")->triangles(),
            (std::vector<uint32_t>{0, 1, 2, 0, 2, 3, 4, 3, 2, 0, 1, 2, 0, 2, 3, 0, 3, 4}));
}

TEST(SceneRoundTrip, ObjGeometryIsReferredToRelativeToTheNewFile) {
  ASSERT_NE(sharedModule(), nullptr);
  const std::string dir = tempFolder("objref");
  fs::create_directories(dir + "/meshes");
  fs::create_directories(dir + "/out");
  writeText(dir + "/meshes/quad.obj", "# a quad and a triangle\nv 0 0 0\nv 0 0 1\nv 1 0 1\nv 1 0 0\nv 2 0.5 0\nf 1 2 3 4\nf 5/1 4/1 3/1\n");
  writeText(dir + "/scene.kwscene.json",
            R"({"format": "kestrelwood-scene/1", "objects": [{"name": "Hill", "type": "polygon", "obj": "meshes/quad.obj"}]})");
  auto s = kwhost::scene::readSceneFile(dir + "/scene.kwscene.json");
  ASSERT_TRUE(s) << s.error();
  const Object* hill = s->doc->find("Hill");
  EXPECT_EQ(hill->triangles(), (std::vector<uint32_t>{0, 1, 2, 0, 2, 3, 4, 3, 2}));
  EXPECT_FLOAT_EQ(hill->points()[4].y, 0.5f);

  ASSERT_TRUE(kwhost::scene::writeSceneFile(*s->doc, dir + "/out/copy.kwscene.json", &s->geometrySources));
  const std::string text = readText(dir + "/out/copy.kwscene.json");
  EXPECT_NE(text.find("\"obj\": \"../meshes/quad.obj\""), std::string::npos) << text;
  auto again = kwhost::scene::readSceneFile(dir + "/out/copy.kwscene.json");
  ASSERT_TRUE(again) << again.error();
  expectSameObjects(s->doc->objects(), again->doc->objects());

  // Changed geometry is written inline instead.
  Object* h = s->doc->find("Hill");
  ASSERT_TRUE(h->setTriangles(h->points(), {0, 1, 2}));
  ASSERT_TRUE(kwhost::scene::writeSceneFile(*s->doc, dir + "/out/changed.kwscene.json", &s->geometrySources));
  EXPECT_NE(readText(dir + "/out/changed.kwscene.json").find("\"mesh\""), std::string::npos);
}

TEST(SceneRoundTrip, FailedSaveLeavesTheOldFile) {
  ASSERT_NE(sharedModule(), nullptr);
  const std::string dir = tempFolder("failedsave");
  LoadedScene s = loadOk(kScene);
  ASSERT_TRUE(s.doc);
  const std::string path = dir + "/keep.kwscene.json";
  writeText(path, "the user's file");

  // A value JSON cannot hold: nothing is written, the old file stays.
  s.doc->find("A1")->setPosition({std::nanf(""), 0, 0});
  auto r = kwhost::scene::writeSceneFile(*s.doc, path);
  ASSERT_FALSE(r);
  EXPECT_EQ(r.error(), path + ": objects[3].children[0].position: holds a value that is not a finite number; JSON cannot store it; the scene was not saved");
  EXPECT_EQ(readText(path), "the user's file");

  // A folder that does not exist.
  s.doc->find("A1")->setPosition({0, 0, 0});
  auto missing = kwhost::scene::writeSceneFile(*s.doc, dir + "/no/such/folder/x.kwscene.json");
  ASSERT_FALSE(missing);
  EXPECT_NE(missing.error().find("does not exist; nothing was written"), std::string::npos) << missing.error();

  // A write that fails halfway: the old file stays and no temporary file is left behind.
  auto half = kwhost::writeFileAtomically(path, [](std::FILE* f, std::string* why) {
    std::fputs("{\"format\": ", f);
    *why = "stopped on purpose";
    return false;
  });
  ASSERT_FALSE(half);
  EXPECT_EQ(half.error(), path + ": stopped on purpose; the existing file is unchanged");
  EXPECT_EQ(readText(path), "the user's file");
  size_t files = 0;
  for (auto& e : fs::directory_iterator(dir)) files += e.is_regular_file();
  EXPECT_EQ(files, 1u);
}

// A run of frames 0..50, saved and reloaded: the reloaded tag (a fresh
// instance) regains the start state from the stored pairs, so the restore at
// frame 0 puts every agent on its recorded start matrix.
TEST(SceneRoundTrip, ReloadedTagRestoresTheRecordedStart) {
  ASSERT_NE(sharedModule(), nullptr);
  const std::string dir = tempFolder("restore");
  LoadedScene s = loadOk(R"({"format": "kestrelwood-scene/1", "maxFrame": 50, "objects": [
    {"name": "Target", "position": [0, 0, 3000]},
    {"name": "Flock", "children": [{"name": "A", "position": [-200, 0, 0]}, {"name": "B", "position": [0, 0, 0], "rotation": [0.7, 0, 0]},
                                   {"name": "C", "position": [200, 0, 0], "rotation": [5.5, 0, 0]}]},
    {"name": "Crowd", "tags": [{"type": "Kestrelwood", "recordStart": true,
      "params": {"AGENTS_GROUP": "Flock", "TARGET": "Target", "SPEED_VARIATION": 0.5}}]}]})");
  ASSERT_TRUE(s.doc);
  std::vector<KwMatrix> start;
  for (auto& a : s.doc->find("Flock")->children()) start.push_back(a->globalMatrix());
  auto ran = kwhost::scene::runScene(s, {}, "restore");
  ASSERT_TRUE(ran) << ran.error();
  ASSERT_EQ(ran->frames.size(), 51u);
  EXPECT_GT(std::fabs(s.doc->find("A")->globalMatrix().off.z), 100.0f) << "the agents moved";

  const std::string path = dir + "/after.kwscene.json";
  ASSERT_TRUE(kwhost::scene::writeSceneFile(*s.doc, path));
  auto again = kwhost::scene::readSceneFile(path);
  ASSERT_TRUE(again) << again.error();
  kwhost::Tag* tag = again->doc->tagsInOrder().at(0);
  kwhost::evaluateFrame(*again->doc, 0);
  size_t k = 0;
  for (auto& a : again->doc->find("Flock")->children()) {
    const KwMatrix stored = tag->data().getMatrix(1025 + 2 * int32_t(k));
    EXPECT_TRUE(sameBits(a->globalMatrix(), stored)) << a->nameRef();
    EXPECT_TRUE(sameBits(stored, start[k])) << a->nameRef();
    ++k;
  }
  // And it moves on from there as the first run did.
  kwhost::evaluateFrame(*again->doc, 1);
  EXPECT_TRUE(sameBits(again->doc->find("B")->globalMatrix(), [&] {
    const auto& f1 = ran->frames[1].agents[1].global;
    return KwMatrix{{f1[0], f1[1], f1[2]}, {f1[3], f1[4], f1[5]}, {f1[6], f1[7], f1[8]}, {f1[9], f1[10], f1[11]}};
  }()));
}

}  // namespace
