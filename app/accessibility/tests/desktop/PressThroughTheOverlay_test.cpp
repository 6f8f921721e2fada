// The app on a real desktop, pressing as a person does: the hotkey, the number of a highlight,
// Return. Letters typed 60 ms apart right after choosing a note field, in Chromium and Firefox
// ESR, go to the field and never to the page's one-key shortcuts, and every letter typed once the
// overlay has faded lands there. In Chromium, a Play button that becomes Pause when pressed is
// pressed once, counted, and the overlay stays closed, as the press test says too; beside it the
// guard: an Archive button that turns into "Delete forever" is pressed once, and the app says it
// cannot tell with nothing under the next Return.

#include <atspi/atspi.h>
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "app/accessibility/AXExtractor.h"
#include "app/accessibility/tests/desktop/OwnFixtures.h"
#include "platform/atspi/AtspiBackend.h"
#include "platform/x11/X11Workspace.h"
#include "testing/Files.h"
#include "testing/desktop/Commands.h"
#include "testing/desktop/DesktopReading.h"
#include "testing/desktop/Highlights.h"
#include "testing/desktop/LaunchedApp.h"
#include "testing/desktop/ObjectsOf.h"

namespace ovra {
namespace {

using testing::eventually;
using testing::xdotool;

using testing::ownFixture;

class PressThroughTheOverlay : public ::testing::TestWithParam<bool> {
  protected:
    bool firefox() const { return GetParam(); }

