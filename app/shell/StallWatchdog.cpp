#include "app/shell/StallWatchdog.h"

#include <QAbstractEventDispatcher>
#include <QEvent>
#include <QMetaEnum>
#include <condition_variable>
#include <mutex>

#include "platform/process/ThreadWait.h"
#include "platform/qt/MainThreadActivity.h"

namespace ovra {

namespace {

std::string millis(std::int64_t nanoseconds) {
    return std::to_string(nanoseconds / 1'000'000) + " ms";
}

}  // namespace

StallWatchdog::StallWatchdog(Log log, Now now, bool watch, SleepsIn sleepsIn)
    : log_(std::move(log)), now_(std::move(now)), sleepsIn_(std::move(sleepsIn)) {
    if (watch && !sleepsIn_) {
        sleepsIn_ = [main = process::currentThreadId()]() -> std::optional<std::string> {
            const std::optional<process::ThreadWait> wait = process::waitOf(main);
            if (!wait || wait->display) {
                return std::nullopt;
            }
            return process::describe(*wait);
        };
    }
    if (watch) {
        watcher_ = std::jthread([this](std::stop_token stop) {
            std::mutex mutex;
            std::condition_variable_any tick;
            std::unique_lock lock(mutex);
            while (!tick.wait_for(lock, stop, std::chrono::milliseconds(25), [] {
                return false;
            }) && !stop.stop_requested()) {
                look();
            }
        });
    }
}

StallWatchdog::~StallWatchdog() = default;

std::int64_t StallWatchdog::steadyNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void StallWatchdog::began(const char* receiver, int eventType) {
    if (depth_++ > 0) {
        return;
    }
    receiver_.store(receiver, std::memory_order_relaxed);
    eventType_.store(eventType, std::memory_order_relaxed);
    activity::clear();
    since_.store(now_(), std::memory_order_release);
}

void StallWatchdog::ended() {
    if (depth_ == 0 || --depth_ > 0) {
        return;
    }
    check(now_());
    since_.store(0, std::memory_order_release);
}

void StallWatchdog::waiting() {
    if (depth_ > 0) {
        check(now_());
        since_.store(0, std::memory_order_release);
    }
}

void StallWatchdog::woke() {
    if (depth_ > 0) {
        since_.store(now_(), std::memory_order_release);
    }
}

void StallWatchdog::check(std::int64_t now) {
    const std::int64_t since = since_.load(std::memory_order_acquire);
    const std::int64_t held = now - since;
    if (since != 0 && held > std::chrono::nanoseconds(kStall).count() && log_) {
        log_(std::string(kLine) + " " + millis(held) + " in " + label());
        if (const std::optional<std::string> call = blockedDuring(since)) {
            log_(std::string(kBlockedLine) + " in " + label() + ": " + *call);
        }
    }
}

std::optional<std::string> StallWatchdog::blockedDuring(std::int64_t since) {
    std::lock_guard lock(blockedMutex_);
    return blockedSince_ == since ? std::optional(blockedIn_) : std::nullopt;
}

void StallWatchdog::look() {
    const std::int64_t since = since_.load(std::memory_order_acquire);
    const std::int64_t held = now_() - since;
    if (since == 0) {
        return;
    }
    if (held > std::chrono::nanoseconds(kLookInside).count() && sleepsIn_) {
        if (std::optional<std::string> call = sleepsIn_()) {
            std::lock_guard lock(blockedMutex_);
            if (blockedSince_ != since) {  // the first call seen in this delivery tells
                blockedSince_ = since;
                blockedIn_ = std::move(*call);
            }
        }
    }
    if (held > std::chrono::nanoseconds(kHang).count() && hangReported_.exchange(since) != since &&
        log_) {
        log_(std::string(kLine) + ": " + label() + " still running after " + millis(held));
        if (const std::optional<std::string> call = blockedDuring(since)) {
            log_(std::string(kBlockedLine) + " in " + label() + ": " + *call);
        }
    }
}

std::string StallWatchdog::label() const {
    const char* receiver = receiver_.load(std::memory_order_relaxed);
    const char* event =
        QMetaEnum::fromType<QEvent::Type>().valueToKey(eventType_.load(std::memory_order_relaxed));
    std::string text = std::string(receiver ? receiver : "?") + " " +
                       (event ? event : std::to_string(eventType_.load()));
    if (const std::type_info* work = activity::current()) {
        text += " running " + activity::readableName(*work);
    }
    return text;
}

WatchedApplication::WatchedApplication(int& argc, char** argv, StallWatchdog::Log log)
    : QApplication(argc, argv), watchdog_(std::move(log)) {
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance()) {
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
                [this] { watchdog_.waiting(); });
        connect(dispatcher, &QAbstractEventDispatcher::awake, this, [this] { watchdog_.woke(); });
    }
}

WatchedApplication::~WatchedApplication() = default;

bool WatchedApplication::notify(QObject* receiver, QEvent* event) {
    watchdog_.began(receiver != nullptr ? receiver->metaObject()->className() : nullptr,
                    event != nullptr ? static_cast<int>(event->type()) : 0);
    struct End {
        StallWatchdog& watchdog;
        ~End() { watchdog.ended(); }
    } end{watchdog_};
    return QApplication::notify(receiver, event);
}

}  // namespace ovra
