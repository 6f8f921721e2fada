#include "platform/memory/MemoryReadings.h"

#include <gtest/gtest.h>

#include <map>

namespace ovra::memory {
namespace {

using P = MemoryPressure;

constexpr const char* kMeminfo =
    "MemTotal:       16314616 kB\n"
    "MemFree:          512000 kB\n"
    "MemAvailable:    8157308 kB\n"
    "Buffers:          123456 kB\n"
    "HugePages_Total:       0\n";

TEST(MemoryReadings, ParsesMeminfoAndRefusesIncompleteOrNonsense) {
    const auto real = parseMeminfo(kMeminfo);
    ASSERT_TRUE(real);
    EXPECT_EQ(real->totalKiB, 16314616u);
    EXPECT_EQ(real->availableKiB, 8157308u);

    for (const char* bad :
         {"", "MemTotal: 100 kB\n" /* old kernels lack MemAvailable */,
          "MemTotal: 0 kB\nMemAvailable: 0 kB\n", "MemTotal: -5 kB\nMemAvailable: 1 kB\n",
          "MemTotal: 99999999999999999999999 kB\nMemAvailable: 1 kB\n",
          "MemTotal: 100 MB\nMemAvailable: 1 kB\n"}) {
        EXPECT_FALSE(parseMeminfo(bad)) << bad;
    }
    // More available than total is clamped rather than trusted.
    const auto m = parseMeminfo("MemTotal: 100 kB\nMemAvailable: 500 kB");
    ASSERT_TRUE(m);
    EXPECT_EQ(m->availableKiB, 100u);
}

TEST(MemoryReadings, ParsesPressureAverages) {
    const auto p = parsePressure(
        "some avg10=12.50 avg60=3.00 avg300=1.00 total=123456\n"
        "full avg10=0.75 avg60=0.10 avg300=0.00 total=999\n");
    ASSERT_TRUE(p);
    EXPECT_DOUBLE_EQ(p->someAvg10, 12.5);
    EXPECT_EQ(p->fullAvg10, 0.75);

    const auto someOnly = parsePressure("some avg10=0.00 avg60=0.00 avg300=0.00 total=0");
    ASSERT_TRUE(someOnly);
    EXPECT_FALSE(someOnly->fullAvg10);

    for (const char* bad : {"", "full avg10=1.00", "some avg10=nan avg60=0.00", "some avg10=inf",
                            "some avg10=-1", "some avg60=1.00 total=3"}) {
        EXPECT_FALSE(parsePressure(bad)) << bad;
    }
}

TEST(MemoryReadings, ParsesCgroupMembership) {
    const auto v2 = parseCgroupMembership("0::/user.slice/user-1000.slice/session-2.scope\n");
    EXPECT_EQ(v2.unified, "/user.slice/user-1000.slice/session-2.scope");
    EXPECT_FALSE(v2.v1Memory);

    const auto hybrid = parseCgroupMembership(
        "12:pids:/docker/abc\n"
        "5:cpu,memory:/docker/abc\n"
        "1:name=systemd:/docker/abc\n"
        "0::/\n");
    EXPECT_EQ(hybrid.v1Memory, "/docker/abc");
    EXPECT_EQ(hybrid.unified, "/");

    EXPECT_EQ(parseCgroupMembership("0::/a:b/c\n").unified, "/a:b/c");
    EXPECT_FALSE(parseCgroupMembership("0::/a/../../etc\n").unified);
    EXPECT_FALSE(parseCgroupMembership("0::relative\n").unified);
    EXPECT_FALSE(parseCgroupMembership("garbage\n3:memory\n").v1Memory);
}

TEST(MemoryReadings, ParsesLimitsAndCounters) {
    EXPECT_EQ(parseLimit("1073741824\n"), 1073741824u);
    // v1 writes "unlimited" as a huge number.
    for (const char* none : {"max\n", "9223372036854771712\n", "-1", "12abc"}) {
        EXPECT_FALSE(parseLimit(none)) << none;
    }
    EXPECT_EQ(parseCount(" 42\n"), 42u);

    const char* events = "low 0\nhigh 3\nmax 10\noom 2\noom_kill 1\noom_group_kill 0\n";
    EXPECT_EQ(parseKeyedCount(events, "oom_kill"), 1u);
    EXPECT_EQ(parseKeyedCount(events, "oom"), 2u);
    EXPECT_FALSE(parseKeyedCount(events, "missing"));
    EXPECT_FALSE(parseKeyedCount("oom_kill many\n", "oom_kill"));
}

MemoryReading withAvailable(double percent) {
    MemoryReading r;
    r.meminfo = MemInfo{100000, static_cast<std::uint64_t>(percent * 1000)};
    return r;
}

MemoryReading withPsi(double some, double full) {
    return {std::nullopt, Psi{some, full}, std::nullopt, std::nullopt};
}

MemoryReading withCgroup(double percent) {
    return {std::nullopt, std::nullopt, percent, std::nullopt};
}

TEST(MemoryReadings, ClassifiesByTheFirstThresholdReached) {
    const struct {
        const char* name;
        MemoryReading reading;
        bool newOomKill;
        P expected;
    } cases[] = {
        {"nothing known", MemoryReading{}, false, P::normal},
        {"plenty available", withAvailable(50), false, P::normal},
        {"15% available", withAvailable(15), false, P::normal},
        {"14.9% available", withAvailable(14.9), false, P::warning},
        {"5% available", withAvailable(5), false, P::warning},
        {"4.9% available", withAvailable(4.9), false, P::critical},
        {"some avg10 at 10", withPsi(10, 0), false, P::warning},
        {"both below 10", withPsi(9.99, 9.99), false, P::normal},
        {"full avg10 at 10", withPsi(0, 10), false, P::critical},
        {"cgroup at 85%", withCgroup(85), false, P::warning},
        {"cgroup below 85%", withCgroup(84.9), false, P::normal},
        {"cgroup at 95%", withCgroup(95), false, P::critical},
        {"new OOM kill", MemoryReading{}, true, P::critical},
    };
    for (const auto& c : cases)
        EXPECT_EQ(classify(c.reading, c.newOomKill), c.expected) << c.name;
}

FileReader fakeFiles(std::map<std::string, std::string> files) {
    return [files = std::move(files)](const std::string& path) -> std::optional<std::string> {
        const auto it = files.find(path);
        if (it == files.end())
            return std::nullopt;
        return it->second;
    };
}

TEST(MemoryReadings, ReadsTheTightestCgroupLevelAndLeavesPageCacheOut) {
    const auto read = fakeFiles({
        {"/proc/meminfo", kMeminfo},
        {"/proc/pressure/memory", "some avg10=1.00 avg60=0 avg300=0 total=1\n"},
        {"/proc/self/cgroup", "0::/app.slice/ovra.scope\n"},
        // Own cgroup: no limit of its own.
        {"/sys/fs/cgroup/app.slice/ovra.scope/memory.max", "max\n"},
        {"/sys/fs/cgroup/app.slice/ovra.scope/memory.events", "oom 0\noom_kill 3\n"},
        // Parent: 1000 bytes, 990 used, of which 100 is inactive file cache: 89%.
        {"/sys/fs/cgroup/app.slice/memory.max", "1000\n"},
        {"/sys/fs/cgroup/app.slice/memory.current", "990\n"},
        {"/sys/fs/cgroup/app.slice/memory.stat", "anon 800\ninactive_file 100\nactive_file 90\n"},
    });
    const MemoryReading r = readMemory(read);
    ASSERT_TRUE(r.meminfo);
    ASSERT_TRUE(r.psi);
    ASSERT_TRUE(r.cgroupFraction);
    EXPECT_DOUBLE_EQ(*r.cgroupFraction, 89.0);
    EXPECT_EQ(r.oomKills, 3u);
    EXPECT_EQ(classify(r, false), P::warning);
}

TEST(MemoryReadings, ReadsVersionOneMemoryController) {
    const auto read = fakeFiles({
        {"/proc/self/cgroup", "4:memory:/docker/abc\n0::/\n"},
        {"/sys/fs/cgroup/memory/docker/abc/memory.limit_in_bytes", "2000\n"},
        {"/sys/fs/cgroup/memory/docker/abc/memory.usage_in_bytes", "1950\n"},
        {"/sys/fs/cgroup/memory/docker/abc/memory.stat", "total_inactive_file 0\n"},
        {"/sys/fs/cgroup/memory/docker/abc/memory.oom_control", "oom_kill_disable 0\noom_kill 0\n"},
        {"/sys/fs/cgroup/memory/memory.limit_in_bytes", "9223372036854771712\n"},
        {"/sys/fs/cgroup/memory/memory.usage_in_bytes", "5000\n"},
    });
    const MemoryReading r = readMemory(read);
    ASSERT_TRUE(r.cgroupFraction);
    EXPECT_DOUBLE_EQ(*r.cgroupFraction, 97.5);
    EXPECT_EQ(r.oomKills, 0u);
    EXPECT_FALSE(r.meminfo);
    EXPECT_EQ(classify(r, false), P::critical);
}

TEST(MemoryReadings, UnreadableOrHostileFilesLeaveTheReadingEmpty) {
    const auto read = fakeFiles({
        {"/proc/meminfo", "\xff\xfe garbage"},
        {"/proc/pressure/memory", "some avg10=NaN"},
        {"/proc/self/cgroup", "0::/../../etc\n"},
        {"/etc/memory.max", "1\n"},
        {"/etc/memory.current", "1\n"},
    });
    const MemoryReading r = readMemory(read);
    EXPECT_FALSE(r.meminfo);
    EXPECT_FALSE(r.psi);
    EXPECT_FALSE(r.cgroupFraction);
    EXPECT_EQ(classify(r, false), P::normal);
}

MemoryReading level(P p) {
    return withAvailable(p == P::normal ? 50 : p == P::warning ? 10 : 1);
}

TEST(PressureTracker, RisesAtOnceAndFallsAfterTwoLowerReadings) {
    const std::optional<P> none;
    const struct {
        const char* name;
        std::vector<P> readings;
        std::vector<std::optional<P>> reported;
    } cases[] = {
        {"calm", {P::normal, P::normal}, {none, none}},
        {"rise", {P::warning, P::critical}, {P::warning, P::critical}},
        {"one dip is ignored", {P::critical, P::normal, P::critical}, {P::critical, none, none}},
        {"two lower readings step down to the higher of them",
         {P::critical, P::normal, P::warning},
         {P::critical, none, P::warning}},
        {"an equal reading breaks the streak",
         {P::critical, P::normal, P::critical, P::normal, P::normal},
         {P::critical, none, none, none, P::normal}},
        {"steps down twice",
         {P::critical, P::warning, P::warning, P::normal, P::normal},
         {P::critical, none, P::warning, none, P::normal}},
    };
    for (const auto& c : cases) {
        PressureTracker tracker;
        for (std::size_t i = 0; i < c.readings.size(); ++i) {
            EXPECT_EQ(tracker.update(level(c.readings[i])), c.reported[i])
                << c.name << ", reading " << i;
        }
    }
}

TEST(PressureTracker, OnlyAKillAfterTheFirstReadingIsCritical) {
    PressureTracker tracker;
    MemoryReading r = level(P::normal);
    r.oomKills = 5;
    EXPECT_EQ(tracker.update(r), std::nullopt) << "kills before we started are old news";
    EXPECT_EQ(tracker.update(r), std::nullopt);
    r.oomKills = 6;
    EXPECT_EQ(tracker.update(r), P::critical);
    r.oomKills.reset();
    EXPECT_EQ(tracker.update(r), std::nullopt);
    r.oomKills = 6;
    EXPECT_EQ(tracker.update(r), P::normal) << "an unchanged count is not a new kill";
}

}  // namespace
}  // namespace ovra::memory
