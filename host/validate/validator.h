// `kestrelwood validate`: a battery of checks a user can run against any
// build of the module, in the spirit of plug-in validators for audio hosts.
// Every check loads the module afresh (its globals start from zero), prints
// one line "PASS name" or "FAIL name: reason", and the run ends with the
// line "N passed, N failed". The module must not be loaded by the caller:
// the host refuses a second load of the same file while one is open.
#ifndef KWHOST_VALIDATE_VALIDATOR_H
#define KWHOST_VALIDATE_VALIDATOR_H

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace kwhost::validate {

struct ValidatorOptions {
  std::string modulePath;   // the module file (required)
  int strictness = 5;       // 1 (quick) to 10 (thorough); more cycles, frames and fuzz rounds
  uint32_t seed = 20240613;  // parameter fuzzing's random generator
  std::vector<std::string> only;  // run only the checks with these names (empty: all)
};

struct CheckOutcome {
  std::string name;
  bool passed = false;
  std::string reason;  // why it failed; empty when it passed
};

// Runs the battery, prints a line per check and the summary on out; 0 when
// every check passed, 1 when one failed, 2 for bad options and 4 when the
// module cannot be loaded at all (then one "error: MODULE: WHY" line on err
// and no check runs).
int runValidator(const ValidatorOptions& options, std::ostream& out, std::ostream& err);
// The same, returning the outcomes (for tests).
std::vector<CheckOutcome> runChecks(const ValidatorOptions& options, std::ostream* out);
// The names of the checks, in the order they run.
std::vector<std::string> checkNames();

}  // namespace kwhost::validate

#endif
