#include "app/controller/QueueScheduler.h"

#include <chrono>

namespace ovra {

QueueScheduler::QueueScheduler(Post post)
    : post_(std::move(post)), thread_([this](const std::stop_token& stop) { loop(stop); }) {}

QueueScheduler::~QueueScheduler() {
    stop();
}

void QueueScheduler::stop() {
    if (thread_.joinable()) {
        thread_.request_stop();
        wake_.notify_all();
        thread_.join();
    }
}

double QueueScheduler::now() const {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

Scheduler::Token QueueScheduler::add(double due, double interval, std::function<void()> work) {
    Token token = 0;
    {
        std::lock_guard lock(mutex_);
        token = ++last_;
        due_.emplace(
            due, Entry{token, interval, std::make_shared<std::function<void()>>(std::move(work))});
    }
    wake_.notify_all();
    return token;
}

Scheduler::Token QueueScheduler::after(double seconds, std::function<void()> work) {
    return add(now() + clampedDelay(seconds), 0, std::move(work));
}

Scheduler::Token QueueScheduler::every(double seconds, std::function<void()> work) {
    const double interval = clampedInterval(seconds);
    return add(now() + interval, interval, std::move(work));
}

void QueueScheduler::cancel(Token token) {
    if (token == 0) {
        return;
    }
    {
        std::lock_guard lock(mutex_);
        for (auto it = due_.begin(); it != due_.end(); ++it) {
            if (it->second.token == token) {
                due_.erase(it);
                break;
            }
        }
    }
    std::lock_guard lock(cancelled_->mutex);
    cancelled_->tokens.insert(token);
}

void QueueScheduler::loop(const std::stop_token& stop) {
    std::unique_lock lock(mutex_);
    while (!stop.stop_requested()) {
        if (due_.empty()) {
            wake_.wait(lock, stop, [this] { return !due_.empty(); });
            continue;
        }
        const double first = due_.begin()->first;
        const double wait = first - now();
        if (wait > 0) {
            // Wakes early for work due sooner than the first one.
            wake_.wait_for(lock, stop, std::chrono::duration<double>(wait),
                           [&] { return due_.empty() || due_.begin()->first < first; });
            continue;
        }
        Entry entry = due_.begin()->second;
        due_.erase(due_.begin());
        if (entry.interval > 0) {
            due_.emplace(now() + entry.interval, entry);
        }
        post_([cancelled = cancelled_, token = entry.token, work = entry.work] {
            {
                std::lock_guard guard(cancelled->mutex);
                if (cancelled->tokens.count(token) != 0) {
                    return;
                }
            }
            (*work)();
        });
    }
}

}  // namespace ovra
