# The domains list: build() over a full log, and one refresh of the rows
# that fill a window. The rows paint under an application object, so the
# program has its own main.
if(TARGET tavrin_network)
  add_executable(bench_domains ${CMAKE_CURRENT_SOURCE_DIR}/domains_bench.cpp ${CMAKE_CURRENT_SOURCE_DIR}/widget_main.cpp)
  target_link_libraries(bench_domains PRIVATE tavrin_network benchmark::benchmark Qt6::Widgets)
endif()
