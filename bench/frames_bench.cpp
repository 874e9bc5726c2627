// Figures from where the user stands: whole frames through the loaded module
// on the scene files a user runs, each next to the reference it is compared
// with, measured in the same run.
//
//  - CommandLine: `kestrelwood run SCENE --frames N` as a process, against
//    the same with --frames 0; the difference over N is one frame as a run
//    costs it (evaluation, drawing and recording, no outputs written);
//  - Frame: the frames of the same scene through the host library with the
//    module loaded: evaluation alone (a part of the above);
//  - TerrainChanged: a frame on the 2M-triangle terrain whose points were
//    all moved since the last one, caches cold (the structure rebuilt);
//  - StreamingFloor: one cold pass reading that terrain's points and indices;
//  - BoidsStep: a generic O(n^2) boids step of 100 agents (boids_reference.h);
//  - GroundRead: `kestrelwood run --frames 0` of the terrain scene whose
//    ground is a glb, against the same scene without the ground, as
//    processes: what reading the ground costs a run; GlbFloor: one cold
//    pass over the glb's bytes in memory, its reference;
//  - GltfReader, TinyGltf (parts): the glb read into points and triangles
//    through the host library by our reader, and by tinygltf (load, then
//    the same conversion), file in the page cache, CPU caches cold; beside
//    them what any reader pays: FileRead, the file's bytes copied out of the
//    page cache, and FreshMemory, as much new memory filled once.
//
// Times are CPU time (the process's user and system time; the thread's in
// process): on an idle machine the same as the wall clock for these
// single-threaded runs, and far steadier on a machine shared with builds.
// After the runs the tables of the README are printed from the medians.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench_memory.h"
#include "bench_scenes.h"
#include "boids_reference.h"
#include "core/evaluate.h"
#include "module_once.h"
#include "program_run.h"
#include "scene/gltf_mesh.h"
#include "scene/scene_file.h"
#include "text_files.h"

// tinygltf's implementation is compiled into the host's export library (the
// run.glb writer), with these settings.
#define TINYGLTF_NO_STB_IMAGE
#define TINYGLTF_NO_STB_IMAGE_WRITE
#define TINYGLTF_NO_EXTERNAL_IMAGE
#define TINYGLTF_NOEXCEPTION
#include <tiny_gltf.h>

extern char** environ;

