// What a run will write, settled before anything runs: each file the user
// named (or "-": standard output), the four files of --out, missing folders
// created on the way. Every problem is found here and told once, as
// "FILE: WHAT", so that no simulation runs only to fail at its end.
#ifndef KWHOST_CLI_OUTPUT_PLAN_H
#define KWHOST_CLI_OUTPUT_PLAN_H

#include <string>
#include <vector>

#include "cli/run_command.h"
#include "core/result.h"
#include "core/warning.h"

namespace kwhost::cli {

inline constexpr const char* kStdout = "-";

struct OutputPlan {
  std::vector<std::string> errors;    // "FILE: WHAT", one per problem
  std::vector<Warning> warnings;      // outputs that will be skipped, and why
  bool viewerPage = false;            // --out writes index.html (its template exists)
  // An output reads the run's frames (--csv, --out, --report, --drawing, --fail-on);
  // --save reads the scene after the run, not the frames.
  bool needsFrames = false;
  std::vector<std::string> files;  // every file it will write, in the order written
};

// The options that would write to standard output ("-"), by name.
std::vector<std::string> stdoutOptions(const RunRequest& request);

OutputPlan planOutputs(const RunRequest& request);

// Text for standard output (kStdout) or a file written whole or not at all.
Result<void> writeText(const std::string& path, const std::string& text);

}  // namespace kwhost::cli

#endif
