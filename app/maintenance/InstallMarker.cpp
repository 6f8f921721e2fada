#include "app/maintenance/InstallMarker.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>

#include "app/maintenance/InstallListing.h"
#include "core/Updates.h"

namespace ovra::InstallMarker {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMaxMarkerBytes = 4096;

// Folders a package manager or the system owns, whatever a marker in them says.
constexpr std::array<std::string_view, 12> kSystemRoots = {"/usr",   "/bin",   "/sbin", "/lib",
                                                           "/lib32", "/lib64", "/etc",  "/boot",
                                                           "/snap",  "/nix",   "/gnu",  "/app"};

bool isWithin(const fs::path& path, const fs::path& folder) {
    auto p = path.begin();
    for (const auto& part : folder) {
        if (p == path.end() || *p != part)
            return false;
        ++p;
    }
    return true;
}

// Lexically normal, without a trailing separator.
fs::path tidy(const fs::path& path) {
    fs::path out = path.lexically_normal();
    return out.has_filename() || !out.has_relative_path() ? out : out.parent_path();
}

std::optional<std::string> readSmallFile(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat st {};
    std::optional<std::string> text;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
        static_cast<std::size_t>(st.st_size) <= kMaxMarkerBytes) {
        std::string buffer(kMaxMarkerBytes + 1, '\0');
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n >= 0 && static_cast<std::size_t>(n) <= kMaxMarkerBytes) {
            buffer.resize(static_cast<std::size_t>(n));
            text = std::move(buffer);
        }
    }
    ::close(fd);
    return text;
}

}  // namespace

fs::path file(const fs::path& prefix) {
    return prefix / "share" / "murmlark-ovra" / kFileName;
}

fs::path executable(const fs::path& prefix) {
    return prefix / kExecutable;
}

std::string text(bool selfUpdate) {
    std::string out = std::string(OvraUpdates::bundleID) + "\n";
    if (selfUpdate)
        out += std::string(kSelfUpdateLine) + "\n";
    return out;
}

std::optional<Marker> read(const fs::path& prefix) {
    const auto content = readSmallFile(file(prefix));
    if (!content)
        return std::nullopt;
    const std::string_view all(*content);
    if (all.substr(0, all.find('\n')) != OvraUpdates::bundleID)
        return std::nullopt;
    Marker marker;
    for (std::size_t at = 0; at < all.size();) {
        const auto end = std::min(all.find('\n', at), all.size());
        if (all.substr(at, end - at) == kSelfUpdateLine)
            marker.selfUpdate = true;
        at = end + 1;
    }
    return marker;
}

std::optional<Refusal> selfUpdateRefusal(const fs::path& prefixIn, const fs::path& home) {
    const fs::path prefix = tidy(prefixIn);
    for (const auto root : kSystemRoots) {
        if (isWithin(prefix, root))
            return Refusal::systemFolder;
    }
    const fs::path h = tidy(home);
    if (!prefix.is_absolute() || !prefix.has_relative_path() || prefix == "/opt" ||
        prefix == "/home" || (!h.empty() && (isWithin(h, prefix) || prefix == h / ".local"))) {
        return Refusal::sharedFolder;
    }
    const auto marker = read(prefix);
    if (!marker)
        return Refusal::notOurs;
    if (!marker->selfUpdate)
        return Refusal::notOwnPrefix;
    if (!InstallListing::holdsOnlyListed(prefix))
        return Refusal::sharedWithOthers;
    struct stat st {};
    if (::lstat(prefix.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
        ::access(prefix.c_str(), W_OK) != 0 || ::access(prefix.parent_path().c_str(), W_OK) != 0) {
        return Refusal::notWritable;
    }
    return std::nullopt;
}

}  // namespace ovra::InstallMarker
