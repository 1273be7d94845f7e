# The interface kit's fonts, symbols and animated values; pixmaps need an
# application object, which the painting benchmarks' shared main makes.
if(TARGET Qt6::Widgets AND TARGET Qt6::DBus AND TARGET Qt6::Multimedia)
  add_executable(bench_kit ${CMAKE_CURRENT_SOURCE_DIR}/kit_bench.cpp ${CMAKE_CURRENT_SOURCE_DIR}/widget_main.cpp)
  target_link_libraries(bench_kit PRIVATE tavrin_ui benchmark::benchmark)
endif()
