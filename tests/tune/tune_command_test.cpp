// kestrelwood tune as a user runs it: the same table whatever --jobs is,
// the saved scene measuring exactly as its best row under `kestrelwood run`,
// and each case the documentation promises (nothing to improve, no
// obstacles, ranges out of the limits, unknown and speed parameters).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include <nlohmann/json.hpp>

#include "program_run.h"
#include "scene_text.h"
#include "scratch_folder.h"
#include "text_files.h"

namespace {

using namespace kwtest;
using nlohmann::json;

// 16 agents packed 40 units apart walk to a goal past a rock: close pairs
// and stuck agents with the tag's defaults.
FlockScene packedFlock() {
  FlockScene s;
  for (int i = 0; i < 16; ++i) s.agents.push_back({(i % 4) * 40 - 60, (i / 4) * 40});
  s.goalZ = 1500;
  s.rocks = {{"R0", 0, 600, 150}};
  s.maxFrame = 80;
  return s;
}

std::vector<std::vector<std::string>> readCsv(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> cells;
    std::stringstream ls(line);
    for (std::string cell; std::getline(ls, cell, ',');) cells.push_back(cell);
    if (!line.empty() && line.back() == ',') cells.push_back("");
    rows.push_back(cells);
  }
  return rows;
}

size_t column(const std::vector<std::string>& header, const std::string& name) {
  for (size_t i = 0; i < header.size(); ++i)
    if (header[i] == name) return i;
  ADD_FAILURE() << "no column " << name;
  return 0;
}

class TuneCommand : public ScratchTest {
 protected:
  std::string scene(const FlockScene& s, const std::string& name = "flock.kwscene.json") {
    const std::string path = (dir_ / name).string();
    writeText(path, flockSceneText(s));
    return path;
  }
  Ran tune(const std::string& args) { return kestrelwood("tune " + args, dir_.string()); }
};

TEST_F(TuneCommand, SameTableWhateverTheNumberOfWorkers) {
  const std::string flock = scene(packedFlock());
  const std::string common = quote(flock) + " --trials 40 --seed 7 --vary ALIGNMENT_WEIGHT,REPULSION_WEIGHT=1:5 --table ";
  const Ran one = tune(common + quote((dir_ / "one.csv").string()) + " --jobs 1");
  const Ran two = tune(common + quote((dir_ / "two.csv").string()) + " --jobs 2");
  ASSERT_EQ(one.status, 0) << one.err;
  ASSERT_EQ(two.status, 0) << two.err;
  const std::string a = readText(dir_ / "one.csv"), b = readText(dir_ / "two.csv");
  EXPECT_EQ(a, b);
  const auto rows = readCsv(a);
  ASSERT_EQ(rows.size(), 41u);  // header and 40 trials: no cost 0 within these ranges
  EXPECT_EQ(rows[0], (std::vector<std::string>{"trial", "ALIGNMENT_WEIGHT", "REPULSION_WEIGHT", "intrusions",
                                               "closePairs", "stuck", "cost", "endDistance", "accepted", "failure"}));
  // Trial 0 is the scene as given; every trial in order, none failed.
  EXPECT_EQ(rows[1][1], "1");
  EXPECT_EQ(rows[1][2], "20");
  for (size_t i = 1; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i][0], std::to_string(i - 1));
    EXPECT_EQ(rows[i].back(), "") << "trial " << i - 1 << " failed";
    EXPECT_EQ(std::stoll(rows[i][6]), std::stoll(rows[i][3]) + std::stoll(rows[i][4]) + 60 * std::stoll(rows[i][5]));
  }
  // Another seed searches elsewhere.
  const Ran other = tune(quote(flock) + " --trials 40 --seed 8 --vary ALIGNMENT_WEIGHT,REPULSION_WEIGHT=1:5 --table " +
                         quote((dir_ / "three.csv").string()));
  ASSERT_EQ(other.status, 0) << other.err;
  EXPECT_NE(readText(dir_ / "three.csv"), a);
}

