// The module for a benchmark, loaded once per process by the tests' loader;
// a benchmark that needs it is skipped with the reason when it cannot be.
#ifndef KW_BENCH_BENCH_MODULE_H
#define KW_BENCH_BENCH_MODULE_H

#include <benchmark/benchmark.h>

#include <string>

#include "module_once.h"

namespace kwbench {

inline bool moduleOrSkip(benchmark::State& state) {
  std::string why;
  if (kwtest::moduleOnce(&why)) return true;
  state.SkipWithError(why.c_str());
  return false;
}

}  // namespace kwbench

#endif
