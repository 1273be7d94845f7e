# The settings controls: cards, section titles, hairlines, switches,
# segmented pickers, toggle rows and the threshold sliders and rows.
if(TARGET Qt6::Widgets AND TARGET Qt6::DBus AND TARGET Qt6::Multimedia)
  target_sources(tavrin_ui PRIVATE
    ${CMAKE_CURRENT_SOURCE_DIR}/text_label.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/segment_strip.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/card.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/section_title.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/hairline.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/switch.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/segmented.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/toggle_row.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/rule_slider.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/rule_row.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/link_text.cpp
  )
endif()
