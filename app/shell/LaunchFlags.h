#pragma once

// The process's launch arguments as flags: a flag is an argument equal to its text, compared
// exactly; its value is the argument right after its first occurrence, used unchanged even when
// it begins with "--"; its rest is every argument after its first occurrence.
//
// LaunchPlan reads every flag the app knows into what the launch sequence does with it, and
// says which flags are scheduled, in which order and after which delay.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/OvraPane.h"

namespace ovra {

class LaunchFlags final {
  public:
    // `arguments` without the executable's path.
    explicit LaunchFlags(std::vector<std::string> arguments) : arguments_(std::move(arguments)) {}
    static LaunchFlags fromMain(int argc, const char* const* argv);

    bool has(std::string_view flag) const;
    // None when the flag is absent or is the last argument.
    std::optional<std::string> value(std::string_view flag) const;
    // The arguments after the flag's first occurrence; empty when it is absent or last.
    std::vector<std::string> rest(std::string_view flag) const;

  private:
    std::vector<std::string> arguments_;
};

// The flags whose action the launch sequence schedules, in the order it schedules them.
enum class ScheduledFlag {
    dashboard,
    snapshot,
    home,
    settingsScene,
    keyTest,
    triggerAfter,
    creditsTest,
    overlaySnapshot,
    findTest,
    keyboardTest,
    scrollTest,
    demo,
};

struct ScheduledAction {
    ScheduledFlag flag;
    double delay;  // seconds after the controller started
    friend bool operator==(const ScheduledAction&, const ScheduledAction&) = default;
};

// What the command line asks this process to do.
struct LaunchPlan {
    // How the process runs: the diagnostics instead of the app; the app for a self-test that
    // ends the process (on scratch settings, not as the single instance); or the app itself.
    enum class Mode { diagnostics, selfTest, app };

    bool help = false;
    // "--press-test": the label (empty when the flag has no value).
    std::optional<std::string> pressTest;
    // "--tree": present, with the app when one is named.
    bool tree = false;
    std::optional<std::string> treeApp;
    // "--dump": present, with the app when one is named.
    bool dump = false;
    std::optional<std::string> dumpApp;

    std::optional<OvraPane> dashboard;                 // Home unless the value names a pane
    std::optional<std::vector<std::string>> snapshot;  // the rest of the flag
    bool home = false;
    bool settingsScene = false;
    std::optional<std::string> keyTest;  // the name, "hotkey" by default
    std::optional<double> triggerAfter;  // seconds; none for a missing or unusable value
    bool creditsTest = false;
    std::optional<std::string> overlaySnapshot;  // the path
    bool findTest = false;
    bool keyboardTest = false;
    bool scrollTest = false;
    bool demo = false;

    // Read where they act.
    bool pretendUntrusted = false;
    bool noDashboard = false;
    bool traceKeys = false;
    bool simulateNotch = false;

    static LaunchPlan from(const LaunchFlags& flags);

    Mode mode() const;
    // The scheduled actions in their order, each with its delay.
    std::vector<ScheduledAction> schedule() const;
};

// The value of "--trigger-after": a decimal number written as the whole argument (no blank, no
// hexadecimal, no NaN or infinity) of at most kMaxTriggerDelay seconds; a negative number runs
// at once (0).
inline constexpr double kMaxTriggerDelay = 2147483;
std::optional<double> parseTriggerDelay(std::string_view text);

// The app the press test acts on: the browser the fixture pages open in, unless
// OVRA_PRESS_TEST_APP names another.
inline constexpr std::string_view kPressTestApp = "chromium";

// The text of "--help".
std::string usage();

}  // namespace ovra
