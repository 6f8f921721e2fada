#include "platform/process/ThreadWait.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

namespace ovra::process {

namespace {

enum class Argument { none, fd, pollFds, futex, child, sleep };

struct Call {
    long number;
    const char* name;
    Argument first;
};

// The calls a thread may sleep in, and what their first argument says.
constexpr Call kCalls[] = {
    {SYS_read, "read", Argument::fd},
    {SYS_write, "write", Argument::fd},
    {SYS_pread64, "pread", Argument::fd},
    {SYS_pwrite64, "pwrite", Argument::fd},
    {SYS_readv, "readv", Argument::fd},
    {SYS_writev, "writev", Argument::fd},
    {SYS_recvfrom, "recvfrom", Argument::fd},
    {SYS_sendto, "sendto", Argument::fd},
    {SYS_recvmsg, "recvmsg", Argument::fd},
    {SYS_sendmsg, "sendmsg", Argument::fd},
    {SYS_ioctl, "ioctl", Argument::fd},
    {SYS_fsync, "fsync", Argument::fd},
    {SYS_fdatasync, "fdatasync", Argument::fd},
    {SYS_flock, "flock", Argument::fd},
    {SYS_fcntl, "fcntl", Argument::fd},
    {SYS_connect, "connect", Argument::fd},
    {SYS_accept4, "accept", Argument::fd},
    {SYS_epoll_pwait, "epoll_wait", Argument::fd},
    {SYS_ppoll, "poll", Argument::pollFds},
    {SYS_futex, "futex", Argument::futex},
    {SYS_wait4, "wait", Argument::child},
    {SYS_waitid, "wait", Argument::child},
    {SYS_nanosleep, "sleep", Argument::sleep},
    {SYS_clock_nanosleep, "sleep", Argument::sleep},
    {SYS_openat, "open", Argument::none},
#ifdef SYS_poll
    {SYS_poll, "poll", Argument::pollFds},
#endif
#ifdef SYS_epoll_wait
    {SYS_epoll_wait, "epoll_wait", Argument::fd},
#endif
#ifdef SYS_select
    {SYS_select, "select", Argument::none},
#endif
};

std::string firstLine(const std::string& path) {
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

// Copies `size` bytes at `address` of this process; false where they are not mapped. Through
// /proc/self/mem, which a container's system call filter leaves alone (process_vm_readv it may
// refuse).
bool copyOwn(std::uintptr_t address, void* into, std::size_t size) {
    const int mem = open("/proc/self/mem", O_RDONLY | O_CLOEXEC);
    if (mem < 0) {
        return false;
    }
    const ssize_t got = pread(mem, into, size, static_cast<off_t>(address));
    close(mem);
    return got == static_cast<ssize_t>(size);
}

struct Named {
    std::string text;
    bool display = false;
};

// What the file descriptor `fd` is: a path, a pipe, or a socket and who is at its other end.
Named nameOfFd(long fd) {
    std::array<char, PATH_MAX> link{};
    const std::string proc = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t length = readlink(proc.c_str(), link.data(), link.size() - 1);
    if (length <= 0) {
        return {"descriptor " + std::to_string(fd)};
    }
    const std::string target(link.data(), static_cast<std::size_t>(length));
    if (!target.starts_with("socket:")) {
        return {target};
    }
    sockaddr_un peer{};
    socklen_t size = sizeof(peer);
    if (getpeername(static_cast<int>(fd), reinterpret_cast<sockaddr*>(&peer), &size) != 0 ||
        peer.sun_family != AF_UNIX || size <= offsetof(sockaddr_un, sun_path)) {
        return {"a socket"};
    }
    std::string path(peer.sun_path, size - offsetof(sockaddr_un, sun_path));
    if (!path.empty() && path.front() == '\0') {
        path.front() = '@';  // an abstract name
    }
    path = path.c_str();
    return {"socket to " + path, path.find(".X11-unix/X") != std::string::npos};
}

Named nameOfPollFds(std::uintptr_t fds, unsigned long count) {
    std::array<pollfd, 8> polled{};
    const std::size_t n = std::min<std::size_t>(count, polled.size());
    if (n == 0 || !copyOwn(fds, polled.data(), n * sizeof(pollfd))) {
        return {};
    }
    Named out;
    for (std::size_t i = 0; i < n; ++i) {
        const Named one = nameOfFd(polled[i].fd);
        out.text += (i > 0 ? ", " : "") + one.text;
        out.display = out.display || one.display;
    }
    return out;
}

struct Mapping {
    std::uintptr_t begin = 0;
    std::uintptr_t end = 0;
    std::string file;  // the file's name without its folder
};

std::vector<Mapping> codeMappings() {
    std::vector<Mapping> out;
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        std::istringstream fields(line);
        std::string range, perms, offset, device, inode, path;
        fields >> range >> perms >> offset >> device >> inode >> path;
        const auto dash = range.find('-');
        if (perms.size() < 3 || perms[2] != 'x' || path.empty() || dash == std::string::npos) {
            continue;
        }
        const auto slash = path.rfind('/');
        out.push_back({std::stoull(range.substr(0, dash), nullptr, 16),
                       std::stoull(range.substr(dash + 1), nullptr, 16),
                       slash == std::string::npos ? path : path.substr(slash + 1)});
    }
    return out;
}

// The C library and the C++ one wait for their callers: those are named instead.
bool waitsForItsCaller(const std::string& file) {
    return file.starts_with("libc.so") || file.starts_with("libc-") ||
           file.starts_with("ld-linux") || file.starts_with("libpthread") ||
           file.starts_with("libstdc++") || file.starts_with("[");
}

std::string functionAt(std::uintptr_t address) {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(address), &info) == 0 || info.dli_sname == nullptr) {
        return {};
    }
    int status = 0;
    const std::unique_ptr<char, decltype(&std::free)> demangled(
        abi::__cxa_demangle(info.dli_sname, nullptr, nullptr, &status), &std::free);
    std::string name = status == 0 && demangled ? demangled.get() : info.dli_sname;
    return name.substr(0, name.find('('));
}

