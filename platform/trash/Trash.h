#pragma once

// The desktop's Trash (freedesktop.org's Trash layout 1.0): an item moved there can be put
// back from the file manager. The home trash is $XDG_DATA_HOME/Trash; an item on another file
// system goes to the trash at the top of its mount ($topdir/.Trash/$uid when .Trash is a real
// sticky folder, else $topdir/.Trash-$uid), since a trash never copies across file systems.
//
// Each move first creates the info file (info/<name>.trashinfo, exclusively, under the first
// free name of "name", "name.2", "name.3"...), then renames the item into files/<name>; when the
// rename fails the info file is removed again, so the trash never lists what it does not hold.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "core/Result.h"
#include "platform/paths/Paths.h"

namespace ovra::trash {

// Where a trashed item now lives.
struct Trashed {
    std::filesystem::path file;  // .../files/<name>
    std::filesystem::path info;  // .../info/<name>.trashinfo
};

// $XDG_DATA_HOME/Trash.
std::filesystem::path homeTrash(const paths::Environment& env = paths::processEnvironment);

// Moves `item` (a file, folder or link; a link is moved, never followed) to the trash of its
// file system. The error is a short reason a person can read.
Result<Trashed> moveToTrash(const std::filesystem::path& item,
                            std::chrono::system_clock::time_point now,
                            const paths::Environment& env = paths::processEnvironment);

// Moves `item` into the trash folder `trash` (created with files/ and info/ as needed), writing
// `pathInInfo` (absolute, or relative to the mount's top folder) into the info file.
Result<Trashed> moveInto(const std::filesystem::path& item, const std::filesystem::path& trash,
                         const std::filesystem::path& pathInInfo,
                         std::chrono::system_clock::time_point now);

// The trash folder of the mount whose top folder is `topdir`, for the user `uid`, made when
// missing; none when neither form can be used safely (a link, another user's folder).
std::optional<std::filesystem::path> topdirTrash(const std::filesystem::path& topdir, uid_t uid);

// The info file's text: "[Trash Info]", Path= (percent-escaped) and DeletionDate= (local time,
// YYYY-MM-DDThh:mm:ss).
std::string infoText(const std::filesystem::path& pathInInfo,
                     std::chrono::system_clock::time_point now);

}  // namespace ovra::trash
