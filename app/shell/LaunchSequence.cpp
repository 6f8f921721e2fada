#include "app/shell/LaunchSequence.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "app/controller/Preferences.h"
#include "core/Instructions.h"

namespace ovra {

namespace {

constexpr double kSnapshotWriteAt = 3.0;  // from launch; the preparation runs at 1.5 s
constexpr double kSettingsCommandAfter = 1.0;
constexpr double kSettingsReportAfter = 3.0;
constexpr double kKeysAfter = 2.5;
constexpr double kKeyReportAfter = 1.0;
constexpr double kTriggerReportAfter = 12.0;
constexpr double kCreditsEndAfter = 1.0;
constexpr double kWideWindow = 100;

// A number as Swift's default description writes it: "900.0", "640.5".
std::string decimalText(double value) {
    if (!std::isfinite(value)) {
        return std::isnan(value) ? "nan" : (value > 0 ? "inf" : "-inf");
    }
    if (value == std::floor(value) && std::fabs(value) < 1e15) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%.1f", value);
        return buffer;
    }
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

// "{w, h}" and "{{x, y}, {w, h}}", whole numbers without a fraction.
std::string shortNumber(double value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}
std::string braceSize(Size size) {
    return "{" + shortNumber(size.width) + ", " + shortNumber(size.height) + "}";
}
std::string braceRect(const Rect& rect) {
    return "{{" + shortNumber(rect.origin.x) + ", " + shortNumber(rect.origin.y) + "}, " +
           braceSize(rect.size) + "}";
}

std::string wholeText(double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.0f", value);
    return buffer;
}

}  // namespace

const std::vector<std::string>& LaunchSequence::features() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> out;
        for (const OvraFeature feature : OvraFeature::allCases()) {
            out.emplace_back(feature.rawValue());
        }
        return out;
    }();
    return names;
}

std::string LaunchSequence::sizeText(Size size) {
    return "(" + decimalText(size.width) + ", " + decimalText(size.height) + ")";
}

LaunchSequence::LaunchSequence(LaunchPlan plan, ShellController& controller, LaunchHost& host,
                               Scheduler& scheduler)
    : plan_(std::move(plan)), controller_(controller), host_(host), scheduler_(scheduler) {}

LaunchSequence::~LaunchSequence() {
    for (const Scheduler::Token token : pending_) {
        scheduler_.cancel(token);
    }
}

void LaunchSequence::scheduleFlags() {
    for (const ScheduledAction& action : plan_.schedule()) {
        later(action.delay, [this, flag = action.flag] { run(flag); });
    }
    if (plan_.snapshot) {
        later(kSnapshotWriteAt, [this] { snapshotWrite(); });
    }
}

void LaunchSequence::later(double seconds, std::function<void()> work) {
    pending_.push_back(scheduler_.after(seconds, [this, work = std::move(work)] {
        if (!ended_) {
            work();
        }
    }));
}

void LaunchSequence::end(int code) {
    if (ended_) {
        return;
    }
    ended_ = true;
    if (sidebarBefore_) {
        controller_.prefs().set(keys::sidebar, *sidebarBefore_);
    }
    host_.exit(code);
}

void LaunchSequence::run(ScheduledFlag flag) {
    switch (flag) {
        case ScheduledFlag::dashboard:
            controller_.showDashboard(plan_.dashboard.value_or(OvraPane::home));
            return;
        case ScheduledFlag::snapshot:
            snapshotPrepare();
            return;
        case ScheduledFlag::home:
            host_.openHome();
            return;
        case ScheduledFlag::settingsScene:
            settingsScene();
            return;
        case ScheduledFlag::keyTest:
            keyTest();
            return;
        case ScheduledFlag::triggerAfter:
            triggerTest();
            return;
        case ScheduledFlag::creditsTest:
            creditsTest();
            return;
        case ScheduledFlag::overlaySnapshot:
            host_.overlaySnapshot(plan_.overlaySnapshot.value_or("/tmp/ovra-overlay.png"));
            return;
        case ScheduledFlag::findTest:
            host_.findTest();
            return;
        case ScheduledFlag::keyboardTest:
            host_.keyboardTest();
            return;
        case ScheduledFlag::scrollTest:
            host_.scrollTest();
            return;
        case ScheduledFlag::demo:
            controller_.trigger();
            return;
    }
}

