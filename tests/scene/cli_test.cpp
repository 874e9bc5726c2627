// The kestrelwood program as a user runs it: exit codes, the one-line
// errors, the files it writes and says it wrote.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "program_run.h"
#include "scene_text.h"
#include "scratch_folder.h"
#include "text_files.h"

namespace {

using namespace kwtest;

namespace fs = std::filesystem;

// agents on a grid 20 wide, 150 apart, a rock on their way to the goal;
// every overlay shown.
std::string smallScene(int agents, int maxFrame = 20) {
  FlockScene s;
  for (int i = 0; i < agents; ++i) s.agents.push_back({(i % 20) * 150, -(i / 20) * 150});
  s.agentPrefix = "a";
  s.goalZ = 2000;
  s.rocks = {{"Rock", 300, 700, 150}};
  s.params = R"(, "SHOW_VISION": true, "SHOW_REPULSION": true, "SHOW_ALIGNMENT": true)";
  s.maxFrame = maxFrame;
  return flockSceneText(s);
}

TEST(Cli, CommandLineErrorsExitWithTwo) {
  const std::string dir = tempFolder("cli-args");
  writeText(dir + "/s.kwscene.json", smallScene(2));
  for (const char* args : {"", "fly", "run", "run a.json b.json", "run s.json --frames -1", "run s.json --frames many",
                           "run s.json --bogus", "demo --cells 0"}) {
    Ran r = kestrelwood(std::string(args).find("s.json") != std::string::npos
                            ? std::string(args).replace(std::string(args).find("s.json"), 6, dir + "/s.kwscene.json")
                            : args,
                        dir);
    EXPECT_EQ(r.status, 2) << args << "\n" << r.err;
    EXPECT_EQ(countLines(r.err), 1u) << args << "\n" << r.err;
    EXPECT_EQ(r.err.rfind("error: ", 0), 0u) << args << "\n" << r.err;
  }
  // Numbers are refused in words a user can act on.
  const std::string scene = dir + "/s.kwscene.json";
  for (const char* bad : {"-1", "abc", "1.5", "1e3", ""}) {
    Ran r = kestrelwood("run " + quote(scene) + " --frames " + quote(bad), dir);
    EXPECT_EQ(r.err, std::string("error: --frames: expected a whole number of frames from 0 up, got \"") + bad +
                         "\" (see kestrelwood --help)\n")
        << bad;
  }
  // A last frame beyond 32 bits is refused before anything runs.
  Ran big = kestrelwood("run " + quote(dir + "/s.kwscene.json") + " --frames 9999999999", dir);
  EXPECT_EQ(big.status, 2) << big.err;
}

TEST(Cli, HelpReadsWell) {
  const std::string dir = tempFolder("cli-help");
  Ran r = kestrelwood("--help", dir);
  EXPECT_EQ(r.status, 0);
  for (const char* part : {"Usage: kestrelwood", "run", "demo", "--module PATH", "Exit status", "3  the scene file"})
    EXPECT_NE(r.out.find(part), std::string::npos) << part;
  Ran sub = kestrelwood("run --help", dir);
  EXPECT_EQ(sub.status, 0);
  for (const char* part : {"SCENE", "--frames N", "--record", "--csv FILE", "--save FILE", "--out DIR"})
    EXPECT_NE(sub.out.find(part), std::string::npos) << part;
}

TEST(Cli, BadScenesExitWithThreeAndOneLine) {
  const std::string dir = tempFolder("cli-bad");
  const std::string bad = dir + "/bad.kwscene.json";
  writeText(bad, R"({"format": "kestrelwood-scene/1", "objects": [{"name": "O", "type": "circle", "radius": "big"}]})");
  Ran r = kestrelwood("run " + quote(bad), dir);
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.err, "error: " + bad + ": objects[0].radius: expected a number, got the string \"big\"\n");

  Ran missing = kestrelwood("run " + quote(dir + "/none.kwscene.json"), dir);
  EXPECT_EQ(missing.status, 3);
  EXPECT_EQ(missing.err, "error: " + dir + "/none.kwscene.json: file: cannot open: No such file or directory\n");

  writeText(bad, "{\"format\": \"kestrelwood-scene/1\",\n \"fps\": 1e999}");
  Ran inf = kestrelwood("run " + quote(bad) + " --csv " + quote(dir + "/x.csv"), dir);
  EXPECT_EQ(inf.status, 3);
  EXPECT_EQ(inf.err, "error: " + bad + ": line 2, column 9: the number 1e999 is out of range (not a finite number)\n");
  EXPECT_FALSE(fs::exists(dir + "/x.csv")) << "nothing is written for a bad scene";
}

