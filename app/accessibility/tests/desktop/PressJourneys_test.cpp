// Presses in pages that change their controls around the press, in Chromium and Firefox ESR: a
// GTK window takes the keyboard, as the overlay does, and the press brings the browser back. What
// the press reports (pressed, which counts, or why not) must agree with what the page counted.
// Beside the pages that fight the press, a quiet page whose buttons answer a press by
// relabelling themselves: each is pressed once and counted, but one that turns risky.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>

#include "app/accessibility/AXExtractor.h"
#include "app/accessibility/ElementActions.h"
#include "app/accessibility/tests/desktop/OwnFixtures.h"
#include "platform/atspi/AtspiBackend.h"
#include "platform/input/XTestInputSynthesizer.h"
#include "platform/x11/X11Workspace.h"
#include "testing/Files.h"
#include "testing/desktop/Commands.h"
#include "testing/desktop/LaunchedApp.h"

namespace ovra {
namespace {

using testing::eventually;
using testing::LaunchedApp;

using testing::ownFixture;

// What the press reports: its route, or why nothing is known pressed.
std::string said(const PressOutcome& outcome) {
    return std::string(outcome.route ? rawValue(*outcome.route) : rawValue(*outcome.failure));
}

class PressJourneys : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        auto input = input::XTestInputSynthesizer::open();
        ASSERT_TRUE(input) << input.error();
        input_ = std::move(input).value();
        auto workspace = x11::Workspace::open();
        ASSERT_TRUE(workspace) << workspace.error();
        workspace_ = std::move(workspace).value();
    }
    void TearDown() override {
        if (browser_.pid() > 0) {
            kill(browser_.pid(), SIGCONT);
        }
    }

    bool firefox() const { return GetParam(); }

    // The page's counters, from its title ("keep=0 delete=0 ... ;").
    std::map<std::string, int> counts() {
        std::map<std::string, int> out;
        const auto windows = workspace_->windowsOf(browser_.pid());
        if (windows.empty() || windows.back().title.find(';') == std::string::npos) {
            return out;
        }
        std::istringstream words(windows.back().title);
        for (std::string word; words >> word && word != ";";) {
            if (const auto eq = word.find('='); eq != std::string::npos) {
                out[word.substr(0, eq)] = std::atoi(word.c_str() + eq + 1);
            }
        }
        return out;
    }
    // The counter once the page shows it at `value` (within `seconds`), else as it is.
    int countBecomes(const std::string& name, int value, double seconds = 3) {
        eventually([&] { return counts()[name] == value; }, seconds);
        return counts()[name];
    }

    // The GTK window takes the keyboard from the browser, as the overlay does.
    void takeKeyboard() {
        ASSERT_TRUE(input_->activateWindow(other_));
        ASSERT_TRUE(eventually(
            [&] {
                auto active = workspace_->activeWindow();
                return active && active->window == other_;
            },
            10));
    }

