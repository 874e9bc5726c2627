// One frame of terrain following: the collider rebuilt on the terrain, then
// 200 nearest-hit rays (agents' tilted down rays), against
//  - the memory-streaming floor: one pass summing the mesh's vertices and
//    indices (1 and 2 threads);
//  - Embree 3, low-quality build over the same shared buffers, rtcIntersect1;
//  - the brute-force scan of every triangle.
// Every timed iteration starts with cold caches: a 1 GiB buffer (more than
// the last-level cache) is written first, outside the timing. "Changed"
// deforms every vertex between frames (outside the timing); "Unchanged"
// rebuilds on the same buffers.
#include <benchmark/benchmark.h>
#include <embree3/rtcore.h>
#include <tiny_obj_loader.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench_memory.h"
#include "collider/ray_triangle.h"
#include "collider/terrain_collider.h"

namespace {

using kwhost::Vec3f;

struct Mesh {
  std::vector<Vec3f> points;  // one spare point at the end (Embree reads 16 bytes per vertex)
  size_t npoints = 0;
  std::vector<uint32_t> tris;
  std::vector<float> baseY;
  float lo[3], hi[3];
  size_t ntris() const { return tris.size() / 3; }
  size_t bytes() const { return npoints * sizeof(Vec3f) + tris.size() * sizeof(uint32_t); }
};

void finish(Mesh& m) {
  m.npoints = m.points.size();
  for (int k = 0; k < 3; ++k) {
    m.lo[k] = 1e30f;
    m.hi[k] = -1e30f;
  }
  for (const Vec3f& p : m.points) {
    const float v[3] = {p.x, p.y, p.z};
    for (int k = 0; k < 3; ++k) {
      m.lo[k] = std::min(m.lo[k], v[k]);
      m.hi[k] = std::max(m.hi[k], v[k]);
    }
  }
  for (const Vec3f& p : m.points) m.baseY.push_back(p.y);
  m.points.push_back({0, 0, 0});
}

// n x n vertices, 10 m apart, rolling hills; triangles in row order.
Mesh heightfield(int n) {
  Mesh m;
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      const float x = i * 10.0f, z = j * 10.0f;
      m.points.push_back({x, 80.0f * std::sin(x * 0.003f) * std::cos(z * 0.002f) + 5.0f * std::sin(x * 0.07f + z * 0.05f), z});
    }
  for (int j = 0; j + 1 < n; ++j)
    for (int i = 0; i + 1 < n; ++i) {
      const uint32_t a = j * n + i, b = a + 1, c = a + n, d = c + 1;
      m.tris.insert(m.tris.end(), {a, c, b, b, c, d});
    }
  finish(m);
  return m;
}

Mesh loadObj(const std::string& path) {
  Mesh m;
  tinyobj::ObjReader reader;
  tinyobj::ObjReaderConfig cfg;
  cfg.triangulate = true;
  if (!reader.ParseFromFile(path, cfg)) {
    std::fprintf(stderr, "collider_bench: %s: %s\n", path.c_str(), reader.Error().c_str());
    std::exit(1);
  }
  const auto& v = reader.GetAttrib().vertices;
  for (size_t i = 0; i + 2 < v.size(); i += 3) m.points.push_back({v[i], v[i + 1], v[i + 2]});
  for (const auto& s : reader.GetShapes())
    for (const auto& idx : s.mesh.indices) m.tris.push_back(uint32_t(idx.vertex_index));
  finish(m);
  return m;
}

Mesh& mesh(int which) {
  static std::unique_ptr<Mesh> meshes[4];
  if (!meshes[which]) {
    switch (which) {
      case 0: meshes[0] = std::make_unique<Mesh>(heightfield(101)); break;   // 20,000 triangles
      case 1: meshes[1] = std::make_unique<Mesh>(heightfield(317)); break;   // 199,712
      case 2: meshes[2] = std::make_unique<Mesh>(heightfield(1001)); break;  // 2,000,000
      default:
        meshes[3] = std::make_unique<Mesh>(loadObj(std::string(KW_SHARED_DATA) + "/mount-st-helens-2000.obj"));
    }
  }
  return *meshes[which];
}

