#include "app/maintenance/UninstallerFiles.h"

#include <sys/stat.h>

#include <algorithm>
#include <utility>

namespace ovra::UninstallerFiles {

namespace fs = std::filesystem;

namespace {

std::optional<struct stat> linkStatus(const fs::path& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return std::nullopt;
    }
    return st;
}

bool isRealFolder(const fs::path& path) {
    const auto st = linkStatus(path);
    return st && S_ISDIR(st->st_mode);
}

// Calls `visit` with every entry below `folder`, never entering a linked folder. Unreadable
// folders are skipped.
template <class Visit>
void walk(const fs::path& folder, Visit&& visit) {
    std::error_code error;
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied,
                                        error);
    for (const fs::recursive_directory_iterator end; !error && it != end; it.increment(error)) {
        visit(it->path());
    }
}

}  // namespace

bool isInside(const fs::path& pathIn, const fs::path& folderIn) {
    const fs::path path = pathIn.lexically_normal();
    const fs::path folder = folderIn.lexically_normal();
    if (path.is_absolute() != folder.is_absolute()) {
        return false;
    }
    auto p = path.begin();
    for (const auto& part : folder) {
        if (part.empty()) {
            continue;  // the trailing separator of "a/b/"
        }
        if (p == path.end() || *p != part) {
            return false;
        }
        ++p;
    }
    return true;
}

Usage usage(const std::vector<fs::path>& items) {
    Usage found;
    const auto add = [&](const fs::path& path) {
        const auto st = linkStatus(path);
        if (st) {
            found.emplace(std::pair<std::uint64_t, std::uint64_t>(st->st_dev, st->st_ino),
                          static_cast<std::int64_t>(st->st_blocks) * 512);
        }
        return st;
    };
    for (const auto& item : items) {
        if (const auto st = add(item); st && S_ISDIR(st->st_mode)) {
            walk(item, add);
        }
    }
    return found;
}

std::int64_t total(const Usage& usage) {
    std::int64_t sum = 0;
    for (const auto& [file, bytes] : usage) {
        sum += bytes;
    }
    return sum;
}

std::int64_t allocatedSize(const std::vector<fs::path>& items) {
    return total(usage(items));
}

std::optional<fs::path> blobFolder(const fs::path& modelFolder) {
    if (!isRealFolder(modelFolder)) {
        return std::nullopt;
    }
    std::error_code error;
    const fs::path blobs = fs::canonical(modelFolder, error) / "blobs";
    if (error || !isRealFolder(blobs)) {
        return std::nullopt;
    }
    return blobs;
}

std::set<fs::path> linkTargets(const fs::path& folder, const std::vector<fs::path>& allowed) {
    std::set<fs::path> targets;
    std::error_code error;
    const fs::path real = fs::canonical(folder, error);
    if (error || !isRealFolder(folder)) {
        return targets;
    }
    walk(folder, [&](const fs::path& entry) {
        std::error_code ignored;
        if (!fs::is_symlink(entry, ignored)) {
            return;
        }
        const fs::path target = fs::canonical(entry, ignored);
        const bool followed =
            !ignored && !isInside(target, real) &&
            std::any_of(allowed.begin(), allowed.end(),
                        [&](const fs::path& blobs) { return isInside(target, blobs); });
        if (followed) {
            targets.insert(target);
        }
    });
    return targets;
}

std::vector<fs::path> exclusiveModelBlobs(const fs::path& hub, const std::vector<fs::path>& ours) {
    std::vector<fs::path> allowed;
    for (const auto& folder : ours) {
        if (auto blobs = blobFolder(folder)) {
            allowed.push_back(std::move(*blobs));
        }
    }
    std::set<fs::path> targets;
    for (const auto& folder : ours) {
        targets.merge(linkTargets(folder, allowed));
    }
    if (targets.empty()) {
        return {};
    }
    std::error_code error;
    for (fs::directory_iterator it(hub, error), end; !error && it != end; it.increment(error)) {
        const fs::path other = it->path().lexically_normal();
        const bool ourOwn = std::any_of(ours.begin(), ours.end(), [&](const fs::path& folder) {
            return folder.lexically_normal() == other;
        });
        if (!ourOwn && other.filename().string().starts_with("models--")) {
            for (const auto& shared : linkTargets(other, allowed)) {
                targets.erase(shared);
            }
        }
    }
    return {targets.begin(), targets.end()};
}

}  // namespace ovra::UninstallerFiles
