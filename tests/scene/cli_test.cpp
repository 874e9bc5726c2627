// The kestrelwood program as a user runs it: exit codes, the one-line
// errors, the files it writes and says it wrote.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "module_once.h"

namespace {

namespace fs = std::filesystem;

std::string smallScene(int agents, int maxFrame = 20) {
  std::string kids;
  for (int i = 0; i < agents; ++i)
    kids += std::string(i ? ", " : "") + "{\"name\": \"a" + std::to_string(i) + "\", \"position\": [" +
            std::to_string((i % 20) * 150) + ", 0, " + std::to_string(-(i / 20) * 150) + "]}";
  return R"({"format": "kestrelwood-scene/1", "maxFrame": )" + std::to_string(maxFrame) + R"(, "objects": [
    {"name": "Goal", "position": [0, 0, 2000]},
    {"name": "Rocks", "children": [{"name": "Rock", "type": "circle", "radius": 150, "position": [300, 0, 700]}]},
    {"name": "Flock", "children": [)" + kids + R"(]},
    {"name": "Crowd", "tags": [{"type": "Kestrelwood", "recordStart": true, "params": {"AGENTS_GROUP": "Flock",
      "TARGET": "Goal", "OBSTACLES_GROUP": "Rocks", "SHOW_VISION": true, "SHOW_REPULSION": true, "SHOW_ALIGNMENT": true}}]}]})";
}

size_t lines(const std::string& s) { return size_t(std::count(s.begin(), s.end(), '\n')); }

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
    EXPECT_EQ(lines(r.err), 1u) << args << "\n" << r.err;
    EXPECT_EQ(r.err.rfind("error: ", 0), 0u) << args << "\n" << r.err;
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
    EXPECT_EQ(lines(r.err), 1u) << r.err;
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
  EXPECT_EQ(lines(text), 1u + 13u * 5u) << "frames 0..12, five agents";
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

TEST(Cli, UnwritableOutputFailsBeforeTheRun) {
  const std::string dir = tempFolder("cli-unwritable");
  const std::string scene = dir + "/s.kwscene.json";
  writeText(scene, smallScene(2));
  Ran r = kestrelwood("run " + quote(scene) + " --csv " + quote(dir + "/no/such/dir/a.csv"), dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "error: " + dir + "/no/such/dir/a.csv: the folder " + dir + "/no/such/dir does not exist\n");
  EXPECT_EQ(r.out, "") << "nothing ran";
}

TEST(Cli, MoreThanAHundredAgentsRunWithAWarning) {
  const std::string dir = tempFolder("cli-crowd");
  const std::string scene = dir + "/s.kwscene.json";
  writeText(scene, smallScene(104, 5));
  Ran r = kestrelwood("run " + quote(scene) + " --csv " + quote(dir + "/a.csv"), dir);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "warning: " + scene + ": tag 0 on \"Crowd\": the group \"Flock\" has 104 agents; a tag moves at most 100, "
                                         "so the agents past the hundredth do not move\n");
  EXPECT_EQ(lines(readText(dir + "/a.csv")), 1u + 6u * 104u) << "every agent is in the CSV";
}

TEST(Cli, DemoNeedsNoFile) {
  const std::string dir = tempFolder("cli-demo");
  Ran r = kestrelwood("demo --frames 3 --cells 24 --out " + quote(dir + "/out") + " --export-scene " + quote(dir + "/demo.kwscene.json"), dir);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("ran 4 frames of 60 agents"), std::string::npos) << r.out;
  EXPECT_TRUE(fs::exists(dir + "/out/poster.svg"));
  EXPECT_EQ(lines(readText(dir + "/out/agents.csv")), 1u + 4u * 60u);
  // The exported demo is a scene file that runs to the same states.
  Ran again = kestrelwood("run " + quote(dir + "/demo.kwscene.json") + " --frames 3 --csv " + quote(dir + "/again.csv"), dir);
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(readText(dir + "/again.csv"), readText(dir + "/out/agents.csv"));
}

}  // namespace
