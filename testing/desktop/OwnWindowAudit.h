#pragma once

// Our own windows as a screen reader finds them: every showing control of a process of ours must
// have a name, and nothing that takes the keyboard focus may be nameless. Reads through
// audit-windows.py beside this file in another process (a blocking call to ourselves over the
// accessibility bus would wait on our own event loop).

#include <sys/types.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace ovra::testing {

struct WindowAudit {
    int controls = 0;                   // showing controls read
    std::vector<std::string> problems;  // "problem<TAB>role<TAB><TAB>where", one per object
};

inline WindowAudit auditWindowsOf(pid_t pid) {
    const char* source = std::getenv("OVRA_SOURCE_DIR");
    const std::string script =
        std::string(source ? source : ".") + "/testing/desktop/audit-windows.py";
    const std::string command = "/usr/bin/python3 '" + script + "' " + std::to_string(pid);
    WindowAudit audit;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        audit.problems.push_back("the audit could not start");
        return audit;
    }
    char line[4096];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        std::string text(line);
        if (!text.empty() && text.back() == '\n') {
            text.pop_back();
        }
        if (text.rfind("controls\t", 0) == 0) {
            audit.controls = std::atoi(text.c_str() + 9);
        } else if (!text.empty()) {
            audit.problems.push_back(text);
        }
    }
    if (pclose(pipe) != 0) {
        audit.problems.push_back("the audit failed");
    }
    return audit;
}

}  // namespace ovra::testing
