// Scene files of great depth and width through the kestrelwood program as a
// user runs them (run --csv --save --out, 12 frames), next to the reference:
// the same crowd one level down. Then the parts, labelled as parts, in this
// process: reading the text into a document, writing the document as text.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "core/module_loader.h"
#include "scene/scene_file.h"

namespace {

namespace fs = std::filesystem;

kwhost::Module* TheModule() {
  static std::unique_ptr<kwhost::Module> module = [] {
    auto m = kwhost::Module::load(KW_BENCH_MODULE);
    if (!m) {
      std::fprintf(stderr, "bench: %s\n", m.error().c_str());
      return std::unique_ptr<kwhost::Module>();
    }
    return std::move(m.value());
  }();
  return module.get();
}

const char* kCrowd = R"({"name": "Flock", "children": [{"name": "a0"}, {"name": "a1", "position": [60, 0, 0]},
                        {"name": "a2", "position": [0, 0, -60]}]},
  {"name": "Goal", "position": [0, 0, 900]},
  {"name": "Crowd", "tags": [{"type": "Kestrelwood", "recordStart": true,
    "params": {"AGENTS_GROUP": "Flock", "TARGET": "Goal", "SHOW_VISION": true}}]})";

// The shapes: 0 the crowd under one object (the reference), 1 under 20,000
// nested objects, 2 under 99,990 (near the nesting limit), 3 beside 100,000
// top-level objects.
std::string sceneText(int shape) {
  const int levels = shape == 0 ? 1 : shape == 1 ? 20000 : shape == 2 ? 99990 : 0;
  std::string s = R"({"format": "kestrelwood-scene/1", "maxFrame": 12, "objects": [)";
  if (shape == 3)
    for (int i = 0; i < 100000; ++i) s.append(R"({"name": "o)").append(std::to_string(i)).append(R"("}, )");
  for (int i = 0; i < levels; ++i)
    s.append(R"({"name": "n)").append(std::to_string(i)).append(R"(", "position": [1, 0, 0], "children": [)");
  s += kCrowd;
  for (int i = 0; i < levels; ++i) s += "]}";
  return s + "]}";
}

const char* kShapeNames[] = {"one level (reference)", "20,000 levels", "99,990 levels", "100,000 siblings"};

std::string sceneFile(int shape) {
  const fs::path dir = fs::temp_directory_path() / "kestrelwood-scene-bench";
  fs::create_directories(dir);
  const fs::path file = dir / ("shape" + std::to_string(shape) + ".kwscene.json");
  if (!fs::exists(file)) std::ofstream(file, std::ios::binary) << sceneText(shape);
  return file.string();
}

void BM_Program(benchmark::State& state) {
  const int shape = int(state.range(0));
  const std::string scene = sceneFile(shape);
  const fs::path out = fs::path(scene).parent_path() / ("out" + std::to_string(shape));
  fs::create_directories(out);
  const std::string cmd = std::string("'") + KW_BENCH_PROGRAM + "' run '" + scene + "' --csv '" + (out / "a.csv").string() +
                          "' --save '" + (out / "saved.kwscene.json").string() + "' --out '" + (out / "view").string() +
                          "' >/dev/null 2>&1";
  for (auto _ : state)
    if (std::system(cmd.c_str()) != 0) state.SkipWithError(("kestrelwood failed: " + cmd).c_str());
  state.SetLabel(std::string("whole program, ") + kShapeNames[shape]);
}
BENCHMARK(BM_Program)->ArgName("shape")->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_ReadPart(benchmark::State& state) {
  if (!TheModule()) return state.SkipWithError("module not loaded");
  const int shape = int(state.range(0));
  const std::string text = sceneText(shape);
  for (auto _ : state) {
    auto scene = kwhost::scene::readSceneText(text, ".");
    if (!scene) return state.SkipWithError(scene.error().c_str());
    state.PauseTiming();
    scene = kwhost::Error{"done"};  // the document freed outside the timing
    state.ResumeTiming();
  }
  state.SetLabel(std::string("part: read, ") + kShapeNames[shape]);
}
BENCHMARK(BM_ReadPart)->ArgName("shape")->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_WritePart(benchmark::State& state) {
  if (!TheModule()) return state.SkipWithError("module not loaded");
  const int shape = int(state.range(0));
  auto scene = kwhost::scene::readSceneText(sceneText(shape), ".");
  if (!scene) return state.SkipWithError(scene.error().c_str());
  size_t bytes = 0;
  for (auto _ : state) {
    auto json = kwhost::scene::sceneToJson(*scene->doc, nullptr, ".");
    if (!json) return state.SkipWithError(json.error().c_str());
    bytes = kwhost::scene::formatJson(json.value()).size();
  }
  state.counters["MB"] = double(bytes) / 1e6;
  state.SetLabel(std::string("part: write, ") + kShapeNames[shape]);
}
BENCHMARK(BM_WritePart)->ArgName("shape")->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
