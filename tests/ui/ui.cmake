tavrin_test(test_ui
  SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/scheduler_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/interaction_hold_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/frozen_order_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/theme_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/motion_test.cpp
  LIBS tavrin_ui)
