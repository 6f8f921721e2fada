// A reading kept between hotkeys is never one the page has left behind. Over Firefox, the page's
// own buttons are offered at every open: 20 opens in a row, each right after a press through the
// overlay that moved the keyboard to another field, and after reloads and after navigating from
// the address bar. Over Chromium, a page button pressed through the overlay that opens the
// page's prompt (confirm()) leaves the next overlay offering only the prompt's Cancel and OK,
// and OK answers it. The ordinary counterpart: a still page opened again and again is offered
// the same plan each time, in both browsers.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/controller/tests/appcontroller/desktop/AppProcess.h"
#include "platform/atspi/AtspiBackend.h"
#include "platform/x11/X11Workspace.h"
#include "testing/desktop/Commands.h"
#include "testing/desktop/DesktopReading.h"
#include "testing/desktop/LaunchedApp.h"
#include "testing/desktop/ObjectsOf.h"

namespace ovra {
namespace {

using testing::eventually;
using testing::xdotool;

class KeptReading : public ::testing::Test {
  protected:
    // The browser on `page` once its control `label` reads, and the app; with a compositing
    // manager as most desktops run one, or without, where the overlay covers the browser whole.
    // Alt alone would open Firefox's menu bar, so the hotkey is Super+Shift+Space.
    void launch(const std::string& page, const std::string& label, bool firefox, bool compositing) {
        if (compositing) {
            compositor_ = testing::LaunchedApp::start({"xcompmgr"});
        }
        url_ = "file://" + page;
        browser_ = firefox ? testing::LaunchedApp::firefoxInOwnProfile(url_)
                           : testing::LaunchedApp::chromium(url_);
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
        testing::useSettings(
            home_.path(), R"({"hotkey": "cmd-shift-space", "useModel": false, "sidebar": false})");
        ASSERT_NO_FATAL_FAILURE(testing::spawnApp(app_.pid, home_ / "log", 20));
    }
    std::string log() const { return testing::readText(home_ / "log"); }
    std::size_t logged(const std::string& text) const { return testing::occurrences(log(), text); }
    std::string title() {
        const auto windows = workspace_->windowsOf(browser_.pid());
        return windows.empty() ? "" : windows.back().title;
    }
    bool titleBecomes(const std::string& text) {
        return eventually([&] { return title().starts_with(text + " "); }, 10);
    }

