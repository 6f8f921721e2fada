#pragma once

// The install listing: <prefix>/share/murmlark-ovra/installed-files, one path relative to the
// prefix a line, naming every file the install put in the prefix (`cmake --install` writes it
// last, with WriteInstallListing.cmake; a release carries one; an update writes its own). A
// prefix is wholly the app's only when it holds nothing but listed files and the folders on
// their way: only then may an update swap it whole or a removal move it to the Trash whole.
//
// Beside it, installed-outside lists what the install wrote outside the prefix (the desktop
// file in $XDG_DATA_HOME/applications), which removing the app reads.

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Result.h"

namespace ovra::InstallListing {

// Files each install writes for its own machine and prefix: a release never carries them, and
// an update keeps the installed copy's own (which name the running prefix) in place of any a
// release brought.
inline constexpr std::array<std::string_view, 3> kInstallSpecific = {
    "share/murmlark-ovra/installed-outside", "share/applications/murmlark-ovra.desktop",
    "share/icons/hicolor/256x256/apps/murmlark-ovra.png"};

std::filesystem::path file(const std::filesystem::path& prefix);
std::filesystem::path outsideFile(const std::filesystem::path& prefix);
// The listing's own path inside a prefix.
std::filesystem::path relativeFile();

// The listed paths; none when the listing is missing, too long, or names a path that is not
// inside the prefix.
std::optional<std::vector<std::filesystem::path>> read(const std::filesystem::path& prefix);
// Whether every entry of `prefix` but its folders is listed (a link counts as a file), so
// nothing of another program is in it. False without a listing.
bool holdsOnlyListed(const std::filesystem::path& prefix);

// The text of a listing of `files` and the listing itself, in name order.
std::string text(std::vector<std::filesystem::path> files);
// Lists every file in `root` as it is now.
Result<bool> writeFor(const std::filesystem::path& root);
// Puts the install-specific files of the `installed` prefix into `incoming`, in place of those
// `incoming` holds; one the installed copy lacks is taken out of `incoming`.
Result<bool> keepInstallSpecific(const std::filesystem::path& installed,
                                 const std::filesystem::path& incoming);

}  // namespace ovra::InstallListing
