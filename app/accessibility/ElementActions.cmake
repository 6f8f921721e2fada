# Element actions with the identity check of the control to press, the page scroller and the
# desktop's accessibility features. Included by this folder's CMakeLists.txt; the unit tests in
# tests/ are made there and linked here.
add_library(ovra_app_actions STATIC
  AccessibilityFeatures.cpp
  ElementActions.cpp
  ElementIdentity.cpp
  PressLanding.cpp
  Scroller.cpp)
target_include_directories(ovra_app_actions PUBLIC "${PROJECT_SOURCE_DIR}")
target_link_libraries(ovra_app_actions PUBLIC ovra_app_accessibility ovra_accessibility ovra_input
  ovra_desktopsettings ovra_scheduler MurmlarkCore PRIVATE ovra_warnings)

if(BUILD_TESTING)
  foreach(test_name IN ITEMS ElementActions_test Scroller_test AccessibilityFeatures_test
      DialogInFront_test)
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
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
      PROPERTIES LABELS desktop RUN_SERIAL TRUE
      ENVIRONMENT "OVRA_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
  endforeach()
endif()
