# Launch scripts are pure text parsing and are fuzzed, so they build in every
# configuration; the Monitor itself needs the engine, the interface
# foundation and the session bus.
add_library(tavrin_launch STATIC ${CMAKE_CURRENT_SOURCE_DIR}/launch_script.cpp)
target_link_libraries(tavrin_launch PUBLIC tavrin_platform Qt6::Core)
target_include_directories(tavrin_launch PUBLIC ${PROJECT_SOURCE_DIR}/src)

if(NOT TAVRIN_FUZZ)
  find_package(Qt6 6.4 REQUIRED COMPONENTS DBus)
  add_library(tavrin_monitor STATIC
    ${CMAKE_CURRENT_SOURCE_DIR}/monitor.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/../platform/notifications.cpp
  )
  target_link_libraries(tavrin_monitor PUBLIC tavrin_sampler tavrin_ui tavrin_launch Qt6::DBus)
endif()
