#include "bench_scenes.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "core/atomic_file.h"
#include "glb_files.h"
#include "core/evaluate.h"
#include "scene/demo_scene.h"
#include "scene/scene_file.h"
#include "validate/crowd_scene.h"
#include "validate/tag_contract.h"

namespace kwbench {

void die(const std::string& what) {
  std::fprintf(stderr, "frames_bench: %s\n", what.c_str());
  std::exit(1);
}

namespace {

namespace fs = std::filesystem;
using kwhost::scene::Json;

// KW_BENCH_SCENES names the folder; the default is one under the system's
// temporary folder, kept between runs (the terrain takes seconds to write).
fs::path folder() {
  const char* env = std::getenv("KW_BENCH_SCENES");
  fs::path dir = env && *env ? fs::path(env) : fs::temp_directory_path() / "kestrelwood-bench-scenes";
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec) die(dir.string() + ": cannot create the folder: " + ec.message());
  return dir;
}

// Written whole or not at all: an interrupted run leaves no half scene to be
// taken for a made one.
void writeText(const fs::path& path, const std::string& text) {
  if (auto w = kwhost::writeFileAtomically(path.string(), text); !w) die(w.error());
}

void makePacked(const fs::path& path) {
  kwhost::Document doc;
  if (auto t = doc.setTimeline(30, 0, 100000); !t) die(t.error());
  kwhost::validate::CrowdLayout layout;
  layout.agents = 100;
  layout.obstacles = 4;
  auto crowd = kwhost::validate::buildCrowd(doc, layout);
  if (!crowd) die(crowd.error());
  for (int f = 1; f <= 2000; ++f) kwhost::evaluateFrame(doc, f);
  // The gathered crowd becomes the start: frame 0 of a run puts it there.
  kwhost::pressButton(*crowd->tag, kwhost::validate::kRecordStart);
  if (auto w = kwhost::scene::writeSceneFile(doc, path.string()); !w) die(w.error());
}

// The terrain: a heightfield of rolling hills over 16,000 x 16,000 units.
float terrainHeight(float x, float z) {
  return 150.0f * std::sin(x * 0.0007f) * std::cos(z * 0.0005f) + 12.0f * std::sin(x * 0.011f + z * 0.007f);
}

// The heightfield's points, row by row, in the host's axes.
std::vector<KwVector> terrainPoints() {
  const int n = kTerrainCells;
  const float half = 8000.0f, step = 2.0f * half / float(n);
  std::vector<KwVector> points;
  points.reserve(size_t(n + 1) * size_t(n + 1));
  for (int j = 0; j <= n; ++j)
    for (int i = 0; i <= n; ++i) {
      const float x = -half + float(i) * step, z = -half + float(j) * step;
      points.push_back({x, terrainHeight(x, z), z});
    }
  return points;
}

// Quads (a, a + row, a + row + 1, a + 1), 0-based, wound so that
// (b - a) x (c - a) points up.
template <class Quad>
void forEachQuad(Quad quad) {
  const int n = kTerrainCells, row = n + 1;
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      const uint32_t a = uint32_t(j * row + i);
      quad(a, a + row, a + row + 1, a + 1);
    }
}

void makeTerrainObj(const fs::path& path) {
  const int n = kTerrainCells;
  std::string text;
  text.reserve(size_t(n + 1) * size_t(n + 1) * 64);
  char line[96];
  for (const KwVector& p : terrainPoints())
    text.append(line, size_t(std::snprintf(line, sizeof line, "v %.9g %.9g %.9g\n", p.x, p.y, p.z)));
  // OBJ indices count from 1.
  forEachQuad([&](uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    text.append(line, size_t(std::snprintf(line, sizeof line, "f %u %u %u %u\n", a + 1, b + 1, c + 1, d + 1)));
  });
  writeText(path, text);
}

