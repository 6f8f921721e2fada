# Run by `cmake --install` after every other install rule: writes
# <prefix>/share/murmlark-ovra/installed-files, the list of every file this install put in the
# prefix, one path relative to the prefix a line (app/maintenance/InstallListing.h). The
# updater and the uninstaller take a prefix as wholly the app's only when it holds nothing else.
string(REGEX REPLACE "/+$" "" prefix "${CMAKE_INSTALL_PREFIX}")
set(root "$ENV{DESTDIR}${prefix}")
set(listing "${root}/share/murmlark-ovra/installed-files")

# What the install rules copied, and what the install scripts wrote themselves.
set(files ${CMAKE_INSTALL_MANIFEST_FILES})
foreach(written IN ITEMS share/murmlark-ovra/install-marker share/murmlark-ovra/installed-outside
                          share/applications/murmlark-ovra.desktop)
  if(EXISTS "${root}/${written}")
    list(APPEND files "${root}/${written}")
  endif()
endforeach()
# A second install into the same prefix keeps what the first one wrote and is still there.
if(EXISTS "${listing}")
  file(STRINGS "${listing}" earlier)
  foreach(relative IN LISTS earlier)
    if(EXISTS "${root}/${relative}")
      list(APPEND files "${root}/${relative}")
    endif()
  endforeach()
endif()

# Install rules record their files without DESTDIR, scripts with it. A list splits paths at
# ";", which a prefix may hold (our own file names never do): each file's last piece is the part
# of the prefix after its last ";", then the file's path inside the prefix.
set(bases "")
foreach(base IN ITEMS "${root}" "${prefix}")
  string(FIND "${base}" ";" cut REVERSE)
  math(EXPR cut "${cut} + 1")
  string(SUBSTRING "${base}" ${cut} -1 tail)
  list(APPEND bases "${tail}/")
endforeach()
set(relatives "share/murmlark-ovra/installed-files")
foreach(file IN LISTS files)
  foreach(base IN LISTS bases)
    string(FIND "${file}" "${base}" at)
    if(at EQUAL 0)
      string(LENGTH "${base}" skip)
      string(SUBSTRING "${file}" ${skip} -1 relative)
      list(APPEND relatives "${relative}")
      break()
    endif()
  endforeach()
endforeach()
list(REMOVE_DUPLICATES relatives)
list(SORT relatives)
list(JOIN relatives "\n" text)
message(STATUS "Installing: ${listing}")
file(WRITE "${listing}" "${text}\n")