TEST_F(TuneCommand, SavedSceneRunsToTheBestRowsCounts) {
  const std::string flock = scene(packedFlock());
  const std::string table = (dir_ / "t.csv").string(), saved = (dir_ / "out" / "best.kwscene.json").string();
  const Ran r = tune(quote(flock) + " --trials 30 --vary REPULSION_RADIUS,REPULSION_WEIGHT --table " + quote(table) +
                     " --save " + quote(saved) + " --report " + quote((dir_ / "best.json").string()));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("given"), std::string::npos) << r.err;

  // The best row: accepted, least cost, earliest of equals.
  const auto rows = readCsv(readText(table));
  const size_t cost = column(rows[0], "cost"), acc = column(rows[0], "accepted");
  size_t best = 1;
  for (size_t i = 2; i < rows.size(); ++i)
    if (rows[i][acc] == "true" && std::stoll(rows[i][cost]) < std::stoll(rows[best][cost])) best = i;
  ASSERT_LT(std::stoll(rows[best][cost]), std::stoll(rows[1][cost]));

  // Run as the documentation says: the given gap (5% of the given radius 200) and stuck radius.
  const Ran run = kestrelwood("run " + quote(saved) + " --min-gap 10 --stuck-radius 200 --report " +
                                  quote((dir_ / "check.json").string()),
                              dir_.string());
  ASSERT_EQ(run.status, 0) << run.err;
  const json report = json::parse(readText(dir_ / "check.json"));
  const json& summary = report["tags"][0]["summary"];
  EXPECT_EQ(summary["intrusionFrames"].get<long long>(), std::stoll(rows[best][column(rows[0], "intrusions")]));
  EXPECT_EQ(summary["closePairFrames"].get<long long>(), std::stoll(rows[best][column(rows[0], "closePairs")]));
  EXPECT_EQ(summary["stuckAgents"].get<long long>(), std::stoll(rows[best][column(rows[0], "stuck")]));
  // The tune's own report of the best run says the same.
  EXPECT_EQ(json::parse(readText(dir_ / "best.json"))["tags"][0]["summary"], summary);

  // Nothing else of the scene changed: the saved file with the two values put back is the given one.
  json given = json::parse(readText(flock)), got = json::parse(readText(saved));
  json& params = got["objects"][3]["tags"][0]["params"];
  EXPECT_EQ(params["REPULSION_RADIUS"].get<double>(), std::stod(rows[best][1]));
  params.erase("REPULSION_RADIUS");
  params.erase("REPULSION_WEIGHT");
  EXPECT_EQ(got, given);
}

TEST_F(TuneCommand, NothingToImproveKeepsTheGivenValues) {
  FlockScene lone;  // two agents far apart, nothing in the way
  lone.agents = {{-500, 0}, {500, 0}};
  lone.goalZ = 400;
  lone.maxFrame = 30;
  const std::string path = scene(lone);
  const Ran r = tune(quote(path) + " --table " + quote((dir_ / "t.csv").string()) + " --save " +
                     quote((dir_ / "same.kwscene.json").string()));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("nothing to improve"), std::string::npos) << r.err;
  EXPECT_EQ(countLines(readText(dir_ / "t.csv")), 2u);  // the given scene's trial alone
  // The saved scene names the values it kept, the tag's own (no obstacles:
  // the neighbour rules are searched); nothing else differs.
  json saved = json::parse(readText(dir_ / "same.kwscene.json"));
  json& params = saved["objects"][3]["tags"][0]["params"];
  EXPECT_EQ(params["TARGET_WEIGHT"], 10.0);
  EXPECT_EQ(params["REPULSION_WEIGHT"], 20.0);
  EXPECT_EQ(params["REPULSION_RADIUS"], 200.0);
  for (const char* name : {"TARGET_WEIGHT", "REPULSION_WEIGHT", "REPULSION_RADIUS"}) params.erase(name);
  EXPECT_EQ(saved, json::parse(readText(path)));
}

TEST_F(TuneCommand, TagWithoutObstaclesSearchesTheNeighbourRules) {
  FlockScene open = packedFlock();
  open.rocks.clear();
  const Ran r = tune(quote(scene(open)) + " --trials 12 --table -");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.substr(0, r.out.find('\n')),
            "trial,TARGET_WEIGHT,REPULSION_WEIGHT,REPULSION_RADIUS,intrusions,closePairs,stuck,cost,endDistance,"
            "accepted,failure");
}