namespace {

using kwbench::Scene;

constexpr Scene kScenes[] = {Scene::Packed, Scene::Demo, Scene::Terrain, Scene::TerrainFlat};

using kwbench::die;

// The scenes are made and read with the module's tag type.
void needModule() {
  std::string why;
  if (!kwtest::moduleOnce(&why)) die(why);
}

// ---- the command line, as a process

double seconds(const timeval& t) { return double(t.tv_sec) + 1e-6 * double(t.tv_usec); }

double threadSeconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

// CPU seconds (user and system) of one `kestrelwood run` of the scene,
// output discarded.
double runSeconds(const std::string& scene, int frames) {
  const std::string framesArg = std::to_string(frames);
  std::vector<std::string> args = {kwtest::programPath(), "--quiet", "run", scene, "--frames", framesArg};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t io;
  posix_spawn_file_actions_init(&io);
  posix_spawn_file_actions_addopen(&io, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&io, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, argv[0], &io, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&io);
  if (rc != 0) die(std::string(argv[0]) + ": cannot start it");
  int status = 0;
  rusage use{};
  if (wait4(pid, &status, 0, &use) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    die(std::string("kestrelwood run ") + scene + " --frames " + framesArg + " failed");
  return seconds(use.ru_utime) + seconds(use.ru_stime);
}

void BM_CommandLine(benchmark::State& state) {
  needModule();
  const Scene s = kScenes[state.range(0)];
  const std::string path = kwbench::scenePath(s);
  const int n = kwbench::sceneFrames(s);
  for (auto _ : state) {
    const double none = runSeconds(path, 0);
    const double all = runSeconds(path, n);
    state.SetIterationTime(std::max(all - none, 0.0) / n);
  }
  state.counters["frames"] = n;
  state.SetLabel(kwbench::sceneName(s));
}

// ---- through the host library

struct Loaded {
  kwhost::scene::LoadedScene scene;
  kwhost::Document& doc() { return *scene.doc; }
};

std::unique_ptr<Loaded> load(Scene s) {
  needModule();
  auto sc = kwhost::scene::readSceneFile(kwbench::scenePath(s));
  if (!sc) die(kwhost::scene::readSceneFile(kwbench::scenePath(s)).error());
  auto l = std::make_unique<Loaded>(Loaded{std::move(sc.value())});
  for (kwhost::Tag* t : l->scene.recordStart) kwhost::pressButton(*t, kwhost::scene::kRecordStartButton);
  return l;
}

// The scene's frames minFrame + 1 ... minFrame + N, after the restore at
// minFrame (untimed); the time per frame.
void BM_Frame(benchmark::State& state) {
  const Scene s = kScenes[state.range(0)];
  auto l = load(s);
  const int n = kwbench::sceneFrames(s);
  const int32_t first = l->doc().minFrame();
  for (auto _ : state) {
    kwhost::evaluateFrame(l->doc(), first);
    const double t0 = threadSeconds();
    for (int f = 1; f <= n; ++f) kwhost::evaluateFrame(l->doc(), first + f);
    state.SetIterationTime((threadSeconds() - t0) / n);
  }
  state.SetLabel(kwbench::sceneName(s));
}

// Every point of the terrain moved between two frames (two shapes in turn),
// caches cold: the frame rebuilds the terrain's structure. The streaming
// floor of the new geometry is measured in the same iterations, caches cold
// as well (counter floor_us), so that the two meet the same machine.
void BM_TerrainChanged(benchmark::State& state) {
  auto l = load(Scene::Terrain);
  kwhost::Object* ground = l->doc().find("Ground");
  if (!ground) die("the terrain scene has no Ground");
  std::vector<KwVector> shapes[2] = {ground->points(), ground->points()};
  for (size_t i = 0; i < shapes[1].size(); ++i) shapes[1][i].y += 0.25f * std::sin(float(i & 1023));
  const std::vector<uint32_t> tris = ground->triangles();
  int32_t frame = l->doc().minFrame();
  kwhost::evaluateFrame(l->doc(), frame);
  double floor = 0;
  for (auto _ : state) {
    state.PauseTiming();
    if (!ground->setTriangles(shapes[(frame + 1) & 1], tris)) die("setTriangles failed");
    kwbench::flushCaches();
    const double t0 = threadSeconds();
    benchmark::DoNotOptimize(kwbench::streamSum(&ground->points()[0].x, 3 * ground->points().size()) +
                             kwbench::streamSum(ground->triangles().data(), ground->triangles().size()));
    floor += threadSeconds() - t0;
    kwbench::flushCaches();
    state.ResumeTiming();
    kwhost::evaluateFrame(l->doc(), ++frame);
  }
  state.counters["floor_us"] = benchmark::Counter(1e6 * floor, benchmark::Counter::kAvgIterations);
  state.SetLabel("terrain-2m, every point moved");
}

void BM_StreamingFloor(benchmark::State& state) {
  auto l = load(Scene::Terrain);
  const kwhost::Object* ground = l->doc().find("Ground");
  if (!ground) die("the terrain scene has no Ground");
  for (auto _ : state) {
    state.PauseTiming();
    kwbench::flushCaches();
    state.ResumeTiming();
    benchmark::DoNotOptimize(kwbench::streamSum(&ground->points()[0].x, 3 * ground->points().size()) +
                             kwbench::streamSum(ground->triangles().data(), ground->triangles().size()));
  }
  state.counters["MB"] = double(ground->points().size() * sizeof(KwVector) + ground->triangles().size() * 4) / 1e6;
  state.SetLabel("terrain-2m points and indices, cold");
}

void BM_BoidsStep(benchmark::State& state) {
  kwbench::Boids b = kwbench::packedBoids(100);
  for (auto _ : state) benchmark::DoNotOptimize(kwbench::boidsStep(b));
  state.SetLabel("generic boids, 100 agents");
}

// ---- reading a glb ground

void BM_GroundRead(benchmark::State& state) {
  needModule();
  const std::string glb = kwbench::scenePath(Scene::TerrainGlb), bare = kwbench::scenePath(Scene::TerrainBare);
  for (auto _ : state) state.SetIterationTime(std::max(runSeconds(glb, 0) - runSeconds(bare, 0), 0.0));
  state.SetLabel("terrain-2m glb, run --frames 0 against the scene without it");
}

void BM_GlbFloor(benchmark::State& state) {
  needModule();
  kwbench::scenePath(Scene::TerrainGlb);
  const std::string bytes = kwtest::readText(kwbench::terrainGlbPath());
  std::vector<uint32_t> words(bytes.size() / 4);
  std::memcpy(words.data(), bytes.data(), words.size() * 4);
  for (auto _ : state) {
    state.PauseTiming();
    kwbench::flushCaches();
    state.ResumeTiming();
    benchmark::DoNotOptimize(kwbench::streamSum(words.data(), words.size()));
  }
  state.counters["MB"] = double(bytes.size()) / 1e6;
  state.SetLabel("terrain-2m glb bytes, cold");
}

// The least a process pays to hold the ground at all: as many bytes of new
// memory (huge pages asked for, as the reader asks) filled once and given
// back, as a new process's first touch of them.
void BM_FreshMemory(benchmark::State& state) {
  needModule();
  kwbench::scenePath(Scene::TerrainGlb);
  const size_t bytes = size_t(std::filesystem::file_size(kwbench::terrainGlbPath()));
  for (auto _ : state) {
    void* p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) die("mmap failed");
    (void)::madvise(p, bytes, MADV_HUGEPAGE);
    std::memset(p, 1, bytes);
    benchmark::ClobberMemory();
    ::munmap(p, bytes);
  }
  state.SetLabel("new memory of the glb's size, filled once");
}

// The glb's bytes alone copied out of the system's file cache into memory
// the process holds already (read in batches of 1 MB, as the reader does in
// smaller ones): what any reader of the file pays before it converts a byte.
void BM_FileRead(benchmark::State& state) {
  needModule();
  kwbench::scenePath(Scene::TerrainGlb);
  const std::string path = kwbench::terrainGlbPath();
  std::vector<char> buffer(size_t(std::filesystem::file_size(path)), 1);
  for (auto _ : state) {
    state.PauseTiming();
    kwbench::flushCaches();
    state.ResumeTiming();
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) die(path + ": cannot open");
    std::setvbuf(f, nullptr, _IONBF, 0);
    for (size_t at = 0; at < buffer.size(); at += size_t(1) << 20)
      if (std::fread(buffer.data() + at, 1, std::min(buffer.size() - at, size_t(1) << 20), f) == 0) die(path + ": short");
    std::fclose(f);
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetLabel("the glb's bytes out of the file cache");
}

template <class Read>
void readColdGlb(benchmark::State& state, Read read) {
  needModule();
  kwbench::scenePath(Scene::TerrainGlb);
  const std::string path = kwbench::terrainGlbPath();
  for (auto _ : state) {
    state.PauseTiming();
    kwbench::flushCaches();
    state.ResumeTiming();
    kwhost::scene::TriangleMesh mesh = read(path);
    state.PauseTiming();
    if (mesh.tris.size() != size_t(6) * kwbench::kTerrainCells * kwbench::kTerrainCells) die(path + ": not read whole");
    mesh = {};
    state.ResumeTiming();
  }
}

void BM_GltfReader(benchmark::State& state) {
  readColdGlb(state, [](const std::string& path) {
    auto m = kwhost::scene::readGltfFile(path);
    if (!m) die(m.error());
    return std::move(m.value());
  });
  state.SetLabel("our reader (host library)");
}

// tinygltf loads the whole file into its model; the points and triangles
// then still have to be taken out of its buffer into the host's axes.
void BM_TinyGltf(benchmark::State& state) {
  readColdGlb(state, [](const std::string& path) {
    tinygltf::TinyGLTF loader;
    tinygltf::Model model;
    std::string err, warn;
    if (!loader.LoadBinaryFromFile(&model, &err, &warn, path)) die(path + ": " + err);
    const auto& prim = model.meshes.at(0).primitives.at(0);
    auto bytes = [&model](int accessor) {
      const tinygltf::Accessor& a = model.accessors.at(size_t(accessor));
      const tinygltf::BufferView& v = model.bufferViews.at(size_t(a.bufferView));
      return model.buffers.at(size_t(v.buffer)).data.data() + v.byteOffset + a.byteOffset;
    };
    kwhost::scene::TriangleMesh mesh;
    const size_t n = model.accessors.at(size_t(prim.attributes.at("POSITION"))).count;
    const size_t corners = model.accessors.at(size_t(prim.indices)).count;
    mesh.points.resize(n);
    std::memcpy(mesh.points.data(), bytes(prim.attributes.at("POSITION")), n * sizeof(KwVector));
    for (KwVector& p : mesh.points) p.z = -p.z;
    mesh.tris.resize(corners);
    std::memcpy(mesh.tris.data(), bytes(prim.indices), corners * 4);
    for (size_t k = 0; k + 2 < corners; k += 3) std::swap(mesh.tris[k + 1], mesh.tris[k + 2]);
    return mesh;
  });
  state.SetLabel("tinygltf: load, then the same conversion");
}

BENCHMARK(BM_CommandLine)->DenseRange(0, 3)->UseManualTime()->Iterations(1)->Repetitions(7)
    ->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Frame)->DenseRange(0, 3)->UseManualTime()->Iterations(3)->Repetitions(3)
    ->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TerrainChanged)->Iterations(10)->Repetitions(3)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StreamingFloor)->Iterations(10)->Repetitions(3)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BoidsStep)->Repetitions(3)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GroundRead)->UseManualTime()->Iterations(1)->Repetitions(9)->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GlbFloor)->Iterations(10)->Repetitions(3)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FileRead)->Iterations(5)->Repetitions(3)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FreshMemory)->Iterations(5)->Repetitions(3)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GltfReader)->Iterations(5)->Repetitions(3)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TinyGltf)->Iterations(5)->Repetitions(3)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);

