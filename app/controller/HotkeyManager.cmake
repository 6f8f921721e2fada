# The hotkey manager: the main and find hotkeys over a hotkey grabber.
add_library(ovra_hotkey_manager STATIC HotkeyManager.cpp)
target_include_directories(ovra_hotkey_manager PUBLIC "${PROJECT_SOURCE_DIR}")
target_link_libraries(ovra_hotkey_manager PUBLIC ovra_hotkeys MurmlarkCore
  PRIVATE ovra_warnings)

if(BUILD_TESTING)
  ovra_add_tests("${CMAKE_CURRENT_SOURCE_DIR}/tests/hotkeys" LIBS ovra_hotkey_manager)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(OVRA_HOTKEY_TEST_XTEST REQUIRED IMPORTED_TARGET xcb xcb-xtest)
  ovra_add_tests("${CMAKE_CURRENT_SOURCE_DIR}/tests/hotkeys/desktop" LIBS ovra_hotkey_manager
    ovra_hotkeys_qt ovra_keyboard_qt PkgConfig::OVRA_HOTKEY_TEST_XTEST QT LABEL desktop)
endif()
