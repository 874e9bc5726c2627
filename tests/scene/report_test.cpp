// The crowd report as a user gets it from `kestrelwood run --report`: on
// scenes built to make each kind of event, the report lists exactly the
// events that the run's own CSV shows, found here independently; --fail-on
// exits 5 with every output written, and 0 when nothing is found.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "program_run.h"
#include "scene_text.h"
#include "scratch_folder.h"
#include "text_files.h"

namespace {

using namespace kwtest;

namespace fs = std::filesystem;
using nlohmann::json;

struct Row {
  int frame = 0;
  std::string name;
  double x = 0, y = 0, z = 0;
};

// frame -> rows in child order.
std::map<int, std::vector<Row>> readCsv(const std::string& text) {
  std::map<int, std::vector<Row>> frames;
  std::istringstream in(text);
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    std::vector<std::string> f;
    std::stringstream ls(line);
    for (std::string cell; std::getline(ls, cell, ',');) f.push_back(cell);
    // %.9g gives back the recorded 32-bit float; the report computes from it.
    Row r{std::stoi(f[0]), f[3], double(std::stof(f[4])), double(std::stof(f[5])), double(std::stof(f[6]))};
    frames[r.frame].push_back(r);
  }
  return frames;
}

using Circle = Rock;

// What a scene's crowd does, seen from its CSV alone.
json expectedEvents(const std::map<int, std::vector<Row>>& frames, const std::vector<Circle>& rocks, double tx,
                    double tz, double reach, double gap, double step) {
  json intrusions = json::array(), pairs = json::array(), stuck = json::array();
  const int first = frames.begin()->first;
  for (const auto& [frame, rows] : frames) {
    if (frame == first) continue;
    for (const Row& a : rows)
      for (const Circle& c : rocks) {
        const double d = std::hypot(a.x - c.x, a.z - c.z);
        if (d < c.radius) intrusions.push_back({{"frame", frame}, {"agent", a.name}, {"obstacle", c.name}, {"depth", c.radius - d}});
      }
    for (size_t i = 0; i < rows.size(); ++i)
      for (size_t j = i + 1; j < rows.size(); ++j) {
        const double d = std::sqrt((rows[i].x - rows[j].x) * (rows[i].x - rows[j].x) +
                                   (rows[i].y - rows[j].y) * (rows[i].y - rows[j].y) +
                                   (rows[i].z - rows[j].z) * (rows[i].z - rows[j].z));
        if (d < gap) pairs.push_back({{"frame", frame}, {"a", rows[i].name}, {"b", rows[j].name}, {"distance", d}});
      }
  }
  // Stuck spells, agent by agent, then ordered by their first frame.
  std::vector<json> spells;
  const size_t agents = frames.begin()->second.size();
  for (size_t a = 0; a < agents; ++a) {
    int from = 0, to = 0;
    bool in = false;
    for (const auto& [frame, rows] : frames) {
      if (frame < first + 60) continue;
      const Row& now = rows[a];
      const Row& then = frames.at(frame - 60)[a];
      const double dn = std::hypot(now.x - tx, now.z - tz), dt = std::hypot(then.x - tx, then.z - tz);
      const bool isStuck = dn > reach && dt - dn < step;
      if (isStuck && !in) from = frame, in = true;
      if (isStuck) to = frame;
      if (!isStuck && in) spells.push_back({{"agent", now.name}, {"from", from}, {"to", to}}), in = false;
    }
    if (in) spells.push_back({{"agent", frames.begin()->second[a].name}, {"from", from}, {"to", to}});
  }
  std::stable_sort(spells.begin(), spells.end(), [](const json& x, const json& y) { return x["from"] < y["from"]; });
  for (json& s : spells) stuck.push_back(s);
  return {{"intrusions", intrusions}, {"closePairs", pairs}, {"stuck", stuck}};
}

// One flock, one target, some rocks; every speed exactly SPEED.
std::string sceneText(const std::vector<std::array<int, 2>>& agents, int tx, int tz, const std::vector<Circle>& rocks,
                      const std::string& params, int maxFrame) {
  return flockSceneText({agents, "A", tx, tz, rocks, R"(, "SPEED_VARIATION": 0, )" + params, maxFrame});
}