TEST(Cli, ModuleFaultsExitWithFour) {
  const std::string dir = tempFolder("cli-module");
  writeText(dir + "/s.kwscene.json", smallScene(2));
  writeText(dir + "/fake.so", "not a library");
  for (const std::string& module : {dir + "/missing.so", dir + "/fake.so"}) {
    Ran r = kestrelwood("--module " + quote(module) + " run " + quote(dir + "/s.kwscene.json"), dir);
    EXPECT_EQ(r.status, 4) << r.err;
    EXPECT_EQ(r.err.rfind("error: " + module + ": cannot be loaded", 0), 0u) << r.err;
    EXPECT_EQ(countLines(r.err), 1u) << r.err;
    // validate says the same, once, with the same status.
    Ran v = kestrelwood("--module " + quote(module) + " validate --strictness 1", dir);
    EXPECT_EQ(v.status, 4) << v.out << v.err;
    EXPECT_EQ(v.err, r.err);
    EXPECT_EQ(v.out, "");
  }
  // The option also works after the command.
  Ran after = kestrelwood("run " + quote(dir + "/s.kwscene.json") + " --module " + quote(dir + "/missing.so"), dir);
  EXPECT_EQ(after.status, 4) << after.err;
}

TEST(Cli, RunWritesEveryOutputAndSaysWhere) {
  const std::string dir = tempFolder("cli-run");
  const std::string scene = dir + "/s.kwscene.json";
  writeText(scene, smallScene(5, 30));
  const std::string csv = dir + "/agents.csv", save = dir + "/after.kwscene.json", out = dir + "/view";
  Ran r = kestrelwood("run " + quote(scene) + " --frames 12 --csv " + quote(csv) + " --save " + quote(save) + " --out " + quote(out), dir);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  for (const std::string& f : {csv, save, out + "/agents.csv", out + "/poster.svg", out + "/run.glb", out + "/index.html"}) {
    EXPECT_TRUE(fs::exists(f)) << f;
    EXPECT_NE(r.out.find(f), std::string::npos) << "the program says where it wrote " << f;
  }
  const std::string text = readText(csv);
  EXPECT_EQ(text.substr(0, text.find('\n')), "frame,tag,index,name,x,y,z,v1x,v1y,v1z,v2x,v2y,v2z,v3x,v3y,v3z,h,p,b");
  EXPECT_EQ(countLines(text), 1u + 13u * 5u) << "frames 0..12, five agents";
  EXPECT_NE(text.find("\n12,0,4,a4,"), std::string::npos);
  EXPECT_EQ(readText(out + "/agents.csv"), text);
  const std::string svg = readText(out + "/poster.svg");
  for (const char* part : {"<svg", "id=\"paths\"", "id=\"obstacles\"", "id=\"overlay-lines\"", "stroke=\"#00ff00\"", "stroke=\"#0000ff\"", "legend"})
    EXPECT_NE(svg.find(part), std::string::npos) << part;

  // The saved scene runs on to the same states: reloading loses nothing.
  Ran again = kestrelwood("run " + quote(save) + " --frames 12 --csv " + quote(dir + "/again.csv"), dir);
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(readText(dir + "/again.csv"), text);
}

// Every output is checked before the run: a problem is told once, in the
// error: FILE: WHAT style, with no temporary file's name, and nothing runs.
TEST(Cli, UnwritableOutputFailsBeforeTheRun) {
  const std::string dir = tempFolder("cli-unwritable");
  const std::string scene = dir + "/s.kwscene.json";
  writeText(scene, smallScene(2));
  writeText(dir + "/plain.txt", "a file");
  Ran r = kestrelwood("run " + quote(scene) + " --csv " + quote(dir + "/plain.txt/sub/a.csv"), dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "error: " + dir + "/plain.txt/sub/a.csv: " + dir + "/plain.txt is a file, not a folder\n");
  EXPECT_EQ(r.out, "") << "nothing ran";

  Ran out = kestrelwood("run " + quote(scene) + " --out " + quote(dir + "/plain.txt"), dir);
  EXPECT_EQ(out.status, 1);
  EXPECT_EQ(out.err, "error: " + dir + "/plain.txt: is a file, not a folder\n");
  EXPECT_EQ(out.out, "");

  // A folder that cannot be made: one line for the four files of --out.
  Ran deep = kestrelwood("run " + quote(scene) + " --out " + quote(dir + "/plain.txt/view"), dir);
  EXPECT_EQ(deep.status, 1);
  EXPECT_EQ(countLines(deep.err), 1u) << deep.err;
  EXPECT_EQ(deep.err.find(".tmp"), std::string::npos) << deep.err;
  EXPECT_EQ(readText(dir + "/plain.txt"), "a file");
}

