# tavrin-nettop: a one-shot front over the producer the connection reader runs
# in-process. Its Qt-free core lives in tavrin_nettop_core
# (src/engine/network.cmake).
add_executable(tavrin-nettop ${CMAKE_CURRENT_SOURCE_DIR}/tavrin_nettop.cpp)
target_link_libraries(tavrin-nettop PRIVATE tavrin_nettop_core)
# A static binary skips the dynamic loader's work at each start (it uses
# nothing from glibc that needs loadable modules).
if(NOT TAVRIN_SANITIZE)
  target_link_options(tavrin-nettop PRIVATE -static)
endif()
