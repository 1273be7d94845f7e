# Network area: the producer of the connection reader's text (no Qt, shared
# by the reader, tavrin-nettop, the tests and the fuzzers) and the engine's
# connection reader, host resolver and domain log.
add_library(tavrin_nettop_core STATIC
  ${PROJECT_SOURCE_DIR}/src/platform/nettop_format.cpp
  ${PROJECT_SOURCE_DIR}/src/platform/netlink_diag.cpp
  ${PROJECT_SOURCE_DIR}/src/platform/nettop_producer.cpp
)
target_include_directories(tavrin_nettop_core PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(tavrin_nettop_core PUBLIC tavrin_procfs)

add_library(tavrin_net STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/net_top.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/host_resolver.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/domain_log.cpp
)
target_link_libraries(tavrin_net PUBLIC tavrin_core tavrin_nettop_core)
