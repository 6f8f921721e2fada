#include "platform/process/RunProgram.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/io/Uninterrupted.h"

extern char** environ;

namespace ovra::process {

namespace {

using Clock = std::chrono::steady_clock;

class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    void reset(int fd = -1) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }

  private:
    int fd_;
};

// Milliseconds left until `end`, at least 0.
int left(Clock::time_point end) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
    return static_cast<int>(std::max<long long>(0, std::min<long long>(ms.count(), 60000)));
}

}  // namespace

Result<Finished> runToEnd(const std::vector<std::string>& argv, std::chrono::milliseconds timeout,
                          std::size_t maxOutput) {
    if (argv.empty())
        return fail("no program to run");
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0)
        return fail(std::string("cannot make a pipe: ") + std::strerror(errno));
    Fd reader(pipeEnds[0]), writer(pipeEnds[1]);

    posix_spawn_file_actions_t files;
    posix_spawnattr_t attributes;
    ::posix_spawn_file_actions_init(&files);
    ::posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_adddup2(&files, writer.get(), 1);
    ::posix_spawn_file_actions_addopen(&files, 2, "/dev/null", O_WRONLY, 0);
    ::posix_spawn_file_actions_addclosefrom_np(&files, 3);
    ::posix_spawnattr_init(&attributes);
    sigset_t none, all;
    ::sigemptyset(&none);
    ::sigfillset(&all);
    ::posix_spawnattr_setsigmask(&attributes, &none);
    ::posix_spawnattr_setsigdefault(&attributes, &all);
    ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, args[0], &files, &attributes, args.data(), environ);
    ::posix_spawn_file_actions_destroy(&files);
    ::posix_spawnattr_destroy(&attributes);
    if (spawned != 0)
        return fail("cannot start " + argv[0] + ": " + std::strerror(spawned));
    writer.reset();

    const auto end = Clock::now() + timeout;
    Finished finished;
    // The output until the program closes it, then its end, both by the time-out.
    for (char buffer[4096];;) {
        pollfd p{reader.get(), POLLIN, 0};
        const int ready = ::poll(&p, 1, left(end));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        const ssize_t n = io::readSome(reader.get(), buffer, sizeof buffer);
        if (n <= 0)
            break;
        const auto room = maxOutput - std::min(maxOutput, finished.output.size());
        finished.output.append(buffer, std::min(room, static_cast<std::size_t>(n)));
    }
    const Fd ended(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    if (ended.get() >= 0) {
        pollfd p{ended.get(), POLLIN, 0};
        while (::poll(&p, 1, left(end)) < 0 && errno == EINTR) {
        }
    }
    int status = 0;
    bool reaped = ::waitpid(pid, &status, WNOHANG) == pid;
    while (!reaped && ended.get() < 0 && left(end) > 0) {
        ::usleep(10000);  // kernels before 5.3 have no pidfd to wait on
        reaped = ::waitpid(pid, &status, WNOHANG) == pid;
    }
    if (!reaped) {
        finished.timedOut = true;
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
    }
    if (WIFEXITED(status) && !finished.timedOut)
        finished.exitStatus = WEXITSTATUS(status);
    else if (WIFSIGNALED(status) && !finished.timedOut)
        finished.signal = WTERMSIG(status);
    return finished;
}

}  // namespace ovra::process
