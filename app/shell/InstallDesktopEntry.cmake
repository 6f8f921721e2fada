# Run by `cmake --install`: writes the desktop file that puts Murmlark Ovra in the desktop's app
# menu, pointing at the installed executable and icon by absolute path.
#
# A prefix of the app's own (a folder named murmlark-ovra, such as the default
# ~/.local/opt/murmlark-ovra) can update itself as a whole; the desktop file then goes where the
# desktop looks for the user's own apps ($XDG_DATA_HOME/applications), and its path is listed in
# <prefix>/share/murmlark-ovra/installed-outside: the one list of what the install wrote outside
# the prefix, which removing the app reads. Any other prefix (a system or package prefix, or a
# staged DESTDIR install) gets the desktop file and icon inside it.
string(REGEX REPLACE "/+$" "" prefix "${CMAKE_INSTALL_PREFIX}")
get_filename_component(name "${prefix}" NAME)
set(resources "${prefix}/share/murmlark-ovra")
set(executable "${prefix}/bin/murmlark-ovra")
set(stage "$ENV{DESTDIR}")

if(stage STREQUAL "" AND name STREQUAL "murmlark-ovra")
  set(data "$ENV{XDG_DATA_HOME}")
  if(NOT IS_ABSOLUTE "${data}")
    set(data "$ENV{HOME}/.local/share")
  endif()
  set(entry "${data}/applications/murmlark-ovra.desktop")
  set(icon "${resources}/icons/murmlark-ovra.png")
  set(outside "${entry}\n")
else()
  set(entry "${stage}${prefix}/share/applications/murmlark-ovra.desktop")
  set(icon "murmlark-ovra")
  file(INSTALL "${stage}${resources}/icons/murmlark-ovra.png"
    DESTINATION "${stage}${prefix}/share/icons/hicolor/256x256/apps")
  set(outside "")
endif()

# Exec takes a quoted argument: \ " ` $ escaped inside the quotes, % doubled, and every
# backslash doubled again for the file's string escapes.
set(quoted "${executable}")
string(REPLACE "\\" "\\\\" quoted "${quoted}")
foreach(special "\"" "`" "$")
  string(REPLACE "${special}" "\\${special}" quoted "${quoted}")
endforeach()
string(REPLACE "%" "%%" quoted "${quoted}")
string(REPLACE "\\" "\\\\" quoted "${quoted}")

message(STATUS "Installing: ${entry}")
file(WRITE "${entry}" "[Desktop Entry]
Type=Application
Name=Murmlark Ovra
GenericName=Accessibility helper
Comment=Highlights the few controls that matter in the window in front and presses them for you
Exec=\"${quoted}\"
Icon=${icon}
Terminal=false
Categories=Utility;Accessibility;
Keywords=accessibility;simplify;highlight;keyboard;switch;
StartupNotify=false
")
file(WRITE "${stage}${resources}/installed-outside" "${outside}")
