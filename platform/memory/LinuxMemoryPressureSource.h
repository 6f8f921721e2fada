#pragma once

// Memory pressure on Linux: polls /proc/meminfo, /proc/pressure/memory and the process's
// cgroup limits on a thread of its own (unprivileged pressure triggers need a newer kernel than
// the one we target) and reports level changes.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/memory/MemoryPressureSource.h"
#include "platform/memory/MemoryReadings.h"

namespace ovra::memory {

class LinuxMemoryPressureSource final : public MemoryPressureSource {
  public:
    static constexpr std::chrono::milliseconds defaultInterval{2000};

    explicit LinuxMemoryPressureSource(FileReader read = systemFileReader(),
                                       std::chrono::milliseconds interval = defaultInterval);
    ~LinuxMemoryPressureSource() override;

    LinuxMemoryPressureSource(const LinuxMemoryPressureSource&) = delete;
    LinuxMemoryPressureSource& operator=(const LinuxMemoryPressureSource&) = delete;

    // Polls at once and then every interval on the polling thread.
    void start(Handler handler) override;
    void stop() override;

    // Takes one reading and reports a changed level to the handler. The polling thread calls
    // it; tests call it directly without starting the thread.
    void poll();
    MemoryPressure level() const;

    // Installs a handler without starting the thread (for driving poll by hand).
    void setHandler(Handler handler);

  private:
    void run();

    const FileReader read_;
    const std::chrono::milliseconds interval_;

    mutable std::mutex mutex_;  // guards tracker_ and handler_; held while the handler runs
    PressureTracker tracker_;
    Handler handler_;

    std::mutex wakeMutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace ovra::memory
