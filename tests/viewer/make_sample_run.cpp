// Writes a synthetic run for the viewer tests: agents of one or more tags
// walking circles over a rolling terrain past three rocks, with the tag's
// three overlays drawn, as the scene runner would record it, and a crowd
// report of it; then the glb, the report, the viewer page and expected.json
// (what the browser test compares the page with) into OUT.
//   make_sample_run OUT [--agents N] [--frames N] [--grid N] [--first F]
//                       [--tags N] [--params N] [--report events|clean|none]
// --params adds N parameters to the legend (a long list); --report clean
// writes a report without events, none leaves the page without one.
// The large run for measurements: --agents 100 --frames 1000 --grid 1000
// (a 2-million-triangle terrain).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <set>
#include <string>

#include <nlohmann/json.hpp>

#include "export/crowd_report.h"
#include "export/gltf_writer.h"
#include "export/report_json.h"
#include "export/run_record.h"
#include "export/viewer_page.h"

using namespace kwhost;

namespace {

constexpr float kSize = 2000.0f;  // terrain edge, scene units
constexpr float kRepulsion = 60.0f, kAlignment = 150.0f, kVisionLength = 120.0f, kVisionHalfWidth = 20.0f;

float height(float x, float z) { return 80.0f * std::sin(x / 300.0f) * std::cos(z / 250.0f); }

// Axes from heading, pitch, bank, the scene's transform model.
Mat12 matrixFromHpb(Vec3 p, float H, float P, float B) {
  const Vec3 Z{-std::sin(H) * std::cos(P), std::sin(P), std::cos(H) * std::cos(P)};
  const Vec3 h{std::cos(H), 0.0f, std::sin(H)};
  auto cross = [](Vec3 a, Vec3 b) {
    return Vec3{a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
  };
  const Vec3 Y0 = cross(Z, h);
  const Vec3 X{std::cos(B) * h[0] - std::sin(B) * Y0[0], std::cos(B) * h[1] - std::sin(B) * Y0[1],
               std::cos(B) * h[2] - std::sin(B) * Y0[2]};
  const Vec3 Y = cross(Z, X);
  return {p[0], p[1], p[2], X[0], X[1], X[2], Y[0], Y[1], Y[2], Z[0], Z[1], Z[2]};
}

Vec3 along(const Mat12& m, float x, float z) {
  return {m[0] + m[3] * x + m[9] * z, m[1] + m[4] * x + m[10] * z, m[2] + m[5] * x + m[11] * z};
}

struct Options {
  int agents = 20, frames = 60, grid = 24, first = 0, tags = 2, params = 0;
  std::string report = "events";
};

// Agents in contiguous blocks per tag, named per tag.
int tagOf(const Options& o, int i) { return o.agents ? i * o.tags / o.agents : 0; }
std::string tagObject(int tag) { return "Crowd " + std::string(1, char('A' + tag % 26)); }

RunRecord makeRun(const Options& o) {
  const int agents = o.agents, frames = o.frames, grid = o.grid, first = o.first;
  RunRecord run;
  run.sceneName = "Synthetic circles";
  run.fps = 30;
  RecordedMesh t;
  t.name = "Terrain";
  t.global = {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1};
  for (int j = 0; j <= grid; ++j) {
    for (int i = 0; i <= grid; ++i) {
      const float x = -kSize / 2 + kSize * i / grid, z = -kSize / 2 + kSize * j / grid;
      t.points.push_back({x, height(x, z), z});
    }
  }
  // Counter-clockwise seen from above in the scene's own (left-handed) frame.
  for (int j = 0; j < grid; ++j) {
    for (int i = 0; i < grid; ++i) {
      const uint32_t a = j * (grid + 1) + i, b = a + 1, c = a + grid + 1, d = c + 1;
      t.tris.insert(t.tris.end(), {a, c, d, a, d, b});
    }
  }
  run.terrains.push_back(std::move(t));
  for (int k = 0; k < 3; ++k) {
    RecordedCircle c;
    c.name = "Rock " + std::to_string(k + 1);
    c.global = {-500.0f + 500.0f * k, 0, 300.0f * (k - 1), 1, 0, 0, 0, 1, 0, 0, 0, 1};
    c.radius = 60.0f + 20.0f * k;
    run.obstacles.push_back(c);
  }
  for (int i = 0, index = 0; i < agents; ++i) {
    const int tag = tagOf(o, i);
    index = (i > 0 && tagOf(o, i - 1) == tag) ? index + 1 : 0;
    run.agents.push_back({(tag % 2 ? "Walker." : "Agent.") + std::to_string(index), tag, index, 5.0f + 0.1f * i});
  }
  RecordedTrack target;
  target.name = "Target";
  for (int f = 0; f < frames; ++f) {
    FrameRecord fr;
    fr.frame = first + f;
    for (int i = 0; i < agents; ++i) {
      const float r = 200.0f + 600.0f * (i + 0.5f) / agents;
      const float w = (i % 2 ? -1.0f : 1.0f) * (0.01f + 0.0002f * i);  // radians per frame, both senses
      const float th = w * f + 2.0f * std::numbers::pi_v<float> * i / agents;
      const float x = r * std::cos(th), z = r * std::sin(th);
      // Velocity along +-(-sin th, 0, cos th): heading th, or th + pi backwards.
      const float H = w > 0 ? th : th + std::numbers::pi_v<float>;
      const float P = 0.15f * std::sin(0.05f * f + i), B = 0.1f * std::cos(0.03f * f + i);
      AgentState s;
      s.global = matrixFromHpb({x, height(x, z), z}, H, P, B);
      s.hpb = {H, P, B};
      fr.agents.push_back(s);
      const Rgb probe = (i + f / 10) % 5 == 0 ? Rgb{255, 0, 0} : Rgb{255, 255, 255};
      const Vec3 rl = along(s.global, -kVisionHalfWidth, 0), fl = along(s.global, -kVisionHalfWidth, kVisionLength);
      const Vec3 fr2 = along(s.global, kVisionHalfWidth, kVisionLength), rr = along(s.global, kVisionHalfWidth, 0);
      fr.lines.push_back({rl, fl, probe});
      fr.lines.push_back({fl, fr2, probe});
      fr.lines.push_back({fr2, rr, probe});
      fr.lines.push_back({rr, rl, probe});
      const Mat12& m = s.global;
      fr.circles.push_back({{m[0], m[1], m[2], kRepulsion * m[3], kRepulsion * m[4], kRepulsion * m[5],
                             kRepulsion * m[9], kRepulsion * m[10], kRepulsion * m[11], 0, 0, 1},
                            {0, 255, 0}});
      fr.circles.push_back(
          {{m[0], m[1], m[2], kAlignment, 0, 0, 0, 0, kAlignment, 0, 0, 1}, {0, 0, 255}});
    }
    const float tx = 700.0f * std::cos(0.02f * f), tz = 700.0f * std::sin(0.02f * f);
    target.global.push_back({tx, height(tx, tz) + 30.0f, tz, 1, 0, 0, 0, 1, 0, 0, 0, 1});
    run.frames.push_back(std::move(fr));
  }
  run.tracks.push_back(std::move(target));
  const std::pair<const char*, float> ps[] = {{"VISION_LENGTH", kVisionLength},
                                              {"VISION_HALF_WIDTH", kVisionHalfWidth},
                                              {"REPULSION_RADIUS", kRepulsion},
                                              {"ALIGNMENT_RADIUS", kAlignment},
                                              {"SPEED", 20.0f}};
  for (int tag = 0; tag < std::max(o.tags, 1); ++tag) {
    run.params.push_back({tag, "AGENTS_GROUP", tagObject(tag)});
    for (auto& [n, v] : ps) {
      char buf[32];
      std::snprintf(buf, sizeof buf, "%g", v);
      run.params.push_back({tag, n, buf});
    }
    run.params.push_back({tag, "SHOW_VISION", "on"});
  }
  for (int k = 0; k < o.params; ++k) {
    run.params.push_back({0, "EXTRA_PARAMETER_" + std::to_string(k), std::to_string(k)});
  }
  return run;
}

// The crowd report of the run, by the report's definitions, over the frames
// after the first: an agent inside a rock (horizontal distance to its centre
// under its radius), two agents of a tag closer than the tag's minimum gap
// (3D), and one stuck spell made up for the second tag. Found here, apart
// from the host's search; written by the host's own JSON writer, so that the
// page gets the report's kinds and summary sentences as a run gives them.
constexpr float kMinGap = 40.0f;  // above the 30 units between neighbouring circles: crossing pairs come close

void findIntrusions(const RunRecord& run, const std::vector<size_t>& mine, TagReport* t) {
  std::set<size_t> intruding;
  for (size_t f = 1; f < run.frames.size(); ++f) {
    const FrameRecord& fr = run.frames[f];
    for (size_t i : mine) {
      const Mat12& m = fr.agents[i].global;
      for (size_t o = 0; o < run.obstacles.size(); ++o) {
        const RecordedCircle& c = run.obstacles[o];
        const double d = std::hypot(double(m[0]) - c.global[0], double(m[2]) - c.global[2]);
        if (d >= c.radius) continue;
        t->intrusions.push_back({fr.frame, int(i), int(o), c.radius - d});
        intruding.insert(i);
        t->deepest = std::max(t->deepest, c.radius - d);
      }
    }
  }
  t->intrusionFrames = t->intrusions.size();
  t->agentsIntruding = intruding.size();
}

void findClosePairs(const RunRecord& run, const std::vector<size_t>& mine, TagReport* t) {
  for (size_t f = 1; f < run.frames.size(); ++f) {
    const FrameRecord& fr = run.frames[f];
    for (size_t x = 0; x < mine.size(); ++x) {
      for (size_t y = x + 1; y < mine.size(); ++y) {
        const Mat12 &a = fr.agents[mine[x]].global, &b = fr.agents[mine[y]].global;
        const double d = std::hypot(double(a[0]) - b[0], double(a[1]) - b[1], double(a[2]) - b[2]);
        if (d >= kMinGap) continue;
        if (!t->closest || d < *t->closest) t->closest = d;
        t->closePairs.push_back({fr.frame, int(mine[x]), int(mine[y]), d});
      }
    }
  }
  t->closePairFrames = t->closePairs.size();
}

nlohmann::json makeReport(const RunRecord& run, const Options& o) {
  CrowdReport report;
  report.scene = run.sceneName;
  report.first = o.first;
  report.last = run.frames.empty() ? o.first : run.frames.back().frame;
  const bool events = o.report == "events";
  for (int tag = 0; tag < std::max(o.tags, 1); ++tag) {
    TagReport t;
    t.tag = tag;
    t.object = tagObject(tag);
    t.minGap = kMinGap;
    std::vector<size_t> mine;
    for (size_t i = 0; i < run.agents.size(); ++i)
      if (run.agents[i].tag == tag) mine.push_back(i);
    t.agents = mine.size();
    if (events) {
      findIntrusions(run, mine, &t);
      findClosePairs(run, mine, &t);
    }
    if (events && tag == 1 && mine.size() > 2 && run.frames.size() > 40) {
      t.stuck.push_back({int(mine[2]), run.frames[20].frame, run.frames[34].frame});
      t.stuckAgents = 1;
    }
    report.tags.push_back(std::move(t));
  }
  return reportJson(report, run);
}

// What the browser test checks against: agent positions (all frames of a
// small run, a few of a large one) and per frame the overlay counts by kind.
nlohmann::json expected(const RunRecord& run) {
  nlohmann::json j;
  j["agentCount"] = run.agents.size();
  j["fps"] = run.fps;
  j["frameCount"] = run.frames.size();
  nlohmann::json names = nlohmann::json::array();
  for (auto& a : run.agents) names.push_back(a.name);
  j["names"] = names;
  nlohmann::json tags = nlohmann::json::array();
  for (auto& a : run.agents) tags.push_back(a.tag);
  j["tags"] = tags;
  // A small terrain whole, for checking what the page lays on the ground.
  if (run.terrains.size() == 1 && run.terrains[0].tris.size() <= 3 * 20000) {
    nlohmann::json pts = nlohmann::json::array();
    for (const Vec3& p : run.terrains[0].points) pts.push_back({p[0], p[1], p[2]});
    j["terrain"] = {{"points", pts}, {"tris", run.terrains[0].tris}};
  }
  nlohmann::json frames = nlohmann::json::array();
  const size_t n = run.frames.size();
  const size_t step = n * run.agents.size() <= 5000 ? 1 : std::max<size_t>(1, n / 4);
  for (size_t f = 0; f < n; ++f) {
    if (f % step != 0 && f != n - 1) continue;
    const FrameRecord& fr = run.frames[f];
    nlohmann::json pos = nlohmann::json::array(), hpb = nlohmann::json::array();
    for (auto& a : fr.agents) {
      pos.push_back({a.global[0], a.global[1], a.global[2]});
      hpb.push_back({a.hpb[0], a.hpb[1], a.hpb[2]});
    }
    int probe = 0, rep = 0, ali = 0;
    for (auto& l : fr.lines) probe += (l.color == Rgb{255, 0, 0} || l.color == Rgb{255, 255, 255});
    for (auto& c : fr.circles) {
      rep += c.color == Rgb{0, 255, 0};
      ali += c.color == Rgb{0, 0, 255};
    }
    frames.push_back({{"index", f}, {"frame", fr.frame}, {"positions", pos}, {"hpb", hpb},
                      {"probeLines", probe}, {"repulsionCircles", rep}, {"alignmentCircles", ali}});
  }
  j["frames"] = frames;
  return j;
}

}  // namespace

int main(int argc, char** argv) {
  const char* usage =
      "usage: make_sample_run OUT [--agents N] [--frames N] [--grid N] [--first F] [--tags N] [--params N] "
      "[--report events|clean|none]\n";
  if (argc < 2 || argc % 2) {
    std::fprintf(stderr, "%s", usage);
    return 2;
  }
  Options o;
  for (int i = 2; i + 1 < argc; i += 2) {
    const int v = std::atoi(argv[i + 1]);
    if (!std::strcmp(argv[i], "--agents")) o.agents = v;
    else if (!std::strcmp(argv[i], "--frames")) o.frames = v;
    else if (!std::strcmp(argv[i], "--grid")) o.grid = v;
    else if (!std::strcmp(argv[i], "--first")) o.first = v;
    else if (!std::strcmp(argv[i], "--tags")) o.tags = v;
    else if (!std::strcmp(argv[i], "--params")) o.params = v;
    else if (!std::strcmp(argv[i], "--report")) o.report = argv[i + 1];
    else {
      std::fprintf(stderr, "make_sample_run: unknown option %s\n%s", argv[i], usage);
      return 2;
    }
  }
  if (o.agents < 0 || o.frames < 1 || o.grid < 1 || o.tags < 1 ||
      (o.report != "events" && o.report != "clean" && o.report != "none")) {
    std::fprintf(stderr, "%s", usage);
    return 2;
  }
  const std::string out = argv[1];
  std::filesystem::create_directories(out);
  const RunRecord run = makeRun(o);
  const nlohmann::json report = o.report == "none" ? nlohmann::json() : makeReport(run, o);
  std::filesystem::remove(out + "/report.json");
  if (!report.is_null()) std::ofstream(out + "/report.json") << report.dump();
  if (auto glb = writeGlb(run, out + "/run.glb"); !glb) {
    std::fprintf(stderr, "make_sample_run: %s\n", glb.error().c_str());
    return 1;
  }
  std::ofstream(out + "/expected.json") << expected(run).dump();
  std::filesystem::remove(out + "/index.html");
  if (!std::filesystem::exists(viewerTemplatePath())) {
    // The glb test can still run; the browser test skips without the page.
    std::fprintf(stderr, "make_sample_run: SKIP the page: no template at %s (the build makes it when node and npm are installed)\n",
                 viewerTemplatePath().c_str());
    return 77;
  }
  if (auto page = writeViewer(run, out, "run.glb", report); !page) {
    std::fprintf(stderr, "make_sample_run: %s\n", page.error().c_str());
    return 1;
  }
  return 0;
}