    // Opens the overlay once the last one has gone (faded, the keyboard handed back) and gives
    // its highlights once they hold every label of `wanted`, or as they are after 30 s. A page
    // just loaded may not be in the browser's tree yet on a loaded machine: `looks` opens, as a
    // person looks again.
    std::vector<std::string> open(const std::vector<std::string>& wanted, int looks = 1) {
        std::vector<std::string> names;
        for (int look = 0; look < looks; ++look) {
            if (look > 0) {
                close();
            }
            EXPECT_TRUE(eventually([] { return !testing::overlayOnScreen(); }, 5));
            usleep(300'000);
            const std::size_t before = logged("Ovra press: ");
            for (int attempt = 0; attempt < 2; ++attempt) {
                xdotool("key super+shift+space");
                if (eventually([&] { return logged("Ovra press: ") > before; }, 5)) {
                    break;
                }
            }
            if (eventually(
                    [&] {
                        names = testing::highlightNames(app_.pid);
                        return !names.empty() &&
                               std::all_of(wanted.begin(), wanted.end(),
                                           [&](const std::string& label) {
                                               return !number(names, label).empty();
                                           });
                    },
                    looks > 1 ? 15 : 30)) {  // a reading on a loaded machine
                break;
            }
        }
        return names;
    }
    // The number of the highlight of `label` among `names` ("3, Reply, Button"); "" when none.
    static std::string number(const std::vector<std::string>& names, const std::string& label) {
        for (const std::string& name : names) {
            if (name.find(", " + label + ",") != std::string::npos) {
                return name.substr(0, name.find(','));
            }
        }
        return {};
    }
    void close() {
        xdotool("key Escape");
        EXPECT_TRUE(eventually([] { return !testing::overlayOnScreen(); }, 5));
    }

    testing::LaunchedApp compositor_;
    testing::LaunchedApp browser_;
    std::string url_;
    std::unique_ptr<x11::Workspace> workspace_;
    testing::ScratchFolder home_{"kept-reading"};
    testing::SpawnedApp app_;
};

// Controls of the page that every plan of it numbers (it numbers five of its seven).
const std::vector<std::string> kPageControls{"Next field", "Subject", "To"};

// Each open right after a press that moved the keyboard on to another field offers the page's
// controls: 20 of 20, with a compositing manager and without (where Firefox, covered whole by
// the overlay, would take its page off its tree).
class FirefoxAfterPresses : public KeptReading, public ::testing::WithParamInterface<bool> {};

TEST_P(FirefoxAfterPresses, OffersItsPageAfterEveryPressThatMovedTheFocus) {
    ASSERT_NO_FATAL_FAILURE(launch(OVRA_READER_PAGE, "Next field", true, GetParam()));
    for (int press = 1; press <= 20; ++press) {
        SCOPED_TRACE("open " + std::to_string(press));
        // (The page just loaded may be looked at again; never after a press.)
        const auto names = open(kPageControls, press == 1 ? 3 : 1);
        for (const std::string& label : kPageControls) {
            EXPECT_NE(number(names, label), "") << label << " not offered\n"
                                                << ::testing::PrintToString(names) << log();
        }
        const std::string next = number(names, "Next field");
        ASSERT_NE(next, "") << log();
        ASSERT_TRUE(xdotool("key " + next + " Return"));
        ASSERT_TRUE(titleBecomes("pressed " + std::to_string(press))) << title() << log();
    }
    EXPECT_EQ(logged("No buttons or fields found"), 0u) << log();
}

INSTANTIATE_TEST_SUITE_P(Desktops, FirefoxAfterPresses, ::testing::Values(true, false),
                         [](const auto& run) {
                             return run.param ? "Compositing" : "WithoutCompositing";
                         });

// Reloaded, and navigated to from the address bar, the page is offered at the next open.
TEST_F(KeptReading, FirefoxOffersItsPageAfterAReloadAndAfterNavigating) {
    ASSERT_NO_FATAL_FAILURE(launch(OVRA_READER_PAGE, "Next field", true, false));
    ASSERT_NE(number(open(kPageControls, 3), "Subject"), "") << log();
    close();
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        xdotool("key F5");
        usleep(500'000);
        auto names = open(kPageControls);
        EXPECT_NE(number(names, "Subject"), "") << "after a reload\n"
                                                << ::testing::PrintToString(names) << log();
        close();
        const std::string to = url_ + (round % 2 == 0 ? "?second" : "");
        xdotool("key ctrl+l");
        usleep(300'000);
        xdotool("type --delay 5 '" + to + "'");
        xdotool("key Return");
        usleep(500'000);
        names = open(kPageControls);
        EXPECT_NE(number(names, "Subject"), "") << "after navigating to " << to << "\n"
                                                << ::testing::PrintToString(names) << log();
        close();
    }
    EXPECT_EQ(logged("No buttons or fields found"), 0u) << log();
}

// The page read once before its prompt opened: the next overlay offers the prompt alone.
TEST_F(KeptReading, ChromiumOffersOnlyThePromptAPressOpened) {
    ASSERT_NO_FATAL_FAILURE(launch(OVRA_PROMPT_PAGE, "Check spelling", false, false));
    const std::vector<std::string> page{"Check spelling", "Keep editing", "Share"};
    const std::string check = number(open(page), "Check spelling");
    ASSERT_NE(check, "") << log();
    ASSERT_TRUE(xdotool("key " + check + " Return"));
    // The page waits on its prompt: the press is told once the look after it gives up.
    ASSERT_TRUE(eventually([&] { return logged("\"Check spelling\"") > 0; }, 20)) << log();
    const auto names = open({"OK", "Cancel"});
    EXPECT_THAT(names, ::testing::UnorderedElementsAre(::testing::HasSubstr(", OK,"),
                                                       ::testing::HasSubstr(", Cancel,")))
        << log();
    const std::string ok = number(names, "OK");
    ASSERT_NE(ok, "") << log();
    ASSERT_TRUE(xdotool("key " + ok + " Return"));
    EXPECT_TRUE(titleBecomes("answered OK")) << title();
}

// The ordinary counterpart: nothing changed, the same plan each time.
class StillPage : public KeptReading, public ::testing::WithParamInterface<bool> {};

TEST_P(StillPage, OpenedAgainOffersTheSamePlan) {
    ASSERT_NO_FATAL_FAILURE(launch(OVRA_READER_PAGE, "Next field", GetParam(), false));
    const auto first = open(kPageControls);
    ASSERT_NE(number(first, "Subject"), "") << log();
    close();
    for (int again = 0; again < 3; ++again) {
        EXPECT_EQ(open(kPageControls), first) << log();
        close();
    }
}

INSTANTIATE_TEST_SUITE_P(Browsers, StillPage, ::testing::Values(false, true),
                         [](const auto& run) { return run.param ? "Firefox" : "Chromium"; });

}  // namespace
}  // namespace ovra