struct Case {
  const char* name;
  std::vector<std::array<int, 2>> agents;
  int tx, tz;
  std::vector<Circle> rocks;
  std::string params;
  int frames;
  const char* kind;  // the list that must not be empty
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

void expectNear(const json& got, const json& want, const std::string& what) {
  ASSERT_EQ(got.size(), want.size()) << what;
  for (size_t i = 0; i < got.size(); ++i)
    for (const auto& [key, value] : want[i].items()) {
      if (value.is_number_float()) EXPECT_DOUBLE_EQ(got[i][key].get<double>(), value.get<double>()) << what << "[" << i << "]." << key;
      else EXPECT_EQ(got[i][key], value) << what << "[" << i << "]." << key;
    }
}

class ReportScenes : public ::testing::TestWithParam<Case> {};

TEST_P(ReportScenes, ListExactlyWhatTheCsvShows) {
  const Case& c = GetParam();
  const std::string dir = tempFolder(std::string("report-") + c.name);
  const std::string scene = dir + "/s.kwscene.json";
  writeText(scene, sceneText(c.agents, c.tx, c.tz, c.rocks, c.params, c.frames));
  Ran r = kestrelwood("run " + quote(scene) + " --csv " + quote(dir + "/a.csv") + " --report " + quote(dir + "/r.json"), dir);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err.rfind("report: tag 0 on \"Crowd\": ", 0), 0u) << r.err;
  const json report = json::parse(readText(dir + "/r.json"));
  ASSERT_EQ(report["format"], "kestrelwood-report/1");
  EXPECT_EQ(report["frames"], json::array({0, c.frames}));
  ASSERT_EQ(report["tags"].size(), 1u);
  const json& tag = report["tags"][0];
  EXPECT_EQ(tag["object"], "Crowd");
  EXPECT_EQ(tag["agents"], c.agents.size());

  const json params = json::parse("{" + c.params + "}");
  const double reach = params.at("REPULSION_RADIUS").get<double>(), step = params.at("SPEED").get<double>();
  const double gap = 0.05 * double(float(reach));
  EXPECT_DOUBLE_EQ(tag["minGap"].get<double>(), gap);
  const json want = expectedEvents(readCsv(readText(dir + "/a.csv")), c.rocks, c.tx, c.tz, reach, gap, step);
  EXPECT_FALSE(want[c.kind].empty()) << "the scene makes no " << c.kind;
  for (const char* list : {"intrusions", "closePairs", "stuck"}) expectNear(tag[list], want[list], list);

