# tavrin-seal: the release side of the seal, on the same code as the
# verifier. tavrin-update-check: a harness that runs the verifier and the
# automatic install against keys given as files; never installed, so the
# shipped program trusts nothing but its compiled-in keys.
add_executable(tavrin-seal tavrin_seal.cpp)
target_link_libraries(tavrin-seal PRIVATE tavrin_update_core)
set_target_properties(tavrin-seal PROPERTIES AUTOMOC OFF)

add_executable(tavrin-update-check tavrin_update_check.cpp)
target_link_libraries(tavrin-update-check PRIVATE tavrin_update)
