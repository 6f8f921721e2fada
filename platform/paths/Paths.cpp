#include "platform/paths/Paths.h"

#include <fcntl.h>
#include <pwd.h>
#include <stdio.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace ovra::paths {

namespace fs = std::filesystem;

fs::path home(const Environment& env) {
    if (auto h = env("HOME"); h && !h->empty())
        return *h;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
        return pw->pw_dir;
    return "/";
}

namespace {

fs::path xdg(const Environment& env, const char* name, const char* fallback) {
    if (auto v = env(name); v && !v->empty() && v->front() == '/')
        return *v;
    return home(env) / fallback;
}

}  // namespace

std::optional<std::string> processEnvironment(const char* name) {
    const char* v = std::getenv(name);
    if (v == nullptr)
        return std::nullopt;
    return std::string(v);
}

fs::path dataHome(const Environment& env) {
    return xdg(env, "XDG_DATA_HOME", ".local/share");
}
fs::path stateHome(const Environment& env) {
    return xdg(env, "XDG_STATE_HOME", ".local/state");
}
fs::path cacheHome(const Environment& env) {
    return xdg(env, "XDG_CACHE_HOME", ".cache");
}
fs::path supportFolder(const Environment& env) {
    return dataHome(env) / "Murmlark Ovra";
}
fs::path setupLog(const Environment& env) {
    return stateHome(env) / "MurmlarkOvra" / "setup.log";
}

fs::path resourceFolder() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec)
        return "share/murmlark-ovra";
    return exe.parent_path().parent_path() / "share" / "murmlark-ovra";
}

std::string displayPath(const fs::path& path, const Environment& env) {
    const std::string h = home(env).string();
    const std::string p = path.string();
    if (h.size() > 1 && p.starts_with(h) && (p.size() == h.size() || p[h.size()] == '/')) {
        return "~" + p.substr(h.size());
    }
    return p;
}

std::optional<std::uint64_t> availableSpace(const fs::path& path) {
    fs::path probe = path;
    std::error_code ec;
    while (!probe.empty() && !fs::exists(probe, ec)) {
        if (probe == probe.parent_path())
            break;
        probe = probe.parent_path();
    }
    struct statvfs st {};
    if (probe.empty() || ::statvfs(probe.c_str(), &st) != 0)
        return std::nullopt;
    return static_cast<std::uint64_t>(st.f_bavail) * static_cast<std::uint64_t>(st.f_frsize);
}

Result<bool> replaceFolder(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(to, ec))) {
        if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
            return true;
        }
        if (errno != EINVAL && errno != ENOSYS)
            return fail(std::string(std::strerror(errno)));
        if (::rename(from.c_str(), to.c_str()) == 0)
            return true;
        return fail(std::string(std::strerror(errno)));
    }
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_EXCHANGE) == 0) {
        fs::remove_all(from, ec);  // now the old folder; left behind only if this fails
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS)
        return fail(std::string(std::strerror(errno)));
    // No exchange on this file system: move the old folder aside, and back if the new one fails.
    fs::path aside = to;
    aside += ".old";
    fs::remove_all(aside, ec);
    if (::rename(to.c_str(), aside.c_str()) != 0)
        return fail(std::string(std::strerror(errno)));
    if (::rename(from.c_str(), to.c_str()) != 0) {
        const std::string why = std::strerror(errno);
        ::rename(aside.c_str(), to.c_str());
        return fail(why);
    }
    fs::remove_all(aside, ec);
    return true;
}

}  // namespace ovra::paths
