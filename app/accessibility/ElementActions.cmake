# Element actions, the page scroller and the desktop's accessibility features. Included by this
# folder's CMakeLists.txt; the unit tests in tests/ are made there and linked here.
add_library(ovra_app_actions STATIC
  AccessibilityFeatures.cpp
  ElementActions.cpp
  Scroller.cpp)
target_include_directories(ovra_app_actions PUBLIC "${PROJECT_SOURCE_DIR}")
target_link_libraries(ovra_app_actions PUBLIC ovra_app_accessibility ovra_accessibility ovra_input
  ovra_desktopsettings MurmlarkCore PRIVATE ovra_warnings)

if(BUILD_TESTING)
  foreach(test_name IN ITEMS ElementActions_test Scroller_test AccessibilityFeatures_test)
    if(TARGET ${test_name})
      target_link_libraries(${test_name} PRIVATE ovra_app_actions)
    endif()
  endforeach()
  ovra_add_tests("${CMAKE_CURRENT_SOURCE_DIR}/tests/desktop"
    LIBS ovra_app_actions ovra_atspi ovra_x11 ovra_input_xtest LABEL desktop)
endif()
