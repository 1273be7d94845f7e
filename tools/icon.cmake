# tavrin-icon: draws the application's icon into the build's share/ at build
# time (see the top-level CMakeLists.txt).
add_executable(tavrin-icon tavrin_icon.cpp)
target_link_libraries(tavrin-icon PRIVATE tavrin_ui)
set_target_properties(tavrin-icon PROPERTIES AUTOMOC OFF)
