# What the running build says about itself: its version and build number,
# the commit it was made from, and the product's web site.
if(NOT DEFINED TAVRIN_SITE)
  set(TAVRIN_SITE "https://tavrin.invalid" CACHE STRING "The product's web site")
endif()
set(TAVRIN_BUILD_NUMBER "" CACHE STRING "The build number shown beside the version")
find_package(Git QUIET)
set(tavrin_commit "")
if(GIT_FOUND)
  execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --short=12 HEAD
                  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                  OUTPUT_VARIABLE tavrin_commit OUTPUT_STRIP_TRAILING_WHITESPACE
                  ERROR_QUIET)
endif()
target_sources(tavrin_core PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/build_info.cpp)
set_source_files_properties(${CMAKE_CURRENT_SOURCE_DIR}/build_info.cpp PROPERTIES
  COMPILE_DEFINITIONS "TAVRIN_VERSION_TEXT=\"${PROJECT_VERSION}\";TAVRIN_BUILD_TEXT=\"${TAVRIN_BUILD_NUMBER}\";TAVRIN_COMMIT_TEXT=\"${tavrin_commit}\";TAVRIN_SITE_TEXT=\"${TAVRIN_SITE}\"")
