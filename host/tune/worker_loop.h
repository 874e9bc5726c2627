// The worker's side of a tune: read the scene once, answer "ready", then
// run each trial line that arrives and answer it, until its input ends.
#ifndef KWHOST_TUNE_WORKER_LOOP_H
#define KWHOST_TUNE_WORKER_LOOP_H

#include <cstdio>

#include "tune/trial_runner.h"

namespace kwhost::tune {

// 0 when the input ended; 1 after an "error" line (nothing could be run).
int serveTrials(const TrialSetup& setup, std::FILE* in, std::FILE* out);

}  // namespace kwhost::tune

#endif
