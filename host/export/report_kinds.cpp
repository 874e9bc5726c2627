#include "export/report_kinds.h"

#include <cstdio>

namespace kwhost {

namespace {

using nlohmann::json;

std::string number(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.3g", v);
  return buf;
}

const std::string& agentName(const RunRecord& run, int i) { return run.agents[size_t(i)].name; }

// Intrusions: agent-frames inside an obstacle.
size_t intrusionCount(const TagReport& t) { return t.intrusionFrames; }
std::string intrusionClause(const TagReport& t, const ReportKind& k) {
  std::string s = countPhrase(k, t.intrusionFrames);
  if (t.intrusionFrames)
    s += " (" + std::to_string(t.agentsIntruding) + (t.agentsIntruding == 1 ? " agent" : " agents") + ", deepest " +
         number(t.deepest) + ")";
  return s;
}
json intrusionEvents(const TagReport& t, const RunRecord& run) {
  json out = json::array();
  for (const Intrusion& e : t.intrusions)
    out.push_back({{"frame", e.frame},
                   {"agent", agentName(run, e.agent)},
                   {"obstacle", run.obstacles[size_t(e.obstacle)].name},
                   {"depth", e.depth}});
  return out;
}
void intrusionSummary(const TagReport& t, json* out) {
  (*out)["intrusionFrames"] = t.intrusionFrames;
  (*out)["agentsIntruding"] = t.agentsIntruding;
  (*out)["deepest"] = t.deepest;
}

// Close pairs: pair-frames nearer than the tag's minimum gap. The phrase
// names the gap in words, as the page and the poster show it for every tag;
// the summary states the tag's own figure in their place.
constexpr std::string_view kGapWords = "the minimum gap";
size_t closePairCount(const TagReport& t) { return t.closePairFrames; }
std::string closePairClause(const TagReport& t, const ReportKind& k) {
  std::string s = countPhrase(k, t.closePairFrames);
  if (const size_t at = s.rfind(kGapWords); at != std::string::npos) s.replace(at, kGapWords.size(), number(t.minGap));
  if (t.closest) s += " (closest " + number(*t.closest) + ")";
  return s;
}
json closePairEvents(const TagReport& t, const RunRecord& run) {
  json out = json::array();
  for (const ClosePair& e : t.closePairs)
    out.push_back(
        {{"frame", e.frame}, {"a", agentName(run, e.a)}, {"b", agentName(run, e.b)}, {"distance", e.distance}});
  return out;
}
void closePairSummary(const TagReport& t, json* out) {
  (*out)["closePairFrames"] = t.closePairFrames;
  (*out)["closest"] = t.closest ? json(*t.closest) : json(nullptr);
}

// Stuck: agents with a stuck spell.
size_t stuckCount(const TagReport& t) { return t.stuckAgents; }
std::string stuckClause(const TagReport& t, const ReportKind& k) { return countPhrase(k, t.stuckAgents); }
json stuckEvents(const TagReport& t, const RunRecord& run) {
  json out = json::array();
  for (const StuckSpell& e : t.stuck) out.push_back({{"agent", agentName(run, e.agent)}, {"from", e.from}, {"to", e.to}});
  return out;
}
void stuckSummary(const TagReport& t, json* out) { (*out)["stuckAgents"] = t.stuckAgents; }

// The colours are the viewer's, chosen for its dark timeline; they read on
// the poster's light ground as well.
const ReportKind kKinds[] = {
    {"intrusions", "intrusions", "Inside an obstacle", "#ff5a4f", "agent-frame inside obstacles",
     "agent-frames inside obstacles", "an agent's horizontal distance to an obstacle's centre below its radius",
     intrusionCount, intrusionClause, intrusionEvents, intrusionSummary},
    {"closePairs", "close-pairs", "Closer than the minimum gap", "#ffc247", "pair-frame closer than the minimum gap",
     "pair-frames closer than the minimum gap", "two agents nearer than --min-gap", closePairCount, closePairClause,
     closePairEvents, closePairSummary},
    {"stuck", "stuck", "Stuck", "#b58cff", "stuck agent", "stuck agents",
     "an agent beyond REPULSION_RADIUS of its target that came less than one step nearer over 60 frames",
     stuckCount, stuckClause, stuckEvents, stuckSummary},
};

}  // namespace

std::span<const ReportKind> reportKinds() { return kKinds; }

const ReportKind* reportKindByName(std::string_view name) {
  for (const ReportKind& k : kKinds)
    if (name == k.name) return &k;
  return nullptr;
}

const ReportKind* reportKindByOption(std::string_view option) {
  for (const ReportKind& k : kKinds)
    if (option == k.option) return &k;
  return nullptr;
}

std::string countPhrase(const ReportKind& kind, size_t n) {
  return std::to_string(n) + " " + (n == 1 ? kind.one : kind.many);
}

std::string summaryText(const TagReport& tag) {
  std::string s;
  for (const ReportKind& k : kKinds) s += (s.empty() ? "" : ", ") + k.clause(tag, k);
  return s;
}

json kindsJson() {
  json out = json::array();
  for (const ReportKind& k : kKinds)
    out.push_back({{"name", k.name},
                   {"option", k.option},
                   {"label", k.label},
                   {"colour", k.colour},
                   {"one", k.one},
                   {"many", k.many}});
  return out;
}

}  // namespace kwhost
