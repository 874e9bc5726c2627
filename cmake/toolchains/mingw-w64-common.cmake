# What both mingw-w64 toolchains share; KW_MINGW_TRIPLE names the target.
# Debian ships each compiler in a win32 and a posix thread flavour. Only the
# posix one has std::mutex and std::thread (the host and GoogleTest need
# them); its winpthread is linked statically like the rest of the runtime,
# and the module, which creates no threads, pulls none of it in.
find_program(CMAKE_C_COMPILER NAMES ${KW_MINGW_TRIPLE}-gcc-posix REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${KW_MINGW_TRIPLE}-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${KW_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${KW_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs built for Windows (the host and its tests) run here under wine.
find_program(KW_WINE NAMES wine)
if(KW_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KW_WINE})
endif()

# Every program links the C, C++ and thread runtimes in, so it runs under wine
# (and on Windows) with the system's DLLs alone, no mingw DLL beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
