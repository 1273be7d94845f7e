# tavrin-engine: runs the real sampler headless and reports what it costs.
add_executable(tavrin-engine ${CMAKE_CURRENT_SOURCE_DIR}/engine_main.cpp ${CMAKE_CURRENT_SOURCE_DIR}/snapshot_json.cpp)
target_link_libraries(tavrin-engine PRIVATE tavrin_sampler)
