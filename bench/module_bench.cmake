# The module's Execute through the loaded module, and the demo scene headless.
add_executable(module_bench module_bench.cpp)
target_link_libraries(module_bench PRIVATE kw_support benchmark::benchmark)
target_compile_options(module_bench PRIVATE ${KW_WARNINGS})
