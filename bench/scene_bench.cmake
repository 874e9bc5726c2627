# Scene files of great depth and width: the kestrelwood program as a user
# runs it, and the scene reader and writer as parts.
add_executable(scene_bench scene_bench.cpp)
target_link_libraries(scene_bench PRIVATE kwhost_scene benchmark::benchmark)
target_compile_options(scene_bench PRIVATE ${KW_WARNINGS})
target_compile_definitions(scene_bench PRIVATE KW_BENCH_MODULE="$<TARGET_FILE:Kestrelwood>"
                                               KW_BENCH_PROGRAM="$<TARGET_FILE:kestrelwood>")
add_dependencies(scene_bench Kestrelwood kestrelwood)
