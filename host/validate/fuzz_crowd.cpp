// The module driven by fuzz bytes through the host: a structured decoder
// turns the bytes into a scene (counts, parameters, matrices, links) and a
// program of evaluations, presses, draws, copies and deletions.
#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <variant>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "core/evaluate.h"
#include "core/host_table.h"
#include "core/module_loader.h"
#include "core/tag.h"
#include "validate/crowd_scene.h"
#include "validate/fuzz_inputs.h"
#include "validate/tag_contract.h"
#include "core/viewport.h"

namespace kwhost::validate {

namespace {

// Reads the input front to back; past its end every read gives zero, so
// any input decodes to some scene.
class ByteSource {
 public:
  ByteSource(const uint8_t* d, size_t n) : d_(d), n_(n) {}
  uint8_t byte() { return i_ < n_ ? d_[i_++] : 0; }
  uint32_t u32() {
    uint32_t v = 0;
    for (int k = 0; k < 4; ++k) v = v << 8 | byte();
    return v;
  }
  bool flag() { return byte() & 1; }
  int upTo(int n) { return n <= 0 ? 0 : int(byte() % (n + 1)); }  // 0..n
  bool empty() const { return i_ >= n_; }

  // A real: special values, small multiples, or any 32-bit pattern. In
  // plausible mode only finite values of moderate size.
  float real(bool plausible) {
    const uint8_t b = byte();
    if (plausible) return float(int16_t(uint16_t(b) << 8 | byte())) / 16.0f;  // -2048 .. 2048
    static const float special[] = {0.0f,
                                    -0.0f,
                                    1.0f,
                                    -1.0f,
                                    std::numeric_limits<float>::quiet_NaN(),
                                    std::numeric_limits<float>::infinity(),
                                    -std::numeric_limits<float>::infinity(),
                                    std::numeric_limits<float>::max(),
                                    -std::numeric_limits<float>::max(),
                                    std::numeric_limits<float>::denorm_min(),
                                    std::numeric_limits<float>::min(),
                                    1e-30f,
                                    1e30f,
                                    3.14159274f,
                                    6.28318548f,
                                    1e5f};
    if (b < 16) return special[b];
    if (b < 128) return float(int(b) - 72) * 25.0f;
    return std::bit_cast<float>(u32());
  }
  int32_t anyLong() {
    static const int32_t special[] = {0,   1,    -1,   99,   100,  101, 1024, 1019,
                                      200, 1025, 1224, 1000, 5000, -100, std::numeric_limits<int32_t>::max(),
                                      std::numeric_limits<int32_t>::min()};
    const uint8_t b = byte();
    return b < 16 ? special[b] : b < 128 ? int32_t(b) + 990 : int32_t(u32());
  }

