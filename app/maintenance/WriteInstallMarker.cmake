# Run by `cmake --install`: writes the install marker (app/maintenance/InstallMarker.h) into the
# prefix. The prefix may update itself when OVRA_SELF_UPDATE is "on", or "auto" and the prefix
# is a folder of the app's own (named murmlark-ovra, such as ~/.local/opt/murmlark-ovra).
string(REGEX REPLACE "/+$" "" prefix "${CMAKE_INSTALL_PREFIX}")
get_filename_component(name "${prefix}" NAME)
string(TOLOWER "${OVRA_SELF_UPDATE}" mode)
set(text "ai.qeld.murmlark-ovra\n")
if(mode STREQUAL "on" OR (mode STREQUAL "auto" AND name STREQUAL "murmlark-ovra"))
  string(APPEND text "self-update=yes\n")
endif()
set(marker "$ENV{DESTDIR}${prefix}/share/murmlark-ovra/install-marker")
message(STATUS "Installing: ${marker}")
file(WRITE "${marker}" "${text}")
