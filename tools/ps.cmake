# tavrin-ps: the command-line front over the producer the restricted probe
# runs in-process. Built from the Qt-free /proc readers only, so it starts in
# a blink.
add_executable(tavrin-ps
  tavrin_ps.cpp
  ${PROJECT_SOURCE_DIR}/src/platform/ps_producer.cpp)
target_link_libraries(tavrin-ps PRIVATE tavrin_procfs)
set_target_properties(tavrin-ps PROPERTIES AUTOMOC OFF)
# A static binary skips the dynamic loader's work at each start.
if(NOT TAVRIN_SANITIZE)
  target_link_options(tavrin-ps PRIVATE -static)
endif()
