// The app in the virtual desktop with a real tray (trayer, XEmbed): the bird shows in the tray,
// a click opens the home island and its keys work, also with Orca reading a page behind it,
// which hears nothing more once Escape shut it; Quit ends the app; a second start hands over
// to the first; the installed layout runs from its prefix.

#include <gtest/gtest.h>
#include <signal.h>

#include <QImage>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <optional>
#include <regex>
#include <thread>

#include "testing/desktop/Commands.h"
#include "testing/desktop/LaunchedApp.h"
#include "testing/desktop/OrcaListener.h"
#include "testing/desktop/PipedProgram.h"
#include "testing/desktop/Screenshot.h"

namespace ovra {
namespace {

namespace fs = std::filesystem;
using testing::eventually;
using testing::LaunchedApp;
using testing::output;
using testing::readText;

// One run of the app, its output kept in its own folder.
class App : public testing::PipedProgram {
  public:
    App(const std::string& executable, std::vector<std::string> arguments, const fs::path& folder)
        : PipedProgram((arguments.insert(arguments.begin(), executable), arguments), folder) {}
    std::optional<int> exitCode(double seconds) { return app().exitCode(seconds); }
    std::string log() const { return output(); }
    bool logged(const std::string& line) const { return said(line, 10); }
};

struct Box {
    int x = 0, y = 0, width = 0, height = 0;
};

// The tray icon: our window embedded in the tray (small, not at the root's origin).
std::optional<Box> trayIcon() {
    const std::regex icon(
        R"re("Murmlark Ovra": \("murmlark-ovra" "murmlark-ovra"\)\s+(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(\d+)\+(\d+))re");
    const std::string tree = output("xwininfo -root -tree");
    for (std::sregex_iterator it(tree.begin(), tree.end(), icon), end; it != end; ++it) {
        const Box box{std::stoi((*it)[3]), std::stoi((*it)[4]), std::stoi((*it)[1]),
                      std::stoi((*it)[2])};
        if (box.width > 4 && box.width <= 64 && box.x > 0) {
            return box;
        }
    }
    return std::nullopt;
}

bool islandShown() {
    return output("xwininfo -name 'Murmlark Ovra menu' 2>/dev/null").find("IsViewable") !=
           std::string::npos;
}

// Whether a box of the screen shows the bird's orange.
bool showsBird(const QImage& screen, const Box& box) {
    for (int y = box.y; y < box.y + box.height; ++y) {
        for (int x = box.x; x < box.x + box.width; ++x) {
            const QColor c = screen.pixelColor(x, y);
            if (c.red() > 220 && c.green() > 80 && c.green() < 140 && c.blue() < 100) {
                return true;
            }
        }
    }
    return false;
}

class ShellDesktop : public ::testing::Test {
  protected:
    void SetUp() override {
        tray_ = LaunchedApp::start({"trayer", "--edge", "top", "--align", "right", "--widthtype",
                                    "pixel", "--width", "120", "--height", "28", "--tint",
                                    "0x303030", "--transparent", "false", "--SetDockType", "true"});
        ASSERT_TRUE(eventually(
            [] {
                return output("xwininfo -name panel 2>&1").find("IsViewable") != std::string::npos;
            },
            10));
    }
    void click(const Box& box) { testing::clickAt(box.x + box.width / 2, box.y + box.height / 2); }

    // The tray may take a moment to pass clicks on after the icon appears: click until it opens.
    bool openIsland(const Box& icon) {
        for (int attempt = 0; attempt < 3; ++attempt) {
            click(icon);
            if (eventually(islandShown, 3)) {
                return true;
            }
        }
        return false;
    }

