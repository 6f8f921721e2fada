#include "app/diagnostics/RunningApps.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "platform/accessibility/FakeAccessibilityBackend.h"

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
    const auto root =
        std::filesystem::temp_directory_path() /
        ("ovra-proc-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::remove_all(root);
    for (const char* pid : {"200", "31", "self", "4x"}) {
        std::filesystem::create_directories(root / pid);
        std::ofstream(root / pid / "comm") << "proc" << pid << "\n";
    }
    std::filesystem::create_symlink("/usr/bin/true", root / "31" / "exe");
    EXPECT_THAT(RunningApps::processes(root),
                ElementsAre(ProcessEntry{31, "proc31", "true"}, ProcessEntry{200, "proc200", ""}));
    std::filesystem::remove_all(root);
    EXPECT_TRUE(RunningApps::processes(root).empty());
}

}  // namespace
}  // namespace ovra
