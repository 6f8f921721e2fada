#pragma once

// The self-tests' step list and its two runners. A self-test is a fixed list of steps, each a
// name and an action, run one after the other with a fixed pause (the gap) between the end of
// one step's action and the next step; the process ends after the last one. The loud runner
// prints "[" + name + "] " + the app's state gap seconds after each step's action, so the line
// shows what the action queued once it had that long to happen; the quiet runner leaves the
// lines to its steps. Either prints "done" and ends the process with code 0.
//
// Plain C++ over the scheduler: the first action runs inside the call, the rest on the
// scheduler's thread (the main thread in the app).

#include <functional>
#include <string>
#include <vector>

#include "platform/scheduler/Scheduler.h"

namespace ovra::selftest {

struct Step {
    std::string name;
    std::function<void()> action;
};

struct RunnerOutput {
    // One line on standard output, flushed at once.
    std::function<void(const std::string&)> print;
    // The state text of a step's line; not asked by the quiet runner.
    std::function<std::string()> state;
    // Ends the process with this code.
    std::function<void(int)> exit;
};

void run(std::vector<Step> steps, double gap, Scheduler& scheduler, RunnerOutput output);
void runQuiet(std::vector<Step> steps, double gap, Scheduler& scheduler, RunnerOutput output);

}  // namespace ovra::selftest
