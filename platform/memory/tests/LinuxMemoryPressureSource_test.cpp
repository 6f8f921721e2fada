#include "platform/memory/LinuxMemoryPressureSource.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>

namespace ovra::memory {
namespace {

using P = MemoryPressure;

// A /proc/meminfo whose available share the test sets between polls.
struct ScriptedMeminfo {
    std::shared_ptr<std::atomic<int>> availablePercent = std::make_shared<std::atomic<int>>(50);

    FileReader reader() const {
        return [percent = availablePercent](const std::string& path) -> std::optional<std::string> {
            if (path != "/proc/meminfo")
                return std::nullopt;
            return "MemTotal: 1000 kB\nMemAvailable: " + std::to_string(percent->load() * 10) +
                   " kB\n";
        };
    }
};

TEST(LinuxMemoryPressureSource, ReportsOnlyChangesWithHysteresis) {
    ScriptedMeminfo meminfo;
    LinuxMemoryPressureSource source(meminfo.reader());
    std::vector<P> reported;
    source.setHandler([&](P level) { reported.push_back(level); });

    source.poll();
    EXPECT_TRUE(reported.empty()) << "normal at start is no change";
    *meminfo.availablePercent = 3;
    source.poll();
    source.poll();
    *meminfo.availablePercent = 50;
    source.poll();
    EXPECT_EQ(source.level(), P::critical);
    source.poll();
    EXPECT_EQ(reported, (std::vector<P>{P::critical, P::normal}));
}

TEST(LinuxMemoryPressureSource, StopEndsThePollingThreadAndSilencesTheHandler) {
    ScriptedMeminfo meminfo;
    *meminfo.availablePercent = 1;
    // A long interval: stop must wake the thread, not wait for the next poll.
    LinuxMemoryPressureSource source(meminfo.reader(), std::chrono::hours(1));
    std::atomic<int> calls = 0;
    source.start([&](P) { ++calls; });
    source.stop();
    const int afterStop = calls.load();
    EXPECT_LE(afterStop, 1);
    source.poll();
    EXPECT_EQ(calls.load(), afterStop);
    source.start([&](P) { ++calls; });  // restartable
}

}  // namespace
}  // namespace ovra::memory
