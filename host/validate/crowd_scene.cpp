#include "validate/crowd_scene.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "core/evaluate.h"
#include "core/object.h"
#include "core/tag.h"
#include "validate/tag_contract.h"

namespace kwhost::validate {

Result<Object*> addObject(Document& doc, const std::string& name, int32_t type, Object* parent, KwVector pos) {
  auto o = doc.createObject(name, type, parent);
  if (!o) return o;
  o.value()->setPosition(pos);
  return o;
}

Result<Object*> addCircle(Document& doc, const std::string& name, KwVector pos, float radius, Object* parent) {
  auto c = addObject(doc, name, kTypeCircle, parent, pos);
  if (c) c.value()->data().setReal(kCircleRadiusId, radius);
  return c;
}

Result<Tag*> addCrowdTag(Object& holder, Object* group, Object* target) {
  auto tag = createTag(holder, kTagId);
  if (!tag) return tag;
  tag.value()->data().setLink(kAgentsGroup, group);
  tag.value()->data().setLink(kTarget, target);
  return tag;
}

Crowd crowdOf(Document& doc, Tag& tag) {
  const Container& bc = tag.data();
  auto linked = [&](int32_t id) { return static_cast<Object*>(bc.getLink(id, doc.handle())); };
  Crowd c;
  c.group = linked(kAgentsGroup);
  c.target = linked(kTarget);
  c.obstacles = linked(kObstaclesGroup);
  c.terrain = linked(kTerrain);
  c.holder = tag.object();
  c.tag = &tag;
  return c;
}

namespace {

// A height field of cells x cells quads with smooth bumps, normal up.
Result<void> shapeTerrain(Object& terrain, const CrowdLayout& l) {
  const int n = l.terrainCells < 1 ? 1 : l.terrainCells;
  std::vector<KwVector> points;
  for (int j = 0; j <= n; ++j) {
    for (int i = 0; i <= n; ++i) {
      const float x = -l.terrainHalfSize + 2.0f * l.terrainHalfSize * float(i) / float(n);
      const float z = -l.terrainHalfSize + 2.0f * l.terrainHalfSize * float(j) / float(n);
      const float y = l.terrainRelief * float(std::sin(double(x) * 0.0007) * std::cos(double(z) * 0.0005));
      points.push_back(KwVector{x, y, z});
    }
  }
  std::vector<std::vector<uint32_t>> quads;
  const uint32_t row = uint32_t(n + 1);
  for (uint32_t j = 0; j < uint32_t(n); ++j)
    for (uint32_t i = 0; i < uint32_t(n); ++i) {
      const uint32_t a = j * row + i;
      quads.push_back({a, a + row, a + row + 1, a + 1});  // counter-clockwise seen from +Y
    }
  return terrain.setMesh(std::move(points), quads);
}

}  // namespace

Result<Crowd> buildCrowd(Document& doc, const CrowdLayout& l) {
  Crowd c;
  const std::string& p = l.prefix;
  auto holder = addObject(doc, p + "Crowd", kTypeNull, l.parent, KwVector{0, 0, 0});
  if (!holder) return Error{holder.error()};
  c.holder = holder.value();
  auto group = addObject(doc, p + "Agents", kTypeNull, l.parent, KwVector{0, 0, 0});
  if (!group) return Error{group.error()};
  c.group = group.value();
  const int side = int(std::ceil(std::sqrt(double(l.agents > 0 ? l.agents : 1))));
  for (int i = 0; i < l.agents; ++i) {
    const float x = (float(i % side) - float(side - 1) * 0.5f) * l.spacing;
    const float z = -float(i / side) * l.spacing - 2000.0f;
    auto a = addObject(doc, p + "Agent" + std::to_string(i), kTypeNull, c.group, KwVector{x, 0, z});
    if (!a) return Error{a.error()};
    // A little initial spread of headings, so that alignment has work to do.
    a.value()->setRotation(KwVector{0.05f * float(i % 7) - 0.15f, 0, 0});
  }
  auto target = addObject(doc, p + "Target", kTypeNull, l.parent, l.target);
  if (!target) return Error{target.error()};
  c.target = target.value();
  if (l.obstacles > 0) {
    auto obs = addObject(doc, p + "Obstacles", kTypeNull, l.parent, KwVector{0, 0, 0});
    if (!obs) return Error{obs.error()};
    c.obstacles = obs.value();
    for (int k = 0; k < l.obstacles; ++k) {
      const float x = (float(k) - float(l.obstacles - 1) * 0.5f) * 700.0f;
      const float z = l.target.z * 0.5f + float(k % 3) * 400.0f;
      auto o = addCircle(doc, p + "Obstacle" + std::to_string(k), KwVector{x, 0, z}, l.obstacleRadius, c.obstacles);
      if (!o) return Error{o.error()};
    }
  }
  if (l.terrain) {
    auto t = addObject(doc, p + "Terrain", kTypePolygon, l.parent, KwVector{0, -10.0f, 0});
    if (!t) return Error{t.error()};
    if (auto r = shapeTerrain(*t.value(), l); !r) return Error{r.error()};
    c.terrain = t.value();
  }
  auto tag = addCrowdTag(*c.holder, c.group, c.target);
  if (!tag) return Error{tag.error()};
  c.tag = tag.value();
  Container& bc = c.tag->data();
  if (c.obstacles) bc.setLink(kObstaclesGroup, c.obstacles);
  if (c.terrain) bc.setLink(kTerrain, c.terrain);
  bc.setReal(kSpeed, l.speed);
  bc.setReal(kSpeedVariation, l.speedVariation);
  if (l.pressRecordStart) pressButton(*c.tag, kRecordStart);
  return c;
}

std::vector<Object*> agentsOf(const Crowd& crowd) {
  std::vector<Object*> out;
  if (!crowd.group) return out;
  for (Object* a = crowd.group->firstChild(); a; a = a->next()) out.push_back(a);
  return out;
}

std::vector<KwMatrix> agentMatrices(const Crowd& crowd) {
  std::vector<KwMatrix> out;
  for (Object* a : agentsOf(crowd)) out.push_back(a->globalMatrix());
  return out;
}

namespace {
bool finite(const KwVector& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }
}  // namespace

bool matrixFinite(const KwMatrix& m) { return finite(m.off) && finite(m.v1) && finite(m.v2) && finite(m.v3); }

bool agentsFinite(const Crowd& crowd, std::string* where) {
  int i = 0;
  for (Object* a : agentsOf(crowd)) {
    if (!matrixFinite(a->globalMatrix())) {
      if (where) *where = "agent " + std::to_string(i) + " (" + a->nameRef() + "): its global matrix is not finite";
      return false;
    }
    if (!finite(a->rotation())) {
      if (where) *where = "agent " + std::to_string(i) + " (" + a->nameRef() + "): its rotation is not finite";
      return false;
    }
    ++i;
  }
  return true;
}

double largestOffsetDistance(const std::vector<KwMatrix>& a, const std::vector<KwMatrix>& b) {
  if (a.size() != b.size()) return std::numeric_limits<double>::infinity();
  double worst = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    const double dx = double(a[i].off.x) - b[i].off.x, dy = double(a[i].off.y) - b[i].off.y,
                 dz = double(a[i].off.z) - b[i].off.z;
    const double d = std::sqrt(dx * dx + dy * dy + dz * dz);
    if (!(d <= worst)) worst = d;  // NaN counts as the worst
  }
  return worst;
}

bool sameBits(const KwMatrix& a, const KwMatrix& b) { return std::memcmp(&a, &b, sizeof(KwMatrix)) == 0; }

double distance(const KwVector& a, const KwVector& b) {
  const double dx = double(a.x) - b.x, dy = double(a.y) - b.y, dz = double(a.z) - b.z;
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

double horizontalDistance(const KwVector& a, const KwVector& b) {
  const double dx = double(a.x) - b.x, dz = double(a.z) - b.z;
  return std::sqrt(dx * dx + dz * dz);
}

}  // namespace kwhost::validate
