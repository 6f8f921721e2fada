#include "app/shell/LaunchFlags.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

#include "app/shell/FakeShellController.h"
#include "app/shell/LaunchSequence.h"
#include "platform/scheduler/ManualScheduler.h"

namespace ovra {
namespace {

using Flag = ScheduledFlag;

TEST(LaunchFlags, AValueIsTheArgumentAfterTheFirstOccurrence) {
    const LaunchFlags flags({"--dump", "--tree", "chromium", "--tree", "other", "--press-test"});
    EXPECT_TRUE(flags.has("--tree"));
    EXPECT_FALSE(flags.has("--Tree"));
    // Used unchanged even when it looks like a flag; none when the flag is last.
    EXPECT_EQ(flags.value("--dump"), "--tree");
    EXPECT_EQ(flags.value("--tree"), "chromium");
    EXPECT_EQ(flags.value("--press-test"), std::nullopt);
    EXPECT_EQ(flags.rest("--tree"),
              (std::vector<std::string>{"chromium", "--tree", "other", "--press-test"}));

    const auto plan = LaunchPlan::from(LaunchFlags(
        {"--key-test", "--demo", "--key-test", "x", "--dashboard", "look", "--overlay-snapshot"}));
    EXPECT_EQ(plan.keyTest, "--demo");
    EXPECT_TRUE(plan.demo);
    EXPECT_EQ(plan.dashboard, OvraPane::home);  // "look" names no pane
    EXPECT_EQ(plan.overlaySnapshot, "/tmp/ovra-overlay.png");
    EXPECT_EQ(LaunchPlan::from(LaunchFlags({"--dashboard", "Look"})).dashboard, OvraPane::look);
    // The title the window shows, and the stored id.
    for (const char* name : {"Desktop accessibility", "Mac accessibility"})
        EXPECT_EQ(LaunchPlan::from(LaunchFlags({"--dashboard", name})).dashboard, OvraPane::mac);
    EXPECT_EQ(LaunchPlan::from(LaunchFlags({"--press-test"})).pressTest, "");
}

TEST(LaunchFlags, FlagsAreScheduledInOrderWithTheirDelaysAndDumpStartsNothing) {
    const auto plan = LaunchPlan::from(LaunchFlags(
        {"--demo", "--scroll-test", "--keyboard-test", "--find-test", "--overlay-snapshot", "p",
         "--credits-test", "--trigger-after", "0.5", "--key-test", "--settings-scene", "--home",
         "--snapshot", "s", "--dashboard"}));
    EXPECT_EQ(plan.schedule(), (std::vector<ScheduledAction>{{Flag::dashboard, 1.0},
                                                             {Flag::snapshot, 1.5},
                                                             {Flag::home, 1.5},
                                                             {Flag::settingsScene, 1.5},
                                                             {Flag::keyTest, 2.0},
                                                             {Flag::triggerAfter, 0.5},
                                                             {Flag::creditsTest, 2.0},
                                                             {Flag::overlaySnapshot, 1.5},
                                                             {Flag::findTest, 1.5},
                                                             {Flag::keyboardTest, 2.0},
                                                             {Flag::scrollTest, 1.5},
                                                             {Flag::demo, 2.0}}));
    EXPECT_EQ(plan.mode(), LaunchPlan::Mode::selfTest);

    for (const char* diagnostic : {"--dump", "--tree", "--press-test"}) {
        const auto with = LaunchPlan::from(LaunchFlags({"--demo", "--home", diagnostic}));
        EXPECT_EQ(with.mode(), LaunchPlan::Mode::diagnostics) << diagnostic;
        EXPECT_TRUE(with.schedule().empty()) << diagnostic;
    }
    // Flags that leave the app running keep it the single app; an ignored trigger too.
    EXPECT_EQ(LaunchPlan::from(
                  LaunchFlags({"--home", "--demo", "--dashboard", "--trigger-after", "soon"}))
                  .mode(),
              LaunchPlan::Mode::app);
}

TEST(LaunchFlags, TriggerDelaysAreFiniteDecimalsUpToTheLimit) {
    const struct {
        const char* text;
        std::optional<double> seconds;
    } cases[] = {
        {"0.5", 0.5}, {"0", 0.0},        {"2147483", 2147483.0}, {"+3", 3.0}, {"1e2", 100.0},
        {"-4", 0.0},  {"2147483.5", {}}, {"1e300", {}},          {"nan", {}}, {"NaN", {}},
        {"inf", {}},  {"-inf", {}},      {"infinity", {}},       {" 1", {}},  {"1 ", {}},
        {"0x10", {}}, {"", {}},          {"soon", {}},           {"1,5", {}}, {"+-1", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parseTriggerDelay(c.text), c.seconds) << c.text;
    }
}

class FakeHost final : public LaunchHost {
  public:
    void print(const std::string& line) override { lines.push_back("out " + line); }
    void log(const std::string& line) override { lines.push_back("log " + line); }
    void exit(int code) override { exits.push_back(code); }
    void openHome() override { lines.push_back("home"); }
    void showFeature(const std::string& feature) override { lines.push_back("feature " + feature); }
    void setAppearance(std::optional<bool> dark) override {
        lines.push_back(!dark   ? "appearance system"
                        : *dark ? "appearance dark"
                                : "appearance light");
    }
    SettingsSnapshot writeSettingsSnapshot(const std::string& path) override {
        lines.push_back("write " + path);
        return snapshot;
    }
    void hideWideWindows() override { lines.push_back("hide wide"); }
    std::optional<std::string> pressSettingsCommand() override { return settingsCommand; }
    std::vector<WindowReport> visibleWindows() override { return windows; }
    bool modalWindowOpen() override { return false; }
    void showCredits() override { lines.push_back("credits"); }
    void postKeys(const std::vector<int>& codes) override {
        lines.push_back("keys " + std::to_string(codes.size()));
    }
    void overlaySnapshot(const std::string& path) override { lines.push_back("overlay " + path); }
    void findTest() override { lines.push_back("find"); }
    void keyboardTest() override { lines.push_back("keyboard"); }
    void scrollTest() override { lines.push_back("scroll"); }