const char* kMeshNames[4] = {"hf20k", "hf200k", "hf2M", "helens266k"};

// Agents' rays: from above the terrain, tilted up to ~17 degrees, downwards.
struct Ray {
  Vec3f s, d;
};
const std::vector<Ray>& rays(const Mesh& m) {
  static std::vector<Ray> r[4];
  std::vector<Ray>& out = r[&m == &mesh(0) ? 0 : &m == &mesh(1) ? 1 : &m == &mesh(2) ? 2 : 3];
  if (out.empty()) {
    std::mt19937 rng(42);
    std::uniform_real_distribution<float> fx(m.lo[0], m.hi[0]), fz(m.lo[2], m.hi[2]), tilt(-0.3f, 0.3f);
    for (int i = 0; i < 200; ++i) {
      const float dx = tilt(rng), dz = tilt(rng), l = std::sqrt(dx * dx + 1 + dz * dz);
      out.push_back({{fx(rng), m.hi[1] + 50.0f, fz(rng)}, {dx / l, -1 / l, dz / l}});
    }
  }
  return out;
}

void deform(Mesh& m, int frame) {
  const float off = (frame & 1) ? 0.25f : 0.0f;
  for (size_t i = 0; i < m.npoints; ++i) m.points[i].y = m.baseY[i] + off * std::sin(float(i & 1023));
}

// The indices are summed as integers: read as floats they would be
// denormals, whose adds take microcode assists and make the floor look slower
// than memory is.
void sumMesh(const Mesh& m, int threads) {
  const float* p = &m.points[0].x;
  const uint32_t* t = m.tris.data();
  const size_t np = 3 * m.npoints, nt = m.tris.size();
  if (threads == 1) {
    benchmark::DoNotOptimize(kwbench::streamSum(p, np) + kwbench::streamSum(t, nt));
    return;
  }
  double s1 = 0;
  std::thread th([&] { s1 = kwbench::streamSum(p, np / 2) + kwbench::streamSum(t, nt / 2); });
  const double s2 = kwbench::streamSum(p + np / 2, np - np / 2) + kwbench::streamSum(t + nt / 2, nt - nt / 2);
  th.join();
  benchmark::DoNotOptimize(s1 + s2);
}

