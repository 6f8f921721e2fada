#pragma once

// Starts a program in a session of its own once a given process has ended: how an app that is
// replacing itself reopens its successor. The program gets an argument vector (no shell reads
// it, so no path or version is ever interpreted), the app's environment and standard streams,
// no other open file and default signal handling.

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

#include "core/Result.h"

namespace ovra::process {

// argv[0] is the program: an absolute path to an executable file. It is started once process
// `waitFor` has ended, or after `timeout` in any case. Returns at once; fails, saying why, only
// when the program is not executable or the waiting process cannot be made.
Result<bool> startAfterExit(pid_t waitFor, const std::vector<std::string>& argv,
                            std::chrono::milliseconds timeout);

}  // namespace ovra::process
