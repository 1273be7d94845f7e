# cue-synth: makes the interface sounds at build time (see src/ui/ui_kit.cmake).
add_executable(cue-synth cue_synth.cpp)
set_target_properties(cue-synth PROPERTIES AUTOMOC OFF)
