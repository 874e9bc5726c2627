# The module's Execute through the loaded module, and the demo scene headless.
add_executable(module_bench module_bench.cpp)
target_link_libraries(module_bench PRIVATE kwhost_validate kwhost_scene benchmark::benchmark)
target_compile_options(module_bench PRIVATE ${KW_WARNINGS})
target_compile_definitions(module_bench PRIVATE KW_BENCH_MODULE="$<TARGET_FILE:Kestrelwood>")
add_dependencies(module_bench Kestrelwood)
