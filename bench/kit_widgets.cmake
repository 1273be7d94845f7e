# The kit's widgets paint under an application object, so this program has
# its own main.
if(TARGET Qt6::Widgets AND TARGET Qt6::DBus AND TARGET Qt6::Multimedia)
  find_package(Qt6 6.4 REQUIRED COMPONENTS Test)
  add_executable(bench_kit_widgets ${CMAKE_CURRENT_SOURCE_DIR}/kit_widgets_bench.cpp ${CMAKE_CURRENT_SOURCE_DIR}/widget_main.cpp)
  target_link_libraries(bench_kit_widgets PRIVATE tavrin_ui Qt6::Test benchmark::benchmark)
endif()
