// The real module, loaded through the host's loader once per fuzz process
// and ended at exit, when none of its blocks may be left live.
#ifndef KW_FUZZ_MODULE_ONCE_H
#define KW_FUZZ_MODULE_ONCE_H

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "core/module_loader.h"

namespace kwfuzz {

inline std::unique_ptr<kwhost::Module>& moduleSlot() {
  static std::unique_ptr<kwhost::Module> m;
  return m;
}

inline void endModuleAtExit() {
  auto& m = moduleSlot();
  if (!m) return;
  const kwhost::Account* account = &m->account();
  (void)m->end();
  m.reset();
  const kwhost::AccountSnapshot s = account->snapshot();
  if (s.liveBlocks != 0 || s.liveHandles != 0 || s.badFrees != 0) {
    std::fprintf(stderr, "fuzz: after the module ended: %lld live blocks, %lld live handles, %lld bad frees\n",
                 (long long)s.liveBlocks, (long long)s.liveHandles, (long long)s.badFrees);
    std::abort();
  }
}

// KW_FUZZ_MODULE in the environment overrides the module built with the targets.
inline kwhost::Module& module() {
  auto& m = moduleSlot();
  if (!m) {
    const char* env = std::getenv("KW_FUZZ_MODULE");
    auto loaded = kwhost::Module::load(env && *env ? env : KW_FUZZ_MODULE_PATH);
    if (!loaded) {
      std::fprintf(stderr, "fuzz: %s\n", loaded.error().c_str());
      std::abort();
    }
    m = std::move(loaded.value());
    std::atexit(endModuleAtExit);
  }
  return *m;
}

inline void check(const std::string& problem) {
  if (problem.empty()) return;
  std::fprintf(stderr, "fuzz: invariant broken: %s\n", problem.c_str());
  std::abort();
}

}  // namespace kwfuzz

#endif