void BM_Floor(benchmark::State& state) {
  Mesh& m = mesh(int(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    kwbench::flushCaches();
    state.ResumeTiming();
    sumMesh(m, int(state.range(1)));
  }
  state.SetLabel(kMeshNames[state.range(0)]);
}

// Second argument: 1 every vertex moved between frames, 0 unchanged (both
// on the collider's own copy), 2 every vertex moved and the buffers borrowed
// (what the host does: its geometry is immutable, so nothing is copied).
void BM_Collider(benchmark::State& state) {
  Mesh& m = mesh(int(state.range(0)));
  const bool changing = state.range(1) != 0;
  const bool borrowing = state.range(1) == 2;
  kwhost::TerrainCollider c;
  deform(m, 0);
  c.build(m.points.data(), m.npoints, m.tris.data(), m.ntris());
  const auto& rs = rays(m);
  int frame = 0, hits = 0;
  for (auto _ : state) {
    state.PauseTiming();
    if (changing) deform(m, ++frame);
    kwbench::flushCaches();
    state.ResumeTiming();
    if (borrowing) c.borrow(m.points.data(), m.npoints, m.tris.data(), m.ntris());
    else c.build(m.points.data(), m.npoints, m.tris.data(), m.ntris());
    kwhost::RayHit h;
    for (const Ray& r : rs) hits += c.intersect(r.s, r.d, 100000.0f, false) && c.nearest(&h);
  }
  deform(m, 0);
  state.counters["hits"] = double(hits) / double(state.iterations());
  state.counters["mem_ratio"] = double(c.memoryBytes()) / double(m.bytes());
  state.SetLabel(kMeshNames[state.range(0)]);
}

void BM_Embree(benchmark::State& state) {
  Mesh& m = mesh(int(state.range(0)));
  static RTCDevice device = rtcNewDevice("threads=2");
  const auto& rs = rays(m);
  int hits = 0;
  for (auto _ : state) {
    state.PauseTiming();
    kwbench::flushCaches();
    state.ResumeTiming();
    RTCScene scene = rtcNewScene(device);
    rtcSetSceneBuildQuality(scene, RTC_BUILD_QUALITY_LOW);
    RTCGeometry g = rtcNewGeometry(device, RTC_GEOMETRY_TYPE_TRIANGLE);
    rtcSetGeometryBuildQuality(g, RTC_BUILD_QUALITY_LOW);
    rtcSetSharedGeometryBuffer(g, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3, m.points.data(), 0, sizeof(Vec3f),
                               m.npoints);
    rtcSetSharedGeometryBuffer(g, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3, m.tris.data(), 0,
                               3 * sizeof(uint32_t), m.ntris());
    rtcCommitGeometry(g);
    rtcAttachGeometry(scene, g);
    rtcReleaseGeometry(g);
    rtcCommitScene(scene);
    RTCIntersectContext ctx;
    rtcInitIntersectContext(&ctx);
    for (const Ray& r : rs) {
      RTCRayHit rh{};
      rh.ray.org_x = r.s.x;
      rh.ray.org_y = r.s.y;
      rh.ray.org_z = r.s.z;
      rh.ray.dir_x = r.d.x;
      rh.ray.dir_y = r.d.y;
      rh.ray.dir_z = r.d.z;
      rh.ray.tnear = 0.0f;
      rh.ray.tfar = 100000.0f;
      rh.ray.mask = 0xffffffffu;
      rh.hit.geomID = RTC_INVALID_GEOMETRY_ID;
      rtcIntersect1(scene, &ctx, &rh);
      hits += rh.hit.geomID != RTC_INVALID_GEOMETRY_ID;
    }
    rtcReleaseScene(scene);
  }
  state.counters["hits"] = double(hits) / double(state.iterations());
  state.SetLabel(kMeshNames[state.range(0)]);
}

void BM_BruteForce(benchmark::State& state) {
  Mesh& m = mesh(int(state.range(0)));
  const auto& rs = rays(m);
  int hits = 0;
  for (auto _ : state) {
    state.PauseTiming();
    kwbench::flushCaches();
    state.ResumeTiming();
    for (const Ray& r : rs) {
      kwhost::PreparedRay pr;
      kwhost::TriangleHit h{};
      if (!kwhost::prepareRay(r.s, r.d, 100000.0f, &pr)) continue;
      hits += kwhost::bruteForceNearest(pr, &m.points[0].x, m.npoints, m.tris.data(), m.ntris(), &h) >= 0;
    }
  }
  state.counters["hits"] = double(hits) / double(state.iterations());
  state.SetLabel(kMeshNames[state.range(0)]);
}

// Arguments: mesh (0 hf20k, 1 hf200k, 2 hf2M, 3 Mount St. Helens), then
// threads (floor) or changed (collider).
void meshes2(benchmark::internal::Benchmark* b, std::initializer_list<int64_t> second) {
  for (int mi = 0; mi < 4; ++mi)
    for (int64_t s : second) b->Args({mi, s});
}

}  // namespace

BENCHMARK(BM_Floor)->Apply([](auto* b) { meshes2(b, {1, 2}); })->Unit(benchmark::kMillisecond)->Iterations(10)->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK(BM_Collider)->Apply([](auto* b) { meshes2(b, {1, 0, 2}); })->Unit(benchmark::kMillisecond)->Iterations(10)->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK(BM_Embree)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK(BM_BruteForce)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3)->ReportAggregatesOnly(true);

BENCHMARK_MAIN();
