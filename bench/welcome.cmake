# The welcome logo: one frame's state, and one painted frame of the emblem.
if(TARGET tavrin_settings)
  add_executable(bench_welcome ${CMAKE_CURRENT_SOURCE_DIR}/welcome_bench.cpp ${CMAKE_CURRENT_SOURCE_DIR}/widget_main.cpp)
  target_link_libraries(bench_welcome PRIVATE tavrin_settings benchmark::benchmark Qt6::Widgets)
endif()
