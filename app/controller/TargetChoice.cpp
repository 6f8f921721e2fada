#include "app/controller/TargetChoice.h"

#include "core/DisplayText.h"

namespace ovra {

TargetChoice::TargetChoice(TargetWorkspace& workspace, AccessibilityWorker& worker,
                           std::function<void(const std::string&)> log)
    : workspace_(workspace), worker_(worker), log_(std::move(log)) {}

bool TargetChoice::frontChanged(const TargetApp& app) {
    if (app.pid == workspace_.ownPid()) {
        return false;
    }
    // A window of an unknown process is no app to come back to.
    if (app.pid != 0) {
        last_ = app;
    }
    return true;
}

void TargetChoice::rememberFront() {
    if (auto front = workspace_.frontmost();
        front && front->pid != workspace_.ownPid() && front->pid != 0) {
        last_ = *front;
    }
}

TargetChoice::Choice TargetChoice::choose() {
    const std::optional<TargetApp> front = workspace_.frontmost();
    if (front && front->pid == 0) {
        return {Kind::unnamed, *front};
    }
    const bool ownInFront = !front || front->pid == workspace_.ownPid();
    std::optional<TargetApp> last;
    if (last_ && workspace_.isRunning(*last_)) {
        last = last_;
    }
    std::string name = ownInFront ? std::string() : front->name;
    if (name.empty() && last) {
        name = last->name;
    }
    if (name.empty()) {
        return {};
    }
    if (!ownInFront) {
        TargetApp target = *front;
        // The name the last reading of this very process found.
        if (last && last->sameProcess(target)) {
            target.name = last->name;
        }
        last_ = target;
        return {Kind::front, target};
    }
    return {Kind::last, *last};
}

void TargetChoice::matchUnnamed(const TargetApp& window,
                                std::function<void(const TargetApp&)> found) {
    const std::uint64_t serial = ++matchSerial_;
    worker_.matchWindow(window, [this, alive = std::weak_ptr<int>(alive_), serial, window,
                                 found = std::move(found)](std::optional<std::int64_t> pid) {
        if (alive.expired() || serial != matchSerial_) {
            return;
        }
        std::optional<TargetApp> target = pid ? workspace_.ofProcess(window, *pid) : std::nullopt;
        if (!target) {
            if (log_) {
                log_("no app on the accessibility bus shows the window in front (\"" +
                     window.title + "\"): nothing to simplify");
            }
            return;
        }
        last_ = target;
        found(*target);
    });
}

void TargetChoice::named(const TargetApp& target, const std::string& appName) {
    // The app's own name for itself, when it has one beyond its process name.
    if (last_ && last_->sameProcess(target) && appName != target.processName &&
        !text::forDisplay(appName).empty()) {
        last_->name = text::forDisplay(appName);
    }
}

std::optional<std::string> TargetChoice::name() {
    const std::optional<TargetApp> front = workspace_.frontmost();
    if (front && front->pid != workspace_.ownPid()) {
        if (last_ && last_->sameProcess(*front)) {
            return last_->name;
        }
        return front->name.empty() ? std::nullopt : std::optional(front->name);
    }
    if (last_ && workspace_.isRunning(*last_)) {
        return last_->name;
    }
    return std::nullopt;
}

}  // namespace ovra
