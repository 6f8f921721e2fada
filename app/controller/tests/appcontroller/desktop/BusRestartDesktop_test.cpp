// The accessibility bus restarted while the app runs (in a session of the test's own, so the
// shared desktop keeps its bus): the worker reads the window of an app that joined the first bus,
// and once the bus is back it tells the truth about that app, which toolkits do not bring over to
// a new bus (measured with GTK 3, Firefox ESR and Chromium): it is not on the bus and needs a
// restart, never "no window".
//
// The registry restarted on the desktop's own bus (as when it crashes and the bus starts it
// again as soon as someone asks for it): the app never left the bus, so a reading right after
// reads it, whether it embeds itself in the new registry (GTK 3) or not (GTK 4), and a press
// right after presses and closes the overlay; never "restart the app" for an app that answers.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <optional>
#include <set>

#include "app/controller/AccessibilityWorkerThread.h"
#include "app/controller/tests/appcontroller/desktop/AppProcess.h"
#include "platform/atspi/AtspiBackend.h"
#include "platform/input/FakeInputSynthesizer.h"
#include "testing/desktop/Commands.h"
#include "testing/desktop/DesktopReading.h"
#include "testing/desktop/FakeAtspiApp.h"
#include "testing/desktop/LaunchedApp.h"

namespace ovra {
namespace {

using testing::LaunchedApp;

TEST(BusRestartDesktop, AnAppFromBeforeTheRestartIsToldToNeedARestart) {
    std::string dir = std::filesystem::temp_directory_path() / "ovra-restart-XXXXXX";
    ASSERT_NE(mkdtemp(dir.data()), nullptr);
    mkdir((dir + "/run").c_str(), 0700);
    std::ofstream(dir + "/bus.conf")
        << "<busconfig><type>session</type><listen>unix:path=" << dir << "/bus</listen><policy "
        << "context='default'><allow send_destination='*' eavesdrop='true'/><allow "
        << "eavesdrop='true'/><allow own='*'/></policy></busconfig>";
    setenv("XDG_RUNTIME_DIR", (dir + "/run").c_str(), 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + dir + "/bus").c_str(), 1);
    // The launchers get no X display, where they would announce their bus to the shared
    // desktop; the reader keeps it, as it reads only X11 sessions.
    const std::string display = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
    auto session =
        LaunchedApp::start({"dbus-daemon", "--nofork", "--config-file=" + dir + "/bus.conf"});
    // The bus launcher gives up at once on a session bus that does not answer yet.
    ASSERT_TRUE(testing::eventually([] {
        return std::system(
                   "dbus-send --session --print-reply --dest=org.freedesktop.DBus / "
                   "org.freedesktop.DBus.GetId >/dev/null 2>&1") == 0;
    }));
    LaunchedApp launcher;
    auto restartAccessibilityBus = [&] {
        launcher.stop();
        unsetenv("DISPLAY");
        launcher = LaunchedApp::start({"/usr/libexec/at-spi-bus-launcher", "--launch-immediately"});
        setenv("DISPLAY", display.c_str(), 1);
        // Switched on, as the shared desktop's is.
        return testing::eventually([] {
            return std::system(
                       "dbus-send --session --print-reply --dest=org.a11y.Bus "
                       "/org/a11y/bus org.freedesktop.DBus.Properties.Set string:org.a11y.Status "
                       "string:IsEnabled variant:boolean:true >/dev/null 2>&1") == 0;
        });
    };
    ASSERT_TRUE(restartAccessibilityBus());

    std::optional<testing::FakeAtspiApp> app;
    app.emplace();
    ASSERT_TRUE(app->ready());
    atspi::AtspiBackend backend;
    input::FakeInputSynthesizer input;
    AccessibilityWorkerThread worker({backend, input, ax::systemClock(),
                                      [](std::function<void()> work) { work(); },
                                      [] { return false; }});
    ReadRequest request;
    request.target.pid = getpid();
    const auto read = [&] {
        std::promise<ReadResult> answer;
        worker.read(request, {}, [&](ReadResult result) { answer.set_value(std::move(result)); });
        return answer.get_future().get();
    };
    std::string seen;
    ASSERT_TRUE(testing::eventually([&] {
        const ReadResult result = read();
        seen = result.ok() ? testing::dump(result.value()) : description(result.error());
        return result.ok() && testing::find(result.value(), "Press me") != nullptr;
    })) << "the app was never read on the first bus: "
        << seen;

    ASSERT_TRUE(restartAccessibilityBus());
    const ReadResult after = read();
    ASSERT_FALSE(after.ok());
    EXPECT_EQ(after.error(), AXExtractorError::notOnBus) << description(after.error());
    EXPECT_NE(description(after.error()).find("restart the app"), std::string::npos);