// The same heightfield as a glb: the same floats, each quad split as the
// host splits the OBJ's, (a, b, c) and (a, c, d).
void makeTerrainGlb(const fs::path& path) {
  std::vector<uint32_t> tris;
  tris.reserve(size_t(6) * kTerrainCells * kTerrainCells);
  forEachQuad([&](uint32_t a, uint32_t b, uint32_t c, uint32_t d) { tris.insert(tris.end(), {a, b, c, a, c, d}); });
  writeText(path, kwtest::groundGlb(terrainPoints(), tris));
}

Json vec(float x, float y, float z) { return Json::array({x, y, z}); }

// 100 agents ten abreast, 300 apart, far from their target and slow: over
// the benchmark's frames they march on the terrain and never gather.
// ground: the ground object's geometry member ({"obj": FILE} or {"gltf":
// FILE}), or null for a scene without the ground.
void makeTerrainScene(const fs::path& path, const Json& ground, bool linked) {
  Json agents = Json::array();
  for (int i = 0; i < 100; ++i) {
    const float x = (float(i % 10) - 4.5f) * 300.0f, z = -3000.0f - float(i / 10) * 300.0f;
    agents.push_back({{"name", "Agent " + std::to_string(i)}, {"position", vec(x, terrainHeight(x, z) + 50.0f, z)}});
  }
  Json params = {{"AGENTS_GROUP", "Walkers"}, {"TARGET", "Target"}, {"SPEED", 4.0}, {"SPEED_VARIATION", 0.3}};
  if (linked) params["TERRAIN"] = "Ground";
  Json objects = Json::array({Json{{"name", "Walkers"}, {"children", agents}},
                              Json{{"name", "Target"}, {"position", vec(0, 0, 14000)}},
                              Json{{"name", "Crowd"},
                                   {"tags", Json::array({Json{{"type", "Kestrelwood"}, {"recordStart", true},
                                                              {"params", params}}})}}});
  if (!ground.is_null()) {
    Json g = {{"name", "Ground"}, {"type", "polygon"}};
    g.update(ground);
    objects.insert(objects.begin(), g);
  }
  const Json scene = {{"format", kwhost::scene::kFormat}, {"maxFrame", 100000}, {"objects", objects}};
  writeText(path, scene.dump(1));
}

}  // namespace

const char* sceneName(Scene s) {
  switch (s) {
    case Scene::Packed: return "packed";
    case Scene::Demo: return "demo";
    case Scene::Terrain: return "terrain-2m";
    case Scene::TerrainFlat: return "terrain-2m-unlinked";
    case Scene::TerrainGlb: return "terrain-2m-glb";
    case Scene::TerrainBare: return "terrain-2m-bare";
  }
  return "?";
}

int sceneFrames(Scene s) {
  switch (s) {
    case Scene::Packed: return 1000;
    case Scene::Demo: return 300;  // its own timeline
    default: return 2000;  // the terrain's share is a tenth of a millisecond: enough to tell from the loading
  }
}

std::string scenePath(Scene s) {
  const fs::path dir = folder();
  const fs::path path = dir / (std::string(sceneName(s)) + ".kwscene.json");
  if (fs::exists(path)) return path.string();
  switch (s) {
    case Scene::Packed: makePacked(path); break;
    case Scene::Demo: writeText(path, kwhost::scene::demoSceneJson().dump(1)); break;
    case Scene::Terrain:
    case Scene::TerrainFlat: {
      const std::string obj = "terrain-" + std::to_string(2 * kTerrainCells * kTerrainCells) + ".obj";
      if (!fs::exists(dir / obj)) makeTerrainObj(dir / obj);
      makeTerrainScene(path, Json{{"obj", obj}}, s == Scene::Terrain);
      break;
    }
    case Scene::TerrainGlb: {
      const fs::path glb = terrainGlbPath();
      if (!fs::exists(glb)) makeTerrainGlb(glb);
      makeTerrainScene(path, Json{{"gltf", glb.filename().string()}}, false);
      break;
    }
    case Scene::TerrainBare: makeTerrainScene(path, Json(), false); break;
  }
  return path.string();
}

std::string terrainGlbPath() {
  return (folder() / ("terrain-" + std::to_string(2 * kTerrainCells * kTerrainCells) + ".glb")).string();
}

}  // namespace kwbench