void LaunchSequence::snapshotPrepare() {
    const std::vector<std::string>& rest = *plan_.snapshot;
    const auto& known = features();
    if (rest.size() >= 2 && std::find(known.begin(), known.end(), rest[1]) != known.end()) {
        controller_.showDashboard(OvraPane::instructions);
        host_.showFeature(rest[1]);
    }
    const auto has = [&rest](std::string_view word) {
        return std::find(rest.begin(), rest.end(), word) != rest.end();
    };
    std::optional<bool> dark;
    if (has("dark")) {
        dark = true;
    }
    if (has("light")) {
        dark = false;  // "light" wins when both are given
    }
    host_.setAppearance(dark);
}

void LaunchSequence::snapshotWrite() {
    const std::vector<std::string>& rest = *plan_.snapshot;
    if (rest.empty()) {
        host_.print("snapshot: no window");
        end(1);
        return;
    }
    const std::string& path = rest.front();
    const SettingsSnapshot shot = host_.writeSettingsSnapshot(path);
    switch (shot.status) {
        case SettingsSnapshot::Status::noWindow:
            host_.print("snapshot: no window");
            end(1);
            return;
        case SettingsSnapshot::Status::cannotWrite:
            host_.print("snapshot: cannot write " + path);
            end(1);
            return;
        case SettingsSnapshot::Status::written:
            host_.print("snapshot: " + path + ", window " + sizeText(shot.window) + ", content " +
                        sizeText(shot.content) + ", fitting " + sizeText(shot.fitting));
            end(0);
            return;
    }
}

void LaunchSequence::settingsScene() {
    host_.hideWideWindows();
    later(kSettingsCommandAfter, [this] {
        if (auto title = host_.pressSettingsCommand()) {
            host_.log("pressing the Settings command '" + *title + "'");
        } else {
            host_.log("no Settings command with Ctrl+, in the app's windows");
        }
        later(kSettingsReportAfter, [this] {
            for (const WindowReport& window : host_.visibleWindows()) {
                if (window.frame.width() > kWideWindow) {
                    host_.log("visible window '" + window.title + "' " +
                              wholeText(window.frame.width()) + "x" +
                              wholeText(window.frame.height()));
                }
            }
            end(0);
        });
    });
}

void LaunchSequence::keyTest() {
    Preferences& prefs = controller_.prefs();
    if (!sidebarBefore_) {
        sidebarBefore_ = prefs.get(keys::sidebar);
    }
    prefs.set(keys::sidebar, true);
    if (plan_.keyTest == "button") {
        controller_.ovraButtonPressed();
    } else if (controller_.overlayVisible()) {
        controller_.dismiss();
    } else {
        controller_.trigger();
    }
    later(kKeysAfter, [this] {
        controller_.logKeyState("before keys");
        host_.postKeys({48, 125, 125});  // Tab, Down, Down
        later(kKeyReportAfter, [this] {
            controller_.logKeyState("after Tab, Down, Down");
            end(0);
        });
    });
}

void LaunchSequence::triggerTest() {
    controller_.trigger();
    host_.log("trigger-after: pressed; model status " + controller_.modelStatusDetail());
    later(kTriggerReportAfter, [this] {
        host_.log("trigger-after: 12 s later, model status " + controller_.modelStatusDetail());
        end(0);
    });
}

void LaunchSequence::creditsTest() {
    controller_.showDashboard(OvraPane::general);
    host_.showCredits();
    const std::vector<WindowReport> windows = host_.visibleWindows();
    std::string titles = "[";
    for (std::size_t i = 0; i < windows.size(); ++i) {
        titles += (i == 0 ? "\"" : ", \"") + windows[i].title + "\"";
    }
    titles += "]";
    host_.log("credits-test: open windows " + titles + "; modal session: " +
              (host_.modalWindowOpen() ? "YES (Settings would be locked)" : "none"));
    for (const WindowReport& window : windows) {
        if (window.title.empty() || !window.hasContent) {
            continue;
        }
        host_.log("credits-test: " + window.title + " takes the first click: " +
                  (window.takesFirstClick ? "yes" : "NO") + "; frame " + braceRect(window.frame) +
                  "; content fits " + braceSize(window.fitting));
    }
    later(kCreditsEndAfter, [this] { end(0); });
}

}  // namespace ovra
