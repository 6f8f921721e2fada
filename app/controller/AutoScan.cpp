#include "app/controller/AutoScan.h"

#include <algorithm>
#include <cmath>

namespace ovra {

AutoScan::AutoScan(Scheduler& scheduler, const Preferences& prefs, OverlayModel& overlay,
                   std::function<void()> stepped)
    : scheduler_(scheduler), prefs_(prefs), overlay_(overlay), stepped_(std::move(stepped)) {}

AutoScan::~AutoScan() {
    scheduler_.cancel(timer_);
}

double AutoScan::interval() const {
    const PreferenceRange range = *keys::scanInterval.clampedTo;
    const double seconds = prefs_.get(keys::scanInterval);
    return std::isfinite(seconds) ? std::clamp(seconds, range.low, range.high) : range.low;
}

void AutoScan::start() {
    overlay_.setScanning(true);
    steps_ = 0;
    scheduler_.cancel(timer_);
    timer_ = scheduler_.after(interval() * 1.5, [this] { firstStep(); });
}

void AutoScan::firstStep() {
    timer_ = 0;
    step();
    if (overlay_.scanning()) {
        timer_ = scheduler_.every(interval(), [this] { step(); });
    }
}

void AutoScan::step() {
    ++steps_;
    // Three rounds over the list, then it stops by itself.
    if (static_cast<std::size_t>(steps_) < 3 * overlay_.navigationOrder().size()) {
        overlay_.move(1);
        stepped_();
    } else {
        stop();
    }
}

void AutoScan::stop() {
    scheduler_.cancel(timer_);
    timer_ = 0;
    overlay_.setScanning(false);
}

}  // namespace ovra
