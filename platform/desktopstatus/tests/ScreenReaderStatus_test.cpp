// Which running screen readers silence the app's voice: only this user's, in this session.

#include "platform/desktopstatus/ScreenReaderStatus.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

namespace ovra::desktopstatus {
namespace {

TEST(ScreenReaderStatus, OnlyThisUsersOrcaInThisSessionCounts) {
    const Session ours{"unix:path=/run/user/1000/bus", ":1"};
    struct Case {
        std::string command;
        unsigned uid;
        Session theirs;
        bool counts;
    } const cases[] = {
        {"orca", 1000, ours, true},
        {"orca", 1000, {"", ":1.0"}, true},  // the same display, screen 0
        {"orca", 1000, {"unix:path=/run/user/1000/bus", ""}, true},
        {"orca", 0, ours, false},                                 // another user's
        {"orca", 1000, {"unix:path=/tmp/greeter", ":0"}, false},  // another session
        {"orca", 1000, {}, false},                                // no session at all
        {"orcas", 1000, ours, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(isOwnScreenReader(c.command, c.uid, c.theirs, 1000, ours), c.counts)
            << c.command << " " << c.uid << " " << c.theirs.bus << " " << c.theirs.display;
    }
}

TEST(ScreenReaderStatus, ReadsProcessesFromProc) {
    char pattern[] = "/tmp/ovra-proc.XXXXXX";
    const std::filesystem::path proc = mkdtemp(pattern);
    std::filesystem::create_directories(proc / "42");
    std::ofstream(proc / "42/comm") << "orca\n";
    const std::string environment = std::string("HOME=/x") + '\0' + "DISPLAY=:7" + '\0';
    std::ofstream(proc / "42/environ", std::ios::binary) << environment;
    EXPECT_TRUE(ownScreenReaderRuns(::getuid(), {"", ":7"}, proc));
    EXPECT_FALSE(ownScreenReaderRuns(::getuid(), {"", ":8"}, proc));
    EXPECT_FALSE(ownScreenReaderRuns(::getuid() + 1, {"", ":7"}, proc));
    std::filesystem::remove_all(proc);
}

}  // namespace
}  // namespace ovra::desktopstatus
