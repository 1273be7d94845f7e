# The contact channels this build ships with: a JSON file with the keys
# "telegram", "email", "x" and "github"; an empty text leaves that channel
# out.
set(TAVRIN_CONTACT ${CMAKE_CURRENT_SOURCE_DIR}/contact.json CACHE FILEPATH
    "The contact channels this build offers")
configure_file(${TAVRIN_CONTACT} ${CMAKE_CURRENT_BINARY_DIR}/contact/contact.json COPYONLY)
qt_add_resources(tavrin_settings "contact" PREFIX "/tavrin"
  BASE ${CMAKE_CURRENT_BINARY_DIR}/contact FILES ${CMAKE_CURRENT_BINARY_DIR}/contact/contact.json)
