# The settings window: opening it to its first paint, and one frame of a
# threshold drag. It paints under an application object, so the program has
# its own main.
if(TARGET tavrin_settings)
  add_executable(bench_settings ${CMAKE_CURRENT_SOURCE_DIR}/settings_bench.cpp ${CMAKE_CURRENT_SOURCE_DIR}/widget_main.cpp)
  target_link_libraries(bench_settings PRIVATE tavrin_settings benchmark::benchmark Qt6::Widgets)
endif()
