#include "app/shell/StallWatchdog.h"

#include <QAbstractEventDispatcher>
#include <QEvent>
#include <QMetaEnum>
#include <condition_variable>
#include <mutex>

#include "platform/qt/MainThreadActivity.h"

namespace ovra {

namespace {

std::string millis(std::int64_t nanoseconds) {
    return std::to_string(nanoseconds / 1'000'000) + " ms";
}

}  // namespace

StallWatchdog::StallWatchdog(Log log, Now now, bool watch)
    : log_(std::move(log)), now_(std::move(now)) {
    if (watch) {
        watcher_ = std::jthread([this](std::stop_token stop) {
            std::mutex mutex;
            std::condition_variable_any tick;
            std::unique_lock lock(mutex);
            while (!tick.wait_for(lock, stop, std::chrono::milliseconds(100), [] {
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
    }
}

void StallWatchdog::look() {
    const std::int64_t since = since_.load(std::memory_order_acquire);
    const std::int64_t held = now_() - since;
    if (since != 0 && held > std::chrono::nanoseconds(kHang).count() &&
        hangReported_.exchange(since) != since && log_) {
        log_(std::string(kLine) + ": " + label() + " still running after " + millis(held));
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
