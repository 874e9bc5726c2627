// What a run records and writes: agents in evaluation and child order,
// speeds from the stored start table, the drawn overlays, the CSV's numbers
// reading back as the same floats, and the poster's projected circles.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "export/csv_writer.h"
#include "export/svg_poster.h"
#include "module_test.h"
#include "run_csv.h"
#include "scene/scene_run.h"
#include "scene_load.h"
#include "scratch_folder.h"
#include "text_files.h"

namespace {

using namespace kwtest;

const char* kTwoTags = R"({"format": "kestrelwood-scene/1", "maxFrame": 6, "objects": [
  {"name": "Goal", "position": [0, 0, 1000]},
  {"name": "Rocks", "children": [{"name": "Rock", "type": "circle", "radius": 80, "position": [0, 0, 400]},
                                 {"name": "Not a rock", "position": [0, 0, 0]}]},
  {"name": "Reds", "children": [{"name": "r0", "position": [0, 0, 0]}, {"name": "r,1 \"quoted\"", "position": [300, 0, 0]}]},
  {"name": "Blues", "children": [{"name": "b0", "position": [-300, 0, 0]}]},
  {"name": "Second", "tags": [{"type": "Kestrelwood", "recordStart": true,
    "params": {"AGENTS_GROUP": "Blues", "TARGET": "Goal", "SPEED": 10}}]},
  {"name": "First", "tags": [{"type": "Kestrelwood", "recordStart": true, "params": {"AGENTS_GROUP": "Reds",
    "TARGET": "Goal", "OBSTACLES_GROUP": "Rocks", "SPEED": 30, "SPEED_VARIATION": 0.5,
    "SHOW_VISION": true, "SHOW_REPULSION": true, "SHOW_ALIGNMENT": true}}]}]})";

TEST(RunOutputs, RecordFollowsEvaluationOrder) {
  ASSERT_NE(sharedModule(), nullptr);
  kwhost::scene::LoadedScene s = loadOk(kTwoTags);
  ASSERT_TRUE(s.doc);
  auto run = kwhost::scene::runScene(s, {}, "two tags");
  ASSERT_TRUE(run) << run.error();
  const kwhost::RunRecord& r = run.value();
  ASSERT_EQ(r.agents.size(), 3u);
  EXPECT_EQ(r.agents[0].name, "b0");  // "Second" comes first in the file, so it is evaluated first
  EXPECT_EQ(r.agents[0].tag, 0);
  EXPECT_EQ(r.agents[1].name, "r0");
  EXPECT_EQ(r.agents[1].tag, 1);
  EXPECT_EQ(r.agents[2].index, 1);
  EXPECT_FLOAT_EQ(r.agents[0].speed, 10.0f);
  EXPECT_GE(r.agents[1].speed, 30.0f * 0.75f);
  EXPECT_LE(r.agents[1].speed, 30.0f * 1.25f);
  ASSERT_EQ(r.obstacles.size(), 1u) << "only circles of the obstacle group";
  EXPECT_FLOAT_EQ(r.obstacles[0].radius, 80.0f);
  ASSERT_EQ(r.tracks.size(), 1u);
  EXPECT_EQ(r.tracks[0].name, "Goal");
  EXPECT_EQ(r.tracks[0].global.size(), 7u);
  ASSERT_EQ(r.frames.size(), 7u);
  // The Reds' tag draws 4 probe lines and 2 circles per agent; the Blues' nothing.
  EXPECT_EQ(r.frames.back().lines.size(), 8u);
  EXPECT_EQ(r.frames.back().circles.size(), 4u);
  bool green = false, blue = false;
  for (const auto& c : r.frames.back().circles) {
    green = green || c.color == kwhost::Rgb{0, 255, 0};
    blue = blue || c.color == kwhost::Rgb{0, 0, 255};
  }
  EXPECT_TRUE(green && blue);
}

// A run whose outputs need no frames neither records nor draws them; the
// agents end the same (drawing is on for one tag here, and drawing only
// writes what drawing reads), and the record still counts its frames.
// (The tags' stored tables are not compared: their unused slots carry the
// module's records from earlier runs in this process.)
TEST(RunOutputs, RunWithoutFramesEndsTheSame) {
  ASSERT_NE(sharedModule(), nullptr);
  std::vector<std::array<float, 15>> ends[2];
  for (bool keep : {true, false}) {
    kwhost::scene::LoadedScene s = loadOk(kTwoTags);
    kwhost::scene::RunSettings settings;
    settings.keepFrames = keep;
    auto run = kwhost::scene::runScene(s, settings, "kept or not");
    ASSERT_TRUE(run) << run.error();
    EXPECT_EQ(run->evaluatedFrames, 7);
    EXPECT_EQ(run->frames.size(), keep ? 7u : 0u);
    EXPECT_EQ(run->agents.size(), 3u);
    for (const char* group : {"Reds", "Blues"})
      for (const kwhost::Object* a = s.doc->find(group)->firstChild(); a; a = a->next()) {
        const KwMatrix m = a->globalMatrix();
        std::array<float, 15> state;
        std::memcpy(state.data(), &m, sizeof m);
        std::memcpy(state.data() + 12, &a->rotation(), sizeof(KwVector));
        ends[keep ? 0 : 1].push_back(state);
      }
  }
  ASSERT_EQ(ends[0].size(), 3u);
  for (size_t i = 0; i < ends[0].size(); ++i)
    EXPECT_EQ(std::memcmp(ends[0][i].data(), ends[1][i].data(), sizeof ends[0][i]), 0) << "agent " << i;
}

