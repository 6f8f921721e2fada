#pragma once

// Which process a window belongs to, in a form that survives pid reuse: the pid with the time the
// process started (clock ticks after boot, /proc/<pid>/stat field 22) and its name as the kernel
// keeps it (the name in /proc/<pid>/stat). A later process given the same pid has another start
// time.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace ovra::x11 {

struct ProcessIdentity {
    std::uint64_t startTime = 0;
    std::string name;
    friend bool operator==(const ProcessIdentity&, const ProcessIdentity&) = default;
};

// None when the process does not run (or cannot be read).
std::optional<ProcessIdentity> processIdentity(std::int64_t pid,
                                               const std::filesystem::path& proc = "/proc");

// The start time and name in the text of /proc/<pid>/stat; none when it does not parse. The
// name lies in parentheses and may itself hold blanks and parentheses.
std::optional<ProcessIdentity> parseStat(std::string_view stat);

}  // namespace ovra::x11
