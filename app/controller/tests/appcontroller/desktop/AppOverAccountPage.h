#pragma once

// The app over Chromium's account page, for the keyboard journeys: the page's title says what
// was pressed ("pressed: Save changes") or typed ("typed: abc"); the app runs as its own process
// with its hotkey (Ctrl+Alt+Space unless told) and its log in a file; keys go through XTest by
// position.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QImage>
#include <algorithm>
#include <filesystem>

#include "app/controller/tests/appcontroller/desktop/AppProcess.h"
#include "platform/atspi/AtspiBackend.h"
#include "testing/desktop/Commands.h"
#include "testing/desktop/DesktopReading.h"
#include "testing/desktop/LaunchedApp.h"
#include "testing/desktop/Screenshot.h"
#include "testing/desktop/TypedKeys.h"

namespace ovra::testing {

namespace Keys {
inline constexpr std::uint16_t space = 49, escape = 53, returnKey = 36, a = 0, b = 11, c = 8,
                               two = 19;
}

class AppOverAccountPage : public ::testing::Test {
  protected:
    // The app with the hotkey of this preset, over `page` once its `control` reads.
    void launch(const std::string& hotkey = "ctrl-opt-space",
                const std::string& page = OVRA_ACCOUNT_PAGE,
                const std::string& control = "Delete account") {
        browser_ = LaunchedApp::chromium("file://" + page);
        atspi::AtspiBackend backend;
        RealClock clock;
        ASSERT_TRUE(eventually(
            [&] {
                auto read = AXExtractor{6, 14, 48, 4000}.snapshot({browser_.pid(), std::nullopt},
                                                                  backend, clock);
                return read && find(read.value(), control) != nullptr;
            },
            45))
            << "the page never read";
        useSettings(home_.path(), R"({"hotkey": ")" + hotkey + R"(", "useModel": false})");
        spawnApp(app_, home_ / "log", 20);
    }
    void TearDown() override {
        if (app_ > 0) {
            EXPECT_FALSE(logs("main thread blocked")) << log();
            kill(app_, SIGTERM);
            waitpid(app_, nullptr, 0);
        }
    }

    std::string log() const { return readText(home_ / "log"); }
    bool logs(const std::string& text) const { return log().find(text) != std::string::npos; }
    // The browser's window, searched without a window manager's client list.
    std::string searchWindow() const {
        return "search --onlyvisible --pid " + std::to_string(browser_.pid()) +
               " --name ' - Chromium$'";
    }
    std::string title() const {
        const auto lines =
            run("xdotool " + searchWindow() + " getwindowname %@ 2>/dev/null").lines();
        return lines.empty() ? "" : lines.front();
    }
    bool titleBecomes(const std::string& text) {
        return eventually([&] { return title().starts_with(text + " "); }, 10);
    }
    // The page's empty right side is dimmed while the overlay shows (no compositing manager:
    // the overlay paints the screen it grabbed).
    bool overlayShows(bool shows, const std::string& name) {
        return eventually(
            [&] {
                const bool dim = screenshot("keys-" + name).pixelColor(1000, 700).lightness() < 100;
                return dim == shows;
            },
            10);
    }
    // Once the overlay's window is off the screen, its fade included.
    static bool overlayGone() {
        return eventually(
            [] {
                return !xdotool("search --onlyvisible --name '^Murmlark Ovra overlay$' >/dev/null");
            },
            5);
    }
    // The browser's window has the X input focus again.
    bool keyboardBack() const {
        return eventually(
            [&] {
                const auto focus = run("xdotool getwindowfocus").lines();
                const auto browser = run("xdotool " + searchWindow()).lines();
                return !focus.empty() &&
                       std::find(browser.begin(), browser.end(), focus.front()) != browser.end();
            },
            5);
    }
    // The hotkey, once the app takes it: a request logs how it picks ("Ovra press: …"). Right
    // after the start the app may not listen yet; then it is pressed once more.
    void hotkey() {
        const std::size_t before = requests();
        for (int attempt = 0; attempt < 2; ++attempt) {
            keys_.chord({Keys::control, Keys::alt, hotkeyKey_});
            if (eventually([&] { return requests() > before; }, 5)) {
                return;
            }
        }
    }
    std::size_t requests() const { return occurrences(log(), "Ovra press:"); }

    LaunchedApp browser_;
    std::uint16_t hotkeyKey_ = Keys::space;  // with Ctrl and Alt
    ScratchFolder home_{"keys"};
    pid_t app_ = 0;
    // Positions are the same on every evdev layout: the US names serve all.
    TypedKeys keys_{keyboard::KeyboardLayout::fromNames("us").value()};
};

}  // namespace ovra::testing
