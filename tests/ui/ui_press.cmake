# Hover holds, press styles, icons and their widgets, under kit_main's
# application object.
if(TARGET Qt6::Widgets AND TARGET Qt6::DBus AND TARGET Qt6::Multimedia)
  find_package(Qt6 6.4 REQUIRED COMPONENTS Test)
  add_executable(test_ui_press
    ${CMAKE_CURRENT_SOURCE_DIR}/kit_main.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/press_style_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/press_button_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/hover_hold_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/hold_badge_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/icons_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/row_list_test.cpp
  )
  target_link_libraries(test_ui_press PRIVATE tavrin_ui Qt6::Test GTest::gtest GTest::gmock)
  add_test(NAME test_ui_press COMMAND test_ui_press)
  set_tests_properties(test_ui_press PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endif()
