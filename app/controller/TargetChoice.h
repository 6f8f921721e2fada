#pragma once

// Which app a request is for, captured when it is asked for: the app in front unless it is this
// one; then, or when no window is active for a moment (the window in front just closed, or its
// app is too busy to take the focus the window manager offers it), the last other app while it
// still runs. A window whose process the window manager does not name is matched on the
// accessibility bus, and read only when an app there shows it: never another app instead.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/controller/ControllerServices.h"

namespace ovra {

class TargetChoice final {
  public:
    enum class Kind {
        front,    // the app in front: read it now
        last,     // the last other app: bring it forward, then read it
        unnamed,  // a window of an unknown process: match it first
        none,     // no app to read
    };
    struct Choice {
        Kind kind = Kind::none;
        TargetApp app;
    };

    TargetChoice(TargetWorkspace& workspace, AccessibilityWorker& worker,
                 std::function<void(const std::string&)> log);

    // The window manager made a window active; false when it is one of this app's.
    bool frontChanged(const TargetApp& app);
    // At start: the app in front, when it is another's.
    void rememberFront();
    Choice choose();
    // Matches a window of an unknown process; `found` gets its app, when an app shows it.
    void matchUnnamed(const TargetApp& window, std::function<void(const TargetApp&)> found);
    // A reading of `target` found the app's own name for itself.
    void named(const TargetApp& target, const std::string& appName);
    // The name of the app a request would read.
    std::optional<std::string> name();

  private:
    TargetWorkspace& workspace_;
    AccessibilityWorker& worker_;
    std::function<void(const std::string&)> log_;
    std::optional<TargetApp> last_;  // the last other app in front
    std::uint64_t matchSerial_ = 0;  // only the newest match counts
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace ovra
