#pragma once

// Which process a window belongs to, in a form that survives pid reuse: the pid with the time the
// process started (clock ticks after boot, /proc/<pid>/stat field 22) and its name as the kernel
// keeps it (the name in /proc/<pid>/stat). A later process given the same pid has another start
// time. A process that has ended but that its parent has not yet waited for (a zombie) keeps its
// pid and stat file until then: it counts as ended, however long its parent takes.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace ovra::x11 {

struct ProcessIdentity {
    std::uint64_t startTime = 0;
    std::string name;
    // The state letter of field 3: 'Z' (a zombie) and 'X' (dead) have ended.
    char state = 'R';
    bool ended() const { return state == 'Z' || state == 'X'; }
    friend bool operator==(const ProcessIdentity&, const ProcessIdentity&) = default;
};

// None when the process does not run, has ended, or cannot be read.
std::optional<ProcessIdentity> processIdentity(std::int64_t pid,
                                               const std::filesystem::path& proc = "/proc");

// The start time, name and state in the text of /proc/<pid>/stat; none when it does not parse.
// The name lies in parentheses and may itself hold blanks and parentheses.
std::optional<ProcessIdentity> parseStat(std::string_view stat);

}  // namespace ovra::x11
