# tinyobjloader, the OBJ reader of the host, compiled from its single header
# (Debian's libtinyobjloader-dev) into a static library of our own, for every
# build: the program then needs no shared library of it (Debian ships one for
# Linux only), so the same program runs on a machine without the package.
# Cross builds find the header after the cross compiler's own (-idirafter),
# so that no glibc header shadows a mingw one.
set(kw_tinyobj_impl ${CMAKE_BINARY_DIR}/generated/tinyobjloader_impl.cpp)
file(CONFIGURE OUTPUT ${kw_tinyobj_impl}
  CONTENT "#define TINYOBJLOADER_IMPLEMENTATION\n#include <tiny_obj_loader.h>\n")
add_library(kw_tinyobjloader STATIC ${kw_tinyobj_impl})
if(CMAKE_CROSSCOMPILING)
  target_compile_options(kw_tinyobjloader PUBLIC -idirafter /usr/include)
endif()
set_target_properties(kw_tinyobjloader PROPERTIES POSITION_INDEPENDENT_CODE ON)
add_library(tinyobjloader::tinyobjloader ALIAS kw_tinyobjloader)
