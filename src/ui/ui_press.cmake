# Hover holds, press styles, icons, the row list, and the small widgets built
# on them.
target_sources(tavrin_ui PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/hover_hold.cpp)
# The widgets stand on the kit's fonts, symbols and frame clock (ui_kit).
if(TARGET Qt6::Widgets AND TARGET Qt6::DBus AND TARGET Qt6::Multimedia)
  target_sources(tavrin_ui PRIVATE
    ${CMAKE_CURRENT_SOURCE_DIR}/press_style.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/press_button.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/row_feedback.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/icons.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/svg_check.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/process_icon.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/panel_label.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/hold_badge.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/row_list.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/menu_plan.cpp
  )
endif()
