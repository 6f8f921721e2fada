#include "platform/scheduler/ManualScheduler.h"

#include <algorithm>
#include <utility>

namespace ovra {

Scheduler::Token ManualScheduler::after(double seconds, std::function<void()> work) {
    items_.emplace(++last_, Item{now_ + clampedDelay(seconds), 0, std::move(work)});
    return last_;
}

Scheduler::Token ManualScheduler::every(double seconds, std::function<void()> work) {
    const double interval = clampedInterval(seconds);
    items_.emplace(++last_, Item{now_ + interval, interval, std::move(work)});
    return last_;
}

void ManualScheduler::cancel(Token token) {
    items_.erase(token);
}

void ManualScheduler::advance(double seconds) {
    const double until = now_ + std::max(0.0, seconds);
    for (;;) {
        auto next = items_.end();
        for (auto it = items_.begin(); it != items_.end(); ++it) {
            // Tokens grow, so the first of equal due times is the one scheduled first.
            if (it->second.due <= until + 1e-9 &&
                (next == items_.end() || it->second.due < next->second.due)) {
                next = it;
            }
        }
        if (next == items_.end()) {
            break;
        }
        now_ = std::max(now_, next->second.due);
        const Token token = next->first;
        if (next->second.interval > 0) {
            next->second.due += next->second.interval;
            auto work = next->second.work;  // copy: the work may cancel its own token
            work();
        } else {
            auto work = std::move(next->second.work);
            items_.erase(next);
            work();
        }
        (void)token;
    }
    now_ = until;
}

}  // namespace ovra