// The code that waits, found on the thread's stack above `stackPointer`: the first return
// addresses into code other than the C and C++ libraries, up to three. Words on a stack that only
// look like addresses may name a caller wrongly; this is for telling, not for deciding.
Named waitingCode(std::uintptr_t stackPointer) {
    std::array<std::uintptr_t, 2048> words{};
    std::size_t count = words.size();
    while (count > 0 && !copyOwn(stackPointer, words.data(), count * sizeof(std::uintptr_t))) {
        count /= 4;
    }
    const std::vector<Mapping> code = codeMappings();
    Named out;
    int found = 0;
    for (std::size_t i = 0; i < count && found < 3; ++i) {
        for (const Mapping& m : code) {
            if (words[i] < m.begin || words[i] >= m.end) {
                continue;
            }
            if (!waitsForItsCaller(m.file)) {
                const std::string function = functionAt(words[i]);
                if (found == 0) {
                    out.display = m.file.starts_with("libxcb.") || m.file.starts_with("libX11");
                }
                out.text += std::string(found > 0 ? " < " : "") +
                            (function.empty() ? m.file : function + " (" + m.file + ")");
                ++found;
            }
            break;
        }
    }
    return out;
}

}  // namespace

int currentThreadId() {
    return static_cast<int>(syscall(SYS_gettid));
}

std::optional<ThreadWait> waitOf(int threadId) {
    const std::string task = "/proc/self/task/" + std::to_string(threadId);
    const std::string stat = firstLine(task + "/stat");
    const auto name = stat.rfind(')');
    if (name == std::string::npos || name + 2 >= stat.size()) {
        return std::nullopt;
    }
    const char state = stat[name + 2];
    if (state != 'S' && state != 'D') {
        return std::nullopt;
    }
    std::istringstream fields(firstLine(task + "/syscall"));
    long number = -1;
    std::array<std::string, 8> hex;  // six arguments, the stack pointer, the program counter
    if (!(fields >> number) || number < 0) {
        return std::nullopt;  // running, or asleep outside a system call
    }
    std::array<std::uintptr_t, 8> value{};
    for (std::size_t i = 0; i < hex.size(); ++i) {
        if (!(fields >> hex[i])) {
            return std::nullopt;
        }
        value[i] = std::strtoull(hex[i].c_str(), nullptr, 16);
    }
    ThreadWait wait{"system call " + std::to_string(number), {}, false};
    for (const Call& call : kCalls) {
        if (call.number != number) {
            continue;
        }
        wait.call = call.name;
        Named what;
        switch (call.first) {
            case Argument::fd:
                what = nameOfFd(static_cast<long>(value[0]));
                break;
            case Argument::pollFds:
                what = nameOfPollFds(value[0], value[1]);
                break;
            case Argument::futex:
                what = waitingCode(value[6]);
                break;
            case Argument::child:
                what = {"a child process"};
                break;
            case Argument::sleep:
            case Argument::none:
                break;
        }
        wait.on = std::move(what.text);
        wait.display = what.display;
        break;
    }
    return wait;
}

std::string describe(const ThreadWait& wait) {
    if (wait.on.empty()) {
        return wait.call;
    }
    return wait.call + (wait.call == "futex" ? " in " : " on ") + wait.on;
}

}  // namespace ovra::process
