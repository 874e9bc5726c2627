// A tune: trials of the scene with the varied parameters set, proposed by
// the search a batch at a time, run by the worker pool, measured against
// the given scene's thresholds. Trial 0 is the given scene itself; the best
// is the accepted trial of least cost, the earliest of equals (so a scene
// with nothing to improve keeps its own values). The tune ends when the
// budget of trials is spent or after the batch in which a trial of cost 0
// was accepted (nothing can beat it).
#ifndef KWHOST_TUNE_TUNER_H
#define KWHOST_TUNE_TUNER_H

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/result.h"
#include "tune/trial_measure.h"
#include "tune/tune_params.h"
#include "tune/worker_pool.h"

namespace kwhost::tune {

struct TrialRow {
  int trial = 0;
  std::vector<float> values;             // in the order of the varied parameters
  std::optional<TrialMeasure> measure;   // none: the trial failed
  std::string why;                       // why it failed
  bool accepted = false;
};

struct TuneResult {
  std::vector<TrialRow> rows;  // trial order; rows[0] is the given scene
  int best = 0;                // index into rows
};

// Told after each finished trial: trials done, the budget, the best row so
// far and the given scene's row (null until the given scene has run).
using TuneProgress = std::function<void(int done, int total, const TrialRow* best, const TrialRow* given)>;

class Tuner {
 public:
  Tuner(std::vector<Varied> varied, int trials, uint64_t seed) : varied_(std::move(varied)), trials_(trials), seed_(seed) {}
  // Fails when the given scene's own trial fails (nothing to compare with)
  // or the workers cannot run.
  Result<TuneResult> run(WorkerPool& pool, const TuneProgress& progress);

 private:
  std::vector<Varied> varied_;
  int trials_;
  uint64_t seed_;
};

// The CSV of --table: trial, one column per varied parameter, intrusions,
// closePairs, stuck, cost, endDistance, accepted, failure (empty, or why
// the trial failed; its counts are then empty and accepted is false).
std::string tableCsv(const std::vector<Varied>& varied, const TuneResult& result);

}  // namespace kwhost::tune

#endif
