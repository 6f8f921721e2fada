#pragma once

// The file-system side of removing the app: whether a path lies inside a folder, the disk space
// a set of files and folders takes, and the model-hub files that only our cached models use.
// Nothing here follows a symbolic link except where it says so, and nothing deletes.

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <utility>
#include <vector>

namespace ovra::UninstallerFiles {

// Whether `path` is `folder` or lies below it, comparing whole components ("a/vorn-mlx-old/x" is
// not inside "a/vorn-mlx"). Both are taken lexically normal; a relative path is inside nothing
// absolute.
bool isInside(const std::filesystem::path& path, const std::filesystem::path& folder);

// The space each file takes on disk, by its device and inode: allocated blocks (a sparse file
// counts only what it holds). Usages of several places merge into one that counts each file once.
using Usage = std::map<std::pair<std::uint64_t, std::uint64_t>, std::int64_t>;

// The usage of the given files and folders, folders walked without following links. What cannot
// be read counts nothing.
Usage usage(const std::vector<std::filesystem::path>& items);
std::int64_t total(const Usage& usage);

// The space the given files and folders take on disk: the total of their usage, so each file
// counts once however often it is reached (hard links, a folder given twice).
std::int64_t allocatedSize(const std::vector<std::filesystem::path>& items);

// The folder holding the blobs of a model-hub cache folder: "blobs" inside the folder's real
// location, when that is a real folder.
std::optional<std::filesystem::path> blobFolder(const std::filesystem::path& modelFolder);

// The real paths that the links under `folder` lead to, for links whose target lies inside one
// of `allowed` (real paths of folders) and outside `folder` itself. Every other link is
// ignored: a link to the user's documents or to "/" is never followed. An empty set when the
// folder is a link or cannot be read.
std::set<std::filesystem::path> linkTargets(const std::filesystem::path& folder,
                                            const std::vector<std::filesystem::path>& allowed);

// Files that links in `ours` lead to (into the blob folders of `ours` only, outside the linking
// folder) and that no link in another "models--" folder of `hub` leads to. `hub` is read only
// when there is something to check.
std::vector<std::filesystem::path> exclusiveModelBlobs(
    const std::filesystem::path& hub, const std::vector<std::filesystem::path>& ours);

}  // namespace ovra::UninstallerFiles