TEST_F(TuneCommand, BadArgumentsAndScenesGetOneLine) {
  const std::string flock = quote(scene(packedFlock()));
  struct Case {
    std::string args;
    int status;
    std::string says;
  };
  const std::vector<Case> cases = {
      {flock + " --vary VISION_LENGTH=-5:100", 2, "below VISION_LENGTH's least value, 0"},
      {flock + " --vary SPEED_VARIATION=0:3", 2, "SPEED_VARIATION cannot be tuned"},
      {flock + " --vary SPEED", 2, "the agents' speeds are drawn when the start is recorded"},
      {flock + " --vary FLOCK_SIZE", 2, "unknown parameter \"FLOCK_SIZE\""},
      {flock + " --vary REPULSION_RADIUS=400:100", 2, "low end must be below its high end"},
      {flock + " --vary REPULSION_RADIUS=a:b", 2, "expected NAME=LO:HI"},
      {flock + " --vary REPULSION_WEIGHT,REPULSION_WEIGHT", 2, "named twice"},
      {flock + " --tag 2", 2, "--tag 2: the scene's crowd tags are 0"},
      {flock + " --trials 0", 2, "--trials"},
      {quote((dir_ / "missing.kwscene.json").string()), 3, "cannot open"},
  };
  for (const Case& c : cases) {
    const Ran r = tune(c.args);
    EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << c.args << "\n" << r.err;
    EXPECT_EQ(countLines(r.err), 1u) << c.args << "\n" << r.err;
  }
  // A tag whose agents never move: no target.
  writeText(dir_ / "aimless.kwscene.json",
            sceneFileText(R"({"name": "Flock", "children": [{"name": "a0"}]},
              {"name": "Crowd", "tags": [{"type": "Kestrelwood", "recordStart": true, "params": {"AGENTS_GROUP": "Flock"}}]})",
                          20));
  const Ran aimless = tune(quote((dir_ / "aimless.kwscene.json").string()));
  EXPECT_EQ(aimless.status, 3) << aimless.err;
  EXPECT_NE(aimless.err.find("tag 0 on \"Crowd\" has no target"), std::string::npos) << aimless.err;
}

// docs/tune.md's shell commands as written, in order, from a folder where
// scenes/ is the repository's: the tune, a look at its scene, and the
// measure that gives the best row's counts.
TEST_F(TuneCommand, TheDocumentsCommandsAsWritten) {
  std::ifstream doc(KW_SOURCE_DIR "/docs/tune.md");
  std::vector<std::string> commands;
  bool inBlock = false;
  for (std::string line; std::getline(doc, line);) {
    if (line.rfind("```", 0) == 0) {
      inBlock = line == "```sh";
      continue;
    }
    if (!inBlock) continue;
    line = line.substr(0, line.find('#'));
    while (!line.empty() && line.back() == ' ') line.pop_back();
    if (!line.empty()) commands.push_back(line);
  }
  ASSERT_EQ(commands.size(), 3u);
  std::filesystem::create_directory_symlink(KW_SOURCE_DIR "/scenes", dir_ / "scenes");
  for (const std::string& c : commands) {
    ASSERT_EQ(c.rfind("kestrelwood ", 0), 0u) << c;
    // In the folder, as a user who typed it there.
    const Ran r = kestrelwood(c.substr(12), dir_.string(), "cd " + quote(dir_.string()) + " && ");
    ASSERT_EQ(r.status, 0) << c << "\n" << r.err;
  }
  const auto rows = readCsv(readText(dir_ / "trials.csv"));
  ASSERT_GT(rows.size(), 2u);
  const size_t cost = column(rows[0], "cost"), acc = column(rows[0], "accepted");
  size_t best = 1;
  for (size_t i = 2; i < rows.size(); ++i)
    if (rows[i][acc] == "true" && std::stoll(rows[i][cost]) < std::stoll(rows[best][cost])) best = i;
  const json summary = json::parse(readText(dir_ / "tuned-report.json"))["tags"][0]["summary"];
  EXPECT_EQ(summary["intrusionFrames"].get<long long>(), std::stoll(rows[best][column(rows[0], "intrusions")]));
  EXPECT_EQ(summary["closePairFrames"].get<long long>(), std::stoll(rows[best][column(rows[0], "closePairs")]));
  EXPECT_EQ(summary["stuckAgents"].get<long long>(), std::stoll(rows[best][column(rows[0], "stuck")]));
  EXPECT_TRUE(std::filesystem::exists(dir_ / "tuned" / "poster.svg"));
}

}  // namespace
