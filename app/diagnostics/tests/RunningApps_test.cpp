#include "app/diagnostics/RunningApps.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "platform/accessibility/FakeAccessibilityBackend.h"
#include "testing/Files.h"

namespace ovra {
namespace {

using ::testing::ElementsAre;

std::unique_ptr<ax::FakeAccessibilityBackend> appWithPid(int pid, const std::string& name) {
    auto parsed = json::parse(R"({"app": {"pid": )" + std::to_string(pid) + R"(, "name": ")" +
                              name + R"("}, "window": null})");
    return std::move(ax::FakeAccessibilityBackend::fromJson(*parsed)).value();
}

TEST(RunningApps, MatchesEitherNameExactlyAndSkipsProcessesWithoutAnApp) {
    auto backend = appWithPid(40, "Widget Factory");
    const std::vector<ProcessEntry> processes{{3, "gtk3-widget-fac", "gtk3-widget-factory"},
                                              {40, "gtk3-widget-fac", "gtk3-widget-factory"},
                                              {41, "gtk3-widget-fac", "gtk3-widget-factory"}};
    for (const char* name : {"gtk3-widget-fac", "gtk3-widget-factory"}) {
        auto app = RunningApps::find(name, processes, *backend);
        ASSERT_TRUE(app.has_value()) << name;
        EXPECT_EQ(app->pid, 40);
        EXPECT_EQ(app->localizedName, "gtk3-widget-fac");
    }
    for (const char* name : {"", "GTK3-widget-factory", "gtk3", "Widget Factory"}) {
        EXPECT_FALSE(RunningApps::find(name, processes, *backend)) << name;
    }
}

TEST(RunningApps, ListsProcessFoldersInPidOrder) {
    const testing::ScratchFolder scratch("proc");
    const auto root = scratch / "proc";
    for (const char* pid : {"200", "31", "self", "4x"}) {
        testing::writeText(root / pid / "comm", "proc" + std::string(pid) + "\n");
    }
    std::filesystem::create_symlink("/usr/bin/true", root / "31" / "exe");
    EXPECT_THAT(RunningApps::processes(root),
                ElementsAre(ProcessEntry{31, "proc31", "true"}, ProcessEntry{200, "proc200", ""}));
    std::filesystem::remove_all(root);
    EXPECT_TRUE(RunningApps::processes(root).empty());
}

}  // namespace
}  // namespace ovra
