# The settings types: ring theme, appearance, model choice, hotkey presets.
add_library(ovra_settings_types STATIC SettingsTypes.cpp)
target_include_directories(ovra_settings_types PUBLIC "${PROJECT_SOURCE_DIR}")
target_link_libraries(ovra_settings_types PUBLIC MurmlarkCore PRIVATE ovra_warnings)

if(BUILD_TESTING)
  ovra_add_test_files(FILES "${CMAKE_CURRENT_SOURCE_DIR}/tests/settingstypes/SettingsTypes_test.cpp"
    LIBS ovra_settings_types)
endif()
