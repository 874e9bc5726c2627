// What one trial of a tune is worth, read from the crowd report of its run
// for the tuned tag, with the given scene's thresholds (so that shrinking
// REPULSION_RADIUS in a trial cannot shrink its own counts):
//   cost = intrusion agent-frames + close pair-frames + stuck agents x 60
// over the frames after the first. endDistance is the agents' mean
// horizontal distance to the target at the last frame, startDistance the
// same at the first; a trial is accepted when its endDistance is at most
// the given scene's plus 5% of the given scene's startDistance.
#ifndef KWHOST_TUNE_TRIAL_MEASURE_H
#define KWHOST_TUNE_TRIAL_MEASURE_H

#include <cstdint>
#include <optional>
#include <string>

#include "export/crowd_report.h"
#include "export/run_record.h"

namespace kwhost::tune {

inline constexpr double kAcceptSlack = 0.05;  // of the given scene's mean starting distance

// The given scene's thresholds, kept for every trial.
struct Thresholds {
  double minGap = 0;       // close pairs: nearer than this (3D)
  double stuckRadius = 0;  // stuck: farther than this from the target
};

struct TrialMeasure {
  int64_t intrusions = 0;  // agent-frames inside an obstacle
  int64_t closePairs = 0;  // pair-frames nearer than the gap
  int64_t stuck = 0;       // agents with a stuck spell
  double endDistance = 0, startDistance = 0;
  int64_t cost() const { return intrusions + closePairs + stuck * kStuckWindow; }
};

// The settings that make `kestrelwood run --report` count as a tune does.
ReportSettings reportSettings(const Thresholds& t);

// The measure of the crowd tag at evaluation position tag, or an error when
// the run has no such crowd or kept no frames.
std::optional<TrialMeasure> measureTrial(const RunRecord& run, int tag, const Thresholds& thresholds,
                                         std::string* why);

// Accepted: the crowd still gets where it was going.
bool accepted(const TrialMeasure& trial, const TrialMeasure& given);

}  // namespace kwhost::tune

#endif
