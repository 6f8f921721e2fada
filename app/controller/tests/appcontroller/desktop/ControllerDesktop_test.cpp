// The app on a real desktop over Chromium, driven as a person drives it: the hotkey typed through
// XTest dims the page under the overlay; Return presses the first highlight by a click that
// reaches the page (its title says so) and never the overlay; "Delete account" is pressed only by
// a second Return; Escape closes the overlay and the page takes the typing again. Screenshots are
// kept in the temporary folder as ovra-controller-*.png.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QColor>
#include <QImage>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/atspi/AtspiBackend.h"
#include "platform/atspi/tests/desktop/DesktopReading.h"
#include "platform/atspi/tests/desktop/LaunchedApp.h"
#include "platform/x11/X11Workspace.h"

namespace ovra {
namespace {

using testing::eventually;

// The root window as an image.
QImage screenshot(const std::string& name) {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    xcb_get_image_reply_t* reply =
        xcb_get_image_reply(c,
                            xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, screen->root, 0, 0,
                                          screen->width_in_pixels, screen->height_in_pixels, ~0u),
                            nullptr);
    QImage image;
    if (reply) {
        image = QImage(xcb_get_image_data(reply), screen->width_in_pixels, screen->height_in_pixels,
                       QImage::Format_RGB32)
                    .copy();
    }
    std::free(reply);
    xcb_disconnect(c);
    image.save(QString::fromStdString(
        (std::filesystem::temp_directory_path() / ("ovra-controller-" + name + ".png")).string()));
    return image;
}

void type(const std::string& keys) {
    ASSERT_EQ(std::system(("xdotool " + keys).c_str()), 0) << keys;
}

class ControllerDesktop : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::getenv("OVRA_DESKTOP") == nullptr) {
            GTEST_SKIP() << "needs a desktop: run under scripts/with-desktop";
        }
        chromium_ = testing::LaunchedApp::chromium(std::string("file://") + OVRA_ACCOUNT_PAGE);
        atspi::AtspiBackend backend;
        testing::RealClock clock;
        ASSERT_TRUE(eventually(
            [&] {
                auto read = AXExtractor{6, 14, 48, 4000}.snapshot({chromium_.pid(), std::nullopt},
                                                                  backend, clock);
                return read && testing::find(read.value(), "Delete account") != nullptr;
            },
            45))
            << "the page never read";
        auto workspace = x11::Workspace::open();
        ASSERT_TRUE(workspace) << workspace.error();
        workspace_ = std::move(workspace).value();
        startApp();
    }
    void TearDown() override {
        if (app_ > 0) {
            kill(app_, SIGTERM);
            waitpid(app_, nullptr, 0);
        }
        std::filesystem::remove_all(home_);
    }

    // The app with settings of its own: its hotkey Ctrl+Alt+Space (the window manager keeps
    // Alt+Space), its log in a file.
    void startApp() {
        char pattern[] = "/tmp/ovra-controller.XXXXXX";
        home_ = mkdtemp(pattern);
        std::filesystem::create_directories(home_ / "murmlark-ovra");
        std::ofstream(home_ / "murmlark-ovra/ai.qeld.murmlark-ovra.json")
            << R"({"hotkey": "ctrl-opt-space"})";
        setenv("XDG_CONFIG_HOME", home_.c_str(), 1);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, (home_ / "log").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        char* argv[] = {const_cast<char*>(OVRA_APP), nullptr};
        ASSERT_EQ(posix_spawn(&app_, OVRA_APP, &actions, nullptr, argv, environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        ASSERT_TRUE(
            eventually([&] { return log().find("opens the overlay") != std::string::npos; }, 20))
            << log();
    }
    std::string log() const {
        std::ifstream in(home_ / "log", std::ios::binary);
        std::string text(1 << 16, '\0');
        in.read(text.data(), static_cast<std::streamsize>(text.size()));
        text.resize(static_cast<std::size_t>(in.gcount()));
        return text;
    }
    std::string title() {
        const auto windows = workspace_->windowsOf(chromium_.pid());
        return windows.empty() ? "" : windows.back().title;
    }
    bool titleBecomes(const std::string& text) {
        return eventually([&] { return title() == text + " - Chromium"; }, 10);
    }
    // The page's empty right side, dimmed while the overlay shows (there is no compositing
    // manager: the overlay paints the screen it grabbed).
    bool dimmed(const std::string& name) {
        return screenshot(name).pixelColor(1000, 700).lightness() < 100;
    }
    bool overlayShows(bool shows, const std::string& name) {
        return eventually([&] { return dimmed(name) == shows; }, 10);
    }

    testing::LaunchedApp chromium_;
    std::unique_ptr<x11::Workspace> workspace_;
    std::filesystem::path home_;
    pid_t app_ = 0;
};

TEST_F(ControllerDesktop, HotkeyPressConfirmAndEscapeOverChromium) {
    ASSERT_FALSE(dimmed("before"));
    type("key ctrl+alt+space");
    ASSERT_TRUE(overlayShows(true, "open")) << log();

    // Return presses the first highlight, by a click on the page: the overlay let it through.
    type("key Return");
    EXPECT_TRUE(titleBecomes("pressed: Save changes")) << title();
    EXPECT_NE(log().find("Ovra pressed \"Save changes\": clicked"), std::string::npos) << log();
    EXPECT_TRUE(overlayShows(false, "pressed"));

    // The risky control: the first Return only arms it, the second presses it.
    type("key ctrl+alt+space");
    ASSERT_TRUE(overlayShows(true, "again"));
    type("key 3 Return");
    usleep(1'500'000);
    EXPECT_EQ(title(), "pressed: Save changes - Chromium");
    EXPECT_TRUE(dimmed("armed"));
    type("key Return");
    EXPECT_TRUE(titleBecomes("pressed: Delete account")) << title();

    // Escape closes; the page has the keyboard again.
    type("key ctrl+alt+space");
    ASSERT_TRUE(overlayShows(true, "third"));
    type("key Escape");
    ASSERT_TRUE(overlayShows(false, "closed"));
    type("type abc");
    EXPECT_TRUE(titleBecomes("typed: abc")) << title();
    EXPECT_EQ(log().find("could not press"), std::string::npos) << log();
}

}  // namespace
}  // namespace ovra
