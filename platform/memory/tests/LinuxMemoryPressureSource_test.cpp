#include "platform/memory/LinuxMemoryPressureSource.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>

#include "platform/memory/FakeMemoryPressureSource.h"

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

TEST(FakeMemoryPressureSource, DeliversOnlyWhileStarted) {
    FakeMemoryPressureSource fake;
    std::vector<P> seen;
    fake.emit(P::critical);
    fake.start([&](P level) { seen.push_back(level); });
    EXPECT_TRUE(fake.started());
    fake.emit(P::warning);
    fake.stop();
    fake.emit(P::critical);
    EXPECT_EQ(seen, std::vector<P>{P::warning});
}

}  // namespace
}  // namespace ovra::memory
