// Runs murmlark-ovra's diagnostics against real apps on the private desktop: Chromium on the
// fixture pages and a GTK app.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "platform/x11/X11Workspace.h"
#include "testing/desktop/Commands.h"
#include "testing/desktop/LaunchedApp.h"
#include "testing/desktop/TwoMonitors.h"

namespace ovra {
namespace {

using ::testing::AllOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using testing::LaunchedApp;
using ::testing::MatchesRegex;
using ::testing::StartsWith;

// A run of the executable: its exit code and lines.
struct Output {
    int exitCode = -1;
    std::vector<std::string> lines;

    // The plan line of the control with this label; empty when there is none.
    std::string lineOf(const std::string& label) const {
        for (const auto& line : lines) {
            if (line.find(" \"" + label + "\" ") != std::string::npos) {
                return line;
            }
        }
        return "";
    }
    std::string text() const {
        std::string out;
        for (const auto& line : lines) {
            out += line + "\n";
        }
        return out;
    }
};

// Runs the executable with `arguments` (none may hold a single quote) after `environment`, words
// for env(1) such as "-u NAME" or "NAME=value".
Output murmlark(const std::vector<std::string>& arguments, const std::string& environment = "") {
    std::string command = "env " + environment + " '" OVRA_EXECUTABLE "'";
    for (const auto& argument : arguments) {
        command += " '" + argument + "'";
    }
    const testing::CommandOutput run = testing::run(command);
    return {run.exitCode, run.lines()};
}

std::filesystem::path sourceDir() {
    const char* source = std::getenv("OVRA_SOURCE_DIR");
    return source ? source : ".";
}

constexpr const char* kRulesOnly = "-u OVRA_CLASSIFIER_DIR";

class RealAppDumps : public ::testing::Test {
  protected:
    // Chromium on a fixture page, once its page shows `control` and its window the page's
    // title (the window's title follows the page's a moment later).
    void openPage(const std::string& page, const std::string& control,
                  const std::string& title = "") {
        app_ = LaunchedApp::chromium(testing::fixtureUrl(page));
        ASSERT_TRUE(app_.running());
        ASSERT_TRUE(testing::eventually([&] {
            dump_ = murmlark({"--dump", "chromium"}, kRulesOnly);
            return !dump_.lineOf(control).empty() &&
                   dump_.lines[0].find(title) != std::string::npos;
        })) << dump_.text();
    }

