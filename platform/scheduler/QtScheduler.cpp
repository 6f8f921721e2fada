#include "platform/scheduler/QtScheduler.h"

#include <QTimer>
#include <cmath>
#include <utility>

#include "platform/qt/MainThreadActivity.h"

namespace ovra {

QtScheduler::QtScheduler() {
    clock_.start();
}

QtScheduler::~QtScheduler() = default;

Scheduler::Token QtScheduler::after(double seconds, std::function<void()> work) {
    return start(clampedDelay(seconds), false, std::move(work));
}

Scheduler::Token QtScheduler::every(double seconds, std::function<void()> work) {
    return start(clampedInterval(seconds), true, std::move(work));
}

Scheduler::Token QtScheduler::start(double seconds, bool repeating, std::function<void()> work) {
    const Token token = ++last_;
    auto timer = std::make_unique<QTimer>();
    timer->setSingleShot(!repeating);
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(static_cast<int>(std::lround(seconds * 1000)));
    QObject::connect(timer.get(), &QTimer::timeout, &context_,
                     [this, token, repeating, work = std::move(work)] {
                         if (!repeating) {
                             // Keep the work alive while it runs: erasing the timer destroys
                             // this lambda's captures.
                             auto run = work;
                             auto keep = timers_.extract(token);
                             if (!keep.empty()) {
                                 keep.mapped().release()->deleteLater();
                             }
                             activity::running(run.target_type());
                             run();
                             return;
                         }
                         auto run = work;
                         activity::running(run.target_type());
                         run();
                     });
    timer->start();
    timers_.emplace(token, std::move(timer));
    return token;
}

void QtScheduler::cancel(Token token) {
    auto found = timers_.find(token);
    if (found == timers_.end()) {
        return;
    }
    found->second->stop();
    // A repeating timer may cancel itself from its own timeout: delete it once that returns.
    found->second.release()->deleteLater();
    timers_.erase(found);
}

double QtScheduler::now() const {
    return static_cast<double>(clock_.nsecsElapsed()) / 1e9;
}

}  // namespace ovra