// One rule for every output: missing folders are made, as --out always did.
TEST(Cli, MissingFoldersAreMadeForEveryOutput) {
  const std::string dir = tempFolder("cli-folders");
  const std::string scene = dir + "/s.kwscene.json";
  writeText(scene, smallScene(2));
  Ran r = kestrelwood("run " + quote(scene) + " --frames 2 --csv " + quote(dir + "/a/b/agents.csv") + " --save " +
                          quote(dir + "/c/after.kwscene.json") + " --out " + quote(dir + "/d/e"),
                      dir);
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* f : {"/a/b/agents.csv", "/c/after.kwscene.json", "/d/e/agents.csv", "/d/e/index.html"})
    EXPECT_TRUE(fs::exists(dir + f)) << f;
}

// "-" writes a single output to standard output; the program's own lines
// then go to standard error, so the stream holds the output alone.
TEST(Cli, DashWritesToStandardOutput) {
  const std::string dir = tempFolder("cli-stdout");
  const std::string scene = dir + "/s.kwscene.json";
  writeText(scene, smallScene(3));
  Ran piped = kestrelwood("run " + quote(scene) + " --frames 4 --csv -", dir);
  ASSERT_EQ(piped.status, 0) << piped.err;
  EXPECT_EQ(piped.out.rfind("frame,tag,index,name,", 0), 0u) << piped.out.substr(0, 200);
  EXPECT_EQ(countLines(piped.out), 1u + 5u * 3u);
  EXPECT_NE(piped.err.find("ran 5 frames of 3 agents"), std::string::npos) << piped.err;
  EXPECT_FALSE(fs::exists(dir + "/-"));

  Ran saved = kestrelwood("run " + quote(scene) + " --frames 4 --save -", dir);
  ASSERT_EQ(saved.status, 0) << saved.err;
  writeText(dir + "/piped.kwscene.json", saved.out);
  Ran again = kestrelwood("run " + quote(dir + "/piped.kwscene.json") + " --frames 0 --csv -", dir);
  EXPECT_EQ(again.status, 0) << again.err << saved.out.substr(0, 300);

  // Without an output that reads the frames the run neither draws nor
  // records them: the scene after it is the same.
  Ran alone = kestrelwood("run " + quote(scene) + " --frames 4 --save " + quote(dir + "/alone.kwscene.json"), dir);
  ASSERT_EQ(alone.status, 0) << alone.err;
  EXPECT_NE(alone.out.find("ran 5 frames of 3 agents"), std::string::npos) << alone.out;
  Ran kept = kestrelwood("run " + quote(scene) + " --frames 4 --csv " + quote(dir + "/kept.csv") + " --save " +
                             quote(dir + "/kept.kwscene.json"), dir);
  ASSERT_EQ(kept.status, 0) << kept.err;
  EXPECT_EQ(readText(dir + "/alone.kwscene.json"), readText(dir + "/kept.kwscene.json"));

  Ran both = kestrelwood("run " + quote(scene) + " --csv - --save -", dir);
  EXPECT_EQ(both.status, 2);
  EXPECT_EQ(both.err, "error: --csv and --save both write to standard output (-); give one of them a file\n");
  EXPECT_EQ(both.out, "");
}

