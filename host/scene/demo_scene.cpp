#include "scene/demo_scene.h"

#include <cmath>
#include <cstdio>

namespace kwhost::scene {

namespace {

constexpr double kHalfSize = 3600.0;  // the ground spans -3600..3600 in X and Z
constexpr int kRows = 6, kColumns = 10;  // 60 agents
constexpr double kSpacing = 190.0;
constexpr double kFlockZ = -2400.0;
constexpr double kTargetZ = 2900.0;

struct Rock {
  double x, z, radius;
};
// Staggered so that no straight line from the flock to the target is free.
constexpr Rock kRocks[] = {{-850, -650, 300}, {450, -850, 260}, {-150, 150, 380},
                           {1000, 350, 240},  {-1150, 950, 280}, {350, 1250, 320}};

Json vec(double x, double y, double z) { return Json::array({float(x), float(y), float(z)}); }

std::string numbered(const char* stem, int i) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%s %02d", stem, i);
  return buf;
}

}  // namespace

double demoTerrainHeight(double x, double z) {
  // Rolling hills: a few long waves plus one broad rise beside the route.
  double h = 140.0 * std::sin(x / 900.0) * std::cos(z / 1100.0) + 90.0 * std::sin((x + z) / 650.0 + 1.0) +
             45.0 * std::cos(x / 380.0 - z / 520.0);
  double dx = x - 1800.0, dz = z + 300.0;
  h += 260.0 * std::exp(-(dx * dx + dz * dz) / (2.0 * 900.0 * 900.0));
  return h;
}

Json demoSceneJson(int cells) {
  if (cells < 1) cells = 1;
  // Ground: (cells + 1)^2 points, row by row along X; quads wound so that
  // every triangle's (b - a) x (c - a) points up.
  Json points = Json::array(), polygons = Json::array();
  const double step = 2.0 * kHalfSize / cells;
  for (int j = 0; j <= cells; ++j)
    for (int i = 0; i <= cells; ++i) {
      double x = -kHalfSize + i * step, z = -kHalfSize + j * step;
      points.push_back(vec(x, demoTerrainHeight(x, z), z));
    }
  auto at = [cells](int i, int j) { return j * (cells + 1) + i; };
  for (int j = 0; j < cells; ++j)
    for (int i = 0; i < cells; ++i)
      polygons.push_back(Json::array({at(i, j), at(i, j + 1), at(i + 1, j + 1), at(i + 1, j)}));

  Json agents = Json::array();
  int n = 0;
  for (int r = 0; r < kRows; ++r)
    for (int c = 0; c < kColumns; ++c) {
      // A loose block facing +Z; every other row shifted by half a place.
      double x = (c - (kColumns - 1) / 2.0) * kSpacing + (r % 2 ? kSpacing / 2 : 0.0);
      double z = kFlockZ - r * kSpacing;
      agents.push_back(Json{{"name", numbered("Agent", ++n)}, {"position", vec(x, demoTerrainHeight(x, z), z)}});
    }

  Json rocks = Json::array();
  int k = 0;
  for (const Rock& rock : kRocks)
    rocks.push_back(Json{{"name", numbered("Rock", ++k)},
                         {"type", "circle"},
                         {"radius", float(rock.radius)},
                         // At ground height: the tag measures obstacle distances in three dimensions.
                         {"position", vec(rock.x, demoTerrainHeight(rock.x, rock.z), rock.z)}});

  Json params = {
      {"AGENTS_GROUP", "Flock"},   {"TARGET", "Target"},       {"OBSTACLES_GROUP", "Obstacles"},
      {"TERRAIN", "Ground"},       {"SPEED", 22.0},            {"SPEED_VARIATION", 0.35},
      {"VISION_LENGTH", 600.0},    {"VISION_HALF_WIDTH", 90.0}, {"REPULSION_RADIUS", 180.0},
      {"ALIGNMENT_RADIUS", 450.0}, {"MAX_PITCH_STEP", 0.05},   {"SHOW_VISION", true},
      {"SHOW_REPULSION", true},    {"SHOW_ALIGNMENT", true},
  };

  Json objects = Json::array({
      Json{{"name", "Ground"}, {"type", "polygon"}, {"mesh", Json{{"points", points}, {"polygons", polygons}}}},
      Json{{"name", "Target"}, {"position", vec(0.0, demoTerrainHeight(0.0, kTargetZ), kTargetZ)}},
      Json{{"name", "Obstacles"}, {"children", rocks}},
      Json{{"name", "Flock"}, {"children", agents}},
      Json{{"name", "Crowd"},
           {"tags", Json::array({Json{{"type", "Kestrelwood"}, {"params", params}, {"recordStart", true}}})}},
  });
  return Json{{"format", "kestrelwood-scene/1"}, {"fps", 30}, {"minFrame", 0}, {"maxFrame", 300}, {"objects", objects}};
}

}  // namespace kwhost::scene
