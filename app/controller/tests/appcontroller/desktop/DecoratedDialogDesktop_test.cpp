// The app over an untitled GTK 3 message dialog under the window manager's title bar of about
// 30 px (a 14 pt title font), as a person meets one: GTK gives the dialog's frame with the title
// bar and borders around it, the X window is without them. The dialog is read and its buttons
// numbered, not refused as a window its app does not show; the chosen one is pressed. Runs in a
// desktop of its own, whose window manager's theme it changes. The screenshot is kept in the
// temporary folder as ovra-decorated-dialog.png.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "app/controller/tests/appcontroller/desktop/AppProcess.h"
#include "app/controller/tests/appcontroller/desktop/OverlayRings.h"
#include "platform/x11/X11Workspace.h"
#include "testing/desktop/PipedProgram.h"
#include "testing/desktop/Screenshot.h"

namespace ovra {
namespace {

using testing::eventually;

// The window manager's title font at `points`, for the windows it decorates from now on and
// those it decorates already.
bool titleFontOf(int points) {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config == nullptr) {
        return false;
    }
    const std::string stock = testing::readText("/etc/xdg/openbox/rc.xml");
    std::string mine = stock;
    for (const std::string place : {"ActiveWindow", "InactiveWindow"}) {
        const std::size_t font = mine.find("<font place=\"" + place + "\">");
        const std::size_t size = mine.find("<size>", font);
        const std::size_t end = mine.find("</size>", size);
        if (font == std::string::npos || size == std::string::npos || end == std::string::npos) {
            return false;
        }
        mine.replace(size + 6, end - size - 6, std::to_string(points));
    }
    std::filesystem::create_directories(std::filesystem::path(config) / "openbox");
    std::ofstream(std::filesystem::path(config) / "openbox/rc.xml") << mine;
    return mine != stock && std::system("openbox --reconfigure") == 0;
}

TEST(DecoratedDialogDesktop, AnUntitledGtkDialogUnderATallTitleBarIsRead) {
    if (!testing::inOwnDesktop("1280x1024", 0)) {
        return;
    }
    ASSERT_TRUE(titleFontOf(14));
    testing::ScratchFolder home("decorated");
    testing::PipedProgram dialog({"/usr/bin/python3", OVRA_MESSAGE_DIALOG}, home / "dialog");
    auto workspace = x11::Workspace::open();
    ASSERT_TRUE(workspace);
    x11::Workspace& desk = *workspace.value();
    // The dialog in front, under its title bar as the window manager draws it with that font
    // (it decorates its windows anew a moment after it is told).
    double titleBar = 0;
    EXPECT_TRUE(eventually([&] {
        const auto front = desk.activeWindow();
        if (!front || front->pid != dialog.pid() || !desk.isDialog(front->window)) {
            return false;
        }
        const auto whole = desk.wholeFrame(front->window);
        const auto decorated = desk.decoratedFrame(front->window);
        titleBar = whole && decorated ? whole->minY() - decorated->minY() : 0;
        return titleBar >= 28;
    })) << "title bar "
        << titleBar << " px " << dialog.output();

    pid_t app = 0;
    testing::useSettings(home.path(), R"({"hotkey": "ctrl-opt-space", "useModel": false,
                                          "sidebar": false})");
    testing::spawnApp(app, home / "log", 20);
    const auto log = [&] { return testing::readText(home / "log"); };
    std::vector<testing::Highlight> shown;
    for (int attempt = 0; attempt < 2 && shown.empty(); ++attempt) {
        ASSERT_TRUE(testing::xdotool("key ctrl+alt+space"));
        eventually(
            [&] {
                shown = testing::highlightsOf(app);
                return testing::highlightFor(shown, "Cancel") && testing::highlightFor(shown, "OK");
            },
            10);
    }
    testing::screenshot("decorated-dialog");
    EXPECT_EQ(log().find("cannot be read"), std::string::npos) << log();
    const testing::Highlight* cancel = testing::highlightFor(shown, "Cancel");
    ASSERT_NE(cancel, nullptr) << log();
    ASSERT_TRUE(testing::xdotool("key " + cancel->digits() + " Return"));
    EXPECT_TRUE(dialog.said("response -6", 10)) << dialog.output() << log();
    kill(app, SIGTERM);
    waitpid(app, nullptr, 0);
}

}  // namespace
}  // namespace ovra
