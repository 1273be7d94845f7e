# The Monitor's tests run their own main with an application object, so the
# binary is declared here rather than through tavrin_test (which brings
# gtest_main).
find_package(Qt6 6.4 REQUIRED COMPONENTS Test)
add_executable(test_monitor
  ${CMAKE_CURRENT_SOURCE_DIR}/monitor_main.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/monitor_intake_test.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/monitor_operations_test.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/monitor_live_test.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/launch_script_test.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/notifications_test.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/monitor_copies_test.cpp
)
target_link_libraries(test_monitor PRIVATE tavrin_monitor Qt6::Test GTest::gtest)
target_include_directories(test_monitor PRIVATE ${PROJECT_SOURCE_DIR}/tests)
# A copy of the program as far as its settings go: the tests start two on
# one settings file.
add_executable(prefs_copy ${CMAKE_CURRENT_SOURCE_DIR}/prefs_copy_main.cpp)
target_link_libraries(prefs_copy PRIVATE tavrin_monitor)
target_include_directories(prefs_copy PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_compile_definitions(test_monitor PRIVATE TAVRIN_PREFS_COPY="$<TARGET_FILE:prefs_copy>")
add_dependencies(test_monitor prefs_copy)
add_test(NAME test_monitor COMMAND test_monitor)
set_tests_properties(test_monitor PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
