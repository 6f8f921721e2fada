#include "platform/download/FileUrl.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include "core/Hex.h"
#include "platform/io/Uninterrupted.h"

namespace ovra::download {

namespace {

class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

  private:
    int fd_;
};

}  // namespace

std::optional<std::string> filePath(const std::string& url) {
    constexpr std::string_view kScheme = "file://";
    if (url.size() < kScheme.size())
        return std::nullopt;
    for (std::size_t i = 0; i < kScheme.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(url[i])) != kScheme[i])
            return std::nullopt;
    }
    std::string_view rest = std::string_view(url).substr(kScheme.size());
    if (rest.starts_with("localhost/"))
        rest.remove_prefix(9);
    if (!rest.starts_with('/'))
        return std::nullopt;
    std::string path;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '?' || rest[i] == '#')
            break;
        if (rest[i] != '%') {
            path += rest[i];
            continue;
        }
        if (i + 2 >= rest.size())
            return std::nullopt;
        const int hi = hexValue(rest[i + 1]);
        const int lo = hexValue(rest[i + 2]);
        if (hi < 0 || lo < 0 || (hi == 0 && lo == 0))
            return std::nullopt;
        path += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return path;
}

Outcome copyFile(const std::string& url, const std::filesystem::path& destination,
                 const Options& options, const Progress& progress,
                 const std::atomic<bool>& cancel) {
    using Kind = Outcome::Kind;
    const auto path = filePath(url);
    if (!path)
        return {Kind::badURL, 0, url, 0};
    Fd in(::open(path->c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0)
        return {Kind::readFailed, 0, *path + ": " + std::strerror(errno), 0};
    Fd out(::open(destination.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (out.get() < 0) {
        return {Kind::writeFailed, 0, destination.string() + ": " + std::strerror(errno), 0};
    }
    std::vector<char> buffer(1U << 20U);
    std::int64_t total = 0;
    for (;;) {
        if (cancel.load())
            return {Kind::cancelled, 0, {}, total};
        const ssize_t n = io::readSome(in.get(), buffer.data(), buffer.size());
        if (n < 0) {
            return {Kind::readFailed, 0, *path + ": " + std::strerror(errno), total};
        }
        if (n == 0)
            break;
        if (options.maxBytes >= 0 && n > options.maxBytes - total) {
            return {Kind::tooLarge, 0, {}, total};
        }
        if (!io::writeAll(out.get(), buffer.data(), static_cast<std::size_t>(n)))
            return {Kind::writeFailed, 0, std::strerror(errno), total};
        total += n;
        if (progress)
            progress(total);
    }
    if (::close(out.release()) != 0)
        return {Kind::writeFailed, 0, std::strerror(errno), total};
    return {Kind::ok, 0, {}, total};
}

}  // namespace ovra::download
