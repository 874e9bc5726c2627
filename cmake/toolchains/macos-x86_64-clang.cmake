# Mac OS X x86_64 with Debian's clang and ld64.lld (package lld), without a
# macOS SDK. The module includes only freestanding headers, which come from
# clang's own resource folder; every platform function it calls is resolved
# when the host loads it (-undefined dynamic_lookup, see cmake/module.cmake).
set(CMAKE_SYSTEM_NAME Darwin)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
# The oldest deployment target clang and ld64.lld accept for x86_64; the host
# release the module is for ran on Mac OS X 10.6.
set(CMAKE_OSX_DEPLOYMENT_TARGET 10.6 CACHE STRING "")
set(CMAKE_OSX_ARCHITECTURES x86_64 CACHE STRING "")
set(CMAKE_OSX_SYSROOT "" CACHE PATH "")

set(KW_MAC_TARGET x86_64-apple-macos${CMAKE_OSX_DEPLOYMENT_TARGET})
find_program(CMAKE_C_COMPILER NAMES clang clang-14 REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES clang++ clang++-14 REQUIRED)
set(CMAKE_C_COMPILER_TARGET ${KW_MAC_TARGET})
set(CMAKE_CXX_COMPILER_TARGET ${KW_MAC_TARGET})
find_program(KW_LD64_LLD NAMES ld64.lld ld64.lld-14 REQUIRED)

# No SDK: only clang's own headers (-nostdlibinc keeps the build machine's
# /usr/include out, -nostdinc++ a stray libc++), no start files, no libSystem.
set(CMAKE_CXX_FLAGS_INIT "-nostdlibinc -nostdinc++")
# -mlinker-version names a linker new enough for clang to pass -platform_version,
# which ld64.lld requires.
set(KW_MAC_LINK_FLAGS "--ld-path=${KW_LD64_LLD} -mlinker-version=609 -nostdlib")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${KW_MAC_LINK_FLAGS}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${KW_MAC_LINK_FLAGS}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${KW_MAC_LINK_FLAGS}")
# The compiler check links a test program, which needs libSystem; a static
# library is enough to prove the compiler works.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
