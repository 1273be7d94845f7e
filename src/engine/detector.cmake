add_library(tavrin_detector STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/detector.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/incident_rules.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/incident_store.cpp
)
target_link_libraries(tavrin_detector PUBLIC tavrin_core)
