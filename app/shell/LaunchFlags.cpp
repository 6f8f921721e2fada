#include "app/shell/LaunchFlags.h"

#include <algorithm>
#include <charconv>
#include <cmath>

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

std::vector<std::string> LaunchFlags::rest(std::string_view flag) const {
    const auto it = std::find(arguments_.begin(), arguments_.end(), flag);
    if (it == arguments_.end()) {
        return {};
    }
    return {std::next(it), arguments_.end()};
}

namespace {

// A pane by the title the settings window shows for it, or by its stored id.
std::optional<OvraPane> paneNamed(std::string_view name) {
    for (const OvraPane pane : OvraPane::allCases()) {
        if (pane.rawValue() == name || pane.title() == name) {
            return pane;
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<double> parseTriggerDelay(std::string_view text) {
    // from_chars reads decimal numbers only, in no locale, and takes no leading blank or "+".
    if (text.size() > 1 && text.front() == '+' && text[1] != '-' && text[1] != '+') {
        text.remove_prefix(1);
    }
    double seconds = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] =
        std::from_chars(text.data(), end, seconds, std::chars_format::general);
    if (text.empty() || error != std::errc() || stop != end || !std::isfinite(seconds) ||
        seconds > kMaxTriggerDelay) {
        return std::nullopt;
    }
    return std::max(seconds, 0.0);
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

    if (flags.has("--dashboard")) {
        plan.dashboard =
            paneNamed(flags.value("--dashboard").value_or("")).value_or(OvraPane::home);
    }
    if (flags.has("--snapshot")) {
        plan.snapshot = flags.rest("--snapshot");
    }
    plan.home = flags.has("--home");
    plan.settingsScene = flags.has("--settings-scene");
    if (flags.has("--key-test")) {
        plan.keyTest = flags.value("--key-test").value_or("hotkey");
    }
    if (auto value = flags.value("--trigger-after")) {
        plan.triggerAfter = parseTriggerDelay(*value);
    }
    plan.creditsTest = flags.has("--credits-test");
    if (flags.has("--overlay-snapshot")) {
        plan.overlaySnapshot = flags.value("--overlay-snapshot").value_or("/tmp/ovra-overlay.png");
    }
    plan.findTest = flags.has("--find-test");
    plan.keyboardTest = flags.has("--keyboard-test");
    plan.scrollTest = flags.has("--scroll-test");
    plan.demo = flags.has("--demo");

    plan.pretendUntrusted = flags.has("--pretend-untrusted");
    plan.noDashboard = flags.has("--no-dashboard");
    plan.traceKeys = flags.has("--trace-keys");
    plan.simulateNotch = flags.has("--simulate-notch");
    return plan;
}

LaunchPlan::Mode LaunchPlan::mode() const {
    if (pressTest || tree || dump) {
        return Mode::diagnostics;
    }
    // "--dashboard", "--home" and "--demo" leave the app running; every other scheduled flag
    // ends the process.
    const bool endsProcess = snapshot || settingsScene || keyTest || triggerAfter || creditsTest ||
                             overlaySnapshot || findTest || keyboardTest || scrollTest;
    return endsProcess ? Mode::selfTest : Mode::app;
}

std::vector<ScheduledAction> LaunchPlan::schedule() const {
    if (mode() == Mode::diagnostics) {
        return {};
    }
    std::vector<ScheduledAction> out;
    const auto add = [&out](bool present, ScheduledFlag flag, double delay) {
        if (present) {
            out.push_back({flag, delay});
        }
    };
    add(dashboard.has_value(), ScheduledFlag::dashboard, 1.0);
    add(snapshot.has_value(), ScheduledFlag::snapshot, 1.5);
    add(home, ScheduledFlag::home, 1.5);
    add(settingsScene, ScheduledFlag::settingsScene, 1.5);
    add(keyTest.has_value(), ScheduledFlag::keyTest, 2.0);
    add(triggerAfter.has_value(), ScheduledFlag::triggerAfter, triggerAfter.value_or(0));
    add(creditsTest, ScheduledFlag::creditsTest, 2.0);
    add(overlaySnapshot.has_value(), ScheduledFlag::overlaySnapshot, 1.5);
    add(findTest, ScheduledFlag::findTest, 1.5);
    add(keyboardTest, ScheduledFlag::keyboardTest, 2.0);
    add(scrollTest, ScheduledFlag::scrollTest, 1.5);
    add(demo, ScheduledFlag::demo, 2.0);
    return out;
}

std::string usage() {
    return R"(Usage: murmlark-ovra [FLAG [VALUE]]...

Without a flag, Murmlark Ovra starts in the tray (or answers its hotkey where there is no tray).
A second start shows the running copy's settings window on its Home pane.

Diagnostics (each prints to standard output and ends with exit code 0 when done, 1 when the
accessibility reader failed, 2 when there is no app, window or control to work on, 3 when the
press test's press is not known to have reached the control):
  --dump [APP]          read the window of APP (else the app in front), decide with the rules
                        and the on-device model when installed, and print the planned controls
  --tree APP            print the accessibility tree of APP's focused window down to the first
                        web area
  --press-test [LABEL]  press the first control labelled exactly LABEL in Chromium's window (or
                        in the app named by OVRA_PRESS_TEST_APP) and print the window title
                        before and after
  --help                print this text
  --version             print "murmlark-ovra" and the version, and end

The app with:
  --dashboard [PANE]    open the settings window on PANE (Home, Look, Voice, Your choices,
                        Desktop accessibility, General, Instructions) after 1 s
  --home                open the home menu after 1.5 s
  --demo                ask for help with the window in front after 2 s
  --no-dashboard        do not open the settings window at start
  --pretend-untrusted   behave as if the accessibility bus could not be read
  --trace-keys          print a line for every key the app's windows handle
  --simulate-notch      hang the app's islands from a pretend camera notch

Self-tests (each runs on scratch settings and ends the process with its exit code):
  --snapshot PATH [FEATURE] [dark|light]   write the settings window to PATH as a PNG
  --overlay-snapshot [PATH]                write the overlay to PATH as a PNG
  --trigger-after SECONDS                  ask for help after SECONDS (0 to 2147483)
  --key-test [NAME]  --settings-scene  --credits-test  --find-test  --keyboard-test
  --scroll-test

APP is a process name, as `ps -o comm` or the executable's file name shows it, for example
"chromium" or "gtk3-widget-factory"; the first such process that answers on the accessibility
bus is taken.

The settings are read from $XDG_CONFIG_HOME/murmlark-ovra/ai.qeld.murmlark-ovra.json; a model
in the folder named by OVRA_CLASSIFIER_DIR is used when none is installed.
)";
}

}  // namespace ovra
