// The validator's checks. Each one gets the options and a Probe, records the
// first thing that is wrong with probe.require(...) and returns; the runner
// prints the outcome. A check that needs the module loads it itself.
#ifndef KWHOST_VALIDATE_CHECKS_H
#define KWHOST_VALIDATE_CHECKS_H

#include <memory>
#include <string>

#include "core/module_loader.h"
#include "validate/validator.h"

namespace kwhost::validate {

class Probe {
 public:
  // Keeps the first failure; returns cond so that a check can stop early.
  bool require(bool cond, const std::string& why) {
    if (!cond && why_.empty()) why_ = why;
    return cond;
  }
  bool failed() const { return !why_.empty(); }
  const std::string& why() const { return why_; }

 private:
  std::string why_;
};

// Loads and starts the module; on failure the probe says why and null comes back.
std::unique_ptr<Module> loadModule(const ValidatorOptions& o, Probe& p);
// Ends and unloads it; the probe fails if module blocks or handles are
// still live, or a block was freed that the host never gave out.
void unloadModule(std::unique_ptr<Module> m, Probe& p);

void checkRepeatedLoad(const ValidatorOptions& o, Probe& p);
void checkLifecycle(const ValidatorOptions& o, Probe& p);
void checkPluginMessages(const ValidatorOptions& o, Probe& p);
void checkRegistration(const ValidatorOptions& o, Probe& p);
void checkDefaults(const ValidatorOptions& o, Probe& p);
void checkRecordRestoreStep(const ValidatorOptions& o, Probe& p);
void checkSharedTable(const ValidatorOptions& o, Probe& p);
void checkCopyAndFree(const ValidatorOptions& o, Probe& p);
void checkSaveReload(const ValidatorOptions& o, Probe& p);
void checkDeepScene(const ValidatorOptions& o, Probe& p);
void checkParameterFuzz(const ValidatorOptions& o, Probe& p);
void checkNoLiveBlocks(const ValidatorOptions& o, Probe& p);

}  // namespace kwhost::validate

#endif