    LaunchedApp app_;
    Output dump_;
};

// One Chromium on the news page: its plan with the rules alone and with the fixture model, its
// tree, then the banner pressed by its exact label.
TEST_F(RealAppDumps, NewsPagePlanTreeAndPress) {
    openPage("news.html", "Reject all", "Daily Ledger");
    EXPECT_EQ(dump_.exitCode, 0);
    ASSERT_GE(dump_.lines.size(), 4u);
    EXPECT_THAT(dump_.lines[0], MatchesRegex("app=Chromium window=\"Daily Ledger.*\" "
                                             "frame=\\(.*\\) candidates=[0-9]+ ax=[0-9]+ms"));
    EXPECT_THAT(dump_.lines[1], StartsWith("viewport=("));
    EXPECT_EQ(dump_.lines[2], "model: not installed, built-in rules");
    EXPECT_THAT(dump_.lineOf("Reject all"),
                AllOf(MatchesRegex("#[0-9] beacon .*"), HasSubstr("Cookie choice")));
    EXPECT_THAT(dump_.lineOf("Subscribe to Premium"),
                StartsWith("   suppressed distraction_or_upsell"));
    EXPECT_THAT(dump_.lines, Contains("steps (keyboard only \u2192 with Ovra):"));

    // The fixture model decides through the developer folder.
    const auto folder =
        std::filesystem::temp_directory_path() / ("ovra-model-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    std::filesystem::copy(sourceDir() / "platform/model/tests/fixtures/OvraClassifier.mlpackage",
                          folder / "OvraClassifier.mlpackage",
                          std::filesystem::copy_options::recursive);
    std::filesystem::copy_file(sourceDir() / "core/tests/fixtures/tokenizer/bytelevel.json",
                               folder / "tokenizer.json");
    const Output model = murmlark({"--dump", "chromium"}, "OVRA_CLASSIFIER_DIR=" + folder.string());
    std::filesystem::remove_all(folder);
    EXPECT_EQ(model.exitCode, 0) << model.text();
    ASSERT_GE(model.lines.size(), 3u) << model.text();
    EXPECT_THAT(model.lines[2], MatchesRegex("model: murmlark-ovra/en [0-9]+ ms"));
    EXPECT_THAT(model.lineOf("Reject all"), MatchesRegex("#[0-9] beacon .*"));

    // The tree walk passes the browser's toolbar, sliders included, before it reaches the page.
    const Output tree = murmlark({"--tree", "chromium"});
    EXPECT_EQ(tree.exitCode, 0);
    ASSERT_GE(tree.lines.size(), 2u);
    EXPECT_THAT(tree.lines[0],
                MatchesRegex("AXWindow d=0 kids=[0-9]+ -?[0-9]+,-?[0-9]+ [0-9]+x[0-9]+"));
    EXPECT_THAT(tree.lines.back(),
                MatchesRegex("FOUND web area at depth [0-9]+, path (\\.[0-9]+)+"))
        << tree.text();
    EXPECT_THAT(tree.lines[tree.lines.size() - 2], HasSubstr("AXWebArea d="));
    EXPECT_LE(tree.lines.size(), 402u);
    EXPECT_TRUE(app_.running()) << "Chromium ended while its tree was dumped";
    const Output unnamed = murmlark({"--tree"});
    EXPECT_EQ(unnamed.exitCode, 2);
    EXPECT_THAT(unnamed.lines, ElementsAre("no window"));

    const Output missing = murmlark({"--press-test", "Reject"});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_THAT(missing.lines, ElementsAre("press-test: no control labeled \"Reject\""));
    const Output run = murmlark({"--press-test", "Reject all"});
    EXPECT_EQ(run.exitCode, 0);
    ASSERT_EQ(run.lines.size(), 1u) << run.text();
    EXPECT_THAT(run.lines[0],
                AllOf(StartsWith("press-test \"Reject all\" role=AXButton actions=["),
                      HasSubstr("\"AXPress\""), HasSubstr("web=true title: \"Daily Ledger")));
    // The banner closes on either of its choices.
    EXPECT_TRUE(testing::eventually(
        [&] {
            dump_ = murmlark({"--dump", "chromium"}, kRulesOnly);
            return dump_.exitCode == 0 && dump_.lineOf("Reject all").empty() &&
                   !dump_.lineOf("Share").empty();
        },
        10))
        << dump_.text();
}

// The press test reports the title the pressed control leaves behind; it brings the browser
// forward from behind another app and presses the button by its own action, without moving the
// pointer onto the page. (The sign-up form's pre-ticked offers are flagged in Firefox's dump
// below.)
TEST_F(RealAppDumps, PressTestBringsTheBrowserFromBehindAnotherAppAndPressesThere) {
    openPage("pointer.html", "Continue");
    auto opened = x11::Workspace::open();
    ASSERT_TRUE(opened.ok()) << opened.error();
    const auto workspace = std::move(opened).value();
    auto pidOfActive = [&]() -> std::int64_t {
        auto active = workspace->activeWindow();
        return active && active->pid ? *active->pid : 0;
    };
    // Another app's window opens in front of the browser.
    LaunchedApp other = LaunchedApp::start({"gtk3-widget-factory"});
    ASSERT_TRUE(other.running());
    ASSERT_TRUE(testing::eventually([&] { return pidOfActive() == other.pid(); }))
        << "the other app never came to the front";

    const Output run = murmlark({"--press-test", "Continue"});
    EXPECT_EQ(run.exitCode, 0);
    ASSERT_EQ(run.lines.size(), 1u) << run.text();
    // The browser was brought forward and its button pressed where it is, the pointer left
    // where it was.
    EXPECT_THAT(run.lines[0], MatchesRegex("press-test \"Continue\" role=AXButton .* web=true "
                                           "title: \"Pointer check.*\" -> "
                                           "\"Pressed 1 without the pointer.*\""));
    EXPECT_EQ(pidOfActive(), app_.pid());
}

TEST_F(RealAppDumps, FirefoxReadsOnlyTheTabInFrontAndFlagsTheOptInInsideItsLabel) {
    const testing::ScratchFolder profile("firefox");
    auto shows = [&](const std::string& control) {
        return testing::eventually([&] {
            dump_ = murmlark({"--dump", "firefox-esr"}, kRulesOnly);
            return !dump_.lineOf(control).empty();
        });
    };
    app_ = LaunchedApp::firefox(testing::fixtureUrl("news.html"), profile.string());
    ASSERT_TRUE(shows("Reject all")) << dump_.text();
    EXPECT_THAT(dump_.lineOf("Reject all"), StartsWith("#1 beacon")) << dump_.text();
    // A second tab in front of the first.
    LaunchedApp second = LaunchedApp::firefox(testing::fixtureUrl("signup.html"), profile.string());
    ASSERT_TRUE(shows("Send me partner offers")) << dump_.text();
    EXPECT_THAT(dump_.lineOf("Send me partner offers"), HasSubstr("Pre-ticked"));
    EXPECT_EQ(dump_.lineOf("Reject all"), "") << dump_.text();
    second.stop();
    app_.stop();
}

// Also when another app's window stands in front of it: the dump reads the named app's window.
TEST_F(RealAppDumps, GtkAppIsDumpedByItsProcessName) {
    app_ = LaunchedApp::start({"gtk3-widget-factory"});
    ASSERT_TRUE(app_.running());
    ASSERT_TRUE(testing::eventually([&] {
        dump_ = murmlark({"--dump", "gtk3-widget-factory"}, kRulesOnly);
        return !dump_.lineOf("togglebutton").empty();
    })) << dump_.text();
    EXPECT_EQ(dump_.exitCode, 0);
    EXPECT_THAT(dump_.lines[0], StartsWith("app=gtk3-widget-factory window="));
    EXPECT_THAT(dump_.lines, Contains(StartsWith("#1 beacon ")));

    const Output tree = murmlark({"--tree", "gtk3-widget-factory"});
    EXPECT_EQ(tree.exitCode, 0);
    EXPECT_THAT(tree.lines.front(), StartsWith("AXWindow d=0 "));
    EXPECT_EQ(tree.lines.back(), "no AXWebArea within the first nodes");

    auto opened = x11::Workspace::open();
    ASSERT_TRUE(opened.ok()) << opened.error();
    const auto workspace = std::move(opened).value();
    const LaunchedApp other = LaunchedApp::start({"gtk3-demo"});
    ASSERT_TRUE(testing::eventually([&] {
        const auto active = workspace->activeWindow();
        return active && active->pid && *active->pid == other.pid();
    })) << "the other app never came to the front";
    const Output behind = murmlark({"--dump", "gtk3-widget-factory"}, kRulesOnly);
    EXPECT_EQ(behind.exitCode, 0) << behind.text();
    EXPECT_THAT(behind.lines, Contains(StartsWith("app=gtk3-widget-factory window=")));
    EXPECT_NE(behind.lineOf("togglebutton"), "") << behind.text();
}

// A window across two side-by-side monitors, its middle on the left one: the dump lists the
// buttons on both, as the overlay numbers them, also the ones wholly on the right monitor.
TEST_F(RealAppDumps, AWindowAcrossTwoMonitorsIsDumpedOnBoth) {
    openPage("monitors.html", "Cancel", "Monitors");
    testing::TwoMonitors monitors;
    ASSERT_TRUE(monitors.arrange(true)) << monitors.problem();
    const Output across = murmlark({"--dump", "chromium"}, kRulesOnly);
    EXPECT_EQ(across.exitCode, 0) << across.text();
    for (const char* label : {"Print", "Help", "Close", "Send message", "Cancel"}) {
        EXPECT_NE(across.lineOf(label), "") << label << "\n" << across.text();
    }
}

}  // namespace
}  // namespace ovra
