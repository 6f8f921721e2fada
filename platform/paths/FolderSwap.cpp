#include "platform/paths/FolderSwap.h"

#include <fcntl.h>
#include <stdio.h>

#include <cerrno>
#include <cstring>

namespace ovra::paths {

namespace fs = std::filesystem;

namespace {

std::string cannotMove(const fs::path& from, const fs::path& to, int error) {
    return "cannot move '" + from.string() + "' to '" + to.string() + "': " + std::strerror(error);
}

}  // namespace

RenameCalls systemRenames() {
    return {
        [](const fs::path& a, const fs::path& b) {
            return ::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0
                       ? 0
                       : errno;
        },
        [](const fs::path& from, const fs::path& to) {
            return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
        },
    };
}

FolderSwap swapFolders(const fs::path& incoming, const fs::path& target, const fs::path& aside,
                       const RenameCalls& calls) {
    using Kind = FolderSwap::Kind;
    const int exchanged = calls.exchange(incoming, target);
    if (exchanged == 0)
        return {Kind::swapped, incoming, {}};
    if (exchanged != EINVAL && exchanged != ENOSYS && exchanged != EXDEV)
        return {Kind::blocked, target, cannotMove(target, incoming, exchanged)};

    // No exchange here: two renames, with the old folder moved back if the second one fails.
    if (const int e = calls.rename(target, aside); e != 0)
        return {Kind::blocked, target, cannotMove(target, aside, e)};
    const int movedIn = calls.rename(incoming, target);
    if (movedIn == 0)
        return {Kind::swapped, aside, {}};
    const std::string why = cannotMove(incoming, target, movedIn);
    if (const int e = calls.rename(aside, target); e != 0)
        return {Kind::stranded, aside, why + "; " + cannotMove(aside, target, e)};
    return {Kind::restored, target, why};
}

}  // namespace ovra::paths
