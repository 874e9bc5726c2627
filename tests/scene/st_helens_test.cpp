// End to end on real terrain: 30 agents cross the crater of Mount St. Helens
// (USGS elevation model, 266,364 triangles) for 200 frames. Every agent must
// stay on the surface and upright. The height under an agent is found here
// independently of the host's collider: a plain vertical ray against the
// mesh's triangles (bucketed on a grid only to keep the test quick).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <optional>

#include "module_once.h"
#include "scene/scene_run.h"

namespace {

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

TEST(StHelens, ThirtyAgentsCrossTheCraterOnItsSurface) {
  requireModule();
  const std::string obj = fs::absolute(KW_SHARED_DATA "/mount-st-helens-2000.obj").lexically_normal().string();
  if (!fs::exists(obj)) GTEST_SKIP() << obj << " is missing";
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
  writeText(dir + "/st-helens.kwscene.json", scene);

  auto loaded = kwhost::scene::readSceneFile(dir + "/st-helens.kwscene.json");
  ASSERT_TRUE(loaded) << loaded.error();
  kwhost::Object* crater = loaded->doc->find("Crater");
  ASSERT_EQ(crater->triangles().size(), 266364u * 3);
  // The file's faces are wound so that (b - a) x (c - a) points down (its
  // README says up), and the host's collider reports exactly that normal, on
  // which the tag stands its agents. Turn the faces over here, keeping every
  // point, so that the test checks surface following on the real relief; the
  // first check below says when the data file has been put right.
  {
    const auto& p = crater->points();
    const auto& t = crater->triangles();
    const KwVector &a = p[t[0]], &b = p[t[1]], &c = p[t[2]];
    const double up = (double(b.z) - a.z) * (double(c.x) - a.x) - (double(b.x) - a.x) * (double(c.z) - a.z);
    EXPECT_LT(up, 0.0) << "the data's winding now gives upward normals: drop the turn-over below";
    if (up < 0) {
      std::vector<uint32_t> turned(t);
      for (size_t i = 0; i + 2 < turned.size(); i += 3) std::swap(turned[i + 1], turned[i + 2]);
      ASSERT_TRUE(crater->setTriangles(p, std::move(turned)));
    }
  }
  VerticalRay ray(crater->points(), crater->triangles());
  const double tolerance = 1e-3 * ray.extent();

  auto run = kwhost::scene::runScene(*loaded, {}, "st-helens");
  ASSERT_TRUE(run) << run.error();
  ASSERT_EQ(run->frames.size(), 201u);
  ASSERT_EQ(run->agents.size(), 30u);

  double worst = 0, travelled = 0;
  int off = 0;
  for (size_t f = 1; f < run->frames.size(); ++f)  // frame 0 is the restore to the start in the air
    for (size_t a = 0; a < 30; ++a) {
      const kwhost::Mat12& m = run->frames[f].agents[a].global;
      auto h = ray.heightNear(m[0], m[2], m[1]);
      if (!h) {
        ++off;
        continue;
      }
      worst = std::max(worst, std::fabs(m[1] - *h));
      ASSERT_GT(m[7], 0.0f) << "agent " << a << " at frame " << run->frames[f].frame << " is not upright";
    }
  for (size_t a = 0; a < 30; ++a)
    travelled += run->frames.back().agents[a].global[2] - run->frames[1].agents[a].global[2];
  EXPECT_EQ(off, 0) << "agents left the terrain";
  EXPECT_LE(worst, tolerance) << "largest distance from the surface";
  EXPECT_GT(travelled / 30, 1500.0) << "the crowd crossed the crater northwards";
  RecordProperty("worst_height_error_m", std::to_string(worst));
}

}  // namespace
