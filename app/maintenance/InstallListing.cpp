#include "app/maintenance/InstallListing.h"

#include <algorithm>
#include <fstream>
#include <set>

#include "app/maintenance/InstallMarker.h"

namespace ovra::InstallListing {

namespace fs = std::filesystem;

namespace {

// Far more than an install holds; a prefix with more entries is not the app's alone.
constexpr std::size_t kMaxEntries = 20000;
constexpr std::uintmax_t kMaxListingBytes = 1024 * 1024;

bool isRegularFile(const fs::path& path) {
    std::error_code ec;
    return fs::symlink_status(path, ec).type() == fs::file_type::regular;
}

}  // namespace

fs::path file(const fs::path& prefix) {
    return prefix / relativeFile();
}

fs::path outsideFile(const fs::path& prefix) {
    return InstallMarker::file(prefix).parent_path() / "installed-outside";
}

fs::path relativeFile() {
    return InstallMarker::file("").parent_path().relative_path() / "installed-files";
}

std::optional<std::vector<fs::path>> read(const fs::path& prefix) {
    const fs::path listing = file(prefix);
    std::error_code ec;
    if (!isRegularFile(listing) || fs::file_size(listing, ec) > kMaxListingBytes || ec)
        return std::nullopt;
    std::ifstream in(listing);
    std::vector<fs::path> files;
    for (std::string line; std::getline(in, line);) {
        const fs::path relative = fs::path(line).lexically_normal();
        if (line.empty() || relative.is_absolute() || relative.empty() ||
            *relative.begin() == ".." || relative == ".")
            return std::nullopt;
        files.push_back(relative);
    }
    return files;
}

bool holdsOnlyListed(const fs::path& prefix) {
    const auto listed = read(prefix);
    if (!listed)
        return false;
    const std::set<fs::path> files(listed->begin(), listed->end());
    std::set<fs::path> folders;
    for (const auto& f : files) {
        for (fs::path p = f.parent_path(); !p.empty(); p = p.parent_path())
            folders.insert(p);
    }
    std::error_code ec;
    std::size_t seen = 0;
    for (fs::recursive_directory_iterator it(prefix, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path relative = it->path().lexically_relative(prefix);
        const bool folder = it->symlink_status(ec).type() == fs::file_type::directory;
        if (ec || ++seen > kMaxEntries || !(folder ? folders : files).contains(relative))
            return false;
    }
    return !ec;
}

std::string text(std::vector<fs::path> files) {
    files.push_back(relativeFile());
    for (auto& f : files)
        f = f.lexically_normal();
    std::sort(files.begin(), files.end());
    files.erase(std::unique(files.begin(), files.end()), files.end());
    std::string out;
    for (const auto& f : files)
        out += f.string() + "\n";
    return out;
}

Result<bool> writeFor(const fs::path& root) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->symlink_status(ec).type() != fs::file_type::directory)
            files.push_back(it->path().lexically_relative(root));
    }
    if (ec)
        return fail("cannot read " + root.string() + ": " + ec.message());
    std::ofstream out(file(root), std::ios::binary | std::ios::trunc);
    out << text(std::move(files));
    if (!out.flush())
        return fail("cannot write " + file(root).string());
    return true;
}

Result<bool> keepInstallSpecific(const fs::path& installed, const fs::path& incoming) {
    for (const std::string_view name : kInstallSpecific) {
        const fs::path from = installed / name, to = incoming / name;
        std::error_code ec;
        fs::remove(to, ec);
        if (!isRegularFile(from)) {
            // No folder left empty: it would be nothing the listing names.
            for (fs::path folder = to.parent_path(); folder != incoming && fs::is_empty(folder, ec);
                 folder = folder.parent_path())
                fs::remove(folder, ec);
            continue;
        }
        fs::create_directories(to.parent_path(), ec);
        if (!fs::copy_file(from, to, ec))
            return fail("cannot copy " + from.string() + ": " + ec.message());
    }
    return true;
}

}  // namespace ovra::InstallListing
