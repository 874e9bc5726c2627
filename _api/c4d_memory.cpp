#include "c4d_memory.h"

#include "c4d_os.h"
#include "c4d_platform.h"

LONG stdlib_mem_used = 0;

namespace {

// Bytes in front of a platform block; all ones marks a block as ours.
const size_t kMarkerSize = 8;

void FillBytes(unsigned char* p, unsigned char v, size_t n) {
  for (size_t i = 0; i < n; ++i) p[i] = v;
}

bool HasMarker(const void* block) {
  const unsigned char* m = static_cast<const unsigned char*>(block) - kMarkerSize;
  for (size_t i = 0; i < kMarkerSize; ++i)
    if (m[i] != 0xFF) return false;
  return true;
}

void* PlatformAlloc(size_t size, bool clear) {
  // A size of 0 still yields a distinct block; a size that overflows with
  // the marker added yields null instead of a block too small to use.
  size_t payload = size == 0 ? 1 : size;
  if (payload > static_cast<size_t>(-1) - kMarkerSize) return nullptr;
  unsigned char* raw = static_cast<unsigned char*>(malloc(payload + kMarkerSize));
  if (!raw) return nullptr;
  if (clear) FillBytes(raw + kMarkerSize, 0, payload);
  FillBytes(raw, 0xFF, kMarkerSize);
  stdlib_mem_used = TRUE;
  return raw + kMarkerSize;
}

void* Alloc(size_t size, LONG line, const CHAR* file, bool clear) {
  if (!t_C4DOS) return PlatformAlloc(size, clear);
  if (size == 0) size = 1;
  return clear ? C4DOS.memory.alloc(size, line, file) : C4DOS.memory.alloc_nc(size, line, file);
}

void Free(void* p) {
  if (!p) return;
  if (stdlib_mem_used && HasMarker(p)) {
    free(static_cast<unsigned char*>(p) - kMarkerSize);
    return;
  }
  C4DOS.memory.free(p);
}

}  // namespace

void* operator new(size_t size) { return Alloc(size, 0, nullptr, true); }
void* operator new[](size_t size) { return Alloc(size, 0, nullptr, true); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return Alloc(size, 0, nullptr, true); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return Alloc(size, 0, nullptr, true); }
void* operator new(size_t size, const std::nothrow_t&, LONG line, const CHAR* file) noexcept {
  return Alloc(size, line, file, true);
}
void* operator new[](size_t size, const std::nothrow_t&, LONG line, const CHAR* file) noexcept {
  return Alloc(size, line, file, true);
}
void* operator new(size_t size, const std::nothrow_t&, LONG line, const CHAR* file, Bool clear) noexcept {
  return Alloc(size, line, file, clear != FALSE);
}
void* operator new[](size_t size, const std::nothrow_t&, LONG line, const CHAR* file, Bool clear) noexcept {
  return Alloc(size, line, file, clear != FALSE);
}

void operator delete(void* p) noexcept { Free(p); }
void operator delete[](void* p) noexcept { Free(p); }
void operator delete(void* p, size_t) noexcept { Free(p); }
void operator delete[](void* p, size_t) noexcept { Free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Free(p); }
void operator delete(void* p, const std::nothrow_t&, LONG, const CHAR*) noexcept { Free(p); }
void operator delete[](void* p, const std::nothrow_t&, LONG, const CHAR*) noexcept { Free(p); }
void operator delete(void* p, const std::nothrow_t&, LONG, const CHAR*, Bool) noexcept { Free(p); }
void operator delete[](void* p, const std::nothrow_t&, LONG, const CHAR*, Bool) noexcept { Free(p); }

// The module carries its own nothrow tag so that it needs no C++ runtime.
namespace std {
const nothrow_t nothrow{};
}
