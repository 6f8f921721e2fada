#pragma once

// Command-line diagnostics that print what the accessibility reader and the deciders see in
// another app's window: the planned controls ("--dump"), the raw tree down to the first web
// area ("--tree"), and one press of a control found by its label ("--press-test"). Each entry
// point writes its lines to `out` and gives back the process's exit code; the caller ends the
// process with it.

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/accessibility/ElementActions.h"
#include "app/model/SupervisorServices.h"
#include "core/Result.h"
#include "core/SettingsTypes.h"
#include "platform/accessibility/AccessibilityBackend.h"

namespace ovra {

struct ProcessEntry;

namespace DumpExit {
inline constexpr int done = 0;
inline constexpr int readerFailed = 1;
inline constexpr int nothingToDump = 2;
inline constexpr int notPressed = 3;  // the press test found the control but pressed nothing
}  // namespace DumpExit

// What the dumps read from and write to.
struct DumpServices {
    ax::AccessibilityBackend* backend = nullptr;
    ax::Clock* clock = nullptr;
    std::ostream* out = nullptr;
    // The running processes, lowest process id first.
    std::function<std::vector<ProcessEntry>()> processes;
    // The user's depth limit and model choice, as the preferences store reads them (the dumps
    // never write the settings).
    int traversalDepth = 6;
    VornModel model = VornModel::english;
    // The model and tokenizer files of a model id; none when it is not installed.
    std::function<std::optional<std::pair<std::filesystem::path, std::filesystem::path>>(
        const std::string& modelID)>
        locateModel;
    // Loads the classifier (throws on failure); empty when no model runtime is available.
    supervisor::ClassifierLoader loadClassifier;
};

// What the press test acts through.
struct PressServices {
    AXActions* actions = nullptr;
    // The top-level window of the app (process `pid`) to bring to the front: the one titled
    // `title`, else its newest; none when the app has no window the desktop knows of.
    std::function<std::optional<input::WindowId>(std::int64_t pid, const std::string& title)>
        appWindow;
    // The app's active top-level window, when one of its windows is the active one; clicks are
    // only sent where they land on it.
    std::function<std::optional<input::WindowId>(std::int64_t pid)> activeWindowOf;
};

namespace DebugDump {

// "--dump": reads the window of the app named `app` (the frontmost app when none is given or
// none runs), decides with the classifier when it is installed, plans at most 5 numbered
// highlights and prints one line per planned control and the key presses they save.
int run(const std::optional<std::string>& app, const DumpServices& services);

// "--tree": prints the focused window's tree breadth-first until the first web area.
int tree(const std::optional<std::string>& app, const DumpServices& services);

// What the press test remembers for its report.
struct PressedControl {
    ax::RunningApp app;
    std::string label;
    std::string role;
    std::vector<std::string> actions;
    bool web = false;
    std::string titleBefore;
    // The press test's exit code: done, or notPressed when the press is not known to have
    // reached the control (the line saying why is printed as it happens).
    int code = DumpExit::done;
};

// "--press-test": finds the first control labelled exactly `label` in the window of `app` and
// acts on it. The exit code when there is nothing to press (after printing so), else the control
// for `pressReport`, which the caller runs 1.0 s later, whether or not the press landed.
Result<PressedControl, int> pressTest(const std::string& app, const std::string& label,
                                      const DumpServices& services, const PressServices& press);
inline constexpr double kPressReportDelay = 1.0;
// How long the press test waits for the window manager to activate the app before it gives up
// clicking and presses through the accessibility action instead, and how often it looks.
inline constexpr double kActivationWait = 1.0;
inline constexpr double kActivationPoll = 0.05;

// Reads the window title again and prints the press test's report; the press's exit code.
int pressReport(const PressedControl& pressed, const DumpServices& services);

}  // namespace DebugDump

}  // namespace ovra
