# What a cross build adds beside the module. For Windows: a small loader that
# opens the module with LoadLibraryW and drives the entry points that need no
# host, run under wine by the Linux build's cross.* tests
# (build/<preset>/cross/module_smoke.exe). It links the C and C++ runtimes in,
# like the module, so that wine needs no mingw DLLs.
if(WIN32)
  add_executable(module_smoke ${KW_MODULE_ROOT}/tests/cross/module_smoke.cpp)
  target_include_directories(module_smoke PRIVATE ${KW_MODULE_ROOT}/_api)
  target_compile_options(module_smoke PRIVATE ${KW_WARNINGS})
  target_compile_features(module_smoke PRIVATE cxx_std_20)
  target_link_options(module_smoke PRIVATE -municode -static -static-libgcc -static-libstdc++)
  set_target_properties(module_smoke PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/cross)
endif()

# The host and its tests cross-built for Windows (KW_BUILD_HOST=ON with a
# win preset), to run the end-to-end tests under wine:
# - GoogleTest from the sources Debian ships in /usr/src/googletest (package
#   googletest), built with the cross compiler; its GTest:: targets stand in
#   for find_package(GTest).
# - The header-only libraries (nlohmann-json, CLI11) from the build machine's
#   /usr/include, searched after the cross compiler's own headers
#   (-idirafter), so that no glibc header ever shadows a mingw one. Their
#   package configurations would put /usr/include first; small stand-in
#   configurations in the build folder give the same targets instead.
if(WIN32 AND KW_BUILD_HOST)
  # Every test program of this build runs under wine, in a prefix of the
  # build folder (created by the wine.boot test).
  set(KW_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  set(CMAKE_CROSSCOMPILING_EMULATOR bash ${KW_MODULE_ROOT}/tests/cross/run_wine.sh ${KW_WINE_PREFIX} exec)

  # M_PI and friends in the tests (mingw's math.h hides them in strict mode).
  add_compile_definitions(_USE_MATH_DEFINES)
  set(KW_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for the cross build")
  if(NOT EXISTS ${KW_GTEST_SOURCE}/CMakeLists.txt)
    message(FATAL_ERROR "No GoogleTest sources in ${KW_GTEST_SOURCE}: install Debian's googletest package")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(${KW_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  foreach(t gtest gtest_main gmock gmock_main)
    if(TARGET ${t})
      target_link_options(${t} INTERFACE -static -static-libgcc -static-libstdc++)
    endif()
  endforeach()

  set(stubs ${CMAKE_BINARY_DIR}/cross-packages)
  foreach(pkg "nlohmann_json|nlohmann_json::nlohmann_json" "CLI11|CLI11::CLI11")
    string(REPLACE "|" ";" parts "${pkg}")
    list(GET parts 0 name)
    list(GET parts 1 target)
    file(WRITE ${stubs}/${name}/${name}Config.cmake
      "# Header-only ${name} from the build machine, for a cross build.\n"
      "if(NOT TARGET ${target})\n"
      "  add_library(${target} INTERFACE IMPORTED)\n"
      "  set_target_properties(${target} PROPERTIES INTERFACE_COMPILE_OPTIONS \"-idirafter;/usr/include\")\n"
      "endif()\n")
    file(WRITE ${stubs}/${name}/${name}ConfigVersion.cmake
      "set(PACKAGE_VERSION 99)\nset(PACKAGE_VERSION_COMPATIBLE TRUE)\n")
    set(${name}_DIR ${stubs}/${name} CACHE PATH "" FORCE)
  endforeach()
endif()
