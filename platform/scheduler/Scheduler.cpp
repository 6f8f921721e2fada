#include "platform/scheduler/Scheduler.h"

#include <algorithm>
#include <cmath>

namespace ovra {

namespace {
constexpr double kLongest = 2'000'000.0;  // seconds; Qt timers take at most 2^31 - 1 ms
}

double clampedDelay(double seconds) {
    if (!(seconds > 0)) {
        return 0;
    }
    return std::min(seconds, kLongest);
}

double clampedInterval(double seconds) {
    if (std::isnan(seconds)) {
        return Scheduler::kMinimumInterval;
    }
    return std::clamp(seconds, Scheduler::kMinimumInterval, kLongest);
}

}  // namespace ovra
