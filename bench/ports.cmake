# The ports list: the rows of a sample and the refresh that shows them. The
# view paints under an application object, so the program has its own main.
if(TARGET tavrin_network)
  add_executable(bench_ports ${CMAKE_CURRENT_SOURCE_DIR}/ports_bench.cpp ${CMAKE_CURRENT_SOURCE_DIR}/widget_main.cpp)
  target_link_libraries(bench_ports PRIVATE tavrin_network benchmark::benchmark Qt6::Widgets)
endif()
