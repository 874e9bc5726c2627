# Scene files of great depth and width: the kestrelwood program as a user
# runs it, and the scene reader and writer as parts.
add_executable(scene_bench scene_bench.cpp)
target_link_libraries(scene_bench PRIVATE kw_support benchmark::benchmark)
target_compile_options(scene_bench PRIVATE ${KW_WARNINGS})
add_dependencies(scene_bench kestrelwood)
