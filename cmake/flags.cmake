# Flags every target shares: warnings as errors, and floating point kept to
# the precision the source writes (no fused multiply-add, SSE2 on x86).
set(CMAKE_CXX_EXTENSIONS OFF)

set(KW_WARNINGS -Wall -Wextra -Wpedantic -Werror -Wno-unused-parameter)
set(KW_FP_FLAGS -ffp-contract=off)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i.86|x86)$")
  list(APPEND KW_FP_FLAGS -msse2 -mfpmath=sse)
endif()

add_compile_options(${KW_FP_FLAGS})
