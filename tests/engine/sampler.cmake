tavrin_test(test_sampler
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/sampler_test.cpp
  LIBS tavrin_sampler)
target_include_directories(test_sampler PRIVATE ${PROJECT_SOURCE_DIR}/tests)