// Scenes that run but in which a crowd does nothing say so, one warning
// each, with what to do; the exit status stays 0 and --quiet silences them.
TEST(Cli, SilentNoOpsAreWarnedOnce) {
  const std::string dir = tempFolder("cli-noops");
  const std::string scene = dir + "/noop.kwscene.json";
  writeText(scene, R"({"format": "kestrelwood-scene/1", "maxFrame": 3, "objects": [
    {"name": "Goal"}, {"name": "Empty"},
    {"name": "Flock", "children": [{"name": "a0"}, {"name": "a1"}]},
    {"name": "Unrecorded", "tags": [{"type": "Kestrelwood", "params": {"AGENTS_GROUP": "Flock", "TARGET": "Goal"}}]},
    {"name": "No target", "tags": [{"type": "Kestrelwood", "recordStart": true, "params": {"AGENTS_GROUP": "Flock"}}]},
    {"name": "No group", "tags": [{"type": "Kestrelwood", "recordStart": true, "params": {"TARGET": "Goal"}}]},
    {"name": "Empty group", "tags": [{"type": "Kestrelwood", "recordStart": true,
                                      "params": {"AGENTS_GROUP": "Empty", "TARGET": "Goal"}}]}]})");
  Ran r = kestrelwood("run " + quote(scene), dir);
  EXPECT_EQ(r.status, 0) << r.err;
  auto w = [&scene](const char* key) { return "warning: [" + std::string(key) + "] " + scene + ": "; };
  EXPECT_EQ(r.err,
            w("no-start") + "tag 0 on \"Unrecorded\": no start state is recorded, so its agents do not move; add "
                            "\"recordStart\": true to the tag in the scene file or pass --record\n" +
            w("no-target") + "tag 1 on \"No target\": TARGET is not set, so its agents do not move; link the object they should walk to\n" +
            w("no-agents") + "tag 2 on \"No group\": AGENTS_GROUP is not set, so nothing moves; link the object whose children are the agents\n" +
            w("no-agents") + "tag 3 on \"Empty group\": its AGENTS_GROUP \"Empty\" has no children, so nothing moves; put the agents under it\n");
  EXPECT_NE(r.out.find("ran 4 frames of 4 agents"), std::string::npos) << r.out;

  // --record presses every tag: the first tag's warning is gone.
  Ran recorded = kestrelwood("run " + quote(scene) + " --record", dir);
  EXPECT_EQ(countLines(recorded.err), 3u) << recorded.err;
  EXPECT_EQ(recorded.err.find("Unrecorded"), std::string::npos) << recorded.err;

  Ran quiet = kestrelwood("--quiet run " + quote(scene), dir);
  EXPECT_EQ(quiet.status, 0);
  EXPECT_EQ(quiet.err, "");
}

// Two tags that both move agents share the module's per-agent records.
TEST(Cli, TagsSharingAgentRecordsAreWarned) {
  const std::string dir = tempFolder("cli-shared");
  const std::string scene = dir + "/shared.kwscene.json";
  writeText(scene, R"({"format": "kestrelwood-scene/1", "maxFrame": 2, "objects": [
    {"name": "Goal", "position": [0, 0, 500]},
    {"name": "Reds", "children": [{"name": "r0"}, {"name": "r1", "position": [100, 0, 0]}, {"name": "r2", "position": [200, 0, 0]}]},
    {"name": "Blues", "children": [{"name": "b0", "position": [0, 0, -300]}, {"name": "b1", "position": [100, 0, -300]}]},
    {"name": "Red crowd", "tags": [{"type": "Kestrelwood", "recordStart": true, "params": {"AGENTS_GROUP": "Reds", "TARGET": "Goal"}}]},
    {"name": "Blue crowd", "tags": [{"type": "Kestrelwood", "recordStart": true, "params": {"AGENTS_GROUP": "Blues", "TARGET": "Goal"}}]}]})");
  Ran r = kestrelwood("run " + quote(scene), dir);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "warning: [shared-records] " + scene + ": tag 0 on \"Red crowd\" and tag 1 on \"Blue crowd\" share the module's "
                   "per-agent records of agents 0 to 1: both flocks walk at the speeds of the last RECORD_START of "
                   "either tag; put the flocks in separate scenes to keep their speeds apart\n");
}

// Without the viewer page template (a build without node) the run still
// writes everything else, says once that the page was skipped, and exits 0.
TEST(Cli, MissingPageTemplateSkipsThePageOnly) {
  const std::string dir = tempFolder("cli-template");
  const std::string scene = dir + "/s.kwscene.json";
  writeText(scene, smallScene(2));
  Ran r = kestrelwood("run " + quote(scene) + " --frames 2 --out " + quote(dir + "/view"), dir,
                      "KESTRELWOOD_VIEWER_TEMPLATE=" + quote(dir + "/none.html") + " ");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "warning: [no-viewer-template] " + dir + "/view/index.html: not written: the viewer page template " + dir +
                       "/none.html is missing (the build makes it when node and npm are installed)\n");
  for (const char* f : {"/view/agents.csv", "/view/poster.svg", "/view/run.glb"}) EXPECT_TRUE(fs::exists(dir + f)) << f;
  EXPECT_FALSE(fs::exists(dir + "/view/index.html"));
}

