#pragma once

// Notices when the main thread's event loop is held up. Each event's delivery is timed (less the
// time a nested event loop, a modal dialog's, spent waiting), and one that kept the loop longer
// than 250 ms is logged in one line naming it: the receiver's class, the event, and the
// scheduler task or posted work that ran in it. A thread of its own also reports a delivery
// still running after two seconds, so a main thread that never comes back leaves a line too.
// Those lines begin "main thread stalled". A loaded machine stalls any thread now and then;
// what the main thread must never do is wait on another process, a file or another thread. So
// the watchdog's thread also looks at what the main thread sleeps in while a delivery runs
// long, and a stall in which it slept in such a call (a round trip to the display server is
// none) is logged in a line of its own naming the call, "main thread blocked in ...": the line
// the desktop tests fail on.

#include <QApplication>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace ovra {

class StallWatchdog final {
  public:
    static constexpr std::chrono::milliseconds kStall{250};
    static constexpr std::chrono::milliseconds kHang{2000};
    static constexpr std::string_view kLine = "main thread stalled";
    static constexpr std::string_view kBlockedLine = "main thread blocked";
    // How long a delivery runs before the watchdog looks at what the main thread sleeps in.
    static constexpr std::chrono::milliseconds kLookInside{50};

    // `log` is called on the main thread and on the watchdog's own; `now` gives monotonic
    // nanoseconds; `sleepsIn` tells, on the watchdog's thread, the call the main thread sleeps
    // in now when that is a wait on something other than the display server (none while it
    // runs). Without `watch`, no thread is started and `look` is the caller's to call; without
    // `sleepsIn`, the main thread is the one constructing the watchdog, looked at through /proc.
    using Log = std::function<void(const std::string&)>;
    using Now = std::function<std::int64_t()>;
    using SleepsIn = std::function<std::optional<std::string>()>;
    explicit StallWatchdog(Log log, Now now = steadyNanoseconds, bool watch = true,
                           SleepsIn sleepsIn = {});
    ~StallWatchdog();
    StallWatchdog(const StallWatchdog&) = delete;
    StallWatchdog& operator=(const StallWatchdog&) = delete;

    // On the main thread: a delivery to an object of class `receiver` begins and ends (nested
    // deliveries count in the outermost); the event loop is about to wait, and woke again.
    void began(const char* receiver, int eventType);
    void ended();
    void waiting();
    void woke();
    // The watchdog thread's look, every 25 ms: notes what the main thread sleeps in during a
    // delivery running past kLookInside, and reports a delivery running past kHang, once.
    void look();

    static std::int64_t steadyNanoseconds();

  private:
    void check(std::int64_t now);
    // The call the main thread was seen sleeping in during the delivery running since `since`.
    std::optional<std::string> blockedDuring(std::int64_t since);
    std::string label() const;

    Log log_;
    Now now_;
    SleepsIn sleepsIn_;
    int depth_ = 0;                       // main thread only
    std::atomic<std::int64_t> since_{0};  // the running part of a delivery began; 0 when none
    std::atomic<std::int64_t> hangReported_{0};
    std::atomic<const char*> receiver_{nullptr};
    std::atomic<int> eventType_{0};
    // The call the main thread was seen sleeping in during the delivery running since
    // `blockedSince_`.
    std::mutex blockedMutex_;
    std::int64_t blockedSince_ = 0;
    std::string blockedIn_;
    std::jthread watcher_;
};

// The app's QApplication with the watchdog on every event it delivers.
class WatchedApplication final : public QApplication {
  public:
    WatchedApplication(int& argc, char** argv, StallWatchdog::Log log);
    ~WatchedApplication() override;
    bool notify(QObject* receiver, QEvent* event) override;

  private:
    StallWatchdog watchdog_;
};

}  // namespace ovra
