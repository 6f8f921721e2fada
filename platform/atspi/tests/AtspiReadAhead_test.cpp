#include <gtest/gtest.h>

#include "platform/atspi/AtspiReadAhead_p.h"

namespace ovra::atspi::session {
namespace {

// A node counts once per reading; what waits to be read ahead is spent from the budget too; a
// new reading starts with nothing counted, nothing waiting and the default budget.
TEST(ReadAhead, SpendsTheReadingsBudgetOncePerNode) {
    ReadAhead ahead;
    ahead.setBudget(3);
    std::uint64_t first = 0;
    std::uint64_t second = 0;
    ahead.count(first);
    ahead.count(first);
    EXPECT_EQ(ahead.counted(), 1u);
    ahead.wait("a");
    EXPECT_TRUE(ahead.allowsMore());
    ahead.count(second);
    EXPECT_FALSE(ahead.allowsMore()) << "two counted and one waiting fill a budget of three";

    EXPECT_EQ(ahead.next(), "a");
    EXPECT_EQ(ahead.next(), std::nullopt);
    EXPECT_TRUE(ahead.allowsMore());

    const std::uint64_t before = ahead.reading();
    ahead.wait("b");
    ahead.newReading();
    EXPECT_GT(ahead.reading(), before);
    EXPECT_EQ(ahead.counted(), 0u);
    EXPECT_EQ(ahead.next(), std::nullopt);
    ahead.count(first);
    EXPECT_EQ(ahead.counted(), 1u) << "counted again in the new reading";
    for (std::size_t i = 1; i < ReadAhead::kDefaultNodeBudget; ++i) {
        ahead.wait("n");
    }
    EXPECT_FALSE(ahead.allowsMore());
}

}  // namespace
}  // namespace ovra::atspi::session