TEST(Cli, MoreThanAHundredAgentsRunWithAWarning) {
  const std::string dir = tempFolder("cli-crowd");
  const std::string scene = dir + "/s.kwscene.json";
  writeText(scene, smallScene(104, 5));
  Ran r = kestrelwood("run " + quote(scene) + " --csv " + quote(dir + "/a.csv"), dir);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "warning: [too-many-agents] " + scene + ": tag 0 on \"Crowd\": the group \"Flock\" has 104 agents; a tag moves at most 100, "
                                         "so the agents past the hundredth do not move\n");
  EXPECT_EQ(countLines(readText(dir + "/a.csv")), 1u + 6u * 104u) << "every agent is in the CSV";
}

// The obstacle rule takes a tag's circles among the direct children of its
// OBSTACLES_GROUP: every other child is named once per tag, and a circle
// below such a child (never looked at either) is not named on its own.
TEST(Cli, ObstaclesThatAreNoCirclesAreWarnedOncePerChild) {
  const std::string dir = tempFolder("cli-obstacles");
  const std::string scene = dir + "/rocks.kwscene.json";
  writeText(scene, R"({"format": "kestrelwood-scene/1", "maxFrame": 2, "objects": [
    {"name": "Goal", "position": [0, 0, 500]},
    {"name": "Flock", "children": [{"name": "a0"}]},
    {"name": "Rocks", "children": [{"name": "Round", "type": "circle"}, {"name": "Block", "type": "cube"},
                                   {"name": "Pile", "children": [{"name": "Buried", "type": "circle"}]}]},
    {"name": "Crowd", "tags": [{"type": "Kestrelwood", "recordStart": true,
                                "params": {"AGENTS_GROUP": "Flock", "TARGET": "Goal", "OBSTACLES_GROUP": "Rocks"}}]}]})");
  Ran r = kestrelwood("run " + quote(scene), dir);
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string w = "warning: [skipped-obstacle] " + scene + ": tag 0 on \"Crowd\": ";
  EXPECT_EQ(r.err, w + "\"Block\" in its OBSTACLES_GROUP \"Rocks\" is a cube object, so the tag passes over it (and "
                       "what lies below it); only circles are obstacles\n" +
                   w + "\"Pile\" in its OBSTACLES_GROUP \"Rocks\" is a null object, so the tag passes over it (and "
                       "what lies below it); only circles are obstacles\n");
}

// The keys are a contract with the programs that read the lines (the
// Blender add-on): --help lists exactly these, each once.
TEST(Cli, HelpListsEveryWarningKey) {
  const std::string dir = tempFolder("cli-keys");
  Ran r = kestrelwood("--help", dir);
  ASSERT_EQ(r.status, 0);
  const size_t from = r.out.find("Warnings ("), to = r.out.find("Exit status:");
  ASSERT_NE(from, std::string::npos);
  ASSERT_LT(from, to);
  std::istringstream section(r.out.substr(from, to - from));
  std::vector<std::string> keys;
  for (std::string line; std::getline(section, line);)
    if (line.rfind("  ", 0) == 0 && line.size() > 2 && line[2] != ' ') keys.push_back(line.substr(2, line.find(' ', 2) - 2));
  EXPECT_EQ(keys, (std::vector<std::string>{"no-start", "no-target", "no-agents", "too-many-agents", "shared-records",
                                            "skipped-obstacle", "skipped-obj-data", "no-viewer-template"}));
}

TEST(Cli, DemoNeedsNoFile) {
  const std::string dir = tempFolder("cli-demo");
  Ran r = kestrelwood("demo --frames 3 --cells 24 --out " + quote(dir + "/out") + " --export-scene " + quote(dir + "/demo.kwscene.json"), dir);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("ran 4 frames of 60 agents"), std::string::npos) << r.out;
  EXPECT_TRUE(fs::exists(dir + "/out/poster.svg"));
  EXPECT_EQ(countLines(readText(dir + "/out/agents.csv")), 1u + 4u * 60u);
  // The exported demo is a scene file that runs to the same states.
  Ran again = kestrelwood("run " + quote(dir + "/demo.kwscene.json") + " --frames 3 --csv " + quote(dir + "/again.csv"), dir);
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(readText(dir + "/again.csv"), readText(dir + "/out/agents.csv"));
}

}  // namespace
