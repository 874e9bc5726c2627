#include "export/report_json.h"

namespace kwhost {

nlohmann::json reportJson(const CrowdReport& report, const RunRecord& run) {
  using nlohmann::json;
  auto agent = [&run](int i) { return run.agents[size_t(i)].name; };
  json tags = json::array();
  for (const TagReport& t : report.tags) {
    json intrusions = json::array(), pairs = json::array(), stuck = json::array();
    for (const Intrusion& e : t.intrusions)
      intrusions.push_back({{"frame", e.frame},
                            {"agent", agent(e.agent)},
                            {"obstacle", run.obstacles[size_t(e.obstacle)].name},
                            {"depth", e.depth}});
    for (const ClosePair& e : t.closePairs)
      pairs.push_back({{"frame", e.frame}, {"a", agent(e.a)}, {"b", agent(e.b)}, {"distance", e.distance}});
    for (const StuckSpell& e : t.stuck) stuck.push_back({{"agent", agent(e.agent)}, {"from", e.from}, {"to", e.to}});
    tags.push_back({{"tag", t.tag},
                    {"object", t.object},
                    {"agents", t.agents},
                    {"minGap", t.minGap},
                    {"intrusions", std::move(intrusions)},
                    {"closePairs", std::move(pairs)},
                    {"stuck", std::move(stuck)},
                    {"summary",
                     {{"intrusionFrames", t.intrusionFrames},
                      {"agentsIntruding", t.agentsIntruding},
                      {"deepest", t.deepest},
                      {"closePairFrames", t.closePairFrames},
                      {"closest", t.closest ? json(*t.closest) : json(nullptr)},
                      {"stuckAgents", t.stuckAgents}}}});
  }
  return {{"format", kReportFormat},
          {"scene", report.scene},
          {"frames", json::array({report.first, report.last})},
          {"stuckWindow", kStuckWindow},
          {"tags", std::move(tags)}};
}

}  // namespace kwhost