    // The page read until `ready` holds.
    WindowSnapshot read(const std::function<bool(const WindowSnapshot&)>& ready) {
        WindowSnapshot last;
        const bool ok = eventually(
            [&] {
                auto s = extractor_.snapshot(ax::RunningApp{browser_.pid(), std::nullopt}, backend_,
                                             ax::systemClock());
                if (!s) {
                    return false;
                }
                last = std::move(s).value();
                // As the app does for a reading it shows.
                ElementIdentity::noteSettings(backend_, last, ax::systemClock());
                return ready(last);
            },
            45);
        EXPECT_TRUE(ok) << "the page never read as expected (" << last.candidates.size()
                        << " candidates)";
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
    WindowSnapshot readWith(const std::string& label) {
        return read([&](const WindowSnapshot& s) { return find(s, label) != nullptr; });
    }

    // Presses `label` as `reading` showed it (the topmost of that label), bringing the browser
    // forward first.
    PressOutcome press(const WindowSnapshot& reading, const std::string& label) {
        const UICandidate* chosen = nullptr;
        for (const auto& c : reading.candidates) {
            if (c.label() == label && (!chosen || c.frame.minY() < chosen->frame.minY())) {
                chosen = &c;
            }
        }
        EXPECT_NE(chosen, nullptr) << label;
        if (chosen == nullptr) {
            return {std::nullopt, PressFailure::refused};
        }
        PressRequest request{
            *chosen,
            reading.elements.at(chosen->id),
            reading.app,
            reading.windowFrame,
            reading.viewport,
            window_,
            reading.windowElement,
            [&]() -> std::optional<WindowSnapshot> {
                auto again = extractor_.snapshot(reading.app, backend_, ax::systemClock());
                return again ? std::optional(std::move(again).value()) : std::nullopt;
            }};
        request.seen = reading.candidates;
        request.seenElements = reading.elements;
        request.seenSettings = reading.settings;
        const PressOutcome outcome = AXActions(backend_, *input_).press(request);
        std::cout << label << " at " << chosen->frame.minY() << ": " << said(outcome) << " "
                  << outcome.told << std::endl;
        return outcome;
    }

    // Runs the page's own `label` button through its accessibility action, the window left
    // where it is.
    void pressDirectly(const std::string& label) {
        const WindowSnapshot reading = readWith(label);
        const UICandidate* control = find(reading, label);
        ASSERT_NE(control, nullptr) << label;
        ASSERT_FALSE(backend_.performAction(reading.elements.at(control->id), "AXPress"));
    }

    // The browser on one of the journeys' pages, with the keyboard.
    // The browser on `page`: one of the journeys' pages, or a path.
    void launch(const std::string& page = "press.html") {
        const std::string url = "file://" + (page.starts_with('/') ? page : ownFixture(page));
        if (firefox()) {
            browser_ = LaunchedApp::firefoxInOwnProfile(url);
        } else {
            browser_ = LaunchedApp::chromium(url);
        }
        ASSERT_TRUE(eventually(
            [&] {
                auto active = workspace_->activeWindow();
                window_ = active && active->pid == browser_.pid() ? active->window : 0;
                return window_ != 0;
            },
            45));
        ASSERT_TRUE(eventually([&] { return !counts().empty(); }, 30));
    }
    // The GTK window, which takes the keyboard.
    void launchOther() {
        otherApp_ = LaunchedApp::start({"/usr/bin/python3", ownFixture("counter.py")});
        ASSERT_TRUE(eventually(
            [&] {
                auto active = workspace_->activeWindow();
                other_ = active && active->pid == otherApp_.pid() ? active->window : 0;
                return other_ != 0;
            },
            30));
    }

    atspi::AtspiBackend backend_;
    std::unique_ptr<input::XTestInputSynthesizer> input_;
    std::unique_ptr<x11::Workspace> workspace_;
    AXExtractor extractor_{6, 150, 48, 4000};
    LaunchedApp browser_;
    LaunchedApp otherApp_;
    input::WindowId window_ = 0;
    input::WindowId other_ = 0;
};

// Every press reports what the page did: a control relabelled in place as its window gets the
// keyboard back is never pressed as the chosen one, and its new, risky action never runs (while a
// clock elsewhere on the page ticks, which alone would not hold the press); a
// control turned off while the browser was behind is not pressed; a chip that removes itself (the
// next sliding into its place) is pressed once and told pressed, or cannot be told; a button that
// replaces itself is pressed once and never said to be unpressed; a stopped browser is "not
// responding", and nothing runs once it goes on.
TEST_P(PressJourneys, WhatThePressSaysIsWhatThePageDid) {
    ASSERT_NO_FATAL_FAILURE(launch());
    // Turned off as the GTK window takes the keyboard, after this reading.
    const WindowSnapshot before = read([](const WindowSnapshot& s) {
        return find(s, "Turn off") != nullptr && find(s, "Grey out") != nullptr;
    });
    ASSERT_NO_FATAL_FAILURE(launchOther());
    for (const auto& [label, counter] : {std::pair{"Turn off", "off"}, {"Grey out", "aria"}}) {
        SCOPED_TRACE(label);
        ASSERT_NO_FATAL_FAILURE(takeKeyboard());
        EXPECT_EQ(said(press(before, label)), "disabled");
        EXPECT_EQ(countBecomes(counter, 1, 1), 0);
    }

    int kept = 0;
    for (const char* delay : {"0", "5", "10", "20", "50"}) {
        const std::string label = std::string("Keep ") + delay;
        SCOPED_TRACE(label);
        ASSERT_NO_FATAL_FAILURE(takeKeyboard());
        const PressOutcome outcome = press(readWith(label), label);
        EXPECT_THAT(said(outcome), ::testing::AnyOf("changed", "unsure", "pressed")) << label;
        kept += outcome.route ? 1 : 0;
        if (outcome.failure == PressFailure::unsure) {
            kept = countBecomes("keep", kept + 1, 1);  // "cannot tell" may go either way
        }
        EXPECT_EQ(countBecomes("keep", kept), kept);
    }
    EXPECT_EQ(countBecomes("delete", 1, 1), 0);

    for (const auto& [label, counter] : {std::pair{"Remove Red", "chip"}, {"Follow", "follow"}}) {
        SCOPED_TRACE(label);
        ASSERT_NO_FATAL_FAILURE(takeKeyboard());
        const PressOutcome outcome = press(readWith(label), label);
        // A browser on a loaded machine may tell the chip's going with the answer, as a page's
        // own removal would come (see the row journey): then it cannot be told.
        EXPECT_THAT(said(outcome), ::testing::AnyOf("pressed", "unsure")) << outcome.told;
        EXPECT_EQ(countBecomes(counter, 1), 1);
    }
    EXPECT_EQ(countBecomes("unfollow", 1, 1), 0);

    ASSERT_NO_FATAL_FAILURE(takeKeyboard());
    const WindowSnapshot counting = readWith("Count");
    ASSERT_EQ(kill(browser_.pid(), SIGSTOP), 0);
    EXPECT_EQ(said(press(counting, "Count")), "not responding");
    ASSERT_EQ(kill(browser_.pid(), SIGCONT), 0);
    EXPECT_EQ(countBecomes("count", 1, 2), 0);
}

// A button that answers the press with a new label (Play becomes Pause, Like Liked, Copy link
// Copied!, Show more Show less) was pressed: the press says so, naming the new label, and the page
// counted it once; pressed again it turns back. One that turns into "Delete forever" cannot be
// told apart from one that had turned risky before the press came: the page counted the press,
// the press says it cannot tell, and nothing deleted.
TEST_P(PressJourneys, AButtonThatRelabelsItselfWhenPressedIsPressedOnce) {
    ASSERT_NO_FATAL_FAILURE(launch("toggles.html"));
    ASSERT_NO_FATAL_FAILURE(launchOther());
    for (const auto& [label, counter, after] : {std::tuple{"Play", "play", "Pause"},
                                                {"Pause", "play", "Play"},
                                                {"Like", "like", "Liked"},
                                                {"Copy link", "copy", "Copied!"},
                                                {"Show more", "more", "Show less"}}) {
        SCOPED_TRACE(label);
        const int before = counts()[counter];
        ASSERT_NO_FATAL_FAILURE(takeKeyboard());
        const PressOutcome outcome = press(readWith(label), label);
        EXPECT_EQ(countBecomes(counter, before + 1), before + 1);
        EXPECT_EQ(said(outcome), "pressed");
        // The browser may show the focus the press gave it before the new label.
        EXPECT_THAT(outcome.relabelled, ::testing::AnyOf(after, "")) << outcome.told;
    }
    ASSERT_NO_FATAL_FAILURE(takeKeyboard());
    EXPECT_EQ(said(press(readWith("Archive"), "Archive")), "unsure");
    EXPECT_EQ(countBecomes("archive", 1), 1);
    EXPECT_EQ(countBecomes("deleted", 1, 1), 0);
}

// Lists of rows with one identical button each, the first row's chosen; what the press says
// agrees with what the page counted, and no other row's button ever runs:
// - an inbox whose chosen row the page removes itself while the overlay is open, or 0, 50, 150
//   or 400 ms after the browser gets the keyboard back: nothing pressed, told it went away; or,
//   where the browser told the row going before it answered the press, cannot tell; pressed
//   only where the page counted it;
// - a board drawn anew every second with a "Watch" in every row and ticking prices: pressed;
// - a Vue 3 inbox without keys whose chosen mail is taken off while the overlay is open (its
//   elements then show the next mails): nothing archived, told so; or a mail put above it (its
//   mail then shows in the next row's elements): that mail archived; also in rows of plain
//   boxes, which Firefox leaves out, its words folded into them;
// - a task list drawn anew after its "Remove": pressed;
// - a Bootstrap 5 modal, or a plain box over the whole window, put up as the window gets the
//   keyboard back: nothing behind it pressed; a modal 80 ms later: told as the page counted;
// - a jQuery UI date picker's "Next", which draws the picker anew on the next month: pressed;
// - and the quiet press of each, pressed.
// Vue, Bootstrap and jQuery UI come from the npm registry at pinned versions.
TEST_P(PressJourneys, ThePressGoesToTheRowTheUserSawOrNowhere) {
    testing::ScratchFolder folder{"rows"};
    ASSERT_EQ(std::system(("npm install --prefix '" + folder.string() +
                           "' --no-save --no-audit --no-fund --silent vue@3.5.13 bootstrap@5.3.3 "
                           "jquery@3.7.1 jquery-ui@1.14.1")
                              .c_str()),
              0);
    std::filesystem::copy_file(ownFixture("rows.html"), folder.path() / "rows.html");
    ASSERT_NO_FATAL_FAILURE(launch((folder.path() / "rows.html").string()));
    ASSERT_NO_FATAL_FAILURE(launchOther());
    // What the press must say; either: as its timing falls (pressed where the page counted it,
    // else gone, refused or cannot tell); shown: pressed, or cannot tell where the browser shows
    // no text of what the row shows, or where a row goes with the press in Firefox, which answers
    // the action before its page gets the click: on a loaded machine the row's going comes in
    // with the answer, as a page's own would.
    enum class Told { pressed, notPressed, either, shown };
    struct Case {
        const char* setUp;      // the page's set-up button
        const char* label;      // the button in every row
        const char* whileOpen;  // the page's button run while the overlay is open ("": none)
        Told told;              // what the press must say (either: as its timing falls)
        const char* refused;    // why not, when not pressed
    };
    const Case cases[] = {
        {"Set up quiet", "Delete", "", firefox() ? Told::shown : Told::pressed, ""},
        {"Set up quiet", "Delete", "Remove first", Told::notPressed, "gone"},
        {"Set up 0", "Delete", "", Told::either, "gone"},
        {"Set up 50", "Delete", "", Told::either, "gone"},
        {"Set up 150", "Delete", "", Told::either, "gone"},
        {"Set up 400", "Delete", "", Told::either, "gone"},
        {"Set up board", "Watch", "", Told::pressed, ""},
        {"Set up keyless", "Archive", "", Told::pressed, ""},
        {"Set up keyless", "Archive", "Remove first", Told::notPressed, "changed"},
        {"Set up keyless", "Archive", "Add on top", Told::pressed, ""},
        {"Set up flat", "Archive", "Remove first", Told::notPressed, "changed"},
        {"Set up flat", "Archive", "Add on top", Told::pressed, ""},
        {"Set up tasks", "Remove", "", firefox() ? Told::shown : Told::pressed, ""},
        // Firefox shows no text of the picker's month: its next drawing looks like this one. A
        // loaded Chromium may tell the new month with the action's answer: cannot tell.
        {"Set up picker", "Next", "", Told::shown, ""},
        {"Set up modal quiet", "Save settings", "", Told::pressed, ""},
        {"Set up cover", "Save settings", "", Told::notPressed, ""},
        // The browser's own prompt: answered (Escape) after the press, then nothing ran behind.
        {"Set up prompt", "Save settings", "", Told::notPressed, ""},
        // 80 ms late, the modal comes after the press, as it would after a click: either way, what
        // the app says is what the page did.
        {"Set up modal late", "Save settings", "", Told::either, ""},
        {"Set up modal", "Save settings", "", Told::notPressed, ""},
    };
    int set = counts()["case"];
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.setUp) + ", while open: " + c.whileOpen);
        ASSERT_NO_FATAL_FAILURE(takeKeyboard());
        ASSERT_NO_FATAL_FAILURE(pressDirectly(c.setUp));
        ASSERT_EQ(countBecomes("case", ++set, 10), set);
        const std::size_t rows =
            std::string_view(c.label) == "Save settings" || std::string_view(c.label) == "Next" ? 1
                                                                                                : 6;
        const WindowSnapshot reading = read([&](const WindowSnapshot& s) {
            return static_cast<std::size_t>(
                       std::count_if(s.candidates.begin(), s.candidates.end(),
                                     [&](const auto& x) { return x.label() == c.label; })) == rows;
        });
        if (*c.whileOpen != 0) {
            ASSERT_NO_FATAL_FAILURE(pressDirectly(c.whileOpen));
            ASSERT_EQ(countBecomes("moved", 1, 10), 1);
        }
        const PressOutcome outcome = press(reading, c.label);  // the first row's
        if (std::string_view(c.setUp) == "Set up prompt") {
            EXPECT_EQ(outcome.told, "a prompt of the page is in front of it") << said(outcome);
            EXPECT_TRUE(testing::xdotool("key Escape"));
        }
        const bool unsure = outcome.failure == PressFailure::unsure;
        if (c.told == Told::pressed || c.told == Told::notPressed) {
            EXPECT_EQ(outcome.route.has_value(), c.told == Told::pressed) << said(outcome);
        } else if (c.told == Told::shown) {
            EXPECT_TRUE(outcome.route || unsure) << said(outcome);
        }
        // A row the page removes just as the action reaches it may refuse the action, or be told
        // going before the browser answered it.
        const bool racing = c.told == Told::either && (said(outcome) == "refused" || unsure);
        if (!outcome.route && *c.refused != 0 && !racing) {
            EXPECT_EQ(said(outcome), c.refused) << outcome.told;
        }
        if (outcome.route) {
            EXPECT_EQ(countBecomes("chosen", 1), 1) << "told as pressed";
        } else if (unsure && (c.told == Told::shown || c.told == Told::either)) {
            EXPECT_LE(countBecomes("chosen", 1), 1) << "cannot tell: once at most";
        } else {
            EXPECT_NE(said(outcome), "unsure") << outcome.told;
            EXPECT_EQ(countBecomes("chosen", 1, 1), 0) << "told as not pressed";
        }
        EXPECT_EQ(countBecomes("other", 1, 1), 0) << "another row's button ran";
        if (const std::string_view setUp = c.setUp;
            setUp == "Set up modal" || setUp == "Set up modal late" || setUp == "Set up cover" ||
            setUp == "Set up prompt") {
            EXPECT_EQ(countBecomes("asked", 1), 1) << "the modal never opened";
        }
    }
}

// A page with a clock that ticks every 250 ms and a carousel, both away from its button: each
// press lands, once, and is told as pressed. (How soon is the press-latency tool's to measure.)
TEST_P(PressJourneys, APressOnAPageThatNeverStandsStillLands) {
    ASSERT_NO_FATAL_FAILURE(launch("clock.html"));
    ASSERT_NO_FATAL_FAILURE(launchOther());
    for (int pressed = 1; pressed <= 3; ++pressed) {
        SCOPED_TRACE(pressed);
        ASSERT_NO_FATAL_FAILURE(takeKeyboard());
        EXPECT_EQ(said(press(readWith("Count"), "Count")), "pressed");
        EXPECT_EQ(countBecomes("count", pressed), pressed);
    }
}

INSTANTIATE_TEST_SUITE_P(Browsers, PressJourneys, ::testing::Values(false, true),
                         [](const auto& browser) {
                             return browser.param ? "Firefox" : "Chromium";
                         });

}  // namespace
}  // namespace ovra
