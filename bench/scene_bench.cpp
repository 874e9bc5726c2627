// Scene files of great depth and width through the kestrelwood program as a
// user runs them (run --csv --save --out, 12 frames), next to the reference:
// the same crowd one level down. Then the parts, labelled as parts, in this
// process: reading the text into a document, writing the document as text.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "bench_module.h"
#include "program_run.h"
#include "scene/scene_file.h"
#include "scene_text.h"
#include "text_files.h"

namespace {

namespace fs = std::filesystem;

// The shapes: 0 the crowd under one object (the reference), 1 under 20,000
// nested objects, 2 under 99,990 (near the nesting limit), 3 beside 100,000
// top-level objects.
std::string sceneText(int shape) {
  const int levels = shape == 0 ? 1 : shape == 1 ? 20000 : shape == 2 ? 99990 : 0;
  const std::string siblings = shape == 3 ? kwtest::siblingsText(100000) : "";
  return kwtest::sceneFileText(siblings + kwtest::chainText(levels, kwtest::watchedCrowdText()), 12);
}

const char* kShapeNames[] = {"one level (reference)", "20,000 levels", "99,990 levels", "100,000 siblings"};

std::string sceneFile(int shape) {
  const fs::path dir = fs::temp_directory_path() / "kestrelwood-scene-bench";
  fs::create_directories(dir);
  const fs::path file = dir / ("shape" + std::to_string(shape) + ".kwscene.json");
  if (!fs::exists(file)) kwtest::writeText(file, sceneText(shape));
  return file.string();
}

void BM_Program(benchmark::State& state) {
  const int shape = int(state.range(0));
  const std::string scene = sceneFile(shape);
  const fs::path out = fs::path(scene).parent_path() / ("out" + std::to_string(shape));
  fs::create_directories(out);
  using kwtest::quote;
  const std::string args = "run " + quote(scene) + " --csv " + quote((out / "a.csv").string()) + " --save " +
                           quote((out / "saved.kwscene.json").string()) + " --out " + quote((out / "view").string());
  for (auto _ : state) {
    const kwtest::Ran r = kwtest::kestrelwood(args, out.string());
    if (r.status != 0) state.SkipWithError(("kestrelwood run failed: " + r.err).c_str());
  }
  state.SetLabel(std::string("whole program, ") + kShapeNames[shape]);
}
BENCHMARK(BM_Program)->ArgName("shape")->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_ReadPart(benchmark::State& state) {
  if (!kwbench::moduleOrSkip(state)) return;
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
  if (!kwbench::moduleOrSkip(state)) return;
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
