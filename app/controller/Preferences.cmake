# The preferences store over the app's settings file, and its changes as Qt signals.
set(OVRA_WORKER_DIRECTORY "" CACHE STRING
  "Folder of an external model worker the app looks in when the user set none (empty: none)")

add_library(ovra_preferences STATIC Preferences.cpp AppSettings.cpp)
target_include_directories(ovra_preferences PUBLIC "${PROJECT_SOURCE_DIR}")
target_link_libraries(ovra_preferences PUBLIC ovra_defaults
  ovra_desktopsettings MurmlarkCore PRIVATE ovra_log ovra_warnings)
target_compile_definitions(ovra_preferences PRIVATE OVRA_WORKER_DIRECTORY="${OVRA_WORKER_DIRECTORY}")

add_library(ovra_preferences_qt STATIC PreferencesObject.cpp)
target_link_libraries(ovra_preferences_qt PUBLIC ovra_preferences Qt6::Core PRIVATE ovra_warnings)
# Qt's "signals" keyword would clash with the logic library's parameter names.

if(BUILD_TESTING)
  ovra_add_test_files(FILES "${CMAKE_CURRENT_SOURCE_DIR}/tests/preferences/Preferences_test.cpp"
    LIBS ovra_preferences_qt QT)
endif()
