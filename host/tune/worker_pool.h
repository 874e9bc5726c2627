// The processes that run a tune's trials. Each worker is the program itself
// started again with its hidden command "tune-worker" (worker_protocol.h):
// it loads the module and the scene once and then runs trial after trial,
// so the module's per-process state (its table of per-agent records) is
// never shared between two trials running at once. A worker that crashes
// fails the trial it had; a new one takes its place.
//
// On Windows the trials run one after another in this process instead.
#ifndef KWHOST_TUNE_WORKER_POOL_H
#define KWHOST_TUNE_WORKER_POOL_H

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/result.h"
#include "tune/trial_runner.h"

namespace kwhost::tune {

struct TrialJob {
  int trial = 0;
  std::vector<float> values;
};

struct TrialOutcome {
  std::optional<TrialMeasure> measure;  // none: the trial failed
  std::string why;                      // what failed
};

struct WorkerCommand {
  std::string program;     // this program's file
  std::string modulePath;  // --module for the workers
};

class WorkerPool {
 public:
  // Starts up to count workers; fails when not one of them can start and
  // read the scene (with the first worker's reason).
  static Result<std::unique_ptr<WorkerPool>> start(const WorkerCommand& command, const TrialSetup& setup, int count);
  virtual ~WorkerPool() = default;
  // Runs every job; outcomes in the jobs' order. done is told each finished job.
  virtual Result<std::vector<TrialOutcome>> run(const std::vector<TrialJob>& jobs,
                                                const std::function<void()>& done) = 0;
};

}  // namespace kwhost::tune

#endif
