# The product's web site, which the Help menu opens and the tour names.
if(NOT DEFINED TAVRIN_SITE)
  set(TAVRIN_SITE "https://tavrin.invalid" CACHE STRING "The product's site: feed and archives")
endif()
target_sources(tavrin_core PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/build_info.cpp)
set_source_files_properties(${CMAKE_CURRENT_SOURCE_DIR}/build_info.cpp PROPERTIES
  COMPILE_DEFINITIONS "TAVRIN_SITE_TEXT=\"${TAVRIN_SITE}\"")
