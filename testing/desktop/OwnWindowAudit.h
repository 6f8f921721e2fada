#pragma once

// Our own windows as a screen reader finds them: every showing control of a process of ours must
// have a name, and nothing that takes the keyboard focus may be nameless. Reads through
// audit-windows.py beside this file in another process (a blocking call to ourselves over the
// accessibility bus would wait on our own event loop).

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/types.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "testing/desktop/Commands.h"

namespace ovra::testing {

struct WindowAudit {
    int controls = 0;                   // showing controls read
    std::vector<std::string> problems;  // "problem<TAB>role<TAB><TAB>where", one per object
};

inline WindowAudit auditWindowsOf(pid_t pid) {
    const char* source = std::getenv("OVRA_SOURCE_DIR");
    const CommandOutput audited = run("/usr/bin/python3 '" + std::string(source ? source : ".") +
                                      "/testing/desktop/audit-windows.py' " + std::to_string(pid));
    WindowAudit audit;
    for (const std::string& line : audited.lines()) {
        if (line.rfind("controls\t", 0) == 0) {
            audit.controls = std::atoi(line.c_str() + 9);
        } else if (!line.empty()) {
            audit.problems.push_back(line);
        }
    }
    if (audited.exitCode != 0) {
        audit.problems.push_back("the audit failed");
    }
    return audit;
}

// The audit as a test expects it of a window of ours: controls read, and no problem.
inline void expectAudited(pid_t pid, const std::string& what) {
    const WindowAudit audit = auditWindowsOf(pid);
    EXPECT_GT(audit.controls, 0) << what;
    EXPECT_THAT(audit.problems, ::testing::IsEmpty()) << what;
}

}  // namespace ovra::testing