    std::vector<std::string> lines;
    std::vector<int> exits;
    SettingsSnapshot snapshot;
    std::optional<std::string> settingsCommand;
    std::vector<WindowReport> windows;
};

struct Flags {
    explicit Flags(std::vector<std::string> args)
        : sequence(LaunchPlan::from(LaunchFlags(std::move(args))), controller, host, clock) {}
    void go(double seconds) {
        sequence.scheduleFlags();
        clock.advance(seconds);
    }
    FakeShellController controller;
    FakeHost host;
    ManualScheduler clock;
    LaunchSequence sequence;
};

// The lines of a record joined by "|", to compare whole records in one table cell.
std::string joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& line : lines) {
        out += (out.empty() ? "" : "|") + line;
    }
    return out;
}

TEST(LaunchSequence, EveryFlagPrintsItsLinesAndEndsWithItsCode) {
    const WindowReport settings{"Murmlark Ovra", Rect(10, 20, 900, 640), {880, 600}, true, true};
    const auto written = [](FakeHost& h) {
        h.snapshot = {SettingsSnapshot::Status::written, {900, 640.5}, {900, 612}, {820, 600}};
    };
    const auto cannotWrite = [](FakeHost& h) {
        h.snapshot.status = SettingsSnapshot::Status::cannotWrite;
    };
    const auto sceneWindows = [settings](FakeHost& h) {
        h.windows = {settings, {"Tip", Rect(0, 0, 90, 40), {}, true, true}};
    };
    const auto settingsWindow = [settings](FakeHost& h) { h.windows = {settings}; };
    const struct {
        const char* args;  // split at spaces
        std::function<void(FakeHost&)> setUp;
        const char* calls;  // of the controller, joined
        const char* lines;  // printed and logged, joined
        int exit;           // -1: the app keeps running
    } cases[] = {
        {"--dashboard Voice", nullptr, "dashboard Voice", "", -1},
        {"--home --demo", nullptr, "trigger", "home", -1},
        {"--snapshot /tmp/s.png why dark light", written, "dashboard Instructions",
         "feature why|appearance light|write /tmp/s.png|out snapshot: /tmp/s.png, window (900.0, "
         "640.5), content (900.0, 612.0), fitting (820.0, 600.0)",
         0},
        {"--snapshot /tmp/s.png dark", nullptr, "",
         "appearance dark|write /tmp/s.png|out snapshot: no window", 1},
        {"--snapshot /ro/s.png", cannotWrite, "",
         "appearance system|write /ro/s.png|out snapshot: cannot write /ro/s.png", 1},
        {"--snapshot", nullptr, "", "appearance system|out snapshot: no window", 1},
        {"--settings-scene", sceneWindows, "",
         "hide wide|log no Settings command with Ctrl+, in the app's windows|log visible window "
         "'Murmlark Ovra' 900x640",
         0},
        {"--credits-test", settingsWindow, "dashboard General",
         "credits|log credits-test: open windows [\"Murmlark Ovra\"]; modal session: none|log "
         "credits-test: Murmlark Ovra takes the first click: yes; frame {{10, 20}, {900, 640}}; "
         "content fits {880, 600}",
         0},
        {"--key-test", nullptr, "trigger|keys before keys|keys after Tab, Down, Down", "keys 3", 0},
        {"--key-test button", nullptr, "button|keys before keys|keys after Tab, Down, Down",
         "keys 3", 0},
        {"--trigger-after 1", nullptr, "trigger",
         "log trigger-after: pressed; model status Starting|log trigger-after: 12 s later, model "
         "status Starting",
         0},
        {"--overlay-snapshot --find-test --keyboard-test --scroll-test", nullptr, "",
         "overlay --find-test|find|scroll|keyboard", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        std::vector<std::string> args;
        std::istringstream words(c.args);
        for (std::string word; words >> word;) {
            args.push_back(word);
        }
        Flags run(args);
        if (c.setUp) {
            c.setUp(run.host);
        }
        run.go(20);
        EXPECT_EQ(joined(run.controller.calls), c.calls);
        EXPECT_EQ(joined(run.host.lines), c.lines);
        EXPECT_EQ(run.host.exits, c.exit < 0 ? std::vector<int>{} : std::vector<int>{c.exit});
    }
}

TEST(LaunchSequence, ActionsWaitForTheirDelaysAndNothingRunsAfterTheEnd) {
    Flags run({"--trigger-after", "0.5", "--demo", "--key-test", "--demo"});
    run.controller.overlayShown = true;
    run.sequence.scheduleFlags();
    run.clock.advance(0.49);
    EXPECT_TRUE(run.controller.calls.empty());
    run.clock.advance(0.01);
    EXPECT_EQ(run.controller.calls, (std::vector<std::string>{"trigger"}));
    run.clock.advance(
        1.5);  // 2.0 s: the key test toggles the shown overlay shut, the demo triggers
    EXPECT_EQ(run.controller.calls, (std::vector<std::string>{"trigger", "dismiss", "trigger"}));
    run.clock.advance(4);  // the key test ends at 5.5 s; the trigger test then ends nothing
    run.clock.advance(100);
    EXPECT_EQ(run.host.exits, (std::vector<int>{0}));
}

TEST(LaunchSequence, TheKeyTestPutsTheSidebarSettingBackBeforeItEnds) {
    Flags run({"--key-test"});
    run.controller.preferences.set(keys::sidebar, false);
    run.sequence.scheduleFlags();
    run.clock.advance(2.0);
    EXPECT_TRUE(run.controller.preferences.get(keys::sidebar));
    run.clock.advance(5);
    EXPECT_EQ(run.host.exits, (std::vector<int>{0}));
    EXPECT_FALSE(run.controller.preferences.get(keys::sidebar));
    EXPECT_EQ(run.controller.defaults.object("sidebar"), false);
}

TEST(LaunchFlags, TheHelpListsEveryExitCodeOfTheDiagnostics) {
    for (const char* code : {"0 when done", "1 when", "2 when", "3 when"})
        EXPECT_NE(usage().find(code), std::string::npos) << code;
}

}  // namespace
}  // namespace ovra
