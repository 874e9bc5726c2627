// End to end on real terrain: 30 agents cross the crater of Mount St. Helens
// (USGS elevation model, 266,364 triangles, the shared data file as it
// stands) for 200 frames, through the kestrelwood program as a user runs it.
// Every agent must stay on the surface and upright. The height under an
// agent is found here independently of the host's collider: a plain vertical
// ray against the mesh's triangles (bucketed on a grid only to keep the test
// quick).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <optional>
#include <sstream>

#include "module_test.h"
#include "program_run.h"
#include "run_csv.h"
#include "scene/scene_run.h"
#include "scratch_folder.h"
#include "text_files.h"

namespace {

using namespace kwtest;

namespace fs = std::filesystem;

class VerticalRay {
 public:
  VerticalRay(const std::vector<KwVector>& p, const std::vector<uint32_t>& t) : p_(p), t_(t) {
    for (const KwVector& v : p_) lo_x = std::min(lo_x, double(v.x)), hi_x = std::max(hi_x, double(v.x)),
                                 lo_z = std::min(lo_z, double(v.z)), hi_z = std::max(hi_z, double(v.z));
    cells_.resize(size_t(kN) * kN);
    for (uint32_t i = 0; i + 2 < t_.size(); i += 3) {
      const KwVector &a = p_[t_[i]], &b = p_[t_[i + 1]], &c = p_[t_[i + 2]];
      int x0 = cx(std::min({a.x, b.x, c.x})), x1 = cx(std::max({a.x, b.x, c.x}));
      int z0 = cz(std::min({a.z, b.z, c.z})), z1 = cz(std::max({a.z, b.z, c.z}));
      for (int z = z0; z <= z1; ++z)
        for (int x = x0; x <= x1; ++x) cells_[size_t(z) * kN + size_t(x)].push_back(i);
    }
  }
  double extent() const { return std::max(hi_x - lo_x, hi_z - lo_z); }
  // Heights of the surface at (x, z), nearest to y first; empty when off the mesh.
  std::optional<double> heightNear(double x, double z, double y) const {
    if (x < lo_x || x > hi_x || z < lo_z || z > hi_z) return std::nullopt;
    std::optional<double> best;
    for (uint32_t i : cells_[size_t(cz(float(z))) * kN + size_t(cx(float(x)))]) {
      const KwVector &a = p_[t_[i]], &b = p_[t_[i + 1]], &c = p_[t_[i + 2]];
      double det = (double(b.x) - a.x) * (double(c.z) - a.z) - (double(c.x) - a.x) * (double(b.z) - a.z);
      if (det == 0) continue;
      double u = ((x - a.x) * (double(c.z) - a.z) - (double(c.x) - a.x) * (z - a.z)) / det;
      double v = ((double(b.x) - a.x) * (z - a.z) - (x - a.x) * (double(b.z) - a.z)) / det;
      if (u < -1e-7 || v < -1e-7 || u + v > 1 + 1e-7) continue;
      double h = a.y + u * (double(b.y) - a.y) + v * (double(c.y) - a.y);
      if (!best || std::fabs(h - y) < std::fabs(*best - y)) best = h;
    }
    return best;
  }

