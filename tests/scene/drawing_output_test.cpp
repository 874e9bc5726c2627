// The tags' drawing as the program writes it (--drawing): each line and
// circle with the tag that drew it and its pen colour, frame by frame in
// step with the CSV, numbers that read back as the run's floats.
#include <gtest/gtest.h>

#include <cstring>
#include <nlohmann/json.hpp>
#include <sstream>
#include <vector>

#include "export/drawing_writer.h"
#include "module_test.h"
#include "program_run.h"
#include "scene/scene_run.h"
#include "scene_load.h"
#include "scratch_folder.h"
#include "text_files.h"

namespace {

using namespace kwtest;
using nlohmann::json;

// Two tags: "Blues" (evaluated first, tag 0) draws nothing, "Reds" (tag 1)
// every overlay; a rock straight ahead of r0, within the reach of its probe's
// side rays, turns its probe red.
const char* kTwoTags = R"({"format": "kestrelwood-scene/1", "maxFrame": 4, "objects": [
  {"name": "Goal", "position": [0, 0, 3000]},
  {"name": "Rocks", "children": [{"name": "Rock", "type": "circle", "radius": 80, "position": [0, 0, 400]}]},
  {"name": "Blues", "children": [{"name": "b0", "position": [-900, 0, 0]}]},
  {"name": "Second", "tags": [{"type": "Kestrelwood", "recordStart": true,
    "params": {"AGENTS_GROUP": "Blues", "TARGET": "Goal", "SPEED": 10}}]},
  {"name": "Reds", "children": [{"name": "r0", "position": [0, 0, 0]}, {"name": "r1", "position": [900, 0, 0]}]},
  {"name": "First", "tags": [{"type": "Kestrelwood", "recordStart": true, "params": {"AGENTS_GROUP": "Reds",
    "TARGET": "Goal", "OBSTACLES_GROUP": "Rocks", "SPEED": 30, "VISION_LENGTH": 600, "VISION_HALF_WIDTH": 50,
    "SHOW_VISION": true, "SHOW_REPULSION": true, "SHOW_ALIGNMENT": true}}]}]})";

float f32(const json& v) { return float(v.get<double>()); }

// The file's lines, each a JSON value: the format, then one per frame.
std::vector<json> jsonLines(const std::string& text) {
  std::vector<json> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(json::parse(line));
  return out;
}

TEST(DrawingOutput, EveryShapeWithItsTagAndColourInStepWithTheFrames) {
  ASSERT_NE(sharedModule(), nullptr);
  kwhost::scene::LoadedScene s = loadOk(kTwoTags);
  auto run = kwhost::scene::runScene(s, {}, "drawing");
  ASSERT_TRUE(run) << run.error();
  const kwhost::RunRecord& r = run.value();
  const std::string path = tempFolder("drawing") + "/drawing.json";
  ASSERT_TRUE(kwhost::writeDrawingFile(r, path));
  const std::vector<json> d = jsonLines(readText(path));
  ASSERT_EQ(d.size(), 1 + r.frames.size());
  EXPECT_EQ(d[0], json({{"format", "kestrelwood-drawing/1"}}));
  bool red = false;
  for (size_t i = 0; i < r.frames.size(); ++i) {
    const json& f = d[1 + i];
    EXPECT_EQ(f["frame"], r.frames[i].frame);
    // Two agents of tag 1: four probe lines and two circles each; tag 0 nothing.
    ASSERT_EQ(f["lines"].size(), 8u);
    ASSERT_EQ(f["circles"].size(), 4u);
    for (const json& l : f["lines"]) {
      EXPECT_EQ(l.size(), 10u);
      EXPECT_EQ(l[0], 1);
      const bool white = l[1] == 255 && l[2] == 255 && l[3] == 255, isRed = l[1] == 255 && l[2] == 0 && l[3] == 0;
      EXPECT_TRUE(white || isRed) << l;
      red = red || isRed;
    }
    // Each circle is centred on an agent of the same frame, bit for bit: r0's
    // two circles first, then r1's (agents 1 and 2 of the record).
    for (size_t k = 0; k < 4; ++k) {
      const json& c = f["circles"][k];
      EXPECT_EQ(c.size(), 13u);
      EXPECT_EQ(c[0], 1);
      const kwhost::Mat12& m = r.frames[i].agents[1 + k / 2].global;
      for (int axis = 0; axis < 3; ++axis) {
        const float got = f32(c[4 + axis]);
        EXPECT_EQ(std::memcmp(&got, &m[axis], 4), 0) << "frame " << i << " circle " << k;
      }
      const bool green = c[1] == 0 && c[2] == 255 && c[3] == 0, blue = c[1] == 0 && c[2] == 0 && c[3] == 255;
      EXPECT_TRUE(k % 2 == 0 ? green : blue) << c;
    }
  }
  EXPECT_TRUE(red) << "r0's probe sees the rock ahead";
}

TEST(DrawingOutput, ThroughTheProgramToAFileOrStandardOutput) {
  const std::string dir = tempFolder("drawing-cli");
  const std::string scene = quote(dir + "/s.kwscene.json");
  writeText(dir + "/s.kwscene.json", kTwoTags);
  Ran ran = kestrelwood("run " + scene + " --drawing " + quote(dir + "/out/drawing.json") + " --frames 2", dir);
  ASSERT_EQ(ran.status, 0) << ran.err;
  EXPECT_NE(ran.out.find("wrote drawing"), std::string::npos) << ran.out;
  const std::string written = readText(dir + "/out/drawing.json");
  EXPECT_EQ(jsonLines(written).size(), 1u + 3u);
  Ran piped = kestrelwood("run " + scene + " --drawing - --frames 2", dir);
  ASSERT_EQ(piped.status, 0) << piped.err;
  EXPECT_EQ(piped.out, written);
  Ran help = kestrelwood("--help", dir);
  EXPECT_NE(help.out.find("--drawing FILE"), std::string::npos);
}

}  // namespace
