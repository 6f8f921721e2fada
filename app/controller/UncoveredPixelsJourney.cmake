# The app over a GTK dialog without a compositing manager, clicked on the pixels the overlay
# leaves uncovered.
if(BUILD_TESTING)
  set(uncovered_desktop "${CMAKE_CURRENT_SOURCE_DIR}/tests/appcontroller/desktop")
  ovra_add_test_files(FILES "${uncovered_desktop}/UncoveredPixelsDesktop_test.cpp"
    LIBS ovra_atspi Qt6::Gui LABEL desktop)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(OVRA_UNCOVERED_TEST REQUIRED IMPORTED_TARGET atspi-2 gobject-2.0 xcb
    xcb-shape)
  target_link_libraries(UncoveredPixelsDesktop_test PRIVATE PkgConfig::OVRA_UNCOVERED_TEST)
  target_compile_definitions(UncoveredPixelsDesktop_test PRIVATE
    OVRA_APP="$<TARGET_FILE:murmlark-ovra>"
    OVRA_MESSAGE_DIALOG="${uncovered_desktop}/message-dialog.py")
  add_dependencies(UncoveredPixelsDesktop_test murmlark-ovra)
endif()
