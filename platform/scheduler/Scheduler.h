#pragma once

// Every delay and repeating timer of the app goes through one scheduler, so tests move time by
// hand instead of sleeping. The app's scheduler runs work on the Qt main thread; ManualScheduler
// runs it when a test advances its clock.

#include <cstdint>
#include <functional>

namespace ovra {

class Scheduler {
  public:
    // 0 is never handed out, so a stored 0 means "nothing pending".
    using Token = std::uint64_t;

    virtual ~Scheduler() = default;

    // Runs `work` once, `seconds` from now. A negative or NaN delay runs it at the next turn.
    virtual Token after(double seconds, std::function<void()> work) = 0;
    // Runs `work` every `seconds` until cancelled. The interval is at least kMinimumInterval,
    // so a zero or NaN interval cannot spin.
    virtual Token every(double seconds, std::function<void()> work) = 0;
    // Drops pending work; an unknown, finished or zero token is ignored. Safe from inside the
    // work itself (a repeating timer may cancel itself).
    virtual void cancel(Token token) = 0;
    // Seconds on a monotonic clock.
    virtual double now() const = 0;

    static constexpr double kMinimumInterval = 0.01;
};

// The delays the scheduler honours: NaN and negatives are "now"; a repeating interval is never
// below kMinimumInterval; nothing is longer than about 24 days (Qt's timer limit).
double clampedDelay(double seconds);
double clampedInterval(double seconds);

}  // namespace ovra