 private:
  static constexpr int kN = 128;
  int cx(float x) const { return std::clamp(int((x - lo_x) / (hi_x - lo_x) * kN), 0, kN - 1); }
  int cz(float z) const { return std::clamp(int((z - lo_z) / (hi_z - lo_z) * kN), 0, kN - 1); }
  const std::vector<KwVector>& p_;
  const std::vector<uint32_t>& t_;
  double lo_x = 1e30, hi_x = -1e30, lo_z = 1e30, hi_z = -1e30;
  std::vector<std::vector<uint32_t>> cells_;
};

// The rows of a CSV the program wrote: frame, agent index, global matrix.
struct Row {
  int frame = 0, index = 0;
  std::array<double, 12> m{};
};

// Columns by name (run_csv.h); none when the text cannot be read.
std::vector<Row> readCsvRows(const std::string& text) {
  std::vector<Row> rows;
  CsvTable table;
  std::vector<size_t> at;
  std::string why;
  if (!readCsv(text, &table, &why) ||
      !findColumns(table, {"frame", "index", "x", "y", "z", "v1x", "v1y", "v1z", "v2x", "v2y", "v2z", "v3x", "v3y", "v3z"},
                   &at, &why)) {
    ADD_FAILURE() << why;
    return rows;
  }
  for (const std::vector<std::string>& f : table.rows) {
    Row r;
    r.frame = std::stoi(f[at[0]]);
    r.index = std::stoi(f[at[1]]);
    for (size_t k = 0; k < 12; ++k) r.m[k] = std::stod(f[at[2 + k]]);
    rows.push_back(r);
  }
  return rows;
}

TEST(StHelens, ThirtyAgentsCrossTheCraterOnItsSurface) {
  ASSERT_NE(sharedModule(), nullptr);
  const std::string obj = fs::absolute(KW_SHARED_DATA "/mount-st-helens-2000.obj").lexically_normal().string();
  if (!fs::exists(obj)) GTEST_SKIP() << obj << " is missing (the shared terrain data is not beside this checkout)";
  const std::string dir = tempFolder("sthelens");

  // 30 agents on the southern slope, 10 abreast, dropped from above the
  // highest point; the target lies beyond the crater to the north.
  std::string agents;
  for (int i = 0; i < 30; ++i) {
    int row = i / 10, col = i % 10;
    agents += std::string(i ? ", " : "") + "{\"name\": \"Walker " + std::to_string(i + 1) + "\", \"position\": [" +
              std::to_string(-450 + col * 100) + ", 1400, " + std::to_string(-1850 - row * 100) + "]}";
  }
  const std::string scene = R"({"format": "kestrelwood-scene/1", "maxFrame": 200, "objects": [
    {"name": "Crater", "type": "polygon", "obj": ")" + obj + R"("},
    {"name": "North rim", "position": [0, 0, 2000]},
    {"name": "Walkers", "children": [)" + agents + R"(]},
    {"name": "Crowd", "tags": [{"type": "Kestrelwood", "recordStart": true, "params": {
      "AGENTS_GROUP": "Walkers", "TARGET": "North rim", "TERRAIN": "Crater", "SPEED": 15, "SPEED_VARIATION": 0.3,
      "REPULSION_RADIUS": 90, "MAX_PITCH_STEP": 0.2}}]}]})";
  const std::string file = dir + "/st-helens.kwscene.json";
  writeText(file, scene);

  // The crossing as a user runs it: the program on the file as it stands.
  const std::string csv = dir + "/agents.csv";
  Ran r = kestrelwood("run " + quote(file) + " --csv " + quote(csv), dir);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "") << "no warning for a complete scene";
  const std::vector<Row> rows = readCsvRows(readText(csv));
  ASSERT_EQ(rows.size(), 201u * 30u);

  // The surface, from the same file read independently of the host's collider.
  auto loaded = kwhost::scene::readSceneFile(file);
  ASSERT_TRUE(loaded) << loaded.error();
  const kwhost::Object* crater = loaded->doc->find("Crater");
  ASSERT_EQ(crater->triangles().size(), 266364u * 3);
  VerticalRay ray(crater->points(), crater->triangles());
  const double tolerance = 1e-3 * ray.extent();

  double worst = 0, travelled = 0;
  int off = 0, upright = 0;
  for (const Row& row : rows) {
    if (row.frame == 0) continue;  // frame 0 is the restore to the start in the air
    const auto& m = row.m;
    auto h = ray.heightNear(m[0], m[2], m[1]);
    if (!h) {
      ++off;
      continue;
    }
    worst = std::max(worst, std::fabs(m[1] - *h));
    // Upright: the agent's Y axis has a positive world y.
    EXPECT_GT(m[7], 0.0) << "agent " << row.index << " at frame " << row.frame << " is not upright";
    upright += m[7] > 0.0;
  }
  for (const Row& row : rows) {
    if (row.frame == 1) travelled -= row.m[2];
    if (row.frame == 200) travelled += row.m[2];
  }
  EXPECT_EQ(upright, 200 * 30 - off);
  EXPECT_EQ(off, 0) << "agents left the terrain";
  EXPECT_LE(worst, tolerance) << "largest distance from the surface";
  EXPECT_GT(travelled / 30, 1500.0) << "the crowd crossed the crater northwards";
  RecordProperty("worst_height_error_m", std::to_string(worst));
}

}  // namespace
