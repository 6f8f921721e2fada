#include "platform/memory/MemoryReadings.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>

namespace ovra::memory {

namespace {

// Thresholds in percent of total or limit. Critical pauses the model, so it takes a clear
// shortage; warning only informs.
constexpr double kCriticalAvailable = 5;
constexpr double kWarningAvailable = 15;
constexpr double kCriticalFullAvg10 = 10;
constexpr double kWarningSomeAvg10 = 10;
constexpr double kCriticalCgroup = 95;
constexpr double kWarningCgroup = 85;

// v1 writes "no limit" as the largest page-aligned value below 2^63.
constexpr std::uint64_t kUnlimited = std::uint64_t{1} << 62;

constexpr std::size_t kMaxFileBytes = 64 * 1024;

std::string_view trim(std::string_view s) {
    const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (!s.empty() && isSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back()))
        s.remove_suffix(1);
    return s;
}

template <class Visit>
void forEachLine(std::string_view text, Visit visit) {
    while (!text.empty()) {
        const auto end = text.find('\n');
        visit(text.substr(0, end));
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
}

std::optional<std::uint64_t> wholeNumber(std::string_view s) {
    if (s.empty())
        return std::nullopt;
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc() || end != s.data() + s.size())
        return std::nullopt;
    return value;
}

std::optional<double> finiteNumber(std::string_view s) {
    if (s.empty())
        return std::nullopt;
    double value = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(value) || value < 0)
        return std::nullopt;
    return value;
}

// The first white-space separated word of s, and s after it.
std::string_view nextWord(std::string_view& s) {
    s = trim(s);
    const auto end = std::min(s.find(' '), s.find('\t'));
    const std::string_view word = s.substr(0, end);
    s.remove_prefix(word.size());
    return word;
}

// "avg10=1.50" in the fields of one PSI line.
std::optional<double> psiAvg10(std::string_view fields) {
    for (std::string_view word = nextWord(fields); !word.empty(); word = nextWord(fields)) {
        if (word.substr(0, 6) == "avg10=")
            return finiteNumber(word.substr(6));
    }
    return std::nullopt;
}

// A cgroup path as the kernel writes it: absolute, no "." or ".." steps.
std::optional<std::vector<std::string>> cgroupSteps(const std::string& path) {
    if (path.empty() || path.front() != '/' || path.find('\0') != std::string::npos)
        return std::nullopt;
    std::vector<std::string> steps;
    std::string_view rest(path);
    while (!rest.empty()) {
        rest.remove_prefix(1);
        const auto end = rest.find('/');
        const std::string_view step = rest.substr(0, end);
        if (step == "." || step == "..")
            return std::nullopt;
        if (!step.empty())
            steps.emplace_back(step);
        if (end == std::string_view::npos)
            break;
        rest.remove_prefix(end);
    }
    return steps;
}

// The process's cgroup folder under root first, then each ancestor up to root itself.
std::vector<std::string> cgroupFolders(const std::string& root, const std::string& path) {
    const auto steps = cgroupSteps(path);
    if (!steps)
        return {};
    std::vector<std::string> folders;
    for (std::size_t n = steps->size() + 1; n-- > 0;) {
        std::string folder = root;
        for (std::size_t i = 0; i < n; ++i)
            folder += "/" + (*steps)[i];
        folders.push_back(std::move(folder));
    }
    return folders;
}

struct CgroupFiles {
    const char* root;
    const char* limit;
    const char* usage;
    const char* inactiveFileKey;
    const char* events;
};

constexpr CgroupFiles kUnified{"/sys/fs/cgroup", "memory.max", "memory.current", "inactive_file",
                               "memory.events"};
constexpr CgroupFiles kV1{"/sys/fs/cgroup/memory", "memory.limit_in_bytes", "memory.usage_in_bytes",
                          "total_inactive_file", "memory.oom_control"};

void readCgroup(const FileReader& read, const CgroupFiles& files, const std::string& path,
                MemoryReading& reading) {
    const auto folders = cgroupFolders(files.root, path);
    for (std::size_t i = 0; i < folders.size(); ++i) {
        const std::string& folder = folders[i];
        if (i == 0) {
            if (const auto events = read(folder + "/" + files.events)) {
                if (const auto kills = parseKeyedCount(*events, "oom_kill"))
                    reading.oomKills = std::max(reading.oomKills.value_or(0), *kills);
            }
        }
        const auto limitText = read(folder + "/" + files.limit);
        if (!limitText)
            continue;
        const auto limit = parseLimit(*limitText);
        if (!limit || *limit == 0)
            continue;
        const auto usageText = read(folder + "/" + files.usage);
        const auto usage = usageText ? parseCount(*usageText) : std::nullopt;
        if (!usage)
            continue;
        std::uint64_t inactive = 0;
        if (const auto stat = read(folder + "/memory.stat"))
            inactive = parseKeyedCount(*stat, files.inactiveFileKey).value_or(0);
        // Page cache fills a cgroup up to its limit and is given back on demand; only the
        // working set counts.
        const std::uint64_t workingSet = *usage - std::min(inactive, *usage);
        const double fraction =
            100.0 * static_cast<double>(workingSet) / static_cast<double>(*limit);
        reading.cgroupFraction = std::max(reading.cgroupFraction.value_or(0), fraction);
    }
}

}  // namespace

