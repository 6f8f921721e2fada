// The accessibility bus restarted while the app runs (in a session of the test's own, so the
// shared desktop keeps its bus): the worker reads the window of an app that joined the first bus,
// and once the bus is back it tells the truth about that app, which toolkits do not bring over to
// a new bus (measured with GTK 3, Firefox ESR and Chromium): it is not on the bus and needs a
// restart, never "no window".

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <optional>

#include "app/controller/AccessibilityWorkerThread.h"
#include "platform/atspi/AtspiBackend.h"
#include "platform/input/FakeInputSynthesizer.h"
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

}  // namespace
}  // namespace ovra
