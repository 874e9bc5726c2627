# Windows x86 with Debian's mingw-w64 (package g++-mingw-w64-i686). The
# shared flags add SSE2 maths for this processor, so that single-precision
# steps round as on the 64-bit builds instead of in x87 extended precision.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(KW_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
