#pragma once

// A scheduler for work that belongs to another thread than the main one: a timer thread of its
// own waits out each delay, then hands the work to `post` (the owning thread's queue). Any
// thread may schedule and cancel; work cancelled before its turn on that queue does not run.

#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "platform/scheduler/Scheduler.h"

namespace ovra {

class QueueScheduler final : public Scheduler {
  public:
    using Post = std::function<void(std::function<void()>)>;

    explicit QueueScheduler(Post post);
    // Stops the timer thread; work not yet posted is dropped.
    ~QueueScheduler() override;
    // The same, ahead of destruction: nothing is posted once it returns.
    void stop();
    QueueScheduler(const QueueScheduler&) = delete;
    QueueScheduler& operator=(const QueueScheduler&) = delete;

    Token after(double seconds, std::function<void()> work) override;
    Token every(double seconds, std::function<void()> work) override;
    void cancel(Token token) override;
    double now() const override;

  private:
    struct Entry {
        Token token = 0;
        double interval = 0;  // 0: once
        std::shared_ptr<std::function<void()>> work;
    };
    Token add(double due, double interval, std::function<void()> work);
    void loop(const std::stop_token& stop);

    Post post_;
    // Shared with the posted work, which checks it on the owning thread.
    struct Cancelled {
        std::mutex mutex;
        std::set<Token> tokens;
    };
    std::shared_ptr<Cancelled> cancelled_ = std::make_shared<Cancelled>();
    std::mutex mutex_;
    std::condition_variable_any wake_;
    std::multimap<double, Entry> due_;
    Token last_ = 0;
    std::jthread thread_;  // last: it starts after, and stops before, everything above
};

}  // namespace ovra
