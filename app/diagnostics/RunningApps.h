#pragma once

// How the command-line tools name another app on Linux: by its process name, either the name
// the kernel keeps for the process (/proc/<pid>/comm, at most 15 characters) or the file name of
// its executable (the last part of /proc/<pid>/exe), compared exactly, case and all. Only a
// process that answers on the accessibility bus is an app; helper processes of the same name
// (a browser's renderers) are skipped, and the lowest process id wins among the rest.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/accessibility/AccessibilityBackend.h"

namespace ovra {

struct ProcessEntry {
    std::int64_t pid = 0;
    std::string name;        // /proc/<pid>/comm
    std::string executable;  // file name of /proc/<pid>/exe; empty when it cannot be read

    bool isNamed(std::string_view identifier) const;
    friend bool operator==(const ProcessEntry&, const ProcessEntry&) = default;
};

namespace RunningApps {

// Every process under `proc`, lowest process id first.
std::vector<ProcessEntry> processes(const std::filesystem::path& proc = "/proc");

// The first process named `identifier` whose application element answers; its name is the
// app's accessible name, else the process name. None when no such app runs.
std::optional<ax::RunningApp> find(std::string_view identifier,
                                   const std::vector<ProcessEntry>& processes,
                                   ax::AccessibilityBackend& backend);

}  // namespace RunningApps

}  // namespace ovra
