#pragma once

// A process's memory as the kernel tells it, for the journeys that bound what a reading costs.

#include <sys/types.h>

#include <fstream>
#include <string>

namespace ovra::testing {

// A line of a process's status in kB ("VmRSS", "VmHWM"); -1 when it cannot be read.
inline long statusKb(pid_t pid, const std::string& key) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with(key + ":")) {
            return std::stol(line.substr(key.size() + 1));
        }
    }
    return -1;
}

// This process's peak ("VmHWM") becomes what it holds now.
inline void resetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

}  // namespace ovra::testing
