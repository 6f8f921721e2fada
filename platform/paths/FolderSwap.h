#pragma once

// Puts a new folder in place of an old one while keeping the old one, so a caller can go back
// to it or remove it later: one atomic exchange where the file system has it, else the old
// folder is renamed aside and moved back when the new one cannot be moved in. Each step's
// outcome is kept apart, because "nothing changed", "put back" and "nothing is in place" need
// different answers.

#include <filesystem>
#include <functional>
#include <string>

namespace ovra::paths {

// The two calls a swap makes, each returning 0 or an errno value; tests replace them to make
// one step fail (permissions cannot make a rename fail for root).
struct RenameCalls {
    // renameat2 with RENAME_EXCHANGE.
    std::function<int(const std::filesystem::path& a, const std::filesystem::path& b)> exchange;
    // rename(2).
    std::function<int(const std::filesystem::path& from, const std::filesystem::path& to)> rename;
};
RenameCalls systemRenames();

struct FolderSwap {
    enum class Kind {
        swapped,   // the new folder is in place; the old one is at `old`
        blocked,   // the old folder could not be moved: nothing changed
        restored,  // the new folder could not be moved in; the old one is back in place
        stranded,  // the old folder could not be put back: it is at `old`, nothing is in place
    };
    Kind kind = Kind::blocked;
    std::filesystem::path old;  // where the old folder is now
    std::string detail;         // the failed step and its error, for people
};

// Puts `incoming` at `target`. With an exchange, the old folder ends up at `incoming`'s path;
// without one (EINVAL, ENOSYS, EXDEV) it is renamed to `aside` (a free path on the same file
// system) first. All three paths must share a file system for the swap to be atomic.
FolderSwap swapFolders(const std::filesystem::path& incoming, const std::filesystem::path& target,
                       const std::filesystem::path& aside,
                       const RenameCalls& calls = systemRenames());

}  // namespace ovra::paths
