#pragma once

// Watches the app of the open overlay for having quit or been killed: its controls are gone with
// it, so the overlay must close and say so. The app is checked every quarter of a second while
// it is watched, and a reading of it can ask at once whether it has gone.

#include <functional>
#include <optional>
#include <string>

#include "app/controller/ControllerServices.h"
#include "platform/scheduler/Scheduler.h"

namespace ovra {

class TargetWatch final {
  public:
    static constexpr double kInterval = 0.25;

    // `gone` runs on the main thread when the watched app has gone; the watch has ended then.
    TargetWatch(Scheduler& scheduler, TargetWorkspace& workspace,
                std::function<void(const TargetApp&)> gone);
    ~TargetWatch();
    TargetWatch(const TargetWatch&) = delete;
    TargetWatch& operator=(const TargetWatch&) = delete;

    // Watches `target` from now on, in place of the app watched before.
    void watch(const TargetApp& target);
    // Ends the watch: the overlay closes, or shows no app's window.
    void stop();
    bool watching() const { return target_.has_value(); }

    // Whether the app's process has ended. A window without a known process, or this app's own,
    // has nothing to check.
    bool gone(const TargetApp& target) const;
    // What the overlay says when the app of its request has gone.
    static std::string sentence(const TargetApp& target);

  private:
    void check();

    Scheduler& scheduler_;
    TargetWorkspace& workspace_;
    std::function<void(const TargetApp&)> gone_;
    std::optional<TargetApp> target_;
    Scheduler::Token check_ = 0;
};

}  // namespace ovra
