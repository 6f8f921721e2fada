#pragma once

// What a thread of this process is held in, as Linux shows it under /proc: nothing while the
// thread runs or waits for a processor (a loaded machine); else the system call it sleeps in and
// what that call waits on: a file, a socket and who is at its other end, a child process, or,
// for a wait on a lock or a condition (a futex), the code that waits. Read from another thread
// of the process without stopping the one read (its stack is only looked at, never unwound).

#include <optional>
#include <string>

namespace ovra::process {

struct ThreadWait {
    std::string call;  // the system call: "read", "poll", "futex", ...
    std::string on;    // what it waits on, readable: "/home/u/file", "socket to /run/bus", ...
    // A round trip to the X display server, which every windowed app waits on now and then.
    bool display = false;
};

// The calling thread's id, as /proc/self/task names it.
int currentThreadId();

// What thread `threadId` of this process sleeps in now; none while it runs, is runnable or is
// gone.
std::optional<ThreadWait> waitOf(int threadId);

// "poll on socket to /run/user/1000/bus".
std::string describe(const ThreadWait& wait);

}  // namespace ovra::process
