#include "scene/crowd_warnings.h"

#include <algorithm>
#include <optional>

#include "core/crowd_links.h"
#include "core/tag.h"
#include "scene/scene_file.h"

namespace kwhost::scene {

namespace {

constexpr size_t kMaxAgents = 100;  // the tag's per-agent tables hold 100 entries

std::string tagLabel(const CrowdLinks& c) {
  return "tag " + std::to_string(c.tagIndex) + " on \"" + c.tag->object()->nameRef() + "\"";
}

size_t agentCount(const CrowdLinks& c) { return c.agentsGroup ? c.agentsGroup->children().size() : 0; }

// Why the tag's agents never move, or nothing when they do.
std::optional<Warning> idleWarning(const CrowdLinks& c, const std::string& tag) {
  if (!c.agentsGroup)
    return Warning{WarningKey::NoAgents,
                   tag + ": AGENTS_GROUP is not set, so nothing moves; link the object whose children are the agents"};
  if (agentCount(c) == 0)
    return Warning{WarningKey::NoAgents, tag + ": its AGENTS_GROUP \"" + c.agentsGroup->nameRef() +
                                             "\" has no children, so nothing moves; put the agents under it"};
  if (!c.target)
    return Warning{WarningKey::NoTarget,
                   tag + ": TARGET is not set, so its agents do not move; link the object they should walk to"};
  if (!c.startRecorded)
    return Warning{WarningKey::NoStart, tag + ": no start state is recorded, so its agents do not move; add "
                                              "\"recordStart\": true to the tag in the scene file or pass --record"};
  return std::nullopt;
}

void skippedObstacles(const CrowdLinks& c, const std::string& tag, std::vector<Warning>* out) {
  if (!c.obstaclesGroup) return;
  for (const auto& child : c.obstaclesGroup->children()) {
    if (child->type() == kTypeCircle) continue;
    const char* type = objectTypeName(child->type());
    out->push_back({WarningKey::SkippedObstacle,
                    tag + ": \"" + child->nameRef() + "\" in its OBSTACLES_GROUP \"" + c.obstaclesGroup->nameRef() +
                        "\" is " + (type ? std::string("a ") + type + " object" : "no circle") +
                        ", so the tag passes over it (and what lies below it); only circles are obstacles"});
  }
}

}  // namespace

std::vector<Warning> crowdWarnings(const Document& doc) {
  std::vector<Warning> out;
  std::vector<CrowdLinks> moving;  // tags whose step moves agents
  for (const CrowdLinks& c : crowdTags(doc)) {
    const std::string tag = tagLabel(c);
    const size_t n = agentCount(c);
    std::optional<Warning> idle = idleWarning(c, tag);
    if (idle) out.push_back(std::move(*idle));
    if (n > kMaxAgents)
      out.push_back({WarningKey::TooManyAgents, tag + ": the group \"" + c.agentsGroup->nameRef() + "\" has " +
                                                    std::to_string(n) + " agents; a tag moves at most " +
                                                    std::to_string(kMaxAgents) +
                                                    ", so the agents past the hundredth do not move"});
    skippedObstacles(c, tag, &out);
    if (!idle) moving.push_back(c);
  }
  for (size_t i = 0; i < moving.size(); ++i)
    for (size_t j = i + 1; j < moving.size(); ++j) {
      const size_t shared = std::min({agentCount(moving[i]), agentCount(moving[j]), kMaxAgents});
      out.push_back({WarningKey::SharedRecords,
                     tagLabel(moving[i]) + " and " + tagLabel(moving[j]) + " share the module's per-agent records of " +
                         (shared == 1 ? "agent 0" : "agents 0 to " + std::to_string(shared - 1)) +
                         ": both flocks walk at the speeds of the last RECORD_START of either tag; put the flocks "
                         "in separate scenes to keep their speeds apart"});
    }
  return out;
}

}  // namespace kwhost::scene
