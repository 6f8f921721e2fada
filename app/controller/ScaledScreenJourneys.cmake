# Journeys of the app over windows whose frames come in other pixels than the screen's: apps
# scaled by a fraction (Chromium at 125 % and 150 %, a Qt 6 window and dialog at 150 %), and a
# dialog whose frame holds the window manager's title bar. Each runs in a desktop of its own.
if(BUILD_TESTING)
  set(scaled_desktop "${CMAKE_CURRENT_SOURCE_DIR}/tests/appcontroller/desktop")
  ovra_add_test_files(FILES "${scaled_desktop}/ScaledScreenDesktop_test.cpp"
    "${scaled_desktop}/DecoratedDialogDesktop_test.cpp"
    LIBS ovra_atspi ovra_x11 ovra_app_accessibility Qt6::Gui LABEL desktop)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(OVRA_SCALED_TEST_ATSPI REQUIRED IMPORTED_TARGET atspi-2 gobject-2.0)
  foreach(test ScaledScreenDesktop_test DecoratedDialogDesktop_test)
    target_link_libraries(${test} PRIVATE PkgConfig::OVRA_SCALED_TEST_ATSPI)
    target_compile_definitions(${test} PRIVATE OVRA_APP="$<TARGET_FILE:murmlark-ovra>"
      OVRA_QT_FORM_WINDOW="$<TARGET_FILE:qt-form-window>"
      OVRA_MESSAGE_DIALOG="${scaled_desktop}/message-dialog.py")
    add_dependencies(${test} murmlark-ovra qt-form-window)
  endforeach()
endif()
