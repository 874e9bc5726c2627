# Whole frames from where the user stands (frames_bench.cpp): the command
# line as a process, the host library with the module loaded, and the
# references they are compared with.
# The reference boids step is built as a hand-written loop would be: -O2.
add_library(kw_boids_reference STATIC boids_reference.cpp)
target_compile_options(kw_boids_reference PRIVATE ${KW_WARNINGS} -O2)
target_compile_features(kw_boids_reference PRIVATE cxx_std_20)

add_executable(frames_bench frames_bench.cpp bench_scenes.cpp)
target_link_libraries(frames_bench PRIVATE kw_support kw_boids_reference benchmark::benchmark)
target_compile_options(frames_bench PRIVATE ${KW_WARNINGS})
add_dependencies(frames_bench kestrelwood)
