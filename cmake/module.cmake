# The module's sources, one list for every deliverable.
set(KW_MODULE_ROOT ${CMAKE_CURRENT_LIST_DIR}/..)

# Host binding layer and the tag; everything but the entry point and the
# replacement of the global memory operators, so that unit tests can link the
# same code into an ordinary program.
set(KW_CORE_SOURCES
  _api/c4d_basecontainer.cpp
  _api/c4d_basedraw.cpp
  _api/c4d_description.cpp
  _api/c4d_general.cpp
  _api/c4d_nodedata.cpp
  _api/c4d_nodes.cpp
  _api/c4d_orientation.cpp
  _api/c4d_os.cpp
  _api/c4d_random.cpp
  _api/c4d_raycollider.cpp
  _api/c4d_resource.cpp
  _api/c4d_string.cpp
  source/main.cpp
  source/tag/Kestrelwood.cpp
  source/tag/geometry.cpp
  source/tag/vision_helper.cpp
  source/tag/obstacles.cpp
  source/tag/neighbours.cpp
  source/tag/terrain.cpp
  source/tag/execute.cpp
  source/tag/record_start.cpp
  source/tag/draw.cpp
  source/tag/affine_inverse.cpp
  source/tag/start_table.cpp
  source/tag/crowd_snapshot.cpp
  source/tag/neighbour_scan.cpp
  source/tag/scene_views.cpp
)
list(TRANSFORM KW_CORE_SOURCES PREPEND ${KW_MODULE_ROOT}/)

set(KW_ENTRY_SOURCES
  ${KW_MODULE_ROOT}/_api/c4d_memory.cpp
  ${KW_MODULE_ROOT}/_api/c4d_pmain.cpp
)

# res/: the description header, whose parameter ids the tag takes.
set(KW_MODULE_INCLUDES ${KW_MODULE_ROOT}/_api ${KW_MODULE_ROOT}/source ${KW_MODULE_ROOT}/res)

# No exceptions, no RTTI, no C++ runtime: the module links against the C
# library and its maths only, and exports nothing but c4d_main.
set(KW_MODULE_CXX_FLAGS -std=c++17 -fno-exceptions -fno-rtti -fno-threadsafe-statics -fcheck-new
    -fvisibility=hidden -fvisibility-inlines-hidden ${KW_WARNINGS})

# Where built modules go: DIR/NAME/NAME.EXT with DIR/NAME/res beside it.
set(KW_PLUGIN_DIR ${CMAKE_BINARY_DIR}/plugins)

function(kw_add_module name)
  add_library(${name} SHARED ${KW_CORE_SOURCES} ${KW_ENTRY_SOURCES})
  target_include_directories(${name} PRIVATE ${KW_MODULE_INCLUDES})
  target_compile_options(${name} PRIVATE ${KW_MODULE_CXX_FLAGS})
  set_target_properties(${name} PROPERTIES
    PREFIX ""
    OUTPUT_NAME Kestrelwood
    CXX_STANDARD 17
    CXX_STANDARD_REQUIRED ON
    LINKER_LANGUAGE C
    LIBRARY_OUTPUT_DIRECTORY ${KW_PLUGIN_DIR}/Kestrelwood
    RUNTIME_OUTPUT_DIRECTORY ${KW_PLUGIN_DIR}/Kestrelwood)
  if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    # Every symbol resolved at link time, except in clang's sanitizer builds:
    # there the sanitizer and coverage runtimes live in the executable that
    # loads the module and are bound when it is loaded.
    set(defs -Wl,--no-undefined -Wl,-z,defs)
    if("${CMAKE_C_FLAGS} ${CMAKE_CXX_FLAGS}" MATCHES "-fsanitize=" AND CMAKE_C_COMPILER_ID STREQUAL "Clang")
      set(defs)
    endif()
    target_link_options(${name} PRIVATE -Wl,--version-script=${KW_MODULE_ROOT}/cmake/module.map ${defs})
    target_link_libraries(${name} PRIVATE m)
    set_target_properties(${name} PROPERTIES SUFFIX ".so" LINK_DEPENDS ${KW_MODULE_ROOT}/cmake/module.map)
  elseif(WIN32)
    # A DLL named for the host's loader: .rir64 on x64, .cdl on x86. The .def
    # file is the export table (c4d_main, undecorated: the entry is cdecl);
    # nothing else is exported automatically. The C and compiler runtimes are
    # linked in, so the module needs only the system's DLLs; release builds
    # drop the debug sections the runtime's objects bring along.
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
      set(suffix ".rir64")
    else()
      set(suffix ".cdl")
    endif()
    target_sources(${name} PRIVATE ${KW_MODULE_ROOT}/cmake/module.def)
    target_link_options(${name} PRIVATE
      -static -static-libgcc -static-libstdc++ -Wl,--exclude-all-symbols -Wl,--no-undefined
      $<$<NOT:$<CONFIG:Debug>>:-s>)
    set_target_properties(${name} PROPERTIES SUFFIX ${suffix}
      ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/implib)
  elseif(APPLE)
    # A Mach-O dynamic library built without a macOS SDK: the platform
    # functions of c4d_platform.h (and what the compiler itself calls) stay
    # undefined and are bound by dyld from the process the host runs in. The
    # export list keeps the module's own operator new/delete out of the
    # export trie, where they would replace the host's.
    target_compile_options(${name} PRIVATE -fno-stack-protector -fvisibility-global-new-delete-hidden)
    target_link_options(${name} PRIVATE
      -Wl,-undefined,dynamic_lookup -Wl,-exported_symbols_list,${KW_MODULE_ROOT}/cmake/module.exp)
    # The host opens the module by path; its install name carries no build path.
    set_target_properties(${name} PROPERTIES SUFFIX ".dylib" LINK_DEPENDS ${KW_MODULE_ROOT}/cmake/module.exp
      BUILD_WITH_INSTALL_NAME_DIR ON INSTALL_NAME_DIR "@loader_path")
  endif()
  # res/ travels with the module.
  add_custom_command(TARGET ${name} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${KW_MODULE_ROOT}/res $<TARGET_FILE_DIR:${name}>/res)
endfunction()

# The module's sources as a static library for unit tests in a normal program.
function(kw_add_module_core name)
  add_library(${name} STATIC ${KW_CORE_SOURCES})
  target_include_directories(${name} PUBLIC ${KW_MODULE_INCLUDES})
  target_compile_options(${name} PRIVATE -std=c++17 -fno-exceptions -fno-rtti ${KW_WARNINGS})
  target_compile_definitions(${name} PUBLIC KW_UNIT_TEST)
endfunction()
