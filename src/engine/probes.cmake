# Probes of the live machine: /proc and /sys readers and the system, process
# and restricted probes.
add_library(tavrin_probes STATIC
  ${PROJECT_SOURCE_DIR}/src/platform/sys_machine.cpp
  system_probe.cpp
  process_probe.cpp
  process_inspect.cpp
  restricted_probe.cpp
)
target_link_libraries(tavrin_probes PUBLIC tavrin_core)
