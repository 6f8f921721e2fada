#pragma once

// A scheduler for tests: nothing runs until the test advances the clock.

#include <cstddef>
#include <functional>
#include <map>

#include "platform/scheduler/Scheduler.h"

namespace ovra {

class ManualScheduler final : public Scheduler {
  public:
    Token after(double seconds, std::function<void()> work) override;
    Token every(double seconds, std::function<void()> work) override;
    void cancel(Token token) override;
    double now() const override { return now_; }

    // Runs, in order of due time (then of scheduling), everything due within `seconds` from now,
    // including work scheduled meanwhile that falls due in that span; repeating work runs once
    // per interval passed.
    void advance(double seconds);
    // Runs what is due now (zero-delay work).
    void runDue() { advance(0); }

    std::size_t pending() const { return items_.size(); }
    bool isPending(Token token) const { return items_.count(token) != 0; }

  private:
    struct Item {
        double due;
        double interval;  // 0 for one-shot work
        std::function<void()> work;
    };
    std::map<Token, Item> items_;
    Token last_ = 0;
    double now_ = 0;
};

}  // namespace ovra
