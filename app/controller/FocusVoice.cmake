# The app's voice over a speech engine and the sibling speech notice, and the interface
# language that decides which voices it offers.
add_library(ovra_focus_voice STATIC FocusVoice.cpp InterfaceLanguage.cpp)
target_include_directories(ovra_focus_voice PUBLIC "${PROJECT_SOURCE_DIR}")
target_link_libraries(ovra_focus_voice PUBLIC ovra_speech MurmlarkCore PRIVATE ovra_paths ovra_log ovra_warnings)

if(BUILD_TESTING)
  ovra_add_tests("${CMAKE_CURRENT_SOURCE_DIR}/tests/voice" LIBS ovra_focus_voice)
endif()
