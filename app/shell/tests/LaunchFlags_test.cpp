#include "app/shell/LaunchFlags.h"

#include <gtest/gtest.h>

namespace ovra {
namespace {

TEST(LaunchFlags, AValueIsTheArgumentAfterTheFirstOccurrence) {
    const LaunchFlags flags({"--dump", "--tree", "chromium", "--tree", "other", "--press-test"});
    EXPECT_TRUE(flags.has("--tree"));
    EXPECT_FALSE(flags.has("--Tree"));
    EXPECT_FALSE(flags.has("--tre"));
    // Used unchanged even when it looks like a flag.
    EXPECT_EQ(flags.value("--dump"), "--tree");
    EXPECT_EQ(flags.value("--tree"), "chromium");
    EXPECT_EQ(flags.value("--press-test"), std::nullopt);
    EXPECT_EQ(flags.value("--help"), std::nullopt);
}

TEST(LaunchFlags, ThePlanNamesEachDiagnosticWithItsValue) {
    const char* argv[] = {"murmlark-ovra", "--press-test", "--tree"};
    const auto plan = LaunchPlan::from(LaunchFlags::fromMain(3, argv));
    EXPECT_EQ(plan.pressTest, "--tree");
    EXPECT_TRUE(plan.tree);
    EXPECT_EQ(plan.treeApp, std::nullopt);
    EXPECT_FALSE(plan.dump);

    const auto empty = LaunchPlan::from(LaunchFlags({"--press-test"}));
    EXPECT_EQ(empty.pressTest, "");
    EXPECT_FALSE(LaunchPlan::from(LaunchFlags({"--verbose", "dump"})).any());
    EXPECT_EQ(LaunchPlan::from(LaunchFlags({"--dump", "gedit"})).dumpApp, "gedit");
}

}  // namespace
}  // namespace ovra
