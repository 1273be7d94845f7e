# The tray's picture, which the welcome tour also draws in its menu-bar
# illustration.
if(TARGET Qt6::Widgets AND TARGET Qt6::DBus AND TARGET Qt6::Multimedia)
  target_sources(tavrin_ui PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/menu_glyph.cpp)
endif()
# The filled accent button.
if(TARGET Qt6::Widgets AND TARGET Qt6::DBus AND TARGET Qt6::Multimedia)
  target_sources(tavrin_ui PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/filled_button.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/filled_button.h)
endif()
