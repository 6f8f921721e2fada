// A process's identity from /proc/<pid>/stat: the start time survives odd names; a text that does
// not parse gives nothing; this very process reads as itself.

#include "platform/x11/ProcessIdentity.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace ovra::x11 {
namespace {

TEST(ProcessIdentity, ReadsTheStartTimeWhateverTheNameHolds) {
    const std::string tail = " S 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 424242 99 0";
    const std::optional<ProcessIdentity> none;
    EXPECT_EQ(parseStat("77 (chromium)" + tail), (ProcessIdentity{424242, "chromium"}));
    EXPECT_EQ(parseStat("77 (a) b (c)" + tail), (ProcessIdentity{424242, "a) b (c"}));
    EXPECT_EQ(parseStat("77 (short) S 1 2"), none);
    EXPECT_EQ(parseStat("77 chromium" + tail), none);
    EXPECT_EQ(parseStat("77 (x) S 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 -4 99"), none);

    const auto self = processIdentity(getpid());
    ASSERT_TRUE(self.has_value());
    EXPECT_EQ(processIdentity(getpid()), self);
    EXPECT_GT(self->startTime, 0u);
    EXPECT_EQ(processIdentity(0), none);
}

}  // namespace
}  // namespace ovra::x11
