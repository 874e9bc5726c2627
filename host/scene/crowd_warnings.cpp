#include "scene/crowd_warnings.h"

#include <algorithm>

#include "core/crowd_links.h"
#include "core/tag.h"

namespace kwhost::scene {

namespace {

constexpr size_t kMaxAgents = 100;  // the tag's per-agent tables hold 100 entries

std::string tagLabel(const CrowdLinks& c) {
  return "tag " + std::to_string(c.tagIndex) + " on \"" + c.tag->object()->nameRef() + "\"";
}

size_t agentCount(const CrowdLinks& c) { return c.agentsGroup ? c.agentsGroup->children().size() : 0; }

}  // namespace

std::vector<std::string> crowdWarnings(const Document& doc) {
  std::vector<std::string> out;
  std::vector<CrowdLinks> moving;  // tags whose step moves agents
  for (const CrowdLinks& c : crowdTags(doc)) {
    const std::string tag = tagLabel(c);
    const size_t n = agentCount(c);
    bool idle = true;
    if (!c.agentsGroup)
      out.push_back(tag + ": AGENTS_GROUP is not set, so nothing moves; link the object whose children are the agents");
    else if (n == 0)
      out.push_back(tag + ": its AGENTS_GROUP \"" + c.agentsGroup->nameRef() +
                    "\" has no children, so nothing moves; put the agents under it");
    else if (!c.target)
      out.push_back(tag + ": TARGET is not set, so its agents do not move; link the object they should walk to");
    else if (!c.startRecorded)
      out.push_back(tag + ": no start state is recorded, so its agents do not move; add \"recordStart\": true to the "
                          "tag in the scene file or pass --record");
    else
      idle = false;
    if (n > kMaxAgents)
      out.push_back(tag + ": the group \"" + c.agentsGroup->nameRef() + "\" has " + std::to_string(n) +
                    " agents; a tag moves at most " + std::to_string(kMaxAgents) +
                    ", so the agents past the hundredth do not move");
    if (!idle) moving.push_back(c);
  }
  for (size_t i = 0; i < moving.size(); ++i)
    for (size_t j = i + 1; j < moving.size(); ++j) {
      const size_t shared = std::min({agentCount(moving[i]), agentCount(moving[j]), kMaxAgents});
      out.push_back(tagLabel(moving[i]) + " and " + tagLabel(moving[j]) + " share the module's per-agent records of " +
                    (shared == 1 ? "agent 0" : "agents 0 to " + std::to_string(shared - 1)) +
                    ": both flocks walk at the speeds of the last RECORD_START of either tag; put the flocks in "
                    "separate scenes to keep their speeds apart");
    }
  return out;
}

}  // namespace kwhost::scene
