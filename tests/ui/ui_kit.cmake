# The interface kit's widgets and services run under an application object,
# so their binary has its own main (tavrin_test brings gtest_main).
if(TARGET Qt6::Multimedia)
  find_package(Qt6 6.4 REQUIRED COMPONENTS Test)
  add_executable(test_kit
    ${CMAKE_CURRENT_SOURCE_DIR}/kit_main.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/fonts_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/symbols_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/animation_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/frame_clock_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/desktop_settings_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/sound_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/copy_text_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/banded_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/emblem_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/widget_opacity_test.cpp
  )
  target_include_directories(test_kit PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(test_kit PRIVATE tavrin_ui Qt6::Test GTest::gtest GTest::gmock)
  add_test(NAME test_kit COMMAND test_kit)
  set_tests_properties(test_kit PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endif()
