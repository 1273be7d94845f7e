# The tray glyph, drawn as the tray draws it once per snapshot.
if(TARGET tavrin_app)
  add_executable(bench_tray ${CMAKE_CURRENT_SOURCE_DIR}/tray_bench.cpp ${CMAKE_CURRENT_SOURCE_DIR}/widget_main.cpp)
  target_link_libraries(bench_tray PRIVATE tavrin_app benchmark::benchmark Qt6::Widgets)
endif()