    // An app that joins the new bus is read as before.
    app.emplace();
    ASSERT_TRUE(app->ready());
    EXPECT_TRUE(testing::eventually([&] {
        const ReadResult result = read();
        return result.ok() && testing::find(result.value(), "Press me") != nullptr;
    }));
    launcher.stop();
    std::filesystem::remove_all(dir);
}

std::string accessibilityBus() {
    std::string address = testing::output(
        "dbus-send --session --print-reply=literal --dest=org.a11y.Bus /org/a11y/bus "
        "org.a11y.Bus.GetAddress");
    address.erase(0, address.find_first_not_of(" \n"));
    address.erase(address.find_last_not_of(" \n") + 1);
    return address;
}

// The process behind a name on the accessibility bus; 0 when none owns it.
pid_t ownerPid(const std::string& bus, const std::string& name) {
    const std::string answer =
        testing::output("dbus-send --bus='" + bus +
                        "' --print-reply=literal --dest=org.freedesktop.DBus /org/freedesktop/DBus "
                        "org.freedesktop.DBus.GetConnectionUnixProcessID string:" +
                        name + " 2>/dev/null");
    const auto at = answer.find("uint32");
    return at == std::string::npos ? 0 : std::atoi(answer.c_str() + at + 6);
}

pid_t registryPid() {
    return ownerPid(accessibilityBus(), "org.a11y.atspi.Registry");
}

// Whether the app has embedded itself in the registry. A toolkit does that a while after its
// window shows; a registry ended before it answers leaves the app's bridge broken for good.
bool embedded(pid_t pid) {
    const std::string bus = accessibilityBus();
    const std::string children = testing::output(
        "dbus-send --bus='" + bus +
        "' --print-reply --dest=org.a11y.atspi.Registry /org/a11y/atspi/accessible/root "
        "org.a11y.atspi.Accessible.GetChildren 2>/dev/null");
    for (auto at = children.find("string \":"); at != std::string::npos;
         at = children.find("string \":", at + 1)) {
        const auto from = at + 8;
        const std::string name = children.substr(from, children.find('"', from) - from);
        if (ownerPid(bus, name) == pid) {
            return true;
        }
    }
    return false;
}

// Ends the registry; the bus starts a new one when it is next asked for.
bool restartRegistry() {
    const pid_t registry = registryPid();
    return registry > 0 && kill(registry, SIGTERM) == 0 &&
           testing::eventually([&] { return kill(registry, 0) != 0; }, 5);
}

std::multiset<std::string> labelsOf(const WindowSnapshot& window) {
    std::multiset<std::string> labels;
    for (const UICandidate& candidate : window.candidates) {
        labels.insert(candidate.label());
    }
    return labels;
}

class RegistryRestartDesktop : public ::testing::TestWithParam<const char*> {};

TEST_P(RegistryRestartDesktop, AReadingRightAfterReadsTheAppThatNeverLeftTheBus) {
    testing::LaunchedApp app = testing::LaunchedApp::start({GetParam()});
    atspi::AtspiBackend backend;
    input::FakeInputSynthesizer input;
    AccessibilityWorkerThread worker({backend, input, ax::systemClock(),
                                      [](std::function<void()> work) { work(); },
                                      [] { return false; }});
    ReadRequest request;
    request.target.pid = app.pid();
    const auto read = [&] {
        std::promise<ReadResult> answer;
        worker.read(request, {}, [&](ReadResult result) { answer.set_value(std::move(result)); });
        return answer.get_future().get();
    };
    ASSERT_TRUE(testing::eventually([&] { return embedded(app.pid()); }));
    std::multiset<std::string> before;
    ASSERT_TRUE(testing::eventually([&] {
        const ReadResult result = read();
        before = result.ok() ? labelsOf(result.value()) : std::multiset<std::string>{};
        return before.size() >= 3;
    }));
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(restartRegistry());
        const ReadResult after = read();
        ASSERT_TRUE(after.ok()) << description(after.error());
        EXPECT_EQ(labelsOf(after.value()), before) << testing::dump(after.value());
    }
}

INSTANTIATE_TEST_SUITE_P(Toolkits, RegistryRestartDesktop,
                         ::testing::Values("gtk3-widget-factory", "gnome-calculator"));

// The app itself over a calculator, its registry restarted before the hotkey and between the
// plan and the press: each press presses and the overlay closes, as without a restart.
TEST(RegistryRestartAppDesktop, APressRightAfterPressesAndClosesTheOverlay) {
    testing::ScratchFolder home("registry-restart");
    testing::useSettings(home.path(),
                         R"({"hotkey": "ctrl-opt-space", "useModel": false, "sidebar": false})");
    testing::LaunchedApp calculator = testing::LaunchedApp::start({"gnome-calculator"});
    ASSERT_TRUE(testing::eventually([&] {
        return testing::xdotool("search --onlyvisible --pid " + std::to_string(calculator.pid()) +
                                " >/dev/null");
    }));
    ASSERT_TRUE(testing::eventually([&] { return embedded(calculator.pid()); }));
    testing::SpawnedApp ovra;
    testing::spawnApp(ovra.pid, home.path() / "log", 60);
    const auto log = [&] { return testing::readText(home.path() / "log"); };
    for (const bool beforeTheHotkey : {true, false, false}) {
        SCOPED_TRACE(beforeTheHotkey ? "before the hotkey" : "before the press");
        const std::size_t plans = testing::occurrences(log(), "Ovra press:");
        const std::size_t presses = testing::occurrences(log(), "Ovra pressed \"(\": pressed");
        if (beforeTheHotkey) {
            ASSERT_TRUE(restartRegistry());
        }
        ASSERT_TRUE(testing::xdotool("key ctrl+alt+space"));
        ASSERT_TRUE(testing::eventually(
            [&] { return testing::occurrences(log(), "Ovra press:") > plans; }, 15))
            << log();
        if (!beforeTheHotkey) {
            ASSERT_TRUE(restartRegistry());
        }
        // The calculator's "(" is the second control numbered.
        ASSERT_TRUE(testing::xdotool("key 2 Return"));
        EXPECT_TRUE(testing::eventually(
            [&] { return testing::occurrences(log(), "Ovra pressed \"(\": pressed") > presses; },
            10))
            << log();
        EXPECT_TRUE(testing::eventually([&] { return !testing::overlayOnScreen(); }, 5)) << log();
        EXPECT_EQ(log().find("restart the app"), std::string::npos) << log();
        if (testing::overlayOnScreen()) {
            testing::xdotool("key Escape");
        }
    }
}

}  // namespace
}  // namespace ovra
