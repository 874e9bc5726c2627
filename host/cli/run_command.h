// The work behind `kestrelwood run` and `kestrelwood demo`: load the module,
// read the scene, run it, write what the user asked for.
#ifndef KWHOST_CLI_RUN_COMMAND_H
#define KWHOST_CLI_RUN_COMMAND_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kwhost::cli {

enum ExitCode : int {
  kExitOk = 0,
  kExitOutputFailed = 1,  // an output file could not be written
  kExitBadCommandLine = 2,
  kExitBadScene = 3,
  kExitModule = 4,
  kExitEvents = 5,  // --fail-on: the crowd report holds such an event
};

struct RunRequest {
  std::string modulePath;
  std::string scenePath;  // empty: the built-in demo
  int demoCells = 0;      // demo terrain cells per side (0: the default)
  std::string demoExport; // demo: write the demo's scene file here
  std::optional<int64_t> frames;
  bool record = false;
  std::string csv, save, outDir;  // "-": standard output (not --out)
  std::string report;              // the crowd report (JSON); "-": standard output
  std::optional<double> minGap;    // close-pair distance; default 5% of REPULSION_RADIUS
  std::vector<std::string> failOn;  // --fail-on: options of report kinds (export/report_kinds.h)
  bool verbose = false;
  bool quiet = false;  // no warnings
  const char* argv0 = nullptr;
};

int runCommand(const RunRequest& request, int argc, char** argv);

}  // namespace kwhost::cli

#endif
