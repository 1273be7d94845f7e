# The settings controls and their pure maths, under kit_main's application
# object.
if(TARGET Qt6::Widgets AND TARGET Qt6::DBus AND TARGET Qt6::Multimedia)
  find_package(Qt6 6.4 REQUIRED COMPONENTS Test)
  add_executable(test_ui_settings
    ${CMAKE_CURRENT_SOURCE_DIR}/kit_main.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/settings_controls_test.cpp
  )
  target_link_libraries(test_ui_settings PRIVATE tavrin_ui Qt6::Test GTest::gtest GTest::gmock)
  add_test(NAME test_ui_settings COMMAND test_ui_settings)
  set_tests_properties(test_ui_settings PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endif()