  // The summary agrees with the lists.
  const json& s = tag["summary"];
  std::set<std::pair<int, std::string>> agentFrames;
  std::set<std::string> inside, stuckAgents;
  double deepest = 0;
  for (const json& e : want["intrusions"]) {
    agentFrames.insert({e["frame"].get<int>(), e["agent"].get<std::string>()});
    inside.insert(e["agent"].get<std::string>());
    deepest = std::max(deepest, e["depth"].get<double>());
  }
  for (const json& e : want["stuck"]) stuckAgents.insert(e["agent"].get<std::string>());
  EXPECT_EQ(s["intrusionFrames"], agentFrames.size());
  EXPECT_EQ(s["agentsIntruding"], inside.size());
  EXPECT_DOUBLE_EQ(s["deepest"].get<double>(), deepest);
  EXPECT_EQ(s["closePairFrames"], want["closePairs"].size());
  EXPECT_EQ(s["stuckAgents"], stuckAgents.size());
  // The summary line on standard error is the summary's text.
  EXPECT_EQ(r.err, "report: tag 0 on \"Crowd\": " + s["text"].get<std::string>() + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Scene, ReportScenes,
    ::testing::Values(
        // Blind (no vision reach): straight through the rock in its way.
        Case{"through-a-rock", {{0, -600}}, 0, 900, {{"Rock", 0, 0, 150}},
             R"("SPEED": 10, "VISION_LENGTH": 0, "VISION_HALF_WIDTH": 0, "REPULSION_RADIUS": 200)", 120, "intrusions"},
        // Two agents with no repulsion walk into each other at the target.
        Case{"crossing", {{-400, 0}, {400, 3}}, 0, 0, {}, R"("SPEED": 8, "REPULSION_WEIGHT": 0, "REPULSION_RADIUS": 100)",
             90, "closePairs"},
        // A target inside a rock: the agent turns away at its edge, again and
        // again, and never gets nearer.
        Case{"held-by-a-rock", {{0, -900}}, 0, 0, {{"Rock", 0, 0, 300}}, R"("SPEED": 10, "REPULSION_RADIUS": 100)", 300,
             "stuck"}),
    [](const ::testing::TestParamInfo<Case>& info) {
      std::string n = info.param.name;
      for (char& ch : n)
        if (ch == '-') ch = '_';
      return n;
    });

// --fail-on: exit 5 after every output is written; 0 when nothing is found.
TEST(ReportFailOn, ExitsFiveWithEveryOutputWrittenAndZeroWhenClean) {
  const std::string dir = tempFolder("report-fail-on");
  const std::string scene = dir + "/s.kwscene.json";
  writeText(scene, sceneText({{0, -600}}, 0, 900, {{"Rock", 0, 0, 150}}, R"("SPEED": 10, "VISION_LENGTH": 0)", 120));
  const std::string outputs = " --csv " + quote(dir + "/a.csv") + " --report " + quote(dir + "/r.json") + " --out " +
                              quote(dir + "/view") + " --save " + quote(dir + "/after.kwscene.json");
  Ran failing = kestrelwood("run " + quote(scene) + outputs + " --fail-on stuck,intrusions", dir);
  EXPECT_EQ(failing.status, 5) << failing.err;
  for (const char* f : {"/a.csv", "/r.json", "/view/index.html", "/view/poster.svg", "/view/run.glb", "/after.kwscene.json"})
    EXPECT_TRUE(fs::exists(dir + f)) << f;
  EXPECT_NE(failing.err.find("error: --fail-on: "), std::string::npos) << failing.err;

  // The same bake, failing only on close pairs, of which it has none.
  Ran clean = kestrelwood("run " + quote(scene) + " --fail-on close-pairs", dir);
  EXPECT_EQ(clean.status, 0) << clean.err;
  EXPECT_EQ(clean.err.rfind("report: tag 0 on \"Crowd\": ", 0), 0u) << clean.err;

  // The report to standard output, alone on it.
  Ran piped = kestrelwood("run " + quote(scene) + " --frames 5 --report -", dir);
  ASSERT_EQ(piped.status, 0) << piped.err;
  EXPECT_EQ(json::parse(piped.out)["format"], "kestrelwood-report/1");

  Ran bad = kestrelwood("run " + quote(scene) + " --fail-on rocks", dir);
  EXPECT_EQ(bad.status, 2);
  EXPECT_EQ(bad.err, "error: --fail-on: expected intrusions, close-pairs or stuck, got \"rocks\" (see kestrelwood --help)\n");
}

// The report tells a page what each kind of event is called, how it is
// counted and drawn, in lane order: the viewer page reads it from here.
TEST(ReportKinds, TheReportCarriesItsKinds) {
  const std::string dir = tempFolder("report-kinds");
  Ran r = kestrelwood("demo --frames 3 --cells 8 --report -", dir);
  ASSERT_EQ(r.status, 0) << r.err;
  const json report = json::parse(r.out);
  EXPECT_EQ(report["format"], "kestrelwood-report/1");
  EXPECT_EQ(report["kinds"], json::parse(R"([
    {"name": "intrusions", "option": "intrusions", "label": "Inside an obstacle", "colour": "#ff5a4f",
     "one": "agent-frame inside obstacles", "many": "agent-frames inside obstacles"},
    {"name": "closePairs", "option": "close-pairs", "label": "Closer than the minimum gap", "colour": "#ffc247",
     "one": "pair-frame closer than the minimum gap", "many": "pair-frames closer than the minimum gap"},
    {"name": "stuck", "option": "stuck", "label": "Stuck", "colour": "#b58cff",
     "one": "stuck agent", "many": "stuck agents"}])"));
  // Every kind names one of the tag's event arrays.
  for (const json& k : report["kinds"]) EXPECT_TRUE(report["tags"][0][k["name"].get<std::string>()].is_array()) << k;
  // Counts of 0 in the plural; the close pairs' clause with the tag's gap.
  const std::string text = report["tags"][0]["summary"]["text"];
  EXPECT_EQ(text.rfind("0 agent-frames inside obstacles, 0 pair-frames closer than 9 (closest ", 0), 0u) << text;
  EXPECT_TRUE(text.ends_with("), 0 stuck agents")) << text;
}

// One of a kind is said in the singular, on the poster and by --fail-on.
TEST(ReportKinds, OneIsSingular) {
  const std::string dir = tempFolder("report-one");
  const std::string scene = dir + "/s.kwscene.json";
  writeText(scene, sceneText({{0, -900}}, 0, 0, {{"Rock", 0, 0, 300}}, R"("SPEED": 10, "REPULSION_RADIUS": 100)", 300));
  Ran r = kestrelwood("run " + quote(scene) + " --out " + quote(dir + "/view") + " --fail-on stuck,close-pairs", dir);
  EXPECT_EQ(r.status, 5) << r.err;
  EXPECT_NE(r.err.find("error: --fail-on: the crowd report found 1 stuck agent\n"), std::string::npos) << r.err;
  const std::string svg = readText(dir + "/view/poster.svg");
  EXPECT_NE(svg.find(">1 stuck agent<"), std::string::npos);
  EXPECT_NE(svg.find(">0 pair-frames closer than the minimum gap<"), std::string::npos);
}

// The poster marks what the report found: a cross per agent-frame inside a
// rock and a mark per stuck spell, counted in its legend.
TEST(ReportFailOn, PosterMarksAgreeWithTheReport) {
  const std::string dir = tempFolder("report-poster");
  Ran r = kestrelwood("demo --out " + quote(dir + "/view") + " --report " + quote(dir + "/r.json"), dir);
  ASSERT_EQ(r.status, 0) << r.err;
  const json report = json::parse(readText(dir + "/r.json"));
  const json& s = report["tags"][0]["summary"];
  const std::string svg = readText(dir + "/view/poster.svg");
  auto count = [&svg](const std::string& what) {
    size_t n = 0;
    for (size_t at = svg.find(what); at != std::string::npos; at = svg.find(what, at + 1)) ++n;
    return n;
  };
  EXPECT_GT(s["intrusionFrames"].get<size_t>(), 0u);
  EXPECT_EQ(count("class=\"intrusion\""), s["intrusionFrames"].get<size_t>());
  EXPECT_EQ(count("class=\"stuck\""), report["tags"][0]["stuck"].size());
  EXPECT_NE(svg.find(std::to_string(s["intrusionFrames"].get<size_t>()) + " agent-frames inside obstacles"), std::string::npos);
}

}  // namespace
