tavrin_test(test_probes
  SOURCES probes_parse_test.cpp probes_system_test.cpp probes_process_test.cpp
  LIBS tavrin_probes)
add_dependencies(test_probes tavrin-ps)
target_include_directories(test_probes PRIVATE ${PROJECT_SOURCE_DIR}/tests)
