#include "app/controller/TargetWatch.h"

#include <utility>

#include "core/OvraText.h"

namespace ovra {

TargetWatch::TargetWatch(Scheduler& scheduler, TargetWorkspace& workspace,
                         std::function<void(const TargetApp&)> gone)
    : scheduler_(scheduler), workspace_(workspace), gone_(std::move(gone)) {}

TargetWatch::~TargetWatch() {
    scheduler_.cancel(check_);
}

void TargetWatch::watch(const TargetApp& target) {
    target_ = target;
    scheduler_.cancel(check_);
    check_ = scheduler_.after(kInterval, [this] { check(); });
}

void TargetWatch::stop() {
    target_.reset();
    scheduler_.cancel(check_);
    check_ = 0;
}

void TargetWatch::check() {
    check_ = 0;
    if (!target_) {
        return;
    }
    if (gone(*target_)) {
        const TargetApp target = *std::exchange(target_, std::nullopt);
        gone_(target);
        return;
    }
    check_ = scheduler_.after(kInterval, [this] { check(); });
}

bool TargetWatch::gone(const TargetApp& target) const {
    return target.pid > 0 && target.pid != workspace_.ownPid() && !workspace_.isRunning(target);
}

std::string TargetWatch::sentence(const TargetApp& target) {
    const std::string name = target.name.empty() ? target.processName : target.name;
    return name.empty()
               ? OvraText::t("The app has closed, so Ovra closed. Nothing was pressed.")
               : OvraText::f("%@ has closed, so Ovra closed. Nothing was pressed.", {name});
}

}  // namespace ovra
