// The app over a native window of unnamed panels 60 wide and six deep, whose tree has no end in
// sight: each press of the hotkey shows the window's plan (its "Start" button), never "not
// responding" for an app that answers everything at once. What the reading costs in memory is
// measured by app/accessibility/bench/NativeTrees_bench.cpp; the app's peak is only recorded.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <string>

#include "app/controller/tests/appcontroller/desktop/AppProcess.h"
#include "testing/Files.h"
#include "testing/desktop/Commands.h"
#include "testing/desktop/LaunchedApp.h"
#include "testing/desktop/ProcessStatus.h"

namespace ovra {
namespace {

using testing::eventually;
using testing::statusKb;

TEST(NativeTreesDesktop, EveryHotkeyShowsThePlan) {
    testing::ScratchFolder home("native-trees");
    testing::useSettings(home.path(),
                         R"({"hotkey": "ctrl-opt-space", "useModel": false, "sidebar": false})");
    testing::LaunchedApp panels =
        testing::LaunchedApp::start({OVRA_FAKE_PANELS, "--wide", "60", "--deep", "6"});
    ASSERT_TRUE(eventually([&] {
        return testing::xdotool("search --onlyvisible --pid " + std::to_string(panels.pid()) +
                                " >/dev/null");
    }));
    testing::SpawnedApp ovra;
    testing::spawnApp(ovra.pid, home.path() / "log", 60);
    const auto log = [&] { return testing::readText(home.path() / "log"); };
    const long idle = statusKb(ovra.pid, "VmRSS");
    for (int reading = 0; reading < 4; ++reading) {
        SCOPED_TRACE(reading);
        const std::size_t plans = testing::occurrences(log(), "Ovra press:");
        ASSERT_TRUE(testing::xdotool("key ctrl+alt+space"));
        ASSERT_TRUE(
            eventually([&] { return testing::occurrences(log(), "Ovra press:") > plans; }, 15))
            << log();
        ASSERT_TRUE(testing::xdotool("key Escape"));
        ASSERT_TRUE(eventually([&] { return !testing::overlayOnScreen(); }, 5));
    }
    EXPECT_EQ(testing::occurrences(log(), "Ovra message:"), 0u) << log();
    EXPECT_EQ(log().find("not responding"), std::string::npos) << log();
    ::testing::Test::RecordProperty("peakKbOverIdle",
                                    std::to_string(statusKb(ovra.pid, "VmHWM") - idle));
}

}  // namespace
}  // namespace ovra
