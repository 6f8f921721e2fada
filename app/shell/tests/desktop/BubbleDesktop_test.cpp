// The on-screen button and the permission guide in the virtual desktop. The app's button shows
// over Chromium, above it on every desktop, out of the taskbar and cut round without a
// compositing manager, and a click on it opens the overlay over Chromium; the guide turns the
// accessibility bus on and opens the desktop's settings before stepping back, and a Chromium
// started then is read.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QImage>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "testing/desktop/Commands.h"
#include "testing/desktop/LaunchedApp.h"
#include "testing/desktop/OwnWindowAudit.h"
#include "testing/desktop/PipedProgram.h"
#include "testing/desktop/Screenshot.h"

namespace ovra {
namespace {

namespace fs = std::filesystem;
using testing::eventually;
using ::testing::HasSubstr;
using testing::LaunchedApp;

using testing::clickAt;
using testing::output;

// Settings of a program's own: its XDG_CONFIG_HOME.
struct OwnSettings {
    explicit OwnSettings(const std::string& settings) {
        fs::create_directories(config / "murmlark-ovra");
        std::ofstream(config / "murmlark-ovra/ai.qeld.murmlark-ovra.json") << settings;
        setenv("XDG_CONFIG_HOME", config.string().c_str(), 1);
    }
    testing::ScratchFolder config{"bubble"};
};

class Program : private OwnSettings, public testing::PipedProgram {
  public:
    explicit Program(const std::string& program, const std::string& settings = "{}")
        : OwnSettings(settings), PipedProgram({program}, config / "program") {}
};

QImage screenshot() {
    return testing::screenshot("bubble-over-chromium");
}

bool chromiumInFront() {
    return output("xdotool getactivewindow getwindowname").find("Chromium") != std::string::npos;
}

TEST(BubbleDesktop, TheButtonShowsOverChromiumAndItsClickOpensTheOverlay) {
    auto chromium = LaunchedApp::chromium(testing::fixtureUrl("news.html"));
    ASSERT_TRUE(eventually(chromiumInFront, 60)) << "Chromium never came to the front";
    Program app(OVRA_APP,
                R"({"hotkey": "ctrl-opt-space", "showBubble": true, "bubblePlace": "leftMiddle"})");
    ASSERT_FALSE(app.line("opens the overlay").empty());

    // Against the left edge, 96 pixels, in the middle, as the window manager was told.
    const std::string name = "xwininfo -name 'Murmlark Ovra button — Murmlark Ovra'";
    ASSERT_TRUE(eventually([&] { return output(name).find("IsViewable") != std::string::npos; }));
    const std::string info = output(name);
    for (const char* want : {"upper-left X:  0\n", "upper-left Y:  464\n", "Width: 96\n"}) {
        EXPECT_THAT(info, HasSubstr(want));
    }
    std::string id;
    std::istringstream(info.substr(info.find("Window id: ") + 11)) >> id;
    const std::string props = output("xprop -id " + id + " _NET_WM_STATE _NET_WM_DESKTOP WM_HINTS");
    // On every desktop (openbox says so by the desktop number rather than the sticky state).
    for (const char* want :
         {"STATE_ABOVE", "STATE_SKIP_TASKBAR", "STATE_SKIP_PAGER",
          "_NET_WM_DESKTOP(CARDINAL) = 4294967295", "Client accepts input or input focus: False"}) {
        EXPECT_THAT(props, HasSubstr(want));
    }

    // Over the page: the dark disc, and the page through the padding (cut round).
    QImage screen;
    EXPECT_TRUE(eventually([&] {
        screen = screenshot();  // once the button has painted
        return screen.pixelColor(40, 464 + 20).lightness() < 40;
    }));
    EXPECT_GT(screen.pixelColor(93, 464 + 48).lightness(), 200);
    EXPECT_GT(screen.pixelColor(1000, 700).lightness(), 200);
    testing::expectAudited(app.pid(), "the on-screen button");
    // A click opens the overlay: it dims Chromium's page.
    clickAt(40, 512);
    EXPECT_TRUE(eventually([] { return screenshot().pixelColor(1000, 700).lightness() < 100; }, 15))
        << app.line("murmlark-ovra");
    // The button stays above the open overlay, clear of its information panel: a second click
    // closes it.
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    clickAt(40, 512);
    EXPECT_TRUE(
        eventually([] { return screenshot().pixelColor(1000, 700).lightness() > 200; }, 15));
}

TEST(BubbleDesktop, TheGuideTurnsAccessibilityOnAndChromiumIsReadThen) {
    ASSERT_TRUE(testing::setAccessibilityEnabled(false));
    struct Restore {
        ~Restore() { testing::setAccessibilityEnabled(true); }
    } restore;

    // GNOME's settings app, standing in: it notes that it was asked for.
    const testing::ScratchFolder bin("settings");
    std::ofstream(bin / "gnome-control-center")
        << "#!/bin/sh\ntouch '" << bin.string() << "/asked'\n";
    fs::permissions(bin / "gnome-control-center", fs::perms::owner_all);
    const std::string path = std::getenv("PATH");
    setenv("PATH", (bin.string() + ":" + path).c_str(), 1);
    setenv("XDG_CURRENT_DESKTOP", "GNOME", 1);
    Program harness(OVRA_BUBBLE_HARNESS);
    setenv("PATH", path.c_str(), 1);

    EXPECT_EQ(harness.line("trusted"), "trusted 0");  // off, so apps started now stay unread
    std::istringstream guide(harness.line("guide").substr(6));
    int x = 0, y = 0, width = 0, height = 0;
    ASSERT_TRUE(guide >> x >> y >> width >> height);
    clickAt(x + width / 2, y + height / 2);
    EXPECT_EQ(harness.line("windows back"), "windows back");
    EXPECT_TRUE(eventually([&] { return fs::exists(bin / "asked"); }, 10));
    EXPECT_EQ(harness.line("trusted", 1), "trusted 1");
    EXPECT_THAT(harness.line("announce"), HasSubstr("Accessibility access is on."));
    EXPECT_THAT(output("dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus "
                       "org.freedesktop.DBus.Properties.Get string:org.a11y.Status "
                       "string:IsEnabled"),
                HasSubstr("boolean true"));

    // A Chromium started now, without being told to expose its pages, is read.
    auto chromium = LaunchedApp::chromium(testing::fixtureUrl("news.html"), false);
    ASSERT_TRUE(eventually(chromiumInFront, 60));
    auto read = [&] { return harness.send("read"), !harness.line("front Chromium", 0, 2).empty(); };
    EXPECT_TRUE(eventually(read, 30)) << "Chromium was not read";
}

}  // namespace
}  // namespace ovra
