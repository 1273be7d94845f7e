# The interface kit's fonts, symbols and animated values; pixmaps need an
# application object, so this program has its own main.
if(TARGET Qt6::Widgets AND TARGET Qt6::DBus AND TARGET Qt6::Multimedia)
  add_executable(bench_kit ${CMAKE_CURRENT_SOURCE_DIR}/kit_bench.cpp)
  target_link_libraries(bench_kit PRIVATE tavrin_ui benchmark::benchmark)
endif()