 private:
  const uint8_t* d_;
  size_t n_;
  size_t i_ = 0;
};

// prefix followed by a number (built by appending: GCC 12 warns falsely
// about a short literal added to a temporary string).
std::string named(const char* prefix, int n) {
  std::string s(prefix);
  s += std::to_string(n);
  return s;
}

// KW_FUZZ_TRACE=1 in the environment: every step of the program and the
// state of the agents on standard error, for triage of a finding.
bool tracing() {
  static const bool on = [] {
    const char* e = std::getenv("KW_FUZZ_TRACE");
    return e && *e && *e != '0';
  }();
  return on;
}

constexpr int kMaxAgents = 130;
constexpr int kMaxOps = 40;
constexpr int kMaxTags = 4;

struct FuzzScene {
  Document doc;
  bool plausible = false;
  Object* holder = nullptr;
  Object* group = nullptr;
  Object* extra = nullptr;  // a polygon without geometry: a link of the wrong kind
  std::vector<Tag*> tags;
  int added = 0;
};

void trace(const FuzzScene& s, const std::string& what) {
  if (!tracing()) return;
  std::fprintf(stderr, "trace: %s\n", what.c_str());
  for (const Tag* t : s.tags) {
    std::fprintf(stderr, "  tag:");
    for (const auto& [id, v] : t->data().entries)
      if (const float* f = std::get_if<float>(&v)) std::fprintf(stderr, " %d=%g", id, double(*f));
    std::fprintf(stderr, "\n");
  }
  if (!s.group) return;
  for (Object* a = s.group; a; a = a == s.group ? s.group->firstChild() : a->next()) {
    const KwMatrix m = a->globalMatrix();
    const KwVector r = a->rotation();
    std::fprintf(stderr, "  %s off (%g %g %g) v1 (%g %g %g) v2 (%g %g %g) v3 (%g %g %g) hpb (%g %g %g)\n",
                 a->nameRef().c_str(), double(m.off.x), double(m.off.y), double(m.off.z), double(m.v1.x),
                 double(m.v1.y), double(m.v1.z), double(m.v2.x), double(m.v2.y), double(m.v2.z), double(m.v3.x),
                 double(m.v3.y), double(m.v3.z), double(r.x), double(r.y), double(r.z));
  }
}

void placeObject(ByteSource& in, Object& o, bool plausible) {
  const uint8_t mode = in.byte() % 4;
  KwVector pos{in.real(plausible), in.real(plausible), in.real(plausible)};
  KwVector rot{in.real(plausible) / 512.0f, in.real(plausible) / 512.0f, in.real(plausible) / 512.0f};
  if (mode == 3 && !plausible) {
    // Any matrix at all, degenerate ones included.
    KwMatrix m{};
    float* f = &m.off.x;
    for (int k = 0; k < 12; ++k) f[k] = in.real(false);
    o.setGlobalMatrix(m, int32_t(in.byte() & 1));
    return;
  }
  KwVector scale{1, 1, 1};
  if (mode == 2) {
    if (plausible) {
      const float s = 0.25f + float(in.byte() % 16) * 0.25f;
      scale = KwVector{s, s, s};
    } else {
      scale = KwVector{in.real(false), in.real(false), in.real(false)};
    }
  }
  o.setPSR(pos, rot, scale);
}

Object* linkChoice(ByteSource& in, FuzzScene& s, Object* intended) {
  switch (in.byte() % 8) {
    case 0: return nullptr;
    case 1: return s.holder;
    case 2: return s.group ? s.group->firstChild() : nullptr;
    case 3: return s.group;
    case 4: return s.extra;
    default: return intended;
  }
}

void setEntry(ByteSource& in, Container& bc, FuzzScene& s) {
  const int32_t id = in.flag() ? 1000 + int32_t(in.byte() % 240) : int32_t(in.u32());
  switch (in.byte() % (s.plausible ? 2 : 6)) {
    case 0: bc.setLong(id, in.anyLong()); break;
    case 1: bc.setBool(id, in.flag()); break;
    case 2: bc.setReal(id, in.real(false)); break;
    case 3: {
      KwMatrix m{};
      float* f = &m.off.x;
      for (int k = 0; k < 12; ++k) f[k] = in.real(false);
      bc.setMatrix(id, m);
      break;
    }
    case 4: bc.setLink(id, linkChoice(in, s, s.group)); break;
    default: bc.setString(id, std::string(size_t(in.byte() % 8), 'x')); break;
  }
}

// Set once an input with extreme values has run in this process: the
// module-wide agent table keeps what it left (an agent added after a press
// steps with the speed of its slot, whoever recorded it), so from then on a
// non-finite agent no longer proves a fault.
bool g_extremeSeen = false;

void decodeScene(ByteSource& in, FuzzScene& s, bool plausibleOnly) {
  s.plausible = (in.byte() & 0x80) != 0 || plausibleOnly;
  if (!s.plausible) g_extremeSeen = true;
  const bool P = s.plausible;
  const int32_t fps = 1 + in.byte() % 120;
  const int32_t minFrame = int32_t(in.byte() % 7) - 3;
  (void)s.doc.setTimeline(fps, minFrame, minFrame + 1000);

  s.holder = s.doc.createObject("Holder", kTypeNull).value();
  s.group = s.doc.createObject("Group", kTypeNull).value();
  placeObject(in, *s.group, P);
  const int agents = in.flag() ? in.upTo(kMaxAgents) : in.upTo(12);
  for (int i = 0; i < agents; ++i) {
    Object* a = s.doc.createObject(named("A", i), kTypeNull, s.group).value();
    placeObject(in, *a, P);
    if (in.byte() == 0xff) (void)s.doc.createObject(named("A", i) + "child", kTypeNull, a);
  }
  Object* target = s.doc.createObject("Target", kTypeNull).value();
  placeObject(in, *target, P);

  Object* obstacles = s.doc.createObject("Obstacles", kTypeNull).value();
  const int nobs = in.upTo(8);
  static const int32_t types[] = {kTypeCircle, kTypeCircle, kTypeNull, kTypePolygon, kTypeCube};
  for (int k = 0; k < nobs; ++k) {
    Object* o = s.doc.createObject(named("O", k), types[in.byte() % 5], obstacles).value();
    placeObject(in, *o, P);
    if (in.flag()) o->data().setReal(kCircleRadiusId, P ? std::fabs(in.real(true)) : in.real(false));
  }

  Object* terrain = s.doc.createObject("Terrain", kTypePolygon).value();
  placeObject(in, *terrain, P);
  const int tris = in.upTo(16);
  std::vector<KwVector> points;
  std::vector<uint32_t> idx;
  for (int t = 0; t < tris; ++t)
    for (int k = 0; k < 3; ++k) {
      points.push_back(KwVector{in.real(P) * 4.0f, in.real(P) / 8.0f, in.real(P) * 4.0f});
      idx.push_back(uint32_t(points.size() - 1));
    }
  if (tris == 0) {
    points = {{-5000, 0, -5000}, {5000, 0, -5000}, {5000, 0, 5000}, {-5000, 0, 5000}};
    idx = {0, 3, 2, 0, 2, 1};
  }
  (void)terrain->setTriangles(std::move(points), std::move(idx));
  s.extra = s.doc.createObject("Extra", kTypePolygon).value();

  auto tag = createTag(*s.holder, kTagId);
  if (!tag) return;
  s.tags.push_back(tag.value());
  Container& bc = tag.value()->data();
  bc.setLink(kAgentsGroup, linkChoice(in, s, s.group));
  bc.setLink(kTarget, linkChoice(in, s, target));
  bc.setLink(kObstaclesGroup, linkChoice(in, s, obstacles));
  bc.setLink(kTerrain, in.flag() ? linkChoice(in, s, terrain) : nullptr);
  if (in.byte() == 0x7f) {  // a link to an object that is gone
    Object* dead = s.doc.createObject("Dead", kTypeNull).value();
    bc.setLink(kTarget, dead);
    s.doc.deleteObject(dead);
  }
  for (int32_t id : kRealParams)
    if (in.flag()) bc.setReal(id, in.real(P));
  for (int32_t id : {kShowVision, kShowRepulsion, kShowAlignment}) bc.setBool(id, in.flag());
  const int entries = in.upTo(5);
  for (int k = 0; k < entries; ++k) setEntry(in, bc, s);
}

std::string checkFinite(FuzzScene& s, int32_t frame) {
  if (!s.plausible || g_extremeSeen || !s.group) return {};
  Crowd c;
  c.group = s.group;
  std::string where;
  if (!agentsFinite(c, &where)) {
    std::string why = named("plausible input, frame ", frame);
    why += ": ";
    return why + where;
  }
  return {};
}

std::string runProgram(ByteSource& in, FuzzScene& s) {
  int32_t frame = s.doc.minFrame();
  RecordingViewport viewport;
  const int ops = 1 + in.upTo(kMaxOps - 1);
  for (int op = 0; op < ops; ++op) {
    const uint8_t code = in.byte() % 16;
    if (tracing()) trace(s, "before op " + std::to_string(op) + ", code " + std::to_string(code));
    Tag* tag = s.tags.empty() ? nullptr : s.tags[in.byte() % s.tags.size()];
    switch (code) {
      case 6: evaluateFrame(s.doc, s.doc.minFrame()); break;
      case 7: evaluateFrame(s.doc, s.doc.minFrame() - 1 - in.upTo(3)); break;
      case 8:
        if (tag) pressButton(*tag, kRecordStart);
        break;
      case 9:
        viewport.clear();
        drawFrame(s.doc, viewport);
        break;
      case 10:
        if (tag && s.tags.size() < kMaxTags) {
          auto copy = copyTag(*tag, in.flag() ? *s.extra : *s.holder);
          if (copy) s.tags.push_back(copy.value());
        }
        break;
      case 11:
        if (tag) {
          s.tags.erase(std::find(s.tags.begin(), s.tags.end(), tag));
          deleteTag(tag);
        }
        break;
      case 12:
        if (tag) tag->data().setReal(kRealParams[in.byte() % std::size(kRealParams)], in.real(s.plausible));
        break;
      case 13:
        if (tag && !s.plausible) setEntry(in, tag->data(), s);
        break;
      case 14: {
        // Remove an agent, or the whole group.
        if (!s.group) break;
        Object* victim = s.group->firstChild();
        for (int k = in.upTo(8); victim && k > 0; --k) victim = victim->next();
        if (in.byte() == 0xee) {
          s.doc.deleteObject(s.group);
          s.group = nullptr;
        } else if (victim) {
          s.doc.deleteObject(victim);
        }
        break;
      }
      case 15:
        if (s.group) {
          auto a = s.doc.createObject(named("N", s.added++), kTypeNull, s.group);
          if (a) placeObject(in, *a.value(), s.plausible);
        }
        break;
      default: {
        // Mostly forward, sometimes a jump.
        frame = code == 5 ? s.doc.minFrame() + in.upTo(255) * 7 : frame + 1;
        evaluateFrame(s.doc, frame);
        break;
      }
    }
    if (auto bad = checkFinite(s, frame); !bad.empty()) {
      if (tracing()) {
        trace(s, "after op " + std::to_string(op) + ": " + bad);
        for (const Tag* t : s.tags)
          for (int k = 0; k < 14; ++k) {
            const KwMatrix m = t->data().getMatrix(kFirstStartPair + 2 * k);
            std::fprintf(stderr, "  tag on %s pair %d off (%g %g %g) v1 (%g %g %g) v3 (%g %g %g)\n",
                         t->object()->nameRef().c_str(), k, double(m.off.x), double(m.off.y), double(m.off.z),
                         double(m.v1.x), double(m.v1.y), double(m.v1.z), double(m.v3.x), double(m.v3.y),
                         double(m.v3.z));
          }
      }
      return bad;
    }
    if (in.empty() && op > 4) break;
  }
  return {};
}

}  // namespace

std::string fuzzCrowd(Module& module, const uint8_t* data, size_t size, bool plausibleOnly) {
  const AccountSnapshot before = module.account().snapshot();
  const long faultsBefore = tableFaults();
  std::string problem;
  {
    ByteSource in(data, size);
    auto s = std::make_unique<FuzzScene>();
    decodeScene(in, *s, plausibleOnly);
    problem = runProgram(in, *s);
  }
  if (!problem.empty()) return problem;
  const AccountSnapshot after = module.account().snapshot();
  if (after.liveBlocks != before.liveBlocks)
    return "module blocks live: " + std::to_string(before.liveBlocks) + " before the input, " +
           std::to_string(after.liveBlocks) + " after its document was gone";
  if (after.liveHandles != before.liveHandles)
    return "host handles made for the module: " + std::to_string(before.liveHandles) + " before, " +
           std::to_string(after.liveHandles) + " after";
  if (after.badFrees != before.badFrees) return "the module freed a block the host never gave out";
  if (tableFaults() != faultsBefore) return "a table operation reported a fault";
  return {};
}

}  // namespace kwhost::validate
