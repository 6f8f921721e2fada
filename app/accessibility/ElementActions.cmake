# Element actions with the identity check of the control to press, the page scroller and the
# desktop's accessibility features. Included by this folder's CMakeLists.txt; the unit tests in
# tests/ are made there and linked here.
add_library(ovra_app_actions STATIC
  AccessibilityFeatures.cpp
  ElementActions.cpp
  ElementIdentity.cpp
  PageTickers.cpp
  PaintedAtPress.cpp
  PressLanding.cpp
  PressSequence.cpp
  Scroller.cpp)
target_include_directories(ovra_app_actions PUBLIC "${PROJECT_SOURCE_DIR}")
target_link_libraries(ovra_app_actions PUBLIC ovra_app_accessibility ovra_accessibility ovra_input
  ovra_desktopsettings ovra_scheduler MurmlarkCore PRIVATE ovra_warnings)

if(BUILD_TESTING)
  foreach(test_name IN ITEMS ElementActions_test Scroller_test AccessibilityFeatures_test
      DialogInFront_test PaintedAtPress_test PageTickers_test ElementIdentity_test)
    if(TARGET ${test_name})
      target_link_libraries(${test_name} PRIVATE ovra_app_actions)
    endif()
  endforeach()
  # The desktop tests move the desktop's one pointer, activate windows and change settings
  # other tests could see: each runs alone.
  file(GLOB actions_desktop_tests CONFIGURE_DEPENDS
    "${CMAKE_CURRENT_SOURCE_DIR}/tests/desktop/*_test.cpp")
  foreach(source IN LISTS actions_desktop_tests)
    get_filename_component(name "${source}" NAME_WE)
    add_executable(${name} "${source}")
    target_link_libraries(${name} PRIVATE ovra_app_actions ovra_atspi ovra_x11 ovra_input_xtest
      ovra_desktop_testing GTest::gmock_main ovra_warnings)
    ovra_discover_desktop_tests(${name} DISCOVERY_TIMEOUT 60
      PROPERTIES LABELS desktop RUN_SERIAL TRUE
      ENVIRONMENT "OVRA_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
  endforeach()
  # The presses made through the app itself, as its own process, read as a screen reader does.
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(OVRA_PRESS_APP REQUIRED IMPORTED_TARGET atspi-2 gobject-2.0 xcb xcb-xtest)
  target_link_libraries(PressThroughTheOverlay_test PRIVATE PkgConfig::OVRA_PRESS_APP)
  # Whether an app read still answers: a plain call of its own on the accessibility bus.
  target_link_libraries(RealInterfacesDesktop_test PRIVATE PkgConfig::OVRA_PRESS_APP)
  target_compile_definitions(PressThroughTheOverlay_test PRIVATE
    OVRA_APP="$<TARGET_FILE:murmlark-ovra>")
  add_dependencies(PressThroughTheOverlay_test murmlark-ovra)
endif()

# Return on the overlay until the page's handler runs, over the app as its own process: a
# measuring tool run in a private desktop, never a test.
if(BUILD_TESTING AND OVRA_BENCHMARKS)
  add_executable(PressLatency bench/PressLatency.cpp)
  target_link_libraries(PressLatency PRIVATE ovra_app_accessibility ovra_atspi ovra_x11
    ovra_keyboard PkgConfig::OVRA_PRESS_APP GTest::gtest Qt6::Core ovra_warnings)
  target_include_directories(PressLatency PRIVATE "${PROJECT_SOURCE_DIR}")
  target_compile_definitions(PressLatency PRIVATE OVRA_APP="$<TARGET_FILE:murmlark-ovra>")
  add_dependencies(PressLatency murmlark-ovra)
endif()

# The menus of a small Qt window of the desktop tests' own.
if(TARGET MenuJourneys_test)
  target_compile_definitions(MenuJourneys_test PRIVATE
    OVRA_MENU_WINDOW="$<TARGET_FILE:ovra-menu-window>")
  add_dependencies(MenuJourneys_test ovra-menu-window)
endif()
