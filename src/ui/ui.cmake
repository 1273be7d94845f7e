# Interface foundation: scheduling, interaction holds, motion, palette.
# Without Qt Gui (the fuzz build) the palette is left out.
add_library(tavrin_ui STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/scheduler.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/interaction_hold.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/motion.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/plain_text.cpp
)
target_link_libraries(tavrin_ui PUBLIC tavrin_core Qt6::Core)
if(TARGET Qt6::Gui)
  target_sources(tavrin_ui PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/theme.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/banded.cpp ${CMAKE_CURRENT_SOURCE_DIR}/emblem.cpp)
  target_link_libraries(tavrin_ui PUBLIC Qt6::Gui)
endif()
