// The work behind `kestrelwood tune`: read the scene, settle what is varied
// and the thresholds, run the tune over worker processes, write the best
// scene, the table and the best run's report, and say given and best.
// And the hidden `kestrelwood tune-worker`, the tune's worker process.
#ifndef KWHOST_CLI_TUNE_COMMAND_H
#define KWHOST_CLI_TUNE_COMMAND_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kwhost::cli {

struct TuneRequest {
  std::string modulePath;
  std::string scenePath;
  std::vector<std::string> vary;  // NAME or NAME=LO:HI; empty: the default set
  std::optional<int> tag;         // evaluation position; default the first crowd tag
  int trials = 200;
  int jobs = 0;                   // 0: the machine's cores
  uint64_t seed = 1;
  std::optional<double> minGap;
  std::optional<int64_t> frames;
  std::string save, table, report;
  bool verbose = false, quiet = false;
  const char* argv0 = nullptr;
};

int tuneCommand(const TuneRequest& request, int argc, char** argv);

// The worker: args are those of tune/worker_protocol.h.
int tuneWorkerCommand(const std::string& modulePath, const std::vector<std::string>& args);

}  // namespace kwhost::cli

#endif
