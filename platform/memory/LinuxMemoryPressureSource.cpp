#include "platform/memory/LinuxMemoryPressureSource.h"

#include <utility>

namespace ovra::memory {

LinuxMemoryPressureSource::LinuxMemoryPressureSource(FileReader read,
                                                     std::chrono::milliseconds interval)
    : read_(std::move(read)), interval_(interval) {}

LinuxMemoryPressureSource::~LinuxMemoryPressureSource() {
    stop();
}

void LinuxMemoryPressureSource::setHandler(Handler handler) {
    std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
}

void LinuxMemoryPressureSource::start(Handler handler) {
    stop();
    setHandler(std::move(handler));
    {
        std::lock_guard lock(wakeMutex_);
        stopping_ = false;
    }
    thread_ = std::thread([this] { run(); });
}

void LinuxMemoryPressureSource::stop() {
    {
        std::lock_guard lock(wakeMutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
    setHandler(nullptr);
}

void LinuxMemoryPressureSource::poll() {
    // Reading the files happens outside the lock; only the tracker and the handler need it.
    const MemoryReading reading = readMemory(read_);
    std::lock_guard lock(mutex_);
    if (const auto changed = tracker_.update(reading); changed && handler_)
        handler_(*changed);
}

MemoryPressure LinuxMemoryPressureSource::level() const {
    std::lock_guard lock(mutex_);
    return tracker_.level();
}

void LinuxMemoryPressureSource::run() {
    std::unique_lock lock(wakeMutex_);
    while (!stopping_) {
        lock.unlock();
        poll();
        lock.lock();
        wake_.wait_for(lock, interval_, [this] { return stopping_; });
    }
}

}  // namespace ovra::memory
