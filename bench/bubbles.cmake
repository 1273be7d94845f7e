# The bubble field: one simulation frame and the resting layout of 120
# groups, one full paint of 120 bubbles at 1400 × 800, one frame of the
# endless motions (spin, halo, ring, dots) with what it repaints, and one
# second of a small resting field with its sample.
if(TARGET tavrin_field)
  add_executable(bench_bubbles ${CMAKE_CURRENT_SOURCE_DIR}/bubbles_bench.cpp ${CMAKE_CURRENT_SOURCE_DIR}/widget_main.cpp)
  target_link_libraries(bench_bubbles PRIVATE tavrin_field benchmark::benchmark Qt6::Widgets)
endif()
