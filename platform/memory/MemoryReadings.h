#pragma once

// What the kernel tells about memory, read from /proc and the process's own cgroup, and the
// rule that turns one reading into a pressure level. Parsing is pure: every function takes the
// text of a file and refuses anything it does not understand.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/MemoryPolicy.h"

namespace ovra::memory {

// MemTotal and MemAvailable of /proc/meminfo, in KiB.
struct MemInfo {
    std::uint64_t totalKiB = 0;
    std::uint64_t availableKiB = 0;
};

// The ten-second averages of /proc/pressure/memory, in percent of wall time.
struct Psi {
    double someAvg10 = 0;
    std::optional<double> fullAvg10;
};

// The process's cgroup paths from /proc/self/cgroup.
struct CgroupMembership {
    std::optional<std::string> unified;   // cgroup v2 ("0::/path")
    std::optional<std::string> v1Memory;  // the v1 memory controller's hierarchy
};

struct MemoryReading {
    std::optional<MemInfo> meminfo;
    std::optional<Psi> psi;
    // The highest working set (usage less inactive file cache) over limit among the process's
    // cgroup and its ancestors that have a limit.
    std::optional<double> cgroupFraction;
    // OOM kills counted in the process's own cgroup so far.
    std::optional<std::uint64_t> oomKills;
};

std::optional<MemInfo> parseMeminfo(std::string_view text);
std::optional<Psi> parsePressure(std::string_view text);
CgroupMembership parseCgroupMembership(std::string_view text);
// One whole decimal number (surrounding white space allowed).
std::optional<std::uint64_t> parseCount(std::string_view text);
// A memory limit; none for "max" and for the v1 "unlimited" values near 2^63.
std::optional<std::uint64_t> parseLimit(std::string_view text);
// The number after key in "key value" lines (memory.events, memory.stat, memory.oom_control).
std::optional<std::uint64_t> parseKeyedCount(std::string_view text, std::string_view key);

// The level one reading calls for; newOomKill is a kill seen since the previous reading.
MemoryPressure classify(const MemoryReading& reading, bool newOomKill);

// Whole contents of a small file, or none when it cannot be read.
using FileReader = std::function<std::optional<std::string>(const std::string& path)>;

// Reads the real files, at most 64 KiB of each.
FileReader systemFileReader();

// Reads /proc/meminfo, /proc/pressure/memory, /proc/self/cgroup and the cgroup files under
// /sys/fs/cgroup through read. Missing or unreadable files leave their part of the reading out.
MemoryReading readMemory(const FileReader& read);

// Turns readings into reported levels: a higher level is taken at once, a lower one only after
// two readings in a row below the current level (then the higher of the two), so a level
// does not flap. A kill counted before the first reading never counts as new.
class PressureTracker {
  public:
    // The new level when it changed, else none.
    std::optional<MemoryPressure> update(const MemoryReading& reading);
    MemoryPressure level() const { return level_; }

  private:
    MemoryPressure level_ = MemoryPressure::normal;
    int lowerStreak_ = 0;
    MemoryPressure lowerMax_ = MemoryPressure::normal;
    std::optional<std::uint64_t> lastOomKills_;
};

}  // namespace ovra::memory
