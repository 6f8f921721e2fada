// A process's identity from /proc/<pid>/stat: the start time survives odd names; a text that does
// not parse gives nothing; this very process reads as itself; a child that has ended reads as
// gone before it is waited for.

#include "platform/x11/ProcessIdentity.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace ovra::x11 {
namespace {

TEST(ProcessIdentity, ReadsTheStartTimeWhateverTheNameHolds) {
    const std::string tail = " S 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 424242 99 0";
    const std::optional<ProcessIdentity> none;
    EXPECT_EQ(parseStat("77 (chromium)" + tail), (ProcessIdentity{424242, "chromium", 'S'}));
    EXPECT_EQ(parseStat("77 (a) b (c)" + tail), (ProcessIdentity{424242, "a) b (c", 'S'}));
    EXPECT_EQ(parseStat("77 (short) S 1 2"), none);
    EXPECT_EQ(parseStat("77 chromium" + tail), none);
    EXPECT_EQ(parseStat("77 (x) S 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 -4 99"), none);

    const auto self = processIdentity(getpid());
    ASSERT_TRUE(self.has_value());
    EXPECT_EQ(processIdentity(getpid()), self);
    EXPECT_GT(self->startTime, 0u);
    EXPECT_EQ(processIdentity(0), none);
}

TEST(ProcessIdentity, AnEndedProcessIsGoneBeforeItsParentWaitsForIt) {
    const std::string tail = " 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 424242 99 0";
    const std::pair<const char*, bool> states[] = {{"R", false}, {"S", false}, {"D", false},
                                                   {"T", false}, {"Z", true},  {"X", true}};
    for (const auto& [state, ended] : states) {
        const auto identity = parseStat(std::string("9 (app) ") + state + tail);
        ASSERT_TRUE(identity.has_value()) << state;
        EXPECT_EQ(identity->ended(), ended) << state;
    }
    EXPECT_FALSE(parseStat("9 (app) ZZ" + tail).has_value());

    // A child that ends and is not waited for stays a zombie.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        _exit(0);
    }
    std::optional<ProcessIdentity> seen = processIdentity(child);
    for (int i = 0; i < 500 && seen; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        seen = processIdentity(child);
    }
    EXPECT_FALSE(seen.has_value());
    EXPECT_EQ(waitpid(child, nullptr, WNOHANG), child) << "it was not waited for until now";
}

}  // namespace
}  // namespace ovra::x11
