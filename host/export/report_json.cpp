#include "export/report_json.h"

#include "export/report_kinds.h"

namespace kwhost {

nlohmann::json reportJson(const CrowdReport& report, const RunRecord& run) {
  using nlohmann::json;
  json tags = json::array();
  for (const TagReport& t : report.tags) {
    json tag = {{"tag", t.tag}, {"object", t.object}, {"agents", t.agents}, {"minGap", t.minGap}};
    json summary = {{"text", summaryText(t)}};
    for (const ReportKind& k : reportKinds()) {
      tag[k.name] = k.events(t, run);
      k.summary(t, &summary);
    }
    tag["summary"] = std::move(summary);
    tags.push_back(std::move(tag));
  }
  return {{"format", kReportFormat},
          {"scene", report.scene},
          {"frames", json::array({report.first, report.last})},
          {"stuckWindow", kStuckWindow},
          {"kinds", kindsJson()},
          {"tags", std::move(tags)}};
}

}  // namespace kwhost
