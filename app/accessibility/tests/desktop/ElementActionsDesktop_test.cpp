// Pressing and scrolling in real apps on a private desktop: Chromium on a local page and a small
// GTK window, read over the accessibility bus and driven through XTest. (Clicks in web pages are
// the controller's journeys and the press test's.)

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <charconv>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "app/accessibility/AXExtractor.h"
#include "app/accessibility/ElementActions.h"
#include "app/accessibility/Scroller.h"
#include "app/accessibility/tests/desktop/OwnFixtures.h"
#include "platform/atspi/AtspiBackend.h"
#include "platform/input/XTestInputSynthesizer.h"
#include "platform/scheduler/ManualScheduler.h"
#include "platform/x11/X11Workspace.h"
#include "testing/desktop/LaunchedApp.h"

namespace ovra {
namespace {

using testing::eventually;
using testing::LaunchedApp;

using testing::ownFixture;

// The number after "offset " in a window title, when there is one.
std::optional<int> offsetIn(const std::string& title) {
    const auto at = title.find("offset ");
    if (at == std::string::npos) {
        return std::nullopt;
    }
    int value = 0;
    const char* begin = title.data() + at + 7;
    const auto [end, error] = std::from_chars(begin, title.data() + title.size(), value);
    if (error != std::errc() || end == begin) {
        return std::nullopt;
    }
    return value;
}

class ActionsDesktop : public ::testing::Test {
  protected:
    void SetUp() override {
        auto input = input::XTestInputSynthesizer::open();
        ASSERT_TRUE(input) << input.error();
        input_ = std::move(input).value();
        auto workspace = x11::Workspace::open();
        ASSERT_TRUE(workspace) << workspace.error();
        workspace_ = std::move(workspace).value();
    }

    // The app's window once the window manager has made it active.
    input::WindowId windowOf(const LaunchedApp& app) {
        std::optional<x11::ActiveWindow> active;
        const bool found = eventually(
            [&] {
                active = workspace_->activeWindow();
                return active && active->pid == app.pid();
            },
            30);
        EXPECT_TRUE(found) << "the app's window never became active";
        return active ? active->window : 0;
    }

    std::string activeTitle() {
        auto active = workspace_->activeWindow();
        return active ? active->title : std::string();
    }

    WindowSnapshot read(const LaunchedApp& app,
                        const std::function<bool(const WindowSnapshot&)>& ready) {
        WindowSnapshot last;
        const bool ok = eventually(
            [&] {
                auto s = extractor_.snapshot(ax::RunningApp{app.pid(), std::nullopt}, backend_,
                                             ax::systemClock());
                if (!s) {
                    return false;
                }
                last = std::move(s).value();
                return ready(last);
            },
            45);
        EXPECT_TRUE(ok) << "the window never read as expected (" << last.candidates.size()
                        << " candidates, title \"" << last.windowTitle << "\")";
        return last;
    }

    static const UICandidate* find(const WindowSnapshot& s, const std::string& label) {
        for (const auto& c : s.candidates) {
            if (c.label() == label) {
                return &c;
            }
        }
        return nullptr;
    }

    PressRequest request(const WindowSnapshot& s, const UICandidate& c, input::WindowId window) {
        return {c,      s.elements.at(c.id), s.app, s.windowFrame, s.viewport,
                window, s.windowElement,     {}};
    }

    // Chromium on a page of this folder, without smooth scrolling so offsets settle at once.
    static LaunchedApp chromiumOn(const std::string& path) {
        return LaunchedApp::chromium("file://" + path, true, {"--disable-smooth-scrolling"},
                                     "1000,800");
    }

    atspi::AtspiBackend backend_;
    std::unique_ptr<input::XTestInputSynthesizer> input_;
    std::unique_ptr<x11::Workspace> workspace_;
    AXExtractor extractor_{6, 150, 48, 4000};
};

// Scrolls a long page by a page, then by small steps; then a GTK window opens over it: a wheel
// turn that would land on it is never posted, and its button is pressed through its action.
TEST_F(ActionsDesktop, TheLongPageScrollsNoWheelTurnReachesAnotherWindowAndAGtkButtonIsPressed) {
    auto app = chromiumOn(ownFixture("scroll.html"));
    ASSERT_TRUE(app.running());
    const input::WindowId window = windowOf(app);
    auto s = read(app, [](const WindowSnapshot& r) {
        return find(r, "First link") != nullptr && r.scroll.has_value();
    });
    ASSERT_TRUE(s.scroll);
    const double visible = s.scroll->signals.visible.height();

    ASSERT_TRUE(input_->movePointer({2, 700}));
    ManualScheduler later;
    Scroller scroller(
        backend_, *input_, later, [] { return false; }, std::cout);
    // Scrolls, then waits for the page to report a new offset and for it to hold still for
    // 0.6 s: a loaded browser may take a page's wheel turns one by one, a while apart.
    auto scrolled = [&](ScrollDirection direction, ScrollStep step, int previous) {
        EXPECT_EQ(scroller.scroll(direction, step, s.scroll, Rect(), window),
                  Scroller::Method::wheel);
        later.advance(0.05);
        std::optional<int> seen;
        auto since = std::chrono::steady_clock::now();
        eventually(
            [&] {
                auto now = offsetIn(activeTitle());
                if (now != seen) {
                    since = std::chrono::steady_clock::now();
                }
                seen = now;
                return now && *now != previous &&
                       std::chrono::steady_clock::now() - since >= std::chrono::milliseconds(600);
            },
            15);
        return seen.value_or(previous);
    };
    const int afterPage = scrolled(ScrollDirection::down, ScrollStep::page, 0);
    EXPECT_EQ(input_->pointerLocation(), (Point{2, 700}));
    EXPECT_GT(afterPage, visible * 0.5);
    EXPECT_LT(afterPage, visible * 1.5);
    const int afterSmall = scrolled(ScrollDirection::down, ScrollStep::small, afterPage);
    EXPECT_GT(afterSmall, afterPage);
    EXPECT_LT(afterSmall - afterPage, afterPage);
    const int afterUp = scrolled(ScrollDirection::up, ScrollStep::small, afterSmall);
    EXPECT_LT(afterUp, afterSmall);

    // The GTK window opens over the page's middle and takes the focus.
    auto gtk = LaunchedApp::start({"/usr/bin/python3", ownFixture("counter.py")});
    const input::WindowId gtkWindow = windowOf(gtk);
    auto covered = s.scroll;
    covered->signals.visible = Rect(60, 60, 420, 240);
    EXPECT_EQ(scroller.scroll(ScrollDirection::down, ScrollStep::page, covered, Rect(), window),
              std::nullopt);
    later.advance(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(activeTitle(), "Counter 0");
    auto page = read(app, [](const WindowSnapshot& r) { return !r.windowTitle.empty(); });
    EXPECT_EQ(offsetIn(page.windowTitle), afterUp) << page.windowTitle;

    auto counter = read(gtk, [](const WindowSnapshot& r) { return find(r, "Add one") != nullptr; });
    AXActions actions(backend_, *input_);
    EXPECT_EQ(actions.press(request(counter, *find(counter, "Add one"), gtkWindow)).route,
              PressRoute::pressed);
    EXPECT_TRUE(eventually([&] { return activeTitle() == "Counter 1"; }, 10))
        << "title: " << activeTitle();
}

}  // namespace
}  // namespace ovra
