#pragma once

// read, write and waitpid, carried on when a signal interrupts them.

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <string_view>

namespace ovra::io {

// The bytes read, 0 at the end, or -1 with errno set.
inline ssize_t readSome(int fd, void* buffer, std::size_t size) {
    ssize_t n = 0;
    do {
        n = ::read(fd, buffer, size);
    } while (n < 0 && errno == EINTR);
    return n;
}

// Writes all `size` bytes, however many writes it takes. False, with errno set, when one fails
// (EIO for a write that took nothing).
inline bool writeAll(int fd, const void* data, std::size_t size) {
    const char* next = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, next, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = EIO;
            }
            return false;
        }
        next += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

inline bool writeAll(int fd, std::string_view text) {
    return writeAll(fd, text.data(), text.size());
}

// waitpid: the pid reaped, 0 under WNOHANG while the child runs, or -1 with errno set.
inline pid_t waitChild(pid_t pid, int* status, int options = 0) {
    pid_t reaped = 0;
    do {
        reaped = ::waitpid(pid, status, options);
    } while (reaped < 0 && errno == EINTR);
    return reaped;
}

}  // namespace ovra::io
