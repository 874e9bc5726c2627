// The crowd report as the JSON a studio's own tools read
// ("format": "kestrelwood-report/1"): agents and obstacles by name, frames
// as scene frames, tags numbered as the CSV's tag column; "kinds" lists the
// kinds of event in lane order with their labels, colours and phrases, and
// each tag's "summary" holds its summary sentence as "text".
#ifndef KWHOST_EXPORT_REPORT_JSON_H
#define KWHOST_EXPORT_REPORT_JSON_H

#include <nlohmann/json.hpp>

#include "export/crowd_report.h"

namespace kwhost {

inline constexpr const char* kReportFormat = "kestrelwood-report/1";

nlohmann::json reportJson(const CrowdReport& report, const RunRecord& run);

}  // namespace kwhost

#endif
