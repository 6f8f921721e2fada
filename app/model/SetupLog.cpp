#include "app/model/SetupLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <ctime>
#include <shared_mutex>

namespace ovra {

namespace {

// Process-wide: every log of the app stops when the app is removed. Writers hold it shared.
struct Freeze {
    std::shared_mutex mutex;
    bool frozen = false;
};
Freeze& freeze() {
    static Freeze state;
    return state;
}

}  // namespace

void SetupLog::freezeAll() {
    std::unique_lock lock(freeze().mutex);
    freeze().frozen = true;
}

std::string SetupLog::timestamp(std::chrono::system_clock::time_point time) {
    const std::time_t t = std::chrono::system_clock::to_time_t(time);
    std::tm utc{};
    ::gmtime_r(&t, &utc);
    char text[32];
    const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return std::string(text, n);
}

void SetupLog::write(std::string_view message) const {
    std::string line = timestamp(std::chrono::system_clock::now());
    line += ' ';
    for (const char c : message)
        line += (c == '\n' || c == '\r') ? ' ' : c;
    line += '\n';

    std::shared_lock frozen(freeze().mutex);
    if (freeze().frozen)
        return;
    std::lock_guard lock(mutex_);
    std::error_code ec;
    std::filesystem::create_directories(file_.parent_path(), ec);
    const int fd = ::open(file_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    // One write per line, so lines of concurrent writers never interleave.
    [[maybe_unused]] const ssize_t n = ::write(fd, line.data(), line.size());
    ::close(fd);
}

}  // namespace ovra
