// Checks the module's memory operators: the platform fallback before the host
// table is bound, routing to the host's allocator after, and delete sending
// every block back to where it came from.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "c4d_memory.h"
#include "c4d_os.h"

namespace {

int failures = 0;

void Check(bool ok, const char* what) {
  if (!ok) {
    std::printf("FAIL: %s\n", what);
    ++failures;
  }
}

// A stand-in host allocator: counts blocks and keeps a header whose last
// 8 bytes are never all ones.
struct Account {
  int allocs = 0, allocsNc = 0, frees = 0;
  size_t lastSize = 0;
} account;

const size_t kHeader = 16;

void* HostAlloc(size_t size, int32_t, const char*) {
  ++account.allocs;
  account.lastSize = size;
  unsigned char* raw = static_cast<unsigned char*>(std::calloc(1, size + kHeader));
  return raw ? raw + kHeader : nullptr;
}

void* HostAllocNc(size_t size, int32_t line, const char* file) {
  ++account.allocsNc;
  --account.allocs;
  return HostAlloc(size, line, file);
}

void HostFree(void* p) {
  if (!p) return;
  ++account.frees;
  std::free(static_cast<unsigned char*>(p) - kHeader);
}

bool AllOnesBefore(const void* p) {
  // Read through an integer address: the bytes lie before the object proper.
  const unsigned char* m = reinterpret_cast<const unsigned char*>(reinterpret_cast<uintptr_t>(p) - 8);
  for (int i = 0; i < 8; ++i)
    if (m[i] != 0xFF) return false;
  return true;
}

bool AllZero(const void* p, size_t n) {
  const unsigned char* b = static_cast<const unsigned char*>(p);
  for (size_t i = 0; i < n; ++i)
    if (b[i]) return false;
  return true;
}

}  // namespace

int main() {
  // Before the table is bound: platform blocks with the all-ones marker.
  Check(t_C4DOS == nullptr, "table unbound at start");
  char* early = new (std::nothrow) char[32];
  Check(early != nullptr, "fallback allocation succeeds");
  Check(AllOnesBefore(early), "fallback block carries the 8-byte marker");
  Check(AllZero(early, 32), "fallback block is zero-filled");
  Check(stdlib_mem_used != 0, "fallback sets stdlib_mem_used");

  char* zeroA = new (std::nothrow) char[0];
  char* zeroB = new (std::nothrow) char[0];
  Check(zeroA && zeroB && zeroA != zeroB, "zero-byte fallback blocks are valid and distinct");

  volatile size_t hugeSize = SIZE_MAX - 4;
  void* huge = operator new(hugeSize, std::nothrow);
  Check(huge == nullptr, "a size that overflows with the marker gives null");

  // Bind a host table.
  static C4D_OS table;
  std::memset(&table, 0, sizeof(table));
  table.version = KW_HOST_VERSION;
  table.memory.alloc = HostAlloc;
  table.memory.alloc_nc = HostAllocNc;
  table.memory.free = HostFree;
  t_C4DOS = &table;

  int* host = new (std::nothrow, 7, "here.cpp") int[4];
  Check(host && account.allocs == 1, "bound: allocation goes to the host");
  Check(!AllOnesBefore(host), "host block has no marker");
  void* zeroHost = operator new(0, std::nothrow);
  Check(zeroHost && account.lastSize == 1, "bound: size 0 asks the host for 1 byte");
  void* nc = operator new(8, std::nothrow, 1, "x.cpp", FALSE);
  Check(nc && account.allocsNc == 1, "clear FALSE uses the non-clearing allocator");
  void* cl = operator new(8, std::nothrow, 1, "x.cpp", TRUE);
  Check(cl && account.allocsNc == 1, "clear TRUE uses the clearing allocator");

  // Deletes go back where each block came from.
  int freesBefore = account.frees;
  delete[] early;
  delete[] zeroA;
  delete[] zeroB;
  Check(account.frees == freesBefore, "fallback blocks go to free() after binding");
  delete[] host;
  operator delete(zeroHost);
  operator delete(nc);
  operator delete(cl);
  Check(account.frees == freesBefore + 4, "host blocks go back to the host");
  operator delete(nullptr);
  Check(account.frees == freesBefore + 4, "deleting null does nothing");

  t_C4DOS = nullptr;
  std::printf("%s\n", failures ? "memory operators: FAILED" : "memory operators: all checks passed");
  return failures ? 1 : 0;
}
