// Checks of one tag and of several: its defaults, recording and restoring
// the start state, stepping, the module-wide agent table shared by every
// crowd, and tags that are copied or freed while others keep running.
#include <cmath>
#include <cstring>
#include <variant>

#include "core/evaluate.h"
#include "validate/checks.h"
#include "validate/crowd_scene.h"
#include "validate/tag_contract.h"

namespace kwhost::validate {

namespace {

std::string str(int64_t v) { return std::to_string(v); }

double horizontalStep(const KwMatrix& a, const KwMatrix& b) { return horizontalDistance(b.off, a.off); }

// Steps frames first..last and requires finite agents after each.
bool stepFrames(Document& doc, const Crowd& c, int first, int last, Probe& p, const std::string& what) {
  for (int f = first; f <= last; ++f) {
    evaluateFrame(doc, f);
    std::string where;
    if (!p.require(agentsFinite(c, &where), what + ", frame " + str(f) + ": " + where)) return false;
  }
  return true;
}

bool allRestored(const Crowd& c, const std::vector<KwMatrix>& recorded, size_t limit, Probe& p, const std::string& what) {
  const auto now = agentMatrices(c);
  for (size_t i = 0; i < now.size() && i < limit && i < recorded.size(); ++i)
    if (!p.require(sameBits(now[i], recorded[i]), what + ": agent " + str(int64_t(i)) + " is not back at its recorded matrix"))
      return false;
  return true;
}

}  // namespace

void checkDefaults(const ValidatorOptions& o, Probe& p) {
  auto m = loadModule(o, p);
  if (!m) return;
  {
    Document doc;
    auto holder = doc.createObject("Holder", kTypeNull);
    auto made = holder ? createTag(*holder.value(), kTagId) : Result<Tag*>(Error{holder.error()});
    if (p.require(made.ok(), made.ok() ? "" : made.error())) {
      const Container& bc = made.value()->data();
      p.require(bc.entries.size() == std::size(kDefaults),
                "a new tag has " + str(int64_t(bc.entries.size())) + " entries, not the 11 defaults");
      for (const DefaultEntry& d : kDefaults) {
        const EntryValue* v = bc.find(d.id);
        if (!p.require(v != nullptr, "default " + str(d.id) + " is missing")) continue;
        if (d.isBool) {
          p.require(std::holds_alternative<bool>(*v) && !std::get<bool>(*v), "START_RECORDED is not the bool false");
        } else if (p.require(std::holds_alternative<float>(*v), "default " + str(d.id) + " is not a real")) {
          const float got = std::get<float>(*v);
          p.require(std::memcmp(&got, &d.value, sizeof got) == 0,
                    "default " + str(d.id) + " is " + std::to_string(got) + ", not " + std::to_string(d.value));
        }
      }
      for (int32_t id : {kAgentsGroup, kTarget, kObstaclesGroup, kTerrain, kShowVision, kShowRepulsion, kShowAlignment,
                         kMaxPitchStep, kStartCountId, kStartCount, kFirstStartPair})
        p.require(!bc.has(id), "a new tag already has entry " + str(id));
    }
  }
  unloadModule(std::move(m), p);
}

void checkRecordRestoreStep(const ValidatorOptions& o, Probe& p) {
  auto m = loadModule(o, p);
  if (!m) return;
  const int frames = 10 * o.strictness;
  {
    Document doc;
    CrowdLayout l;
    l.agents = 12;
    l.pressRecordStart = false;
    auto built = buildCrowd(doc, l);
    if (!p.require(built.ok(), built.ok() ? "" : built.error())) return unloadModule(std::move(m), p);
    Crowd& c = built.value();
    const auto start = agentMatrices(c);
    for (int f = 0; f <= 3; ++f) evaluateFrame(doc, f);
    p.require(largestOffsetDistance(start, agentMatrices(c)) == 0.0, "agents moved before RECORD_START was pressed");

    p.require(pressButton(*c.tag, kRecordStart), "the RECORD_START press answered FALSE");
    const Container& bc = c.tag->data();
    p.require(bc.getBool(kStartRecorded), "START_RECORDED is not true after the press");
    p.require(bc.getLong(kStartCountId) == kStartCount, "START_COUNT_ID is not 1024");
    p.require(bc.getLong(kStartCount) == kStartSlots, "START_COUNT is not 100");
    std::vector<float> speeds;
    for (int k = 0; k < kStartSlots; ++k) {
      const int32_t mid = kFirstStartPair + 2 * k, sid = mid + 1;
      if (!p.require(bc.has(mid) && bc.has(sid), "start pair " + str(k) + " is missing")) break;
      const KwMatrix sm = bc.getMatrix(mid);
      const float sp = bc.getReal(sid, -1.0f);
      speeds.push_back(sp);
      if (k < l.agents) {
        p.require(sameBits(sm, start[size_t(k)]), "start pair " + str(k) + " does not hold the agent's global matrix");
        p.require(sp >= l.speed * (1 - l.speedVariation / 2) && sp <= l.speed * (1 + l.speedVariation / 2),
                  "start speed " + str(k) + " = " + std::to_string(sp) + " lies outside SPEED +- SPEED_VARIATION/2");
      } else {
        p.require(sameBits(sm, identityMatrix()) && sp == 0.0f,
                  "unused start pair " + str(k) + " of a fresh module is not identity and 0.0");
      }
    }
    pressButton(*c.tag, kRecordStart);
    for (int k = 0; k < kStartSlots && size_t(k) < speeds.size(); ++k)
      p.require(bc.getReal(kFirstStartPair + 2 * k + 1) == speeds[size_t(k)], "a second press drew other speeds");

    if (!stepFrames(doc, c, 1, frames, p, "stepping")) return unloadModule(std::move(m), p);
    const auto first = agentMatrices(c);
    for (size_t i = 0; i < first.size(); ++i) {
      p.require(horizontalStep(start[i], first[i]) > 0, "agent " + str(int64_t(i)) + " did not move in " + str(frames) + " frames");
      p.require(first[i].off.y == start[i].off.y, "agent " + str(int64_t(i)) + " changed height without terrain");
    }
    evaluateFrame(doc, 0);
    allRestored(c, start, 100, p, "restore at the first frame");
    stepFrames(doc, c, 1, frames, p, "stepping after the restore");
    evaluateFrame(doc, -5);
    allRestored(c, start, 100, p, "restore before the first frame");
  }
  // Terrain and obstacles, and more agents than the tag has slots for.
  struct Variant {
    const char* what;
    int agents, obstacles;
    bool terrain;
  };
  for (const Variant& v : {Variant{"terrain", 16, 0, true}, Variant{"obstacles", 16, 5, false},
                           Variant{"110 agents on terrain among obstacles", 110, 3, true}}) {
    Document doc;
    CrowdLayout l;
    l.agents = v.agents;
    l.obstacles = v.obstacles;
    l.terrain = v.terrain;
    auto built = buildCrowd(doc, l);
    if (!p.require(built.ok(), built.ok() ? "" : built.error())) break;
    const auto start = agentMatrices(built.value());
    if (!stepFrames(doc, built.value(), 1, frames, p, v.what)) break;
    evaluateFrame(doc, 0);
    allRestored(built.value(), start, 100, p, std::string(v.what) + ", restore");
  }
  unloadModule(std::move(m), p);
}

void checkSharedTable(const ValidatorOptions& o, Probe& p) {
  auto m = loadModule(o, p);
  if (!m) return;
  {
    Document a, b;
    CrowdLayout la;
    la.agents = 3;
    la.spacing = 1500;  // beyond every radius: no neighbour changes a speed
    la.speedVariation = 0;
    la.speed = 20;
    la.target = KwVector{0, 0, 90000};
    CrowdLayout lb = la;
    lb.speed = 5;
    lb.pressRecordStart = false;
    auto ca = buildCrowd(a, la);
    auto cb = buildCrowd(b, lb);
    if (!p.require(ca.ok() && cb.ok(), ca.ok() ? (cb.ok() ? "" : cb.error()) : ca.error())) return unloadModule(std::move(m), p);
    auto before = agentMatrices(ca.value());
    evaluateFrame(a, 1);
    auto after = agentMatrices(ca.value());
    p.require(std::fabs(horizontalStep(before[0], after[0]) - 20.0) < 1e-3,
              "crowd A's agent 0 stepped " + std::to_string(horizontalStep(before[0], after[0])) + " instead of its speed 20");
    // Crowd B records speed 5 into the same records: crowd A's agents slow down.
    pressButton(*cb.value().tag, kRecordStart);
    before = after;
    evaluateFrame(a, 2);
    after = agentMatrices(ca.value());
    for (size_t i = 0; i < after.size(); ++i)
      p.require(std::fabs(horizontalStep(before[i], after[i]) - 5.0) < 1e-3,
                "after crowd B recorded speed 5, crowd A's agent " + str(int64_t(i)) + " stepped " +
                    std::to_string(horizontalStep(before[i], after[i])) + ": the agent table is not shared");
    // Two tags in one document, each with its own group.
    CrowdLayout lc = la;
    lc.prefix = "Second";
    lc.speed = 9;
    auto cc = buildCrowd(a, lc);
    if (p.require(cc.ok(), cc.ok() ? "" : cc.error())) {
      auto b1 = agentMatrices(ca.value()), c1 = agentMatrices(cc.value());
      evaluateFrame(a, 3);
      auto b2 = agentMatrices(ca.value()), c2 = agentMatrices(cc.value());
      p.require(std::fabs(horizontalStep(b1[0], b2[0]) - 9.0) < 1e-3 && std::fabs(horizontalStep(c1[0], c2[0]) - 9.0) < 1e-3,
                "two tags in one document do not share agent 0's record");
      std::string where;
      p.require(agentsFinite(ca.value(), &where) && agentsFinite(cc.value(), &where), where);
    }
  }
  unloadModule(std::move(m), p);
}

void checkCopyAndFree(const ValidatorOptions& o, Probe& p) {
  auto m = loadModule(o, p);
  if (!m) return;
  {
    Document doc;
    CrowdLayout l;
    l.agents = 8;
    auto built = buildCrowd(doc, l);
    if (!p.require(built.ok(), built.ok() ? "" : built.error())) return unloadModule(std::move(m), p);
    Crowd c = built.value();
    const auto recorded = agentMatrices(c);
    stepFrames(doc, c, 1, 5, p, "before the copy");
    auto other = doc.createObject("CopyHolder", kTypeNull);
    if (!p.require(other.ok(), other.ok() ? "" : other.error())) return unloadModule(std::move(m), p);
    const int64_t blocksBefore = m->account().snapshot().liveBlocks;
    auto copy = copyTag(*c.tag, *other.value());
    if (!p.require(copy.ok(), copy.ok() ? "" : copy.error())) return unloadModule(std::move(m), p);
    p.require(copy.value()->data().entries.size() == c.tag->data().entries.size(), "the copy's container differs");
    p.require(m->account().snapshot().liveBlocks > blocksBefore, "the copy made no instance of its own");
    deleteTag(c.tag);
    c.tag = copy.value();
    p.require(m->account().snapshot().liveBlocks == blocksBefore, "freeing the original tag did not free its instance");
    // The copy's instance is fresh: it takes the start state from the stored pairs.
    evaluateFrame(doc, 0);
    allRestored(c, recorded, 100, p, "the copied tag's restore");
    stepFrames(doc, c, 1, 5, p, "the copied tag");
    p.require(largestOffsetDistance(recorded, agentMatrices(c)) > 0, "the copied tag does not move the agents");

    // A tag freed while another, in another document, keeps running.
    Document second;
    auto other2 = buildCrowd(second, l);
    if (p.require(other2.ok(), other2.ok() ? "" : other2.error())) {
      stepFrames(second, other2.value(), 1, 3, p, "second document");
      deleteTag(c.tag);
      evaluateFrame(doc, 6);
      stepFrames(second, other2.value(), 4, 10, p, "second document after the first tag was freed");
      // The group deleted under a running tag: its link reads empty and nothing moves.
      second.deleteObject(other2.value().group);
      evaluateFrame(second, 11);
      evaluateFrame(second, 0);
    }
  }
  unloadModule(std::move(m), p);
}

}  // namespace kwhost::validate