    testing::ScratchFolder folder_{"shell-desk"};
    LaunchedApp tray_;
};

TEST_F(ShellDesktop, TheTrayIconOpensTheIslandItsKeysWorkAndQuitEndsTheApp) {
    App app(OVRA_EXECUTABLE, {"--pretend-untrusted", "--trace-keys", "--no-dashboard"},
            folder_ / "app");
    std::optional<Box> icon;
    ASSERT_TRUE(eventually([&] { return (icon = trayIcon()).has_value(); }, 20)) << app.log();
    EXPECT_TRUE(eventually([&] { return showsBird(testing::screenshot(), *icon); }, 5));

    ASSERT_TRUE(openIsland(*icon)) << app.log();
    testing::xdotool("key Down 3 8 Escape");
    EXPECT_TRUE(app.logged("island: key 125 selection: 1 open: true"));
    EXPECT_TRUE(app.logged("island: key 20 selection: 2 open: true"));  // "3" selects
    EXPECT_TRUE(app.logged("island: key 28 selection: 2 open: true"));  // "8" only beeps
    EXPECT_TRUE(app.logged("island: close selection: 2 open: true"));
    EXPECT_TRUE(eventually([] { return !islandShown(); }, 10));

    // Open again: a click away closes it; then Up reaches Quit, the seventh entry.
    ASSERT_TRUE(openIsland(*icon)) << app.log();
    testing::xdotool("mousemove 40 900 click 1");
    EXPECT_TRUE(eventually([] { return !islandShown(); }, 10));
    ASSERT_TRUE(openIsland(*icon)) << app.log();
    std::this_thread::sleep_for(std::chrono::milliseconds(800));  // the opening spring
    const QImage open = testing::screenshot();
    testing::xdotool("key Up Return");
    EXPECT_EQ(app.exitCode(10), 0) << app.log();
    EXPECT_TRUE(app.logged("island: activate 6 selection: 6 open: true"));
    // The island as it showed: slate, hanging under the top of the screen.
    const QColor slate = open.pixelColor(open.width() / 2 - 306, 300);
    EXPECT_LT(
        std::abs(slate.red() - 25) + std::abs(slate.green() - 27) + std::abs(slate.blue() - 26),
        20);
}

// Orca browsing a web page takes the arrow keys for itself wherever its focus is: the island
// must move it there, or its keys never reach it.
TEST_F(ShellDesktop, WithOrcaReadingAPageTheIslandHoldsTheKeys) {
    auto chromium = LaunchedApp::chromium(testing::fixtureUrl("news.html"));
    const auto inFront = [] { return output("xdotool getactivewindow getwindowname"); };
    ASSERT_TRUE(eventually([&] { return inFront().find("Chromium") != std::string::npos; }, 60));
    // Orca runs once per user.
    const testing::OrcaTurn turn;
    ASSERT_TRUE(turn.held());
    const fs::path debug = folder_ / "orca.out";
    auto orca =
        LaunchedApp::start({"orca", "--disable", "speech", "--disable", "braille", "--disable",
                            "main-window", "--disable", "splash-window", "--user-prefs",
                            folder_.string(), "--debug-file", debug.string()});
    ASSERT_TRUE(eventually([&] {
        return readText(debug).find("document web") != std::string::npos;
    })) << "Orca never read the page";
    App app(OVRA_EXECUTABLE, {"--home", "--pretend-untrusted", "--trace-keys", "--no-dashboard"},
            folder_ / "app");
    ASSERT_TRUE(eventually(islandShown, 20)) << app.log();
    std::this_thread::sleep_for(std::chrono::milliseconds(800));  // Orca hears of it
    testing::xdotool("key Down Down");
    EXPECT_TRUE(app.logged("island: key 125 selection: 2 open: true")) << app.log();
    // Escape shuts the menu without a word: its entry was heard once, when it was selected.
    testing::xdotool("key Escape");
    EXPECT_TRUE(app.logged("island: close selection: 2 open: true")) << app.log();
    EXPECT_TRUE(eventually([] { return !islandShown(); }, 10));
    std::this_thread::sleep_for(std::chrono::seconds(2));
    orca.stop();  // Orca writes out the rest of what it said
    const std::string said = readText(debug);
    std::size_t heard = 0;
    for (std::size_t at = said.find("notification 3, "); at != std::string::npos;
         at = said.find("notification 3, ", at + 1)) {
        ++heard;
    }
    EXPECT_EQ(heard, 1u) << said.substr(
        std::min(said.size(), said.find("notification Murmlark Ovra menu")), 2000);
}

TEST_F(ShellDesktop, ASecondStartShowsTheFirstCopysHomeAndEnds) {
    App first(OVRA_EXECUTABLE, {"--no-dashboard"}, folder_ / "first");
    ASSERT_TRUE(eventually([] { return trayIcon().has_value(); }, 20)) << first.log();
    App second(OVRA_EXECUTABLE, {}, folder_ / "second");
    EXPECT_EQ(second.exitCode(10), 0) << second.log();
    EXPECT_TRUE(first.logged("another start asked for the Home pane"));
    EXPECT_TRUE(eventually(
        [] {
            return output("xwininfo -name 'Murmlark Ovra' 2>/dev/null").find("IsViewable") !=
                   std::string::npos;
        },
        10))
        << "the settings window did not open";
    EXPECT_FALSE(first.exitCode(0));
    first.app().signal(SIGTERM);
    EXPECT_EQ(first.exitCode(10), 0);
}

// The settings window's snapshot on a feature of the Instructions pane, dark; the credits; the
// Settings command with every window hidden; the key test's state lines; the pane by its shown
// title, whose rows say how to reach the settings by hand on a desktop without a settings app.
TEST_F(ShellDesktop, DiagnosticFlags) {
    const fs::path png = folder_ / "settings.png";
    App snapshot(OVRA_EXECUTABLE, {"--snapshot", png.string(), "find", "dark"},
                 folder_ / "snapshot");
    EXPECT_EQ(snapshot.exitCode(20), 0) << snapshot.log();
    EXPECT_TRUE(snapshot.logged("snapshot: " + png.string() + ", window ("));
    const QImage image(QString::fromStdString(png.string()));
    ASSERT_FALSE(image.isNull());
    EXPECT_LT(image.pixelColor(image.width() - 40, image.height() / 2).lightness(), 60);  // dark
    App credits(OVRA_EXECUTABLE, {"--credits-test"}, folder_ / "credits");
    EXPECT_EQ(credits.exitCode(20), 0) << credits.log();
    EXPECT_TRUE(credits.logged("credits-test: Open source credits takes the first click: yes"))
        << credits.log();
    App scene(OVRA_EXECUTABLE, {"--settings-scene"}, folder_ / "scene");
    EXPECT_EQ(scene.exitCode(20), 0) << scene.log();
    EXPECT_TRUE(scene.logged("pressing the Settings command 'Murmlark Ovra'")) << scene.log();
    EXPECT_TRUE(scene.logged("visible window 'Murmlark Ovra' ")) << scene.log();
    App keys(OVRA_EXECUTABLE, {"--key-test", "--no-dashboard"}, folder_ / "keys");
    EXPECT_EQ(keys.exitCode(20), 0) << keys.log();
    const std::regex line(R"(before keys: selection=\d+ of \d+, sidebar=[01], panelKey=[01], )"
                          R"(appKeyWindow=[^,]+, ovra active=[01], front=.+)");
    EXPECT_TRUE(std::regex_search(keys.log(), line)) << keys.log();

    App pane(OVRA_EXECUTABLE, {"--dashboard", "Desktop accessibility"}, folder_ / "pane");
    std::this_thread::sleep_for(std::chrono::milliseconds(3000));  // the window on its pane
    testing::xdotool("key Right Return");
    EXPECT_TRUE(pane.logged("look under Accessibility")) << pane.log();
}

TEST_F(ShellDesktop, TheInstalledLayoutRunsFromItsPrefix) {
    // Without a prefix: the installing user's home, binary and menu entry alike.
    const fs::path home = folder_ / "home";
    ASSERT_EQ(output("env -u XDG_DATA_HOME HOME='" + home.string() + "' '" OVRA_CMAKE +
                     std::string("' --install '" OVRA_BINARY_DIR "' >/dev/null 2>&1 && echo ok")),
              "ok\n");
    EXPECT_NE(readText(home / ".local/share/applications/murmlark-ovra.desktop")
                  .find("Exec=\"" + (home / ".local/opt/murmlark-ovra/bin/murmlark-ovra").string()),
              std::string::npos);

    const fs::path prefix = folder_ / "opt" / "murmlark-ovra";
    const fs::path data = folder_ / "data";
    const std::string install = "env XDG_DATA_HOME='" + data.string() + "' '" OVRA_CMAKE +
                                std::string("' --install '" OVRA_BINARY_DIR "' --prefix '") +
                                prefix.string() + "' >/dev/null 2>&1 && echo ok";
    ASSERT_EQ(output(install), "ok\n");
    const fs::path resources = prefix / "share" / "murmlark-ovra";
    for (const fs::path& file :
         {prefix / "bin" / "murmlark-ovra", resources / "engine-manifest.json",
          resources / "icons" / "menubar-ovra.png", resources / "icons" / "murmlark-ovra.png"}) {
        EXPECT_TRUE(fs::exists(file)) << file;
    }
    EXPECT_NE(readText(resources / "install-marker").find("self-update=yes"), std::string::npos);
    const fs::path entry = data / "applications" / "murmlark-ovra.desktop";
    EXPECT_EQ(readText(resources / "installed-outside"), entry.string() + "\n");
    const std::string desktop = readText(entry);
    EXPECT_NE(desktop.find("Exec=\"" + (prefix / "bin" / "murmlark-ovra").string() + "\"\n"),
              std::string::npos)
        << desktop;
    EXPECT_NE(desktop.find("Icon=" + (resources / "icons" / "murmlark-ovra.png").string()),
              std::string::npos);

    App installed((prefix / "bin" / "murmlark-ovra").string(), {"--no-dashboard"},
                  folder_ / "installed");
    std::optional<Box> icon;
    ASSERT_TRUE(eventually([&] { return (icon = trayIcon()).has_value(); }, 20)) << installed.log();
    EXPECT_TRUE(eventually([&] { return showsBird(testing::screenshot(), *icon); },
                           5));  // its resources were found
    installed.app().signal(SIGTERM);
    EXPECT_EQ(installed.exitCode(10), 0) << installed.log();
}

}  // namespace
}  // namespace ovra
