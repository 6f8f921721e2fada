// The app over a native window of unnamed panels 60 wide and six deep, whose tree has no end in
// sight: each press of the hotkey shows the window's plan (its "Start" button), never "not
// responding" for an app that answers everything at once, and the app's memory at its peak stays
// within 100 MB of what it held before the first reading, overlay included.

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

TEST(NativeTreesDesktop, EveryHotkeyShowsThePlanWithinItsMemory) {
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
    EXPECT_LE(statusKb(ovra.pid, "VmHWM") - idle, 100 * 1024) << "kB at the peak over idle";
}

}  // namespace
}  // namespace ovra
