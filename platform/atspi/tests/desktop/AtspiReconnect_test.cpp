// A restarted accessibility bus hands the old bus names to other apps: nothing read on the old
// connection may reach whichever app holds those names on the new one.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/atspi/AtspiBackend.h"
#include "testing/desktop/FakeAtspiApp.h"
#include "testing/desktop/LaunchedApp.h"

namespace ovra {
namespace {

using testing::LaunchedApp;

TEST(AccessibilityBusRestart, NothingReadBeforeReachesTheAppHoldingTheSameNameAfter) {
    // A session bus of the test's own that starts nothing by itself, and a runtime folder of
    // its own for the accessibility buses it gets; no X display, where a bus launcher would
    // announce its bus to the shared desktop.
    std::string dir = std::filesystem::temp_directory_path() / "ovra-bus-XXXXXX";
    ASSERT_NE(mkdtemp(dir.data()), nullptr);
    mkdir((dir + "/run").c_str(), 0700);
    std::ofstream(dir + "/bus.conf")
        << "<busconfig><type>session</type><listen>unix:path=" << dir << "/bus</listen><policy "
        << "context='default'><allow send_destination='*' eavesdrop='true'/><allow "
        << "eavesdrop='true'/><allow own='*'/></policy></busconfig>";
    setenv("XDG_RUNTIME_DIR", (dir + "/run").c_str(), 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + dir + "/bus").c_str(), 1);
    unsetenv("DISPLAY");
    auto session =
        LaunchedApp::start({"dbus-daemon", "--nofork", "--config-file=" + dir + "/bus.conf"});
    LaunchedApp launcher;
    auto restartAccessibilityBus = [&] {
        launcher.stop();
        launcher = LaunchedApp::start({"/usr/libexec/at-spi-bus-launcher", "--launch-immediately"});
        return testing::eventually([] {
            return std::system(
                       "dbus-send --session --print-reply --dest=org.a11y.Bus "
                       "/org/a11y/bus org.a11y.Bus.GetAddress >/dev/null 2>&1") == 0;
        });
    };
    ASSERT_TRUE(restartAccessibilityBus());

    auto first = std::make_unique<testing::FakeAtspiApp>(false, 20);
    const std::string name = first->busName();
    atspi::AtspiBackend backend;
    const ax::RunningApp self{getpid(), std::nullopt};
    ASSERT_TRUE(testing::eventually(
        [&] { return backend.applicationElement(self).key().starts_with(name); }));
    auto window = backend.attribute(backend.applicationElement(self), "AXFocusedWindow");
    ASSERT_TRUE(window.ok());
    const ax::Element frame = ax::asElement(window.value()).value_or(ax::Element());
    const ax::Element button = backend.children(frame, 1).value().at(0);
    ASSERT_TRUE(backend.attribute(button, "AXTitle").ok());

    // The bus restarts and another app joins the new one under the same name.
    ASSERT_TRUE(restartAccessibilityBus());
    first.reset();
    testing::FakeAtspiApp other(false, std::atoi(name.substr(name.rfind('.') + 1).c_str()));
    ASSERT_EQ(other.busName(), name);
    ASSERT_TRUE(testing::eventually([&] {
        return backend.applicationElement(self).key().starts_with(name);
    })) << "the backend never found the other app on the new bus";
    const int before = other.calls("/w") + other.calls("/w/b");

    EXPECT_EQ(backend.attribute(button, "AXTitle").error(), ax::AXError::appGone);
    EXPECT_EQ(backend.performAction(button, "AXPress"), ax::AXError::appGone);
    EXPECT_EQ(backend.performAction(frame, "AXRaise"), ax::AXError::appGone);
    EXPECT_FALSE(backend.children(frame, 8).ok());
    EXPECT_EQ(other.calls("/w") + other.calls("/w/b"), before);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace ovra
