tavrin_test(test_net
  SOURCES net_format_test.cpp net_producer_test.cpp net_top_test.cpp net_resolver_test.cpp net_domain_log_test.cpp
  LIBS tavrin_net tavrin_nettop_core)
# The live test also runs the one-shot tool.
add_dependencies(test_net tavrin-nettop)
