#pragma once

// Runs a program to its end and collects what it prints on standard output: a short question
// to another program, such as asking a new version of the app for its version. No shell reads
// the arguments; the program gets the app's environment, no input, no other open file and
// default signal handling, and is killed when it has not ended by the time-out. Blocks the
// calling thread: run it on a worker.

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "core/Result.h"

namespace ovra::process {

struct Finished {
    int exitStatus = -1;  // -1 when it did not exit by itself
    int signal = 0;       // the signal that ended it, if one did
    bool timedOut = false;
    std::string output;  // at most the first maxOutput bytes
};

// argv[0] is the program's path. Fails, saying why, only when it cannot be started.
Result<Finished> runToEnd(const std::vector<std::string>& argv, std::chrono::milliseconds timeout,
                          std::size_t maxOutput = 4096);

}  // namespace ovra::process
