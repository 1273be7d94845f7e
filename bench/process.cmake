# The process list: one refresh, one painted viewport, one scroll step. The
# list paints under an application object, so the program has its own main.
if(TARGET tavrin_process)
  add_executable(bench_process ${CMAKE_CURRENT_SOURCE_DIR}/process_bench.cpp ${CMAKE_CURRENT_SOURCE_DIR}/widget_main.cpp)
  target_link_libraries(bench_process PRIVATE tavrin_process benchmark::benchmark Qt6::Widgets)
endif()
