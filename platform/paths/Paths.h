#pragma once

// Where the app keeps its files on Linux: the XDG data folder stands in for Application Support,
// the XDG state folder for the log folder. Resources ship under share/murmlark-ovra beside the
// executable's prefix.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "core/Result.h"

namespace ovra::paths {

// Reads one environment variable; nullopt when unset.
using Environment = std::function<std::optional<std::string>(const char* name)>;
std::optional<std::string> processEnvironment(const char* name);

// $HOME when set, else the user's home folder from the password database.
std::filesystem::path home(const Environment& env = processEnvironment);
// $XDG_DATA_HOME when set to an absolute path, else $HOME/.local/share.
std::filesystem::path dataHome(const Environment& env = processEnvironment);
// $XDG_STATE_HOME when set to an absolute path, else $HOME/.local/state.
std::filesystem::path stateHome(const Environment& env = processEnvironment);
// $XDG_CACHE_HOME when set to an absolute path, else $HOME/.cache.
std::filesystem::path cacheHome(const Environment& env = processEnvironment);

// dataHome/"Murmlark Ovra": models/, incoming/ and the update receipt live here.
std::filesystem::path supportFolder(const Environment& env = processEnvironment);
// stateHome/"MurmlarkOvra"/"setup.log".
std::filesystem::path setupLog(const Environment& env = processEnvironment);
// <prefix>/share/murmlark-ovra, where <prefix> is the folder above the executable's folder.
std::filesystem::path resourceFolder();

// The path as shown to people: the home folder written as "~".
std::string displayPath(const std::filesystem::path& path,
                        const Environment& env = processEnvironment);

// Bytes available to this user on the volume that holds path (or would hold it: the nearest
// existing ancestor is asked); nullopt when the volume cannot be asked.
std::optional<std::uint64_t> availableSpace(const std::filesystem::path& path);

// Puts folder `from` at `to` in one step. An existing `to` is exchanged with `from` and then
// deleted, so at every moment either the old or the new folder is in place; when the move fails
// the old folder stays as it was. Both must be on one file system.
Result<bool> replaceFolder(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace ovra::paths
