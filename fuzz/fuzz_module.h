// The module for a fuzz target: loaded once per process by the tests' loader
// (KW_FUZZ_MODULE in the environment names another build of it), and ended
// at exit, when none of its blocks may be left live. A fuzz target reports a
// fault by aborting, with one line on standard error.
#ifndef KW_FUZZ_FUZZ_MODULE_H
#define KW_FUZZ_FUZZ_MODULE_H

#include <cstdio>
#include <cstdlib>
#include <string>

#include "module_once.h"

namespace kwfuzz {

inline void check(const std::string& problem) {
  if (problem.empty()) return;
  std::fprintf(stderr, "fuzz: invariant broken: %s\n", problem.c_str());
  std::abort();
}

inline void endModuleAtExit() {
  const std::string left = kwtest::endModuleOnce();
  if (left.empty()) return;
  std::fprintf(stderr, "fuzz: after the module ended: %s\n", left.c_str());
  std::abort();
}

inline kwhost::Module& module() {
  static kwhost::Module* const m = [] {
    const char* env = std::getenv("KW_FUZZ_MODULE");
    std::string why;
    kwhost::Module* loaded = kwtest::moduleOnce(&why, env ? env : "");
    if (!loaded) {
      std::fprintf(stderr, "fuzz: %s\n", why.c_str());
      std::abort();
    }
    // After the loader's own handler, so run before it.
    std::atexit(endModuleAtExit);
    return loaded;
  }();
  return *m;
}

}  // namespace kwfuzz

#endif
