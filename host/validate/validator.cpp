#include "validate/validator.h"

#include <chrono>
#include <cstdio>
#include <exception>

#include "validate/checks.h"
#include "validate/module_account.h"

namespace kwhost::validate {

namespace {

struct CheckEntry {
  const char* name;
  const char* what;  // one line for the listing
  void (*run)(const ValidatorOptions&, Probe&);
};

const CheckEntry kChecks[] = {
    {"repeated-load", "load, start, end and unload several times in one process", checkRepeatedLoad},
    {"lifecycle", "entry actions in order, version check, init counting", checkLifecycle},
    {"plugin-messages", "every plug-in message and its console lines", checkPluginMessages},
    {"registration", "the tag type, its name, flags, description and icon", checkRegistration},
    {"defaults", "a new tag carries exactly its eleven defaults", checkDefaults},
    {"record-restore-step", "record the start, step, restore at the first frame", checkRecordRestoreStep},
    {"shared-table", "several documents and tags share the module-wide agent table", checkSharedTable},
    {"copy-and-free", "a copied tag regains its start; a freed tag leaves the others running", checkCopyAndFree},
    {"save-reload", "a saved and reloaded scene regains its start state", checkSaveReload},
    {"deep-scene", "a crowd under 20,000 nested objects moves as at the top level, and saves and reloads", checkDeepScene},
    {"parameter-fuzz", "random, extreme and non-finite parameters for many frames", checkParameterFuzz},
    {"no-live-blocks", "no module block or handle outlives the module", checkNoLiveBlocks},
};

bool selected(const ValidatorOptions& o, const std::string& name) {
  if (o.only.empty()) return true;
  for (const auto& n : o.only)
    if (n == name) return true;
  return false;
}

}  // namespace

std::unique_ptr<Module> loadModule(const ValidatorOptions& o, Probe& p) {
  auto m = Module::load(o.modulePath);
  if (!p.require(m.ok(), m.ok() ? "" : m.error())) return nullptr;
  return std::move(m.value());
}

void unloadModule(std::unique_ptr<Module> m, Probe& p) {
  const std::string problem = endAndAccount(std::move(m));
  p.require(problem.empty(), problem);
}

std::vector<std::string> checkNames() {
  std::vector<std::string> out;
  for (const auto& c : kChecks) out.push_back(c.name);
  return out;
}

std::vector<CheckOutcome> runChecks(const ValidatorOptions& o, std::ostream* out) {
  std::vector<CheckOutcome> results;
  for (const auto& c : kChecks) {
    if (!selected(o, c.name)) continue;
    Probe probe;
    const auto t0 = std::chrono::steady_clock::now();
    try {
      c.run(o, probe);
    } catch (const std::exception& e) {
      probe.require(false, std::string("the host threw: ") + e.what());
    }
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    CheckOutcome r{c.name, !probe.failed(), probe.why()};
    if (out) {
      char time[32];
      std::snprintf(time, sizeof time, " (%.0f ms)", ms);
      *out << (r.passed ? "PASS " : "FAIL ") << r.name;
      if (!r.passed) *out << ": " << r.reason;
      *out << time << "\n";
      out->flush();
    }
    results.push_back(std::move(r));
  }
  return results;
}

int runValidator(const ValidatorOptions& o, std::ostream& out, std::ostream& err) {
  if (o.modulePath.empty()) {
    err << "error: validate: no module given\n";
    return 2;
  }
  if (o.strictness < 1 || o.strictness > 10) {
    err << "error: validate: --strictness must be 1 to 10, not " << o.strictness << "\n";
    return 2;
  }
  for (const auto& n : o.only) {
    bool known = false;
    for (const auto& c : kChecks) known = known || n == c.name;
    if (!known) {
      err << "error: validate: no check named \"" << n << "\"\n";
      return 2;
    }
  }
  // A file that is no loadable module fails every check for the same
  // reason: say it once, as the other commands do.
  {
    auto m = Module::load(o.modulePath);
    if (!m) {
      err << "error: " << m.error() << "\n";
      return 4;
    }
    (void)m.value()->end();
  }
  out << "Validating " << o.modulePath << " (strictness " << o.strictness << ", seed " << o.seed << ")\n";
  const auto results = runChecks(o, &out);
  int passed = 0, failed = 0;
  for (const auto& r : results) (r.passed ? passed : failed)++;
  out << passed << " passed, " << failed << " failed\n";
  return failed == 0 && passed > 0 ? 0 : 1;
}

}  // namespace kwhost::validate
