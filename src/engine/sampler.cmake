add_library(tavrin_sampler STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/sampler.cpp
)
target_link_libraries(tavrin_sampler PUBLIC tavrin_probes tavrin_net tavrin_detector tavrin_demo tavrin_core)