    // The browser on `page`, once `label` can be read there, and the app.
    void launch(const std::string& page, const std::string& label) {
        const std::string url = "file://" + ownFixture(page);
        if (firefox()) {
            // Without a compositing manager the overlay covers the browser whole, and Firefox
            // then drops its page's tree.
            compositor_ = testing::LaunchedApp::start({"xcompmgr"});
            browser_ = testing::LaunchedApp::firefoxInOwnProfile(url);
        } else {
            browser_ = testing::LaunchedApp::chromium(url);
        }
        atspi::AtspiBackend backend;
        testing::RealClock clock;
        ASSERT_TRUE(eventually(
            [&] {
                auto read = AXExtractor{6, 14, 48, 4000}.snapshot({browser_.pid(), std::nullopt},
                                                                  backend, clock);
                return read && testing::find(read.value(), label) != nullptr;
            },
            45))
            << "the page never read";
        auto workspace = x11::Workspace::open();
        ASSERT_TRUE(workspace) << workspace.error();
        workspace_ = std::move(workspace).value();

        std::filesystem::create_directories(home_ / "murmlark-ovra");
        std::ofstream(settingsFile())
            << R"({"hotkey": "ctrl-opt-space", "useModel": false, "sidebar": false})";
        setenv("XDG_CONFIG_HOME", home_.path().c_str(), 1);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, (home_ / "log").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        char* argv[] = {const_cast<char*>(OVRA_APP), const_cast<char*>("--no-dashboard"), nullptr};
        ASSERT_EQ(posix_spawn(&app_, OVRA_APP, &actions, nullptr, argv, environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        ASSERT_TRUE(eventually([&] { return logged("opens the overlay") > 0; }, 20)) << log();
    }
    void TearDown() override {
        if (app_ > 0) {
            EXPECT_EQ(logged("main thread blocked"), 0u) << log();
            kill(app_, SIGTERM);
            waitpid(app_, nullptr, 0);
        }
    }

    std::filesystem::path settingsFile() const {
        return home_ / "murmlark-ovra/ai.qeld.murmlark-ovra.json";
    }
    std::string log() const { return testing::readText(home_ / "log"); }
    std::size_t logged(const std::string& text) const {
        const std::string all = log();
        std::size_t count = 0;
        for (auto at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) {
            ++count;
        }
        return count;
    }
    std::string title() {
        const auto windows = workspace_->windowsOf(browser_.pid());
        return windows.empty() ? "" : windows.back().title;
    }
    // The page's counters, from its title ("play=1 like=0 ... ;").
    std::map<std::string, int> counts() {
        std::map<std::string, int> out;
        std::istringstream words(title());
        for (std::string word; words >> word && word != ";";) {
            if (const auto eq = word.find('='); eq != std::string::npos) {
                out[word.substr(0, eq)] = std::atoi(word.c_str() + eq + 1);
            }
        }
        return out;
    }
    // The counter once the page shows it at `value` (within `seconds`), else as it is.
    int countBecomes(const std::string& name, int value, double seconds = 5) {
        eventually([&] { return counts()[name] == value; }, seconds);
        return counts()[name];
    }
    bool pressesCounted(int presses) {
        const std::string text = "\"ovrasPressed\": " + std::to_string(presses);
        return eventually(
            [&] { return testing::readText(settingsFile()).find(text) != std::string::npos; }, 5);
    }

    // Opens the overlay over the page once the last one has gone: the number of `label`'s
    // highlight. Right after its start the app may not listen yet: the hotkey goes once more.
    std::string open(const std::string& label) {
        EXPECT_TRUE(eventually([] { return !testing::overlayOnScreen(); }, 5));
        const std::size_t before = logged("Ovra press:");
        for (int attempt = 0; attempt < 2; ++attempt) {
            xdotool("key ctrl+alt+space");
            if (eventually([&] { return logged("Ovra press:") > before; }, 5)) {
                break;
            }
        }
        const int number = testing::numberWhenShown(app_, label);
        return number > 0 ? std::to_string(number) : std::string();
    }

    testing::LaunchedApp compositor_;
    testing::LaunchedApp browser_;
    std::unique_ptr<x11::Workspace> workspace_;
    testing::ScratchFolder home_{"press-overlay"};
    pid_t app_ = 0;
};

// Return and then letters 60 ms apart, as a person types on right after choosing the field: the
// field has the keyboard before its window does, so none of them runs a page shortcut; those the
// fading overlay did not take, and every one typed after it faded, are in the field in order.
TEST_P(PressThroughTheOverlay, LettersTypedRightAfterChoosingAFieldGoToTheField) {
    ASSERT_NO_FATAL_FAILURE(launch("typing.html", "Note"));
    const std::string note = open("Note");
    ASSERT_FALSE(note.empty()) << log();
    ASSERT_TRUE(xdotool("key --delay 60 " + note + " Return h e l l o space"));
    ASSERT_TRUE(eventually([] { return !testing::overlayOnScreen(); }, 5));
    ASSERT_TRUE(xdotool("key --delay 60 w o r l d"));
    EXPECT_TRUE(eventually([&] { return title().find("world]") != std::string::npos; }, 5))
        << title();
    const std::string shown = title();
    const auto begin = shown.find("note=[");
    const auto end = shown.find(']');
    ASSERT_TRUE(begin != std::string::npos && end != std::string::npos) << shown;
    const std::string typed = shown.substr(begin + 6, end - begin - 6);
    EXPECT_THAT(std::string("hello world"), ::testing::EndsWith(typed));
    EXPECT_THAT(typed, ::testing::EndsWith("world"));
    EXPECT_EQ(countBecomes("shortcuts", 0, 0.3), 0) << shown;
    EXPECT_EQ(logged("Ovra pressed \"Note\": focused"), 1u) << log();
}

// The ordinary button first: Play answers the press by becoming Pause, and that is a press: the
// page ran it once, the app counted it, and no overlay comes back over the page. The press test
// presses Pause and gives the same verdict. Then the guard: Archive answers by becoming "Delete
// forever", which it might have shown before the press came: the app says it cannot tell over a
// screen with nothing to press, Return there presses nothing, and nothing counts.
TEST_P(PressThroughTheOverlay, AButtonThatRelabelsItselfIsPressedOnceAndCounted) {
    ASSERT_NO_FATAL_FAILURE(launch("toggles.html", "Play"));
    const std::string play = open("Play");
    ASSERT_FALSE(play.empty()) << log();
    ASSERT_TRUE(xdotool("key " + play + " Return"));
    EXPECT_EQ(countBecomes("play", 1), 1);
    EXPECT_TRUE(eventually([&] { return logged("Ovra pressed \"Play\"") > 0; }, 5)) << log();
    EXPECT_EQ(logged("Ovra pressed \"Play\": pressed, it relabelled itself \"Pause\""), 1u)
        << log();
    EXPECT_TRUE(pressesCounted(1));
    EXPECT_FALSE(eventually(testing::overlayOnScreen, 1)) << "an overlay came back over the page";

    const testing::CommandOutput test = testing::run(std::string("OVRA_PRESS_TEST_APP=") +
                                                     (firefox() ? "firefox-esr" : "chromium") +
                                                     " '" + OVRA_APP + "' --press-test Pause");
    EXPECT_EQ(test.exitCode, 0) << test.text;
    EXPECT_THAT(test.text, ::testing::Not(::testing::HasSubstr("perhaps not pressed")));
    EXPECT_EQ(countBecomes("play", 2), 2);

    const std::string archive = open("Archive");
    ASSERT_FALSE(archive.empty()) << log();
    ASSERT_TRUE(xdotool("key " + archive + " Return"));
    EXPECT_EQ(countBecomes("archive", 1), 1);
    EXPECT_TRUE(eventually([&] {
        return logged("Ovra cannot tell whether it pressed \"Archive\"") > 0;
    })) << log();
    // The sentence alone on screen: no highlight, so Return presses nothing.
    EXPECT_TRUE(eventually(testing::overlayOnScreen, 5));
    EXPECT_THAT(testing::highlightNames(app_), ::testing::IsEmpty());
    ASSERT_TRUE(xdotool("key Return"));
    EXPECT_EQ(countBecomes("deleted", 1, 1), 0);
    ASSERT_TRUE(xdotool("key Escape"));
    EXPECT_TRUE(eventually([] { return !testing::overlayOnScreen(); }, 5));
    EXPECT_TRUE(pressesCounted(1));
}

INSTANTIATE_TEST_SUITE_P(Browsers, PressThroughTheOverlay, ::testing::Values(false, true),
                         [](const auto& browser) {
                             return browser.param ? "Firefox" : "Chromium";
                         });

}  // namespace
}  // namespace ovra
