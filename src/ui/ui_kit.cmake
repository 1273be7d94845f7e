# The kit's fonts, symbols, animated values, frame clock, desktop switches,
# copy text and interface sounds. They need Qt Gui and above, which the fuzz
# build (Qt Core only) lacks, so they join the library only where those are.
if(TARGET Qt6::Widgets AND TARGET Qt6::DBus AND TARGET Qt6::Multimedia)
  target_sources(tavrin_ui PRIVATE
    ${CMAKE_CURRENT_SOURCE_DIR}/animation.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/frame_clock.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/fonts.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/shrink_label.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/text_face.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/symbols.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/desktop_settings.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/sound.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/clipboard.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/copy_text.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/widget_opacity.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/window_watch.cpp
  )
  target_link_libraries(tavrin_ui PUBLIC Qt6::Widgets Qt6::DBus Qt6::Multimedia)

  # The cues are synthesised at build time (tools/cue_synth.cpp) and carried
  # in the library's resources as :/sounds/NAME.wav.
  set(cue_dir ${CMAKE_CURRENT_BINARY_DIR}/cues)
  set(cue_files ${cue_dir}/welcome.wav ${cue_dir}/reveal.wav ${cue_dir}/confirm.wav)
  add_custom_command(
    OUTPUT ${cue_files}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${cue_dir}
    COMMAND cue-synth ${cue_dir}
    DEPENDS cue-synth
    COMMENT "Synthesising interface cues")
  set_source_files_properties(${cue_files} PROPERTIES GENERATED TRUE)
  qt_add_resources(tavrin_ui "cues" PREFIX "/sounds" BASE ${cue_dir} FILES ${cue_files})
endif()
