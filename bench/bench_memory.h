// Cold caches and the streaming floor, shared by the benchmarks: every timed
// iteration that must start cold writes a 1 GiB buffer first (more than the
// last-level cache), outside the timing; the floor is one pass reading a
// mesh's arrays, the least any frame that reads the mesh must pay.
#ifndef KW_BENCH_BENCH_MEMORY_H
#define KW_BENCH_BENCH_MEMORY_H

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kwbench {

inline void flushCaches() {
  static std::vector<char> buf(size_t(1) << 30, 1);
  for (size_t i = 0; i < buf.size(); i += 64) buf[i] = char(buf[i] + 1);
  benchmark::ClobberMemory();
}

// Sums n values in 8 independent lanes: bound by memory, not by the adds.
template <class T>
double streamSum(const T* p, size_t n) {
  T a[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  size_t i = 0;
  for (; i + 8 <= n; i += 8)
    for (int k = 0; k < 8; ++k) a[k] += p[i + k];
  double s = 0;
  for (; i < n; ++i) s += double(p[i]);
  for (T x : a) s += double(x);
  return s;
}

}  // namespace kwbench

#endif
