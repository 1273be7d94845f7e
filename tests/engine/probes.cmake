tavrin_test(test_probes
  SOURCES probes_parse_test.cpp probes_system_test.cpp probes_process_test.cpp
  LIBS tavrin_probes)
add_dependencies(test_probes tavrin-ps)
