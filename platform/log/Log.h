#pragma once

// The app's one log: a tree of categories ("ovra.atspi", "ovra.controller", …) built on Qt's
// logging categories, so QT_LOGGING_RULES switches them at run time: "ovra.atspi.debug=true"
// shows each reading of another app, "ovra.*=false" silences the app. Debug lines are off until
// a rule turns them on; information and warnings show. Once main has installed the standard
// error sink, every line goes to standard error as one line, "murmlark-ovra: " first. The
// interface is plain C++, so code that has no Qt logs through it too.

#include <functional>
#include <string>
#include <string_view>

namespace ovra::logs {

enum class Category {
    app,          // ovra.app: the process, its display and its single copy
    shell,        // ovra.shell: tray, island, launch flags
    controller,   // ovra.controller: the overlay's requests, presses and scrolls
    hotkeys,      // ovra.hotkeys: the global hotkey and its fallbacks
    atspi,        // ovra.atspi: reading other apps over the accessibility bus
    speech,       // ovra.speech
    model,        // ovra.model: the on-device model and its download
    settings,     // ovra.settings: the settings file and the settings window
    maintenance,  // ovra.maintenance: the updater and the uninstaller
};

enum class Level { debug, info, warning };

// The category's name in QT_LOGGING_RULES.
std::string_view name(Category category);
// Whether a line of this level in this category would show: a line that is costly to build is
// built only then.
bool enabled(Category category, Level level);
void write(Category category, Level level, std::string_view line);

inline void debug(Category category, std::string_view line) {
    write(category, Level::debug, line);
}
inline void info(Category category, std::string_view line) {
    write(category, Level::info, line);
}
inline void warning(Category category, std::string_view line) {
    write(category, Level::warning, line);
}

// For code that is handed its log as a function: each line at `level` in `category`.
std::function<void(const std::string&)> to(Category category, Level level = Level::info);

// From here on the lines of the app's categories go to standard error, "murmlark-ovra: " first,
// each in one write; other categories (Qt's own) keep Qt's format. Once, at the start of main.
void installStandardErrorSink();

}  // namespace ovra::logs
