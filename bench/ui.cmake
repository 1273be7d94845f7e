tavrin_bench(bench_ui SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/ui_bench.cpp LIBS tavrin_ui)
