tavrin_test(test_sampler
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/sampler_test.cpp
  LIBS tavrin_sampler)
