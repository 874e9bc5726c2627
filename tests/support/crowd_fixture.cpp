#include "crowd_fixture.h"

#include "core/evaluate.h"
#include "module_test.h"
#include "validate/tag_contract.h"

namespace kv = kwhost::validate;

namespace kwtest {

void CrowdScene::SetUp() {
  ASSERT_NE(sharedModule(), nullptr);
  doc_ = std::make_unique<kwhost::Document>();
}

kwhost::Object* CrowdScene::add(const std::string& name, KwVector pos, kwhost::Object* parent, int32_t type) {
  auto o = kv::addObject(*doc_, name, type, parent, pos);
  EXPECT_TRUE(o.ok()) << o.error();
  return o.ok() ? o.value() : nullptr;
}

kwhost::Object* CrowdScene::addCircle(const std::string& name, KwVector pos, float radius, kwhost::Object* parent) {
  auto c = kv::addCircle(*doc_, name, pos, radius, parent);
  EXPECT_TRUE(c.ok()) << c.error();
  return c.ok() ? c.value() : nullptr;
}

kwhost::Tag* CrowdScene::addTag(kwhost::Object* group, kwhost::Object* target) {
  kwhost::Object* holder = add("Crowd", KwVector{0, 0, 0});
  if (!holder) return nullptr;
  auto t = kv::addCrowdTag(*holder, group, target);
  EXPECT_TRUE(t.ok()) << t.error();
  return t.ok() ? t.value() : nullptr;
}

bool CrowdScene::press(kwhost::Tag* tag) { return kwhost::pressButton(*tag, kv::kRecordStart); }

void CrowdScene::frame(int32_t f) { kwhost::evaluateFrame(*doc_, f); }

namespace {
KwVector toGlobal(const KwMatrix& m, const KwVector& p) {
  return KwVector{m.off.x + m.v1.x * p.x + m.v2.x * p.y + m.v3.x * p.z,
                  m.off.y + m.v1.y * p.x + m.v2.y * p.y + m.v3.y * p.z,
                  m.off.z + m.v1.z * p.x + m.v2.z * p.y + m.v3.z * p.z};
}
}  // namespace

bool surfaceHeight(const kwhost::Object& terrain, double x, double z, double* y) {
  const KwMatrix mg = terrain.globalMatrix();
  const auto& pts = terrain.points();
  const auto& tris = terrain.triangles();
  bool found = false;
  for (size_t t = 0; t + 2 < tris.size(); t += 3) {
    const KwVector a = toGlobal(mg, pts[tris[t]]), b = toGlobal(mg, pts[tris[t + 1]]), c = toGlobal(mg, pts[tris[t + 2]]);
    // Barycentric coordinates of (x, z) in the triangle's projection on X-Z.
    const double d = (double(b.z) - c.z) * (double(a.x) - c.x) + (double(c.x) - b.x) * (double(a.z) - c.z);
    if (d == 0.0) continue;
    const double l1 = ((double(b.z) - c.z) * (x - c.x) + (double(c.x) - b.x) * (z - c.z)) / d;
    const double l2 = ((double(c.z) - a.z) * (x - c.x) + (double(a.x) - c.x) * (z - c.z)) / d;
    const double l3 = 1.0 - l1 - l2;
    const double eps = -1e-9;
    if (l1 < eps || l2 < eps || l3 < eps) continue;
    const double h = l1 * a.y + l2 * b.y + l3 * c.y;
    if (!found || h > *y) *y = h;
    found = true;
  }
  return found;
}

uint64_t hashMatrices(uint64_t h, const std::vector<KwMatrix>& matrices) {
  for (const KwMatrix& m : matrices) {
    const unsigned char* c = reinterpret_cast<const unsigned char*>(&m);
    for (size_t i = 0; i < sizeof(KwMatrix); ++i) h = (h ^ c[i]) * 1099511628211ull;
  }
  return h;
}

}  // namespace kwtest
