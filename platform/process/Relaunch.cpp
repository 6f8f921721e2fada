#include "platform/process/Relaunch.h"

#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "platform/io/Uninterrupted.h"

namespace ovra::process {

namespace {

long long monotonicMilliseconds() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Runs in the forked child, so only async-signal-safe calls: no allocation, no locks.
void waitForExit(pid_t pid, long long deadline) {
    const long pidfd = ::syscall(SYS_pidfd_open, pid, 0);
    if (pidfd >= 0) {
        // Readable once the process has ended; a reused pid cannot fool it.
        for (;;) {
            const long long left = deadline - monotonicMilliseconds();
            if (left <= 0)
                break;
            pollfd p{static_cast<int>(pidfd), POLLIN, 0};
            const int n = ::poll(&p, 1, static_cast<int>(left > 60000 ? 60000 : left));
            if (n > 0 || (n < 0 && errno != EINTR))
                break;
        }
        ::close(static_cast<int>(pidfd));
        return;
    }
    // Kernels before 5.3: ask whether the pid still exists, bounded by the deadline.
    while (::kill(pid, 0) == 0 || errno == EPERM) {
        if (monotonicMilliseconds() >= deadline)
            return;
        const timespec pause{0, 100 * 1000 * 1000};
        ::nanosleep(&pause, nullptr);
    }
}

[[noreturn]] void becomeProgram(char* const* argv) {
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig) {
        if (sig != SIGKILL && sig != SIGSTOP)
            ::sigaction(sig, &fallback, nullptr);
    }
    if (::close_range(3, ~0U, 0) != 0) {
        for (int fd = 3; fd < 4096; ++fd)
            ::close(fd);
    }
    ::execv(argv[0], argv);
    ::_exit(127);
}

}  // namespace

Result<bool> startAfterExit(pid_t waitFor, const std::vector<std::string>& argv,
                            std::chrono::milliseconds timeout) {
    if (argv.empty() || !argv[0].starts_with('/'))
        return fail(std::string("the program must be given by its absolute path"));
    if (::access(argv[0].c_str(), X_OK) != 0)
        return fail("cannot run " + argv[0] + ": " + std::strerror(errno));
    // Everything the child needs is made before the fork.
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const long long deadline = monotonicMilliseconds() + timeout.count();

    const pid_t middle = ::fork();
    if (middle < 0)
        return fail(std::string("cannot start a process: ") + std::strerror(errno));
    if (middle == 0) {
        // A session of its own, and a grandchild that init adopts: the program outlives the app
        // and no terminal or session end reaches it.
        ::setsid();
        const pid_t program = ::fork();
        if (program == 0) {
            waitForExit(waitFor, deadline);
            becomeProgram(args.data());
        }
        ::_exit(program < 0 ? 1 : 0);
    }
    int status = 0;
    io::waitChild(middle, &status);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return fail(std::string("cannot start a process"));
    return true;
}

}  // namespace ovra::process
