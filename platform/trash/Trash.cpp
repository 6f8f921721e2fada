#include "platform/trash/Trash.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "platform/io/Uninterrupted.h"

namespace ovra::trash {

namespace fs = std::filesystem;

namespace {

constexpr int kMaxNames = 1000;

std::string reason(int error) {
    if (error == EXDEV) {
        return "it is on another file system than its Trash";
    }
    return std::strerror(error);
}

std::optional<struct stat> linkStatus(const fs::path& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return std::nullopt;
    }
    return st;
}

// A private folder of the user: made when missing, never a link.
bool privateFolder(const fs::path& path, uid_t uid) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        return false;
    }
    const auto st = linkStatus(path);
    return st && S_ISDIR(st->st_mode) && st->st_uid == uid;
}

// The device of `path`, or of its nearest existing ancestor.
std::optional<dev_t> deviceOf(fs::path path) {
    for (;;) {
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0) {
            return st.st_dev;
        }
        if (path == path.parent_path() || path.empty()) {
            return std::nullopt;
        }
        path = path.parent_path();
    }
}

// The top folder of the mount that holds `folder`.
fs::path mountTop(fs::path folder, dev_t device) {
    while (folder != folder.parent_path()) {
        struct stat st {};
        if (::stat(folder.parent_path().c_str(), &st) != 0 || st.st_dev != device) {
            break;
        }
        folder = folder.parent_path();
    }
    return folder;
}

bool renameWithoutReplacing(const fs::path& from, const fs::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    if (linkStatus(to)) {
        errno = EEXIST;
        return false;
    }
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool writeFile(int fd, const std::string& text) {
    return io::writeAll(fd, text) && ::fsync(fd) == 0;
}

}  // namespace

fs::path homeTrash(const paths::Environment& env) {
    return paths::dataHome(env) / "Trash";
}

std::string infoText(const fs::path& pathInInfo, std::chrono::system_clock::time_point now) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string escaped;
    for (const char byte : pathInInfo.string()) {
        const auto c = static_cast<unsigned char>(byte);
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == '~' ||
                           c == '/';
        if (plain) {
            escaped += static_cast<char>(c);
        } else {
            escaped += '%';
            escaped += kHex[c >> 4];
            escaped += kHex[c & 0xF];
        }
    }
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    ::localtime_r(&seconds, &local);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    return "[Trash Info]\nPath=" + escaped + "\nDeletionDate=" + date + "\n";
}

std::optional<fs::path> topdirTrash(const fs::path& topdir, uid_t uid) {
    const std::string id = std::to_string(uid);
    // A shared .Trash counts only as a real sticky folder; otherwise anyone could have made it.
    if (const auto shared = linkStatus(topdir / ".Trash");
        shared && S_ISDIR(shared->st_mode) && (shared->st_mode & S_ISVTX) != 0 &&
        privateFolder(topdir / ".Trash" / id, uid)) {
        return topdir / ".Trash" / id;
    }
    if (privateFolder(topdir / (".Trash-" + id), uid)) {
        return topdir / (".Trash-" + id);
    }
    return std::nullopt;
}

Result<Trashed> moveInto(const fs::path& item, const fs::path& trash, const fs::path& pathInInfo,
                         std::chrono::system_clock::time_point now) {
    const std::string name = item.filename().string();
    if (name.empty() || name == "." || name == "..") {
        return fail(std::string("it has no name to keep in the Trash"));
    }
    std::error_code ignored;
    fs::create_directories(trash.parent_path(), ignored);
    const uid_t uid = ::getuid();
    if (!privateFolder(trash, uid) || !privateFolder(trash / "files", uid) ||
        !privateFolder(trash / "info", uid)) {
        return fail("the Trash folder " + trash.string() + " cannot be used");
    }
    const std::string text = infoText(pathInInfo, now);
    for (int n = 1; n <= kMaxNames; ++n) {
        const std::string candidate = n == 1 ? name : name + "." + std::to_string(n);
        const fs::path info = trash / "info" / (candidate + ".trashinfo");
        const int fd =
            ::open(info.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno == EEXIST) {
            continue;
        }
        if (fd < 0) {
            return fail(reason(errno));
        }
        const bool written = writeFile(fd, text);
        const int writeError = errno;
        ::close(fd);
        if (!written) {
            ::unlink(info.c_str());
            return fail(reason(writeError));
        }
        const fs::path file = trash / "files" / candidate;
        if (renameWithoutReplacing(item, file)) {
            return Trashed{file, info};
        }
        const int moveError = errno;
        ::unlink(info.c_str());
        if (moveError != EEXIST && moveError != ENOTEMPTY) {
            return fail(reason(moveError));
        }
    }
    return fail(std::string("the Trash holds too many items of that name"));
}

Result<Trashed> moveToTrash(const fs::path& itemIn, std::chrono::system_clock::time_point now,
                            const paths::Environment& env) {
    const fs::path item = fs::absolute(itemIn).lexically_normal();
    const fs::path tidy = item.has_filename() ? item : item.parent_path();
    if (!linkStatus(tidy)) {
        return fail(reason(errno));
    }
    const auto itemDevice = deviceOf(tidy.parent_path());
    const fs::path home = homeTrash(env);
    if (itemDevice && deviceOf(home) == itemDevice) {
        return moveInto(tidy, home, tidy, now);
    }
    if (!itemDevice) {
        return fail(reason(errno));
    }
    const fs::path top = mountTop(tidy.parent_path(), *itemDevice);
    const auto trash = topdirTrash(top, ::getuid());
    if (!trash) {
        return fail("there is no Trash on the file system of " + top.string());
    }
    return moveInto(tidy, *trash, tidy.lexically_relative(top), now);
}

}  // namespace ovra::trash