std::optional<MemInfo> parseMeminfo(std::string_view text) {
    std::optional<std::uint64_t> total;
    std::optional<std::uint64_t> available;
    forEachLine(text, [&](std::string_view line) {
        const auto colon = line.find(':');
        if (colon == std::string_view::npos)
            return;
        const std::string_view key = line.substr(0, colon);
        std::string_view rest = line.substr(colon + 1);
        const std::string_view number = nextWord(rest);
        const std::string_view unit = trim(rest);
        if (unit != "kB" && !unit.empty())
            return;
        if (key == "MemTotal")
            total = wholeNumber(number);
        else if (key == "MemAvailable")
            available = wholeNumber(number);
    });
    if (!total || !available || *total == 0)
        return std::nullopt;
    return MemInfo{*total, std::min(*available, *total)};
}

std::optional<Psi> parsePressure(std::string_view text) {
    std::optional<double> some;
    std::optional<double> full;
    forEachLine(text, [&](std::string_view line) {
        const std::string_view kind = nextWord(line);
        if (kind == "some")
            some = psiAvg10(line);
        else if (kind == "full")
            full = psiAvg10(line);
    });
    if (!some)
        return std::nullopt;
    return Psi{*some, full};
}

CgroupMembership parseCgroupMembership(std::string_view text) {
    CgroupMembership out;
    forEachLine(text, [&](std::string_view line) {
        const auto first = line.find(':');
        if (first == std::string_view::npos)
            return;
        const auto second = line.find(':', first + 1);
        if (second == std::string_view::npos)
            return;
        const std::string_view id = line.substr(0, first);
        std::string_view controllers = line.substr(first + 1, second - first - 1);
        const std::string path(line.substr(second + 1));
        if (!cgroupSteps(path))
            return;
        if (id == "0" && controllers.empty()) {
            out.unified = path;
            return;
        }
        while (!controllers.empty()) {
            const auto comma = controllers.find(',');
            if (controllers.substr(0, comma) == "memory") {
                out.v1Memory = path;
                return;
            }
            if (comma == std::string_view::npos)
                break;
            controllers.remove_prefix(comma + 1);
        }
    });
    return out;
}

std::optional<std::uint64_t> parseCount(std::string_view text) {
    return wholeNumber(trim(text));
}

std::optional<std::uint64_t> parseLimit(std::string_view text) {
    const auto value = parseCount(text);
    if (!value || *value >= kUnlimited)
        return std::nullopt;
    return value;
}

std::optional<std::uint64_t> parseKeyedCount(std::string_view text, std::string_view key) {
    std::optional<std::uint64_t> out;
    forEachLine(text, [&](std::string_view line) {
        if (out)
            return;
        if (nextWord(line) == key)
            out = parseCount(line);
    });
    return out;
}

MemoryPressure classify(const MemoryReading& reading, bool newOomKill) {
    double availablePercent = 100;
    if (reading.meminfo) {
        availablePercent = 100.0 * static_cast<double>(reading.meminfo->availableKiB) /
                           static_cast<double>(reading.meminfo->totalKiB);
    }
    const double some = reading.psi ? reading.psi->someAvg10 : 0;
    const double full = reading.psi ? reading.psi->fullAvg10.value_or(0) : 0;
    const double cgroup = reading.cgroupFraction.value_or(0);

    if (newOomKill || availablePercent < kCriticalAvailable || full >= kCriticalFullAvg10 ||
        cgroup >= kCriticalCgroup)
        return MemoryPressure::critical;
    if (availablePercent < kWarningAvailable || some >= kWarningSomeAvg10 ||
        cgroup >= kWarningCgroup)
        return MemoryPressure::warning;
    return MemoryPressure::normal;
}

FileReader systemFileReader() {
    return [](const std::string& path) -> std::optional<std::string> {
        std::ifstream in(path, std::ios::binary);
        if (!in)
            return std::nullopt;
        std::string text(kMaxFileBytes, '\0');
        in.read(text.data(), static_cast<std::streamsize>(text.size()));
        if (in.bad())
            return std::nullopt;
        text.resize(static_cast<std::size_t>(in.gcount()));
        return text;
    };
}

MemoryReading readMemory(const FileReader& read) {
    MemoryReading reading;
    if (const auto text = read("/proc/meminfo"))
        reading.meminfo = parseMeminfo(*text);
    if (const auto text = read("/proc/pressure/memory"))
        reading.psi = parsePressure(*text);
    if (const auto text = read("/proc/self/cgroup")) {
        const CgroupMembership membership = parseCgroupMembership(*text);
        if (membership.unified)
            readCgroup(read, kUnified, *membership.unified, reading);
        if (membership.v1Memory)
            readCgroup(read, kV1, *membership.v1Memory, reading);
    }
    return reading;
}

std::optional<MemoryPressure> PressureTracker::update(const MemoryReading& reading) {
    const bool newOomKill = lastOomKills_ && reading.oomKills && *reading.oomKills > *lastOomKills_;
    if (reading.oomKills)
        lastOomKills_ = reading.oomKills;
    const MemoryPressure now = classify(reading, newOomKill);

    if (now > level_) {
        level_ = now;
        lowerStreak_ = 0;
        return level_;
    }
    if (now == level_) {
        lowerStreak_ = 0;
        return std::nullopt;
    }
    lowerMax_ = lowerStreak_ == 0 ? now : std::max(lowerMax_, now);
    if (++lowerStreak_ < 2)
        return std::nullopt;
    level_ = lowerMax_;
    lowerStreak_ = 0;
    return level_;
}

}  // namespace ovra::memory
