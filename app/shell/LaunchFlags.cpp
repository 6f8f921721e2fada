#include "app/shell/LaunchFlags.h"

#include <algorithm>

namespace ovra {

LaunchFlags LaunchFlags::fromMain(int argc, const char* const* argv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.emplace_back(argv[i] != nullptr ? argv[i] : "");
    }
    return LaunchFlags(std::move(arguments));
}

bool LaunchFlags::has(std::string_view flag) const {
    return std::find(arguments_.begin(), arguments_.end(), flag) != arguments_.end();
}

std::optional<std::string> LaunchFlags::value(std::string_view flag) const {
    const auto it = std::find(arguments_.begin(), arguments_.end(), flag);
    if (it == arguments_.end() || std::next(it) == arguments_.end()) {
        return std::nullopt;
    }
    return *std::next(it);
}

LaunchPlan LaunchPlan::from(const LaunchFlags& flags) {
    LaunchPlan plan;
    plan.help = flags.has("--help");
    if (flags.has("--press-test")) {
        plan.pressTest = flags.value("--press-test").value_or("");
    }
    plan.tree = flags.has("--tree");
    plan.treeApp = flags.value("--tree");
    plan.dump = flags.has("--dump");
    plan.dumpApp = flags.value("--dump");
    return plan;
}

std::string usage() {
    return R"(Usage: murmlark-ovra [FLAG [VALUE]]

Diagnostics (each prints to standard output and ends with exit code 0 when done, 1 when the
accessibility reader failed, 2 when there is no app, window or control to work on):
  --dump [APP]          read the window of APP (else the app in front), decide with the rules
                        and the on-device model when installed, and print the planned controls
  --tree APP            print the accessibility tree of APP's focused window down to the first
                        web area
  --press-test [LABEL]  press the first control labelled exactly LABEL in Chromium's window and
                        print the window title before and after
  --help                print this text

APP is a process name, as `ps -o comm` or the executable's file name shows it, for example
"chromium" or "gtk3-widget-factory"; the first such process that answers on the accessibility
bus is taken.

The settings are read from $XDG_CONFIG_HOME/murmlark-ovra/ai.qeld.murmlark-ovra.json ("depth",
"model"); a model in the folder named by OVRA_CLASSIFIER_DIR is used when none is installed.
)";
}

}  // namespace ovra