TEST(RunOutputs, CsvNumbersReadBackAsTheSameFloats) {
  ASSERT_NE(sharedModule(), nullptr);
  kwhost::scene::LoadedScene s = loadOk(kTwoTags);
  auto run = kwhost::scene::runScene(s, {}, "csv");
  ASSERT_TRUE(run) << run.error();
  const std::string path = tempFolder("csv") + "/a.csv";
  ASSERT_TRUE(kwhost::writeCsvFile(run.value(), path));
  const std::string text = readText(path);
  EXPECT_EQ(text.substr(0, text.find('\n')), kwhost::kCsvHeader);
  // The quoted name keeps its comma and quotes, in every frame's row.
  size_t quotedRows = 0;
  for (size_t at = text.find(",\"r,1 \"\"quoted\"\"\","); at != std::string::npos; at = text.find(",\"r,1 ", at + 1))
    ++quotedRows;
  EXPECT_EQ(quotedRows, 7u);
  // The rows read back as the readers read them (run_csv.h); fields 4.. are
  // the numbers.
  CsvTable table;
  std::string why;
  ASSERT_TRUE(readCsv(text, &table, &why)) << why;
  ASSERT_EQ(table.header.size(), 19u);
  size_t row = 0;
  for (const std::vector<std::string>& fields : table.rows) {
    const size_t f = row / 3, a = row % 3;
    const auto& st = run->frames[f].agents[a];
    const std::string line = "row " + std::to_string(row + 2);
    EXPECT_EQ(fields[3], run->agents[a].name);
    std::vector<float> nums;
    for (size_t k = 4; k < fields.size(); ++k) nums.push_back(std::strtof(fields[k].c_str(), nullptr));
    ASSERT_EQ(nums.size(), 15u) << line;
    for (size_t k = 0; k < 12; ++k) EXPECT_EQ(std::memcmp(&nums[k], &st.global[k], 4), 0) << line;
    for (size_t k = 0; k < 3; ++k) EXPECT_EQ(std::memcmp(&nums[12 + k], &st.hpb[k], 4), 0) << line;
    ++row;
  }
  EXPECT_EQ(row, 7u * 3u);
}

// What every reader of the CSV relies on (csv_writer.h names them): a column
// is found by its name, so one added at the end, or a name holding a comma,
// a quote or a line break, moves nothing; a row short of the header is
// refused with its line.
TEST(RunOutputs, CsvReadByColumnName) {
  CsvTable table;
  std::string why;
  ASSERT_TRUE(readCsv("frame,name,x,speed\r\n3,\"a,\"\"b\"\"\nc\",1.5,9\n4,d,2,8", &table, &why)) << why;
  ASSERT_EQ(table.rows.size(), 2u);
  std::vector<size_t> at;
  ASSERT_TRUE(findColumns(table, {"x", "name", "frame"}, &at, &why)) << why;
  EXPECT_EQ(at, (std::vector<size_t>{2, 1, 0}));
  EXPECT_EQ(table.rows[0][at[1]], "a,\"b\"\nc");
  EXPECT_EQ(table.rows[1][at[0]], "2");
  EXPECT_FALSE(findColumns(table, {"frame", "h"}, &at, &why));
  EXPECT_EQ(why, "the header has no column \"h\"");
  EXPECT_FALSE(readCsv("frame,name\n1,a\n2\n", &table, &why));
  EXPECT_EQ(why, "line 3: 1 fields, the header has 2");
  EXPECT_FALSE(readCsv("frame,name\n1,\"a\n", &table, &why));
  EXPECT_EQ(why, "line 2: a quoted field is not closed");
}

TEST(RunOutputs, PosterProjectsCirclesFromTheirMatrices) {
  kwhost::RunRecord r;
  r.sceneName = "a <small> & plain run";
  r.agents.push_back({"one", 0, 0, 1.0f});
  kwhost::FrameRecord f;
  f.frame = 0;
  f.agents.push_back({{0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1}, {0, 0, 0}});
  // An ellipse 100 wide along X and 50 deep along Z, centred at (10, 0, 20).
  f.circles.push_back({{10, 0, 20, 100, 0, 0, 0, 0, 50, 0, 0, 1}, {0, 255, 0}});
  f.lines.push_back({{0, 0, 0}, {0, 0, 100}, {255, 0, 0}});
  r.frames.push_back(f);
  const std::string svg = kwhost::svgPoster(r);
  EXPECT_NE(svg.find("a &lt;small&gt; &amp; plain run"), std::string::npos);
  // Bounds: x -100..110 and z -50..100 padded; the map's scale is 1000 / 210*1.06... read it from the circle.
  const size_t m = svg.find("transform=\"matrix(");
  ASSERT_NE(m, std::string::npos);
  double a, b, c, d, e, g;
  ASSERT_EQ(std::sscanf(svg.c_str() + m, "transform=\"matrix(%lf %lf %lf %lf %lf %lf)", &a, &b, &c, &d, &e, &g), 6);
  EXPECT_GT(a, 0);
  EXPECT_EQ(b, 0);
  EXPECT_EQ(c, 0);
  EXPECT_LT(d, 0) << "scene +Z runs up the page";
  EXPECT_NEAR(a / -d, 2.0, 0.01) << "v1 is twice v2";
  EXPECT_NE(svg.find("stroke=\"#ff0000\""), std::string::npos);
}

}  // namespace
