// The module's memory operators route every allocation to the host's
// allocator while the host table is bound, and to the platform allocator
// (with an 8-byte marker in front of the block) before that.
#ifndef KW_C4D_MEMORY_H
#define KW_C4D_MEMORY_H

#include "c4d_new.h"

#include "c4d_types.h"

// Set once any block has come from the platform allocator.
extern LONG stdlib_mem_used;

// Debug forms: the caller's line and source file go to the host's allocator.
void* operator new(size_t size, const std::nothrow_t&, LONG line, const CHAR* file) noexcept;
void* operator new[](size_t size, const std::nothrow_t&, LONG line, const CHAR* file) noexcept;
void* operator new(size_t size, const std::nothrow_t&, LONG line, const CHAR* file, Bool clear) noexcept;
void* operator new[](size_t size, const std::nothrow_t&, LONG line, const CHAR* file, Bool clear) noexcept;
void operator delete(void* p, const std::nothrow_t&, LONG line, const CHAR* file) noexcept;
void operator delete[](void* p, const std::nothrow_t&, LONG line, const CHAR* file) noexcept;
void operator delete(void* p, const std::nothrow_t&, LONG line, const CHAR* file, Bool clear) noexcept;
void operator delete[](void* p, const std::nothrow_t&, LONG line, const CHAR* file, Bool clear) noexcept;

// The SDK's allocation macro: nothrow, with the caller's position. Unit tests
// that link the tag's sources into an ordinary program use the program's own
// allocator instead of replacing it.
#ifdef KW_UNIT_TEST
#define gNew new (std::nothrow)
#else
#define gNew new (std::nothrow, __LINE__, __FILE__)
#endif

template <class T>
inline void gDelete(T*& p) {
  delete p;
  p = nullptr;
}

#endif
