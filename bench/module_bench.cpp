// The module's full per-frame update, called through the loaded module as
// the host calls it: one Execute of a crowd tag for 10, 30 and 100 agents,
// on flat ground and on a 200k-triangle terrain (collider rebuilt in every
// call, as the tag asks for). And the built-in demo scene run headless:
// frames per second of evaluation alone and of evaluation with drawing.
#include <benchmark/benchmark.h>

#include "bench_module.h"
#include "core/evaluate.h"
#include "core/viewport.h"
#include "scene/demo_scene.h"
#include "scene/scene_file.h"
#include "validate/crowd_scene.h"

namespace {

// 200k triangles: 317 x 317 cells of two triangles each.
constexpr int kTerrainCells = 317;

void BM_Execute(benchmark::State& state) {
  if (!kwbench::moduleOrSkip(state)) return;
  kwhost::Document doc;
  (void)doc.setTimeline(30, 0, 1000000);
  kwhost::validate::CrowdLayout layout;
  layout.agents = static_cast<int>(state.range(0));
  layout.obstacles = 4;
  layout.terrain = state.range(1) != 0;
  layout.terrainCells = kTerrainCells;
  auto crowd = kwhost::validate::buildCrowd(doc, layout);
  if (!crowd) {
    state.SkipWithError(crowd.error().c_str());
    return;
  }
  // march: the crowd walks its first 100 frames from the recorded grid and
  // is put back (frame 0, one restore) before it walks them again; otherwise
  // it steps on and on, and gathers round its target, where every agent is
  // within reach of nearly every other (the dearest case of the neighbour rules).
  const bool march = state.range(2) != 0;
  int32_t frame = 1;
  for (auto _ : state) {
    if (march && frame > 100) frame = 0;
    doc.setFrame(frame++);
    benchmark::DoNotOptimize(crowd->tag->execute());
  }
  state.counters["agents"] = static_cast<double>(layout.agents);
  state.counters["triangles"] = layout.terrain ? 2.0 * kTerrainCells * kTerrainCells : 0.0;
}
BENCHMARK(BM_Execute)
    ->ArgNames({"agents", "terrain", "march"})
    ->Args({10, 0, 0})
    ->Args({30, 0, 0})
    ->Args({100, 0, 0})
    ->Args({100, 0, 1})
    ->Args({10, 1, 0})
    ->Args({30, 1, 0})
    ->Args({100, 1, 0})
    ->Unit(benchmark::kMicrosecond);

// The demo scene, headless: every frame of its timeline evaluated (and, with
// draw, drawn into the recording viewport as a run does).
void BM_DemoScene(benchmark::State& state) {
  if (!kwbench::moduleOrSkip(state)) return;
  const bool draw = state.range(0) != 0;
  int64_t frames = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto scene = kwhost::scene::readSceneJson(kwhost::scene::demoSceneJson(), ".");
    if (!scene) {
      state.SkipWithError(scene.error().c_str());
      return;
    }
    kwhost::Document& doc = *scene->doc;
    for (kwhost::Tag* t : scene->recordStart) kwhost::pressButton(*t, kwhost::scene::kRecordStartButton);
    kwhost::RecordingViewport viewport;
    state.ResumeTiming();
    for (int32_t f = doc.minFrame(); f <= doc.maxFrame(); ++f) {
      kwhost::evaluateFrame(doc, f);
      if (draw) kwhost::drawFrame(doc, viewport);
      ++frames;
    }
    state.PauseTiming();
    scene = kwhost::Error{"done"};  // free the document outside the timing
    state.ResumeTiming();
  }
  state.counters["fps"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DemoScene)->ArgNames({"draw"})->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