// ---- the README's tables from the medians

class Collector : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs)
      if (r.aggregate_name == "median" || (r.aggregate_name.empty() && !r.error_occurred))
        // Manual times are CPU times already (see above); the others' CPU time.
      {
        const std::string name = r.run_name.function_name + (r.run_name.args.empty() ? "" : "/" + r.run_name.args);
        median_[name] = r.run_name.time_type == "manual_time" ? r.GetAdjustedRealTime() : r.GetAdjustedCPUTime();  // us
        for (const auto& [key, value] : r.counters) counters_[name + "#" + key] = value.value;
      }
    ConsoleReporter::ReportRuns(runs);
  }
  // Median time in microseconds, or NaN when the benchmark did not run.
  double us(const std::string& name) const {
    auto it = median_.find(name);
    return it == median_.end() ? NAN : it->second;
  }
  double counter(const std::string& name, const std::string& which) const {
    auto it = counters_.find(name + "#" + which);
    return it == counters_.end() ? NAN : it->second;
  }

 private:
  std::map<std::string, double> median_, counters_;
};

std::string fmt(const char* format, double v) {
  if (std::isnan(v)) return "-";
  char buf[64];
  std::snprintf(buf, sizeof buf, format, v);
  return buf;
}

void printTables(const Collector& c) {
  auto cli = [&](int i) { return c.us("BM_CommandLine/" + std::to_string(i)); };
  auto lib = [&](int i) { return c.us("BM_Frame/" + std::to_string(i)); };
  const double floorUs = c.us("BM_StreamingFloor"), boids = c.us("BM_BoidsStep");
  const double staticShare = cli(2) - cli(3), changedShare = c.us("BM_TerrainChanged") - lib(3);
  const double pairedFloor = c.counter("BM_TerrainChanged", "floor_us");
  std::printf("\nWhole frames (medians; command line: kestrelwood run, N frames against 0, as a process):\n\n");
  std::printf("| what | measured | against (same run) | ratio | goal |\n|---|---:|---|---:|---|\n");
  std::printf("| terrain share of a frame, 100 agents on a static 2,000,000-triangle heightfield | %s ms | cold "
              "streaming floor of the mesh, %s ms | %s | at most 0.5 |\n",
              fmt("%.3f", staticShare / 1e3).c_str(), fmt("%.2f", floorUs / 1e3).c_str(),
              fmt("%.2fx", staticShare / floorUs).c_str());
  std::printf("| terrain share of a frame, every point moved since the last (host library, cold caches) | %s ms | "
              "the floor measured alongside, %s ms | %s | at most 3 |\n",
              fmt("%.2f", changedShare / 1e3).c_str(), fmt("%.2f", pairedFloor / 1e3).c_str(),
              fmt("%.2fx", changedShare / pairedFloor).c_str());
  std::printf("| one frame, 100 agents packed round their target, flat, 4 obstacles | %s us | generic O(n^2) boids "
              "step of 100 agents, %s us | %s | at most 1.5 |\n",
              fmt("%.1f", cli(0)).c_str(), fmt("%.1f", boids).c_str(), fmt("%.2fx", cli(0) / boids).c_str());
  std::printf("| the demo headless (60 agents, 105,800 triangles, no outputs) | %s frames/s | | | at least 5,000 |\n",
              fmt("%.0f", 1e6 / cli(1)).c_str());
  const double groundRead = c.us("BM_GroundRead"), glbFloor = c.us("BM_GlbFloor");
  std::printf("| reading a 2,000,000-triangle ground from a glb (`run --frames 0` against the scene without it) | "
              "%s ms | cold streaming floor of the glb's %s MB, %s ms | %s | at most 2 |\n",
              fmt("%.1f", groundRead / 1e3).c_str(), fmt("%.0f", c.counter("BM_GlbFloor", "MB")).c_str(),
              fmt("%.2f", glbFloor / 1e3).c_str(), fmt("%.2fx", groundRead / glbFloor).c_str());
  std::printf("\nParts: one frame's evaluation through the host library (every tag's Execute), medians:\n\n");
  std::printf("| scene | command line, per frame | evaluation alone |\n|---|---:|---:|\n");
  for (int i = 0; i < 4; ++i)
    std::printf("| %s | %s us | %s us |\n", kwbench::sceneName(kScenes[i]), fmt("%.1f", cli(i)).c_str(),
                fmt("%.1f", lib(i)).c_str());
  std::printf("\nParts: the 2,000,000-triangle glb read into points and triangles through the host library (file in "
              "the page cache, CPU caches cold), medians:\n\n");
  std::printf("| reader | time | x floor |\n|---|---:|---:|\n");
  const std::pair<const char*, const char*> parts[] = {
      {"BM_GltfReader", "our reader (host/scene/gltf_mesh)"},
      {"BM_TinyGltf", "tinygltf: load, then the same conversion"},
      {"BM_FileRead", "reference: the glb's bytes alone, copied out of the file cache into memory held already"},
      {"BM_FreshMemory", "reference: new memory of the glb's size, filled once (the least a process pays to hold it)"}};
  for (const auto& [name, label] : parts)
    std::printf("| %s | %s ms | %s |\n", label, fmt("%.1f", c.us(name) / 1e3).c_str(),
                fmt("%.2fx", c.us(name) / glbFloor).c_str());
}

}  // namespace

int main(int argc, char** argv) {
  // --make-scenes: make the scene files (and their ground files) and say
  // where they are, one "NAME PATH" a line, for the Blender benchmark.
  if (argc == 2 && std::string(argv[1]) == "--make-scenes") {
    needModule();
    for (Scene s : {Scene::Packed, Scene::Demo, Scene::Terrain, Scene::TerrainFlat, Scene::TerrainGlb, Scene::TerrainBare})
      std::printf("%s %s\n", kwbench::sceneName(s), kwbench::scenePath(s).c_str());
    std::printf("terrain-2m-glb-file %s\n", kwbench::terrainGlbPath().c_str());
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  Collector collector;
  benchmark::RunSpecifiedBenchmarks(&collector);
  printTables(collector);
  benchmark::Shutdown();
  return 0;
}
