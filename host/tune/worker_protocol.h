// How the tuner talks to its worker processes: the worker's command line
// carries the trial setup; then one line per message on its standard input
// and output, numbers in C's hexadecimal float form ("%a") so that every
// bit crosses:
//   tuner -> worker  "trial K V1 V2 ..."            (the varied values, in order)
//   worker -> tuner  "ready"                        (the scene read, once)
//                    "ok K INTRUSIONS CLOSEPAIRS STUCK END START"
//                    "failed K WHY"                 (the trial could not run)
//                    "error WHY"                    (the worker cannot work; it ends)
// A worker that ends with a trial open (a crash) fails that trial alone.
#ifndef KWHOST_TUNE_WORKER_PROTOCOL_H
#define KWHOST_TUNE_WORKER_PROTOCOL_H

#include <optional>
#include <string>
#include <vector>

#include "core/result.h"
#include "tune/trial_runner.h"

namespace kwhost::tune {

inline constexpr const char* kWorkerCommand = "tune-worker";

// The worker's arguments after the command: SCENE TAG IDS FRAMES MINGAP STUCKRADIUS.
std::vector<std::string> workerArguments(const TrialSetup& setup);
Result<TrialSetup> parseWorkerArguments(const std::vector<std::string>& args);

std::string trialLine(int trial, const std::vector<float>& values);
std::optional<std::pair<int, std::vector<float>>> parseTrialLine(const std::string& line, size_t count);

struct TrialReply {
  int trial = -1;
  std::optional<TrialMeasure> measure;  // none: failed
  std::string why;
};
std::string replyLine(int trial, const Result<TrialMeasure>& result);
std::optional<TrialReply> parseReplyLine(const std::string& line);

}  // namespace kwhost::tune

#endif
