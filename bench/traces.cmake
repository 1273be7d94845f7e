# The system traces: the model built from one sample, and four traces
# repainted, both a glide frame (the cached drawing moved) and a new sample
# (the drawing rebuilt). They paint, so the program has its own main.
if(TARGET tavrin_field)
  add_executable(bench_traces ${CMAKE_CURRENT_SOURCE_DIR}/traces_bench.cpp ${CMAKE_CURRENT_SOURCE_DIR}/widget_main.cpp)
  target_link_libraries(bench_traces PRIVATE tavrin_field benchmark::benchmark Qt6::Widgets)
endif()
