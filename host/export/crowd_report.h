// Crowd QA: what an animator looks for after a bake, found in a run's record
// instead of by scrubbing its frames. Per crowd tag, over the evaluated
// frames after the first (the first restores the start), each kind of event
// (its name, label, colour and phrase: report_kinds.h):
// - intrusion: an agent whose horizontal distance (x and z of the global
//   positions) to the centre of one of the tag's obstacles is less than that
//   circle's radius; depth = radius - distance;
// - close pair: two agents of the tag nearer each other (3D, global
//   positions) than the minimum gap (by default 5% of REPULSION_RADIUS);
// - stuck: an agent farther than REPULSION_RADIUS from the target
//   (horizontally) whose distance to it is not at least one step (its
//   recorded speed) smaller than 60 frames earlier; checked from the first
//   frame + 60 on. A stuck spell is a run of consecutive stuck frames.
// Distances are computed in double precision from the recorded floats.
#ifndef KWHOST_EXPORT_CROWD_REPORT_H
#define KWHOST_EXPORT_CROWD_REPORT_H

#include <optional>
#include <string>
#include <vector>

#include "export/run_record.h"

namespace kwhost {

inline constexpr int kStuckWindow = 60;  // frames between the two distances compared

struct Intrusion {
  int frame = 0;
  int agent = 0;     // index into RunRecord::agents
  int obstacle = 0;  // index into RunRecord::obstacles
  double depth = 0;
};

struct ClosePair {
  int frame = 0;
  int a = 0, b = 0;  // indices into RunRecord::agents, a before b in child order
  double distance = 0;
};

struct StuckSpell {
  int agent = 0;  // index into RunRecord::agents
  int from = 0, to = 0;
};

struct TagReport {
  int tag = 0;
  std::string object;
  size_t agents = 0;
  double minGap = 0;
  std::vector<Intrusion> intrusions;  // frame order, then agent, then obstacle in child order
  std::vector<ClosePair> closePairs;  // frame order, then a, then b
  std::vector<StuckSpell> stuck;      // by first frame, then agent
  // Summary.
  size_t intrusionFrames = 0;  // agent-frames inside an obstacle
  size_t agentsIntruding = 0;
  double deepest = 0;          // largest depth (0: none)
  size_t closePairFrames = 0;  // pair-frames nearer than the gap
  std::optional<double> closest;  // nearest two agents came (none: fewer than two)
  size_t stuckAgents = 0;
};

struct CrowdReport {
  std::string scene;
  int first = 0, last = 0;  // scene frames evaluated
  std::vector<TagReport> tags;
};

struct ReportSettings {
  std::optional<double> minGap;  // --min-gap; default 5% of each tag's REPULSION_RADIUS
};

CrowdReport buildCrowdReport(const RunRecord& run, const std::string& scene, const ReportSettings& settings);

// One line for standard error: "tag 0 on "Crowd": " and the summary
// sentence (summaryText, report_kinds.h): "12 agent-frames inside obstacles
// (2 agents, deepest 3.5), ...".
std::string reportSummary(const TagReport& tag);

}  // namespace kwhost

#endif
