# The reactor gauge: a full paint, one pulse frame and the model of a sample.
# It paints under an application object, so the program has its own main.
if(TARGET tavrin_field)
  add_executable(bench_reactor ${CMAKE_CURRENT_SOURCE_DIR}/reactor_bench.cpp ${CMAKE_CURRENT_SOURCE_DIR}/widget_main.cpp)
  target_link_libraries(bench_reactor PRIVATE tavrin_field benchmark::benchmark Qt6::Widgets)
endif()

# repaint-floor: a bare window repainting one square, for repaint_floor.sh.
if(TARGET Qt6::Widgets)
  add_executable(repaint-floor ${CMAKE_CURRENT_SOURCE_DIR}/repaint_floor.cpp)
  target_link_libraries(repaint-floor PRIVATE Qt6::Widgets)
endif()
