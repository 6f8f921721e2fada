# The request controller: the request cycle, the overlay's presentation, keys and presses, and
# the pieces it owns (find, page scrolling, auto-scan, corrections, the magnifier, the overlay's
# sentences, start-up), over the service interfaces of ControllerServices.h; the accessibility
# worker thread and the press routes it runs; and, for the app, the controller over this
# desktop's own services.
add_library(ovra_app_controller STATIC
  AppController.cpp
  AppControllerKeys.cpp
  AppControllerPanel.cpp
  AppControllerSpeech.cpp
  AppControllerStart.cpp
  AppStartup.cpp
  AutoScan.cpp
  Corrections.cpp
  FindSession.cpp
  GlobalHotkeys.cpp
  MagnifierFollow.cpp
  OverlaySentences.cpp
  PageScroll.cpp
  PressReport.cpp
  TargetChoice.cpp
  TargetWatch.cpp
  TrustPoll.cpp
  AccessibilityWorkerThread.cpp
  QueueScheduler.cpp
  SupervisorDecisions.cpp
  TargetWindowBackend.cpp)
target_include_directories(ovra_app_controller PUBLIC "${PROJECT_SOURCE_DIR}")
target_link_libraries(ovra_app_controller PUBLIC ovra_preferences ovra_focus_voice
  ovra_hotkey_manager ovra_magnifier ovra_overlay_model ovra_app_actions ovra_app_accessibility ovra_supervisor ovra_scheduler
  MurmlarkCore PRIVATE ovra_warnings)

# The controller's services on this desktop: the overlay panel and the window manager.
add_library(ovra_app_controller_desktop STATIC QtOverlayHost.cpp X11TargetWorkspace.cpp)
target_link_libraries(ovra_app_controller_desktop PUBLIC ovra_app_controller ovra_overlay_panel
  ovra_announcer_qt ovra_island_chrome_qt ovra_x11 Qt6::Widgets PRIVATE ovra_warnings)

if(BUILD_TESTING)
  ovra_add_tests("${CMAKE_CURRENT_SOURCE_DIR}/tests/appcontroller" LIBS ovra_app_controller)
endif()

