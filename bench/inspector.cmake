# The inspector: one refresh of a large group, and the descriptor breakdown
# of a process holding many descriptors. Widgets need an application object,
# so the program has its own main.
if(TARGET tavrin_process)
  add_executable(bench_inspector ${CMAKE_CURRENT_SOURCE_DIR}/inspector_bench.cpp ${CMAKE_CURRENT_SOURCE_DIR}/widget_main.cpp)
  target_link_libraries(bench_inspector PRIVATE tavrin_process benchmark::benchmark Qt6::Widgets)
endif()
