#include "app/diagnostics/DebugDump.h"

#include <cmath>
#include <deque>
#include <exception>

#include "app/accessibility/AXExtractor.h"
#include "app/diagnostics/DumpFormat.h"
#include "app/diagnostics/RunningApps.h"
#include "app/diagnostics/WindowAsShown.h"
#include "core/FocusPlanner.h"
#include "core/StepCount.h"

namespace ovra::DebugDump {
namespace {

// The planner numbers at most this many controls in a dump, whatever the user chose.
constexpr int kDumpBeacons = 5;
const AXExtractor kDumpReader{
    .maxDepth = 6, .maxCandidates = 14, .maxRawDepth = 48, .nodeBudget = 4000};
const AXExtractor kPressReader{
    .maxDepth = 12, .maxCandidates = 40, .maxRawDepth = 48, .nodeBudget = 4000};
const AXExtractor kReportReader{
    .maxDepth = 2, .maxCandidates = 1, .maxRawDepth = 48, .nodeBudget = 4000};

// Tree dump limits (indentation stops growing at 20 levels, see DumpFormat::treeLine).
constexpr int kMaxWalkDepth = 30;
constexpr int kMaxPrinted = 400;
constexpr int kRadioButtonsUntil = 60;
// Elements taken from the queue at most. The printed count alone does not bound the walk: radio
// buttons past the 60th line are walked without being counted, and an app may offer millions.
constexpr std::size_t kMaxVisited = 4000;

void print(const DumpServices& services, const std::string& line) {
    *services.out << line << '\n' << std::flush;
}

long long millisecondsSince(const DumpServices& services, double start) {
    return DumpFormat::truncated((services.clock->now() - start) * 1000.0);
}

// The app's active window once the window manager has acted on the activation, which it does
// in its own time; none when another app keeps the front for longer than the wait.
std::optional<input::WindowId> activeWindowAfterActivation(const PressServices& press,
                                                           std::int64_t pid, ax::Clock& clock) {
    if (!press.activeWindowOf) {
        return std::nullopt;
    }
    // Counted, not timed: the wait ends even with a clock that does not move.
    const auto polls = static_cast<int>(std::ceil(kActivationWait / kActivationPoll));
    for (int poll = 0;; ++poll) {
        if (auto window = press.activeWindowOf(pid)) {
            return window;
        }
        if (poll >= polls) {
            return std::nullopt;
        }
        clock.sleep(kActivationPoll);
    }
}

std::optional<ax::RunningApp> named(const std::string& app, const DumpServices& services) {
    const auto processes = services.processes ? services.processes() : std::vector<ProcessEntry>{};
    return RunningApps::find(app, processes, *services.backend);
}

// Decisions of the installed classifier, or none. Prints the model line.
std::optional<FocusPlanner::Decisions> modelDecisions(const WindowSnapshot& snapshot,
                                                      const DumpServices& services) {
    const std::string id(services.model.rawValue());
    const auto files = services.locateModel ? services.locateModel(id) : std::nullopt;
    std::shared_ptr<supervisor::Classifier> classifier;
    if (files && services.loadClassifier) {
        try {
            classifier = services.loadClassifier(files->first, files->second);
        } catch (const std::exception&) {
            classifier = nullptr;
        }
    }
    if (!classifier) {
        print(services, std::string(DumpFormat::kModelMissing));
        return std::nullopt;
    }
    const double start = services.clock->now();
    std::optional<FocusPlanner::Decisions> decisions;
    try {
        auto answers = classifier->decide(snapshot.candidates, snapshot.appName,
                                          snapshot.windowTitle, snapshot.windowFrame);
        decisions.emplace(std::make_move_iterator(answers.begin()),
                          std::make_move_iterator(answers.end()));
    } catch (const std::exception&) {
        // This window falls back to the built-in rules; the model line still shows the time.
        decisions.reset();
    }
    print(services, DumpFormat::modelLine(id, millisecondsSince(services, start)));
    return decisions;
}

struct TreeEntry {
    ax::Element element;
    int depth = 0;
    std::string path;
};

std::string roleOf(ax::AccessibilityBackend& backend, const ax::Element& element) {
    if (auto role = backend.attribute(element, "AXRole"); role.ok()) {
        if (const std::string* text = ax::asString(role.value())) {
            return *text;
        }
    }
    return "?";
}

Rect frameOf(ax::AccessibilityBackend& backend, const ax::Element& element) {
    auto position = backend.attribute(element, "AXPosition");
    auto size = backend.attribute(element, "AXSize");
    const auto point = position.ok() ? ax::asPoint(position.value()) : std::nullopt;
    const auto extent = size.ok() ? ax::asSize(size.value()) : std::nullopt;
    if (!point || !extent) {
        return Rect();
    }
    return Rect(*point, *extent);
}

ax::ElementList childrenOf(ax::AccessibilityBackend& backend, const ax::Element& element) {
    if (auto children = backend.attribute(element, "AXChildren"); children.ok()) {
        if (const ax::ElementList* list = ax::asElementList(children.value())) {
            return *list;
        }
    }
    return {};
}

}  // namespace

int run(const std::optional<std::string>& app, const DumpServices& services) {
    WindowAsShown backend(*services.backend);
    // The named app, else the frontmost one. A name that matches nothing never stands for the
    // app in front: its plan would pass for the named app's.
    const std::optional<ax::RunningApp> target =
        app ? named(*app, services) : backend.frontmostApp();
    if (!target) {
        print(services, "no target app");
        return DumpExit::nothingToDump;
    }

    const double start = services.clock->now();
    AXExtractor reader = kDumpReader;
    reader.maxDepth = services.traversalDepth;
    auto read = reader.snapshot(*target, backend, *services.clock);
    if (!read) {
        print(services, "extract failed: " + description(read.error()));
        return DumpExit::readerFailed;
    }
    const WindowSnapshot snapshot = std::move(read).value();
    const long long readingTime = millisecondsSince(services, start);

    print(services,
          DumpFormat::windowLine(snapshot.appName, snapshot.windowTitle, snapshot.windowFrame,
                                 snapshot.candidates.size(), readingTime));
    print(services, DumpFormat::viewportLine(snapshot.viewport));

    // The model when it is installed; the built-in rules otherwise.
    const auto decisions = modelDecisions(snapshot, services);
    const FocusPlan plan = FocusPlanner::plan(
        snapshot.candidates, decisions ? &*decisions : nullptr, kDumpBeacons, FocusOverrides{}, "");

    for (const auto& line : DumpFormat::itemLines(plan)) {
        print(services, line);
    }
    for (const auto& line : DumpFormat::stepLines(StepCounter::count(plan, true))) {
        print(services, line);
    }
    return DumpExit::done;
}

int tree(const std::optional<std::string>& app, const DumpServices& services) {
    ax::AccessibilityBackend& backend = *services.backend;
    std::optional<ax::Element> window;
    if (auto target = app ? named(*app, services) : std::nullopt) {
        const ax::Element appElement = backend.applicationElement(*target);
        if (auto focused = backend.attribute(appElement, "AXFocusedWindow"); focused.ok()) {
            window = ax::asElement(focused.value());
        }
    }
    if (!window || window->isNull()) {
        print(services, "no window");
        return DumpExit::nothingToDump;
    }

    std::deque<TreeEntry> queue{{*window, 0, ""}};
    int printed = 0;
    std::size_t visited = 0;
    while (!queue.empty()) {
        const TreeEntry entry = std::move(queue.front());
        queue.pop_front();
        ++visited;
        const std::string role = roleOf(backend, entry.element);
        const Rect frame = frameOf(backend, entry.element);
        const ax::ElementList children = childrenOf(backend, entry.element);

        if (role != "AXRadioButton" || printed < kRadioButtonsUntil) {
            print(services, DumpFormat::treeLine(entry.depth, role, children.size(), frame));
            ++printed;
        }
        if (role == "AXWebArea") {
            print(services, "FOUND web area at depth " + std::to_string(entry.depth) + ", path " +
                                entry.path);
            return DumpExit::done;
        }
        if (entry.depth < kMaxWalkDepth) {
            for (std::size_t i = 0; i < children.size() && visited + queue.size() < kMaxVisited;
                 ++i) {
                queue.push_back(
                    {children[i], entry.depth + 1, entry.path + "." + std::to_string(i)});
            }
        }
        if (printed >= kMaxPrinted) {
            break;
        }
    }
    print(services, "no AXWebArea within the first nodes");
    return DumpExit::done;
}

Result<PressedControl, int> pressTest(const std::string& app, const std::string& label,
                                      const DumpServices& services, const PressServices& press) {
    ax::AccessibilityBackend& backend = *services.backend;
    const auto nothing = [&] {
        print(services, DumpFormat::noControl(label));
        return fail(DumpExit::nothingToDump);
    };
    // The app, its window and the first control with exactly this label.
    const auto target = named(app, services);
    if (!target) {
        return nothing();
    }
    auto read = kPressReader.snapshot(*target, backend, *services.clock);
    if (!read) {
        return nothing();
    }
    const WindowSnapshot& snapshot = read.value();
    const double readAt = services.clock->now();
    const UICandidate* control = nullptr;
    for (const auto& candidate : snapshot.candidates) {
        if (candidate.label() == label) {
            control = &candidate;
            break;
        }
    }
    const auto element = control ? snapshot.elements.find(control->id) : snapshot.elements.end();
    if (element == snapshot.elements.end() || element->second.isNull()) {
        return nothing();
    }

    PressedControl pressed{*target, label, control->role, {}, false, snapshot.windowTitle};
    if (auto names = backend.actionNames(element->second); names.ok()) {
        pressed.actions = names.value();
    }
    AXActions& actions = *press.actions;
    pressed.web = actions.isInWebArea(element->second);

    // The app to the front: its window activated through the window manager, as a pager would
    // (another app may be in front), then raised.
    const auto appWindow =
        press.appWindow ? press.appWindow(target->pid, snapshot.windowTitle) : std::nullopt;
    const double forwardSince = services.clock->now();
    actions.raise(appWindow, snapshot.windowElement);

    // A click is only sent where it lands on the app's own window, once that window is the
    // active one: a click at a point that another window covers would press something else.
    const bool textInput = control->isTextInput();
    const auto window = !textInput && pressed.web
                            ? activeWindowAfterActivation(press, target->pid, *services.clock)
                            : std::nullopt;
    const PressRequest request{
        *control,
        element->second,
        *target,
        snapshot.windowFrame,
        snapshot.viewport,
        window,
        snapshot.windowElement,
        [&]() -> std::optional<WindowSnapshot> {
            auto again = kPressReader.snapshot(*target, backend, *services.clock);
            return again ? std::optional(std::move(again).value()) : std::nullopt;
        },
        false,
        services.clock->now() - readAt,
        snapshot.candidates,
        forwardSince,
        snapshot.elements};
    const PressOutcome outcome = actions.press(request);
    if (outcome.route) {
        return pressed;
    }
    // Said at once; the titles follow in the report as after any press.
    pressed.code = DumpExit::notPressed;
    const PressFailure failure = outcome.failure.value_or(PressFailure::refused);
    if (failure == PressFailure::unsure) {
        print(services, DumpFormat::pressUnsure(label, outcome.told, outcome.relabelled));
        return pressed;
    }
    std::string why;
    if (failure == PressFailure::changed) {
        why = "the control changed";
    } else if (failure == PressFailure::gone) {
        why = "it went away before it was pressed";
    } else if (failure == PressFailure::covered) {
        why = "something else is shown where it is";
    } else if (failure == PressFailure::refused) {
        why = "every way failed (";
        for (std::size_t i = 0; i < outcome.failedRoutes.size(); ++i) {
            why += (i == 0 ? "" : ", ") + outcome.failedRoutes[i];
        }
        why += ")";
    } else {
        why = rawValue(failure);  // whatever else the press tells
    }
    print(services, DumpFormat::notPressed(label, why));
    return pressed;
}

int pressReport(const PressedControl& pressed, const DumpServices& services) {
    std::string after = "?";
    if (auto read = kReportReader.snapshot(pressed.app, *services.backend, *services.clock)) {
        after = read.value().windowTitle;
    }
    print(services, DumpFormat::pressReport(pressed.label, pressed.role, pressed.actions,
                                            pressed.web, pressed.titleBefore, after));
    return pressed.code;
}

}  // namespace ovra::DebugDump
