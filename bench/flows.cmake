# The flows view: the graph built from a busy machine's connections, and
# one frame of running dashes over a full set of ribbons. It paints under an
# application object, so the program has its own main.
if(TARGET tavrin_network)
  add_executable(bench_flows ${CMAKE_CURRENT_SOURCE_DIR}/flows_bench.cpp ${CMAKE_CURRENT_SOURCE_DIR}/widget_main.cpp)
  target_link_libraries(bench_flows PRIVATE tavrin_network benchmark::benchmark Qt6::Widgets)
endif()