# The app itself over Chromium and Firefox in the virtual desktop, driven by typed keys.
if(BUILD_TESTING)
  ovra_add_test_files(FILES
    "${CMAKE_CURRENT_SOURCE_DIR}/tests/appcontroller/desktop/ControllerDesktop_test.cpp"
    LIBS ovra_atspi ovra_x11 ovra_app_accessibility Qt6::Gui LABEL desktop)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(OVRA_CONTROLLER_TEST_ATSPI REQUIRED IMPORTED_TARGET atspi-2 gobject-2.0)
  target_link_libraries(ControllerDesktop_test PRIVATE PkgConfig::OVRA_CONTROLLER_TEST_ATSPI)
  target_compile_definitions(ControllerDesktop_test PRIVATE
    OVRA_APP="$<TARGET_FILE:murmlark-ovra>"
    OVRA_ACCOUNT_PAGE="${CMAKE_CURRENT_SOURCE_DIR}/tests/appcontroller/desktop/account.html"
    OVRA_LONG_PAGE="${CMAKE_CURRENT_SOURCE_DIR}/tests/appcontroller/desktop/long.html"
    OVRA_CONSENT_PAGE="${CMAKE_CURRENT_SOURCE_DIR}/tests/appcontroller/desktop/consent.html"
    OVRA_LANDING_PAGE="${CMAKE_CURRENT_SOURCE_DIR}/tests/appcontroller/desktop/landing.html")
  add_dependencies(ControllerDesktop_test murmlark-ovra)

  # Keys over Chromium: the keypad, keys typed as the overlay closes, and the hotkey across
  # layout groups. The same without a window manager runs in a private desktop of its own,
  # started without one.
  set(keys_desktop "${CMAKE_CURRENT_SOURCE_DIR}/tests/appcontroller/desktop")
  ovra_add_test_files(FILES "${keys_desktop}/KeysDesktop_test.cpp"
    "${keys_desktop}/FadingKeysDesktop_test.cpp"
    LIBS ovra_atspi ovra_app_accessibility ovra_keyboard Qt6::Gui LABEL desktop)
  add_executable(KioskDesktop_test "${keys_desktop}/KioskDesktop_test.cpp")
  target_link_libraries(KioskDesktop_test PRIVATE ovra_atspi ovra_app_accessibility ovra_keyboard
    Qt6::Gui GTest::gmock_main ovra_desktop_testing ovra_warnings)
  ovra_desktop_test_wanted(KioskDesktop_test wanted)
  if(wanted)
    add_test(NAME KioskDesktop COMMAND "${CMAKE_COMMAND}" -E env OVRA_DESKTOP_WM=none
      "${PROJECT_SOURCE_DIR}/scripts/with-desktop" "$<TARGET_FILE:KioskDesktop_test>")
    set_tests_properties(KioskDesktop PROPERTIES LABELS desktop)
  endif()
  pkg_check_modules(OVRA_KEYS_TEST_XTEST REQUIRED IMPORTED_TARGET xcb xcb-xtest xcb-xkb)
  foreach(test KeysDesktop_test FadingKeysDesktop_test KioskDesktop_test)
    target_link_libraries(${test} PRIVATE PkgConfig::OVRA_CONTROLLER_TEST_ATSPI
      PkgConfig::OVRA_KEYS_TEST_XTEST)
    target_compile_definitions(${test} PRIVATE OVRA_APP="$<TARGET_FILE:murmlark-ovra>"
      OVRA_ACCOUNT_PAGE="${keys_desktop}/account.html" OVRA_KEYS_PAGE="${keys_desktop}/keys.html")
    add_dependencies(${test} murmlark-ovra)
  endforeach()

  # A window across two RandR monitors.
  ovra_add_test_files(FILES
    "${CMAKE_CURRENT_SOURCE_DIR}/tests/appcontroller/desktop/AcrossMonitorsDesktop_test.cpp"
    LIBS ovra_atspi ovra_xcb ovra_app_accessibility Qt6::Gui LABEL desktop)
  target_link_libraries(AcrossMonitorsDesktop_test PRIVATE PkgConfig::OVRA_CONTROLLER_TEST_ATSPI)
  target_compile_definitions(AcrossMonitorsDesktop_test PRIVATE OVRA_APP="$<TARGET_FILE:murmlark-ovra>"
    OVRA_MONITORS_PAGE="${PROJECT_SOURCE_DIR}/testing/desktop/pages/monitors.html")
  add_dependencies(AcrossMonitorsDesktop_test murmlark-ovra)

  # Also run in the sanitizer build (scripts/test), over a browser paused mid-reading.
  ovra_add_test_files(FILES
    "${CMAKE_CURRENT_SOURCE_DIR}/tests/appcontroller/desktop/TargetGoneDesktop_test.cpp"
    LABEL desktop)
  target_compile_definitions(TargetGoneDesktop_test PRIVATE
    OVRA_APP="$<TARGET_FILE:murmlark-ovra>")
  add_dependencies(TargetGoneDesktop_test murmlark-ovra)
  ovra_add_test_files(FILES
    "${CMAKE_CURRENT_SOURCE_DIR}/tests/appcontroller/desktop/BusRestartDesktop_test.cpp"
    LIBS ovra_app_controller ovra_atspi LABEL desktop)
  pkg_check_modules(OVRA_CONTROLLER_TEST_DBUS REQUIRED IMPORTED_TARGET dbus-1)
  target_link_libraries(BusRestartDesktop_test PRIVATE PkgConfig::OVRA_CONTROLLER_TEST_DBUS)
  target_compile_definitions(BusRestartDesktop_test PRIVATE OVRA_APP="$<TARGET_FILE:murmlark-ovra>")
  add_dependencies(BusRestartDesktop_test murmlark-ovra)

  # A native window whose tree has no end in sight, read through the hotkey.
  ovra_add_test_files(FILES
    "${CMAKE_CURRENT_SOURCE_DIR}/tests/appcontroller/desktop/NativeTreesDesktop_test.cpp"
    LABEL desktop)
  target_compile_definitions(NativeTreesDesktop_test PRIVATE
    OVRA_APP="$<TARGET_FILE:murmlark-ovra>" OVRA_FAKE_PANELS="$<TARGET_FILE:ovra-fake-panels>")
  add_dependencies(NativeTreesDesktop_test murmlark-ovra ovra-fake-panels)

  # Readings kept between hotkeys over Firefox and Chromium pages that change under them.
  ovra_add_test_files(FILES
    "${CMAKE_CURRENT_SOURCE_DIR}/tests/appcontroller/desktop/KeptReadingDesktop_test.cpp"
    LIBS ovra_atspi ovra_x11 ovra_app_accessibility LABEL desktop)
  target_link_libraries(KeptReadingDesktop_test PRIVATE PkgConfig::OVRA_CONTROLLER_TEST_ATSPI)
  target_compile_definitions(KeptReadingDesktop_test PRIVATE OVRA_APP="$<TARGET_FILE:murmlark-ovra>"
    OVRA_READER_PAGE="${CMAKE_CURRENT_SOURCE_DIR}/tests/appcontroller/desktop/reader.html"
    OVRA_PROMPT_PAGE="${CMAKE_CURRENT_SOURCE_DIR}/tests/appcontroller/desktop/prompt.html")
  add_dependencies(KeptReadingDesktop_test murmlark-ovra)

  # Windows of one app lying one over the other: the one in front is read and pressed, and a
  # window its app's modal dialog keeps from use is not. A small Qt 6 app of twin dialogs and a
  # GTK 3 one of the project's own are the apps.
  add_executable(ovra-qt-twin-dialogs
    "${CMAKE_CURRENT_SOURCE_DIR}/tests/appcontroller/desktop/QtTwinDialogs.cpp")
  target_link_libraries(ovra-qt-twin-dialogs PRIVATE Qt6::Widgets ovra_warnings)
  ovra_add_test_files(FILES
    "${CMAKE_CURRENT_SOURCE_DIR}/tests/appcontroller/desktop/FrontWindowDesktop_test.cpp"
    LIBS ovra_x11 Qt6::Gui LABEL desktop)
  target_link_libraries(FrontWindowDesktop_test PRIVATE PkgConfig::OVRA_CONTROLLER_TEST_ATSPI)
  target_compile_definitions(FrontWindowDesktop_test PRIVATE
    OVRA_APP="$<TARGET_FILE:murmlark-ovra>"
    OVRA_QT_TWIN_DIALOGS="$<TARGET_FILE:ovra-qt-twin-dialogs>"
    OVRA_GTK_TWIN_DIALOGS="${CMAKE_CURRENT_SOURCE_DIR}/tests/appcontroller/desktop/twin-dialogs.py"
    OVRA_LANDING_PAGE="${CMAKE_CURRENT_SOURCE_DIR}/tests/appcontroller/desktop/landing.html")
  add_dependencies(FrontWindowDesktop_test murmlark-ovra ovra-qt-twin-dialogs)

  # A dialog the bus does not show, in front of the window a request would read.
  ovra_add_test_files(FILES
    "${CMAKE_CURRENT_SOURCE_DIR}/tests/appcontroller/desktop/ModalDialogDesktop_test.cpp"
    LIBS ovra_app_controller ovra_atspi ovra_x11 ovra_app_accessibility LABEL desktop)
endif()
