#include "tune/trial_measure.h"

#include <cmath>

namespace kwhost::tune {

namespace {

// Mean horizontal distance of the crowd's agents to its target at frame index k.
std::optional<double> meanDistance(const RunRecord& run, const RecordedCrowd& c, size_t k) {
  const Mat12* t = crowdTargetAt(run, c, k);
  if (!t || c.agents.empty()) return std::nullopt;
  double sum = 0;
  for (int a : c.agents) {
    const Mat12& m = run.frames[k].agents[size_t(a)].global;
    sum += std::hypot(double(m[0]) - double((*t)[0]), double(m[2]) - double((*t)[2]));
  }
  return sum / double(c.agents.size());
}

}  // namespace

ReportSettings reportSettings(const Thresholds& t) {
  ReportSettings s;
  s.minGap = t.minGap;
  s.stuckRadius = t.stuckRadius;
  return s;
}

std::optional<TrialMeasure> measureTrial(const RunRecord& run, int tag, const Thresholds& thresholds,
                                         std::string* why) {
  const RecordedCrowd* crowd = nullptr;
  for (const RecordedCrowd& c : run.crowds)
    if (c.tag == tag) crowd = &c;
  if (!crowd) return *why = "the run has no crowd tag " + std::to_string(tag), std::nullopt;
  if (run.frames.empty()) return *why = "the run kept no frames", std::nullopt;
  const auto start = meanDistance(run, *crowd, 0), end = meanDistance(run, *crowd, run.frames.size() - 1);
  if (!start || !end) return *why = "the crowd has no agents or no target", std::nullopt;

  const CrowdReport report = buildCrowdReport(run, run.sceneName, reportSettings(thresholds));
  for (const TagReport& r : report.tags) {
    if (r.tag != tag) continue;
    TrialMeasure m;
    m.intrusions = int64_t(r.intrusionFrames);
    m.closePairs = int64_t(r.closePairFrames);
    m.stuck = int64_t(r.stuckAgents);
    m.startDistance = *start;
    m.endDistance = *end;
    return m;
  }
  return *why = "the report has no tag " + std::to_string(tag), std::nullopt;
}

bool accepted(const TrialMeasure& trial, const TrialMeasure& given) {
  return trial.endDistance <= given.endDistance + kAcceptSlack * given.startDistance;
}

}  // namespace kwhost::tune
