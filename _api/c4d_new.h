// The allocation tag and placement forms of <new>. A toolchain for a platform
// whose C++ headers are not at hand (the Mac OS X build without an SDK has no
// libc++ headers) gets the few declarations the module needs from here; any
// other takes the real header.
#ifndef KW_C4D_NEW_H
#define KW_C4D_NEW_H

#if __has_include(<new>)
#include <new>
#else
#include <stddef.h>

namespace std {
struct nothrow_t {
  explicit nothrow_t() = default;
};
extern const nothrow_t nothrow;
}  // namespace std

inline void* operator new(size_t, void* p) noexcept { return p; }
inline void* operator new[](size_t, void* p) noexcept { return p; }
inline void operator delete(void*, void*) noexcept {}
inline void operator delete[](void*, void*) noexcept {}
#endif

#endif
