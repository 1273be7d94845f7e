# The simulated machine of demo mode.
add_library(tavrin_demo STATIC
  ${CMAKE_CURRENT_LIST_DIR}/demo_source.cpp
  ${CMAKE_CURRENT_LIST_DIR}/demo_tables.cpp
)
target_link_libraries(tavrin_demo PUBLIC tavrin_core)
