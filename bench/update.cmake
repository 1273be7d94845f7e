tavrin_bench(bench_update SOURCES update_bench.cpp LIBS tavrin_update_core)
target_include_directories(bench_update PRIVATE ${PROJECT_SOURCE_DIR}/tests/update)
