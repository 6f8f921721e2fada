// The active window and the monitors of a real X server with a window manager.

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/x11/X11Workspace.h"
#include "testing/desktop/LaunchedApp.h"

namespace ovra::x11 {
namespace {

class X11Desktop : public ::testing::Test {
  protected:
    void SetUp() override {
        auto opened = Workspace::open();
        ASSERT_TRUE(opened.ok()) << opened.error();
        workspace_ = std::move(opened).value();
    }
    std::unique_ptr<Workspace> workspace_;
};

TEST_F(X11Desktop, TheNewestWindowIsActiveAndOneBehindAnotherAppIsActivated) {
    auto back = ovra::testing::LaunchedApp::start({"gtk3-widget-factory"});
    ASSERT_TRUE(back.running());
    auto activeIs = [&](pid_t pid) {
        std::optional<ActiveWindow> active;
        const bool became = ovra::testing::eventually([&] {
            active = workspace_->activeWindow();
            return active && active->pid == pid;
        });
        EXPECT_TRUE(became) << "the app's window never became active";
        return became ? active : std::nullopt;
    };
    const auto active = activeIs(back.pid());
    ASSERT_TRUE(active.has_value());
    EXPECT_NE(active->window, 0U);
    EXPECT_FALSE(active->title.empty());
    EXPECT_FALSE(active->windowClass.empty());
    const auto windows = workspace_->windowsOf(back.pid());
    ASSERT_FALSE(windows.empty());
    for (const auto& window : windows) {
        EXPECT_EQ(window.pid, back.pid());
        EXPECT_NE(window.window, 0U);
    }

    // Another app comes to the front; the first one's windows are still its own.
    auto front = ovra::testing::LaunchedApp::start({"gtk3-icon-browser"});
    ASSERT_TRUE(activeIs(front.pid()).has_value());
    EXPECT_FALSE(workspace_->windowsOf(front.pid()).empty());
    for (const auto& window : workspace_->windowsOf(back.pid())) {
        EXPECT_EQ(window.pid, back.pid()) << "a window of another process";
    }
    auto target = windowToRaise(workspace_->windowsOf(back.pid()), back.pid(), "");
    ASSERT_TRUE(target.has_value());
    ASSERT_TRUE(workspace_->activate(*target));
    EXPECT_TRUE(ovra::testing::eventually([&] {
        auto now = workspace_->activeWindow();
        return now && now->window == *target;
    })) << "the window manager never activated the app behind";
    EXPECT_TRUE(workspace_->windowsOf(0).empty());
    EXPECT_TRUE(workspace_->windowsOf(-1).empty());
}

TEST_F(X11Desktop, ScreensCoverTheRootWindow) {
    const auto screens = workspace_->screenFrames();
    ASSERT_FALSE(screens.empty());
    // scripts/with-desktop starts one 1280 x 1024 screen.
    EXPECT_EQ(screens.front(), Rect(0, 0, 1280, 1024));
}

}  // namespace
}  // namespace ovra::x11
