#include "app/shell/HomeIslandController.h"

#include <gtest/gtest.h>

#include "app/shell/FakeShellController.h"
#include "platform/scheduler/ManualScheduler.h"

namespace ovra {
namespace {

class FakePanel final : public IslandPanel {
  public:
    void present(const IslandScreen&) override { visible = true; }
    void orderOut() override { visible = false; }
    bool isVisible() const override { return visible; }
    bool hasKeyboard() const override { return visible; }
    void setKeyHandler(KeyHandler handler) override { onKey = std::move(handler); }
    void announce(const std::string& text) override { announced.push_back(text); }
    bool visible = false;
    KeyHandler onKey;
    std::vector<std::string> announced;
};

class FakeTray final : public TrayItem {
  public:
    void showName(bool show) override { names.push_back(show); }
    void popUpMenu(const std::vector<MenuEntry>& entries,
                   std::function<void(const std::string&)> picked) override {
        menu = entries;
        pick = std::move(picked);
    }
    std::vector<bool> names;
    std::vector<MenuEntry> menu;
    std::function<void(const std::string&)> pick;
};

KeyInput key(int code, std::string characters = "", bool shift = false, bool repeat = false) {
    KeyInput k;
    k.keyCode = code;
    if (!characters.empty()) {
        k.characters = characters;
    }
    k.shift = shift;
    k.isRepeat = repeat;
    return k;
}

struct Island : testing::Test {
    Island() { island.install(tray); }
    HomeIslandController::Services services() {
        HomeIslandController::Services made{app, clock, pointer};
        made.makePanel = [this](HomeIslandModel&, IslandCallbacks given) {
            callbacks = given;
            auto fake = std::make_unique<FakePanel>();
            panel = fake.get();
            return fake;
        };
        made.pointerLocation = [] { return Point{5, 5}; };
        made.reduceMotion = [] { return false; };
        made.beep = [this] { ++beeps; };
        made.print = [this](const std::string& line) { traces.push_back(line); };
        made.actions = {[this] { ++quits; }, {}};
        made.traceKeys = true;
        return made;
    }
    bool press(int code, std::string characters = "", bool shift = false, bool repeat = false) {
        return panel->onKey(key(code, std::move(characters), shift, repeat));
    }
    void open() {
        island.open(screen);
        clock.runDue();
    }
    std::string selected() { return island.model().selectedItem()->id; }

    FakeShellController app;
    ManualScheduler clock;
    PointerIntent pointer;
    FakeTray tray;
    FakePanel* panel = nullptr;
    IslandCallbacks callbacks;
    int beeps = 0;
    int quits = 0;
    std::vector<std::string> traces;
    IslandScreen screen{Rect(0, 0, 1280, 1024), Rect(0, 28, 1280, 996), 0};
    HomeIslandController island{services()};
};

TEST_F(Island, ItemsFollowThePermissionAndTheAppInFront) {
    app.isTrusted = false;
    app.target = "Firefox";
    app.notice = "Alt+Space is used by another app, so Ovra uses F13.";
    open();
    const auto& items = island.model().items();
    ASSERT_EQ(items.size(), 7u);
    EXPECT_EQ(selected(), "permission");
    EXPECT_EQ(items[1].title, "Simplify Firefox");
    EXPECT_EQ(island.model().status(),
              (std::vector<std::string>{"Accessibility access needed", "Using built-in rules",
                                        *app.notice}));
    EXPECT_EQ(panel->announced.back(),
              "Murmlark Ovra menu. 7 choices. 1, Turn on Accessibility access");
    EXPECT_EQ(island.model().geometry.topInset, 28);
    EXPECT_TRUE(island.model().open());

    island.close();
    clock.advance(1);
    app.isTrusted = true;
    app.target.reset();
    open();
    EXPECT_EQ(island.model().items().size(), 6u);
    EXPECT_EQ(island.model().items()[0].title, "Simplify this screen");
}

TEST_F(Island, KeysMoveChooseAndBeep) {
    open();  // six items, "ovras" selected
    const struct {
        int code;
        std::string characters;
        bool shift;
        int selection;  // 0-based after the key
        int beeps;
    } steps[] = {
        {126, "", false, 5, 0},  // Up from the first wraps to the last
        {125, "", false, 0, 0},  // Down from the last wraps to the first
        {48, "", true, 5, 0},    // Shift-Tab
        {48, "", false, 0, 0},   {124, "", false, 1, 0},  {123, "", false, 0, 0},
        {20, "3", false, 2, 0},  // "3" selects without opening
        {29, "0", false, 2, 1},  {28, "8", false, 2, 2},  {0, "a", false, 2, 3},
        {20, "+4", false, 3, 3}, {27, "-1", false, 3, 4}, {999, "", false, 3, 5},
    };
    for (const auto& s : steps) {
        EXPECT_TRUE(press(s.code, s.characters, s.shift));
        EXPECT_EQ(island.model().selection(), s.selection) << s.code << s.characters;
        EXPECT_EQ(beeps, s.beeps) << s.code << s.characters;
    }
    EXPECT_EQ(panel->announced.back(), "4, Desktop accessibility features");
    EXPECT_EQ(traces.back(), "island: key 999 selection: 3 open: true");
    EXPECT_EQ(island.devNumber("quit"), 6);
}

TEST_F(Island, ReturnActsOnceAfterTheIslandHasClosed) {
    open();
    press(126);  // "quit"
    EXPECT_TRUE(press(36));
    EXPECT_TRUE(press(36, "", false, true));  // swallowed while closing
    EXPECT_TRUE(panel->visible);
    EXPECT_EQ(quits, 0);
    clock.advance(HomeIslandController::kOrderOutDelay);
    EXPECT_FALSE(panel->visible);
    EXPECT_EQ(quits, 1);

    open();
    EXPECT_TRUE(press(36, "", false, true));  // a held Return's repeat does nothing
    clock.advance(1);
    EXPECT_TRUE(panel->visible);
    press(49);  // Space opens the ovras entry: the request runs after the close
    clock.advance(1);
    open();
    KeyInput settings = key(43, ",");
    settings.command = true;  // Ctrl+,
    EXPECT_TRUE(panel->onKey(settings));
    clock.advance(1);
    EXPECT_EQ(app.calls, (std::vector<std::string>{"trigger", "dashboard General"}));
}

// The entry was heard when it was selected: a key that shuts the menu adds nothing, and
// nothing is said once it is shut.
TEST_F(Island, KeysThatCloseTheMenuSayNothing) {
    const struct {
        int code;
        std::string characters;
        bool command;
    } closing[] = {{53, "", false}, {36, "", false}, {49, "", false}, {43, ",", true}};
    for (const auto& c : closing) {
        open();
        press(125);
        ASSERT_EQ(panel->announced.back(), "2, Settings");
        const std::size_t heard = panel->announced.size();
        KeyInput k = key(c.code, c.characters);
        k.command = c.command;
        EXPECT_TRUE(panel->onKey(k));
        EXPECT_TRUE(panel->onKey(key(125)));  // swallowed while closing
        clock.advance(1);
        EXPECT_FALSE(panel->visible) << c.code;
        EXPECT_EQ(panel->announced.size(), heard) << c.code;
    }
}

TEST_F(Island, ASecondCloseIsNeitherLostNorRunTwiceAndAnOpenCancelsAClose) {
    open();
    callbacks.activate(1);  // "settings"
    callbacks.activate(2);  // ignored while closing
    callbacks.dismiss();    // likewise
    press(53);
    clock.advance(1);
    EXPECT_EQ(app.calls, (std::vector<std::string>{"dashboard Home"}));
    EXPECT_EQ(std::count(traces.begin(), traces.end(), "island: close selection: 0 open: true"), 1);

    open();
    callbacks.activate(5);  // quit, then the island opens again before it is ordered out
    clock.advance(0.1);
    open();
    clock.advance(1);
    EXPECT_EQ(quits, 0);
    EXPECT_TRUE(panel->visible);
    EXPECT_TRUE(island.model().open());
    callbacks.hidden();  // the desktop hid the window: shut, nothing pending
    EXPECT_FALSE(island.isOpen());
}

TEST_F(Island, EscapeClosesAnEmptyIslandAndOtherKeysBeep) {
    open();
    island.model().setContent({}, {});
    EXPECT_TRUE(press(125));
    EXPECT_TRUE(press(36));
    EXPECT_EQ(beeps, 0);
    EXPECT_TRUE(press(20, "3"));
    EXPECT_EQ(beeps, 1);
    EXPECT_TRUE(press(53));
    clock.advance(1);
    EXPECT_FALSE(panel->visible);
}

TEST_F(Island, TrayClicksFollowTheBirdClickSetting) {
    app.preferences.set(keys::birdClick, BirdClickSetting::home);
    island.clicked(true, screen);
    ASSERT_EQ(tray.menu.size(), 6u + 2u);  // six items, then two status lines
    EXPECT_EQ(tray.menu.back().id, "");
    tray.pick("instructions");
    tray.pick("permission");  // gone since the permission came: nothing
    EXPECT_EQ(app.calls, (std::vector<std::string>{"dashboard Instructions"}));
    EXPECT_EQ(panel, nullptr);
    island.clicked(false, screen);
    clock.runDue();
    EXPECT_TRUE(island.isOpen());
    island.clicked(false, screen);
    EXPECT_FALSE(island.model().open());

    clock.advance(1);
    app.preferences.set(keys::birdClick, BirdClickSetting::simplify);
    island.clicked(true, screen);
    clock.runDue();
    EXPECT_TRUE(island.isOpen());
    island.clicked(false, screen);  // closes the island, then toggles the overlay
    EXPECT_FALSE(island.model().open());
    EXPECT_EQ(app.calls.back(), "birdSimplify");

    app.preferences.set(keys::menuBarName, false);
    app.preferences.set(keys::menuBarName, true);
    clock.runDue();
    EXPECT_EQ(tray.names, (std::vector<bool>{true, false, true}));
}

TEST(MenuBarLanding, MiddleOfTheTopPanelInsideTheRightEdge) {
    const std::vector<IslandScreen> screens = {
        {Rect(0, 0, 1280, 1024), Rect(0, 28, 1280, 996), 0},
        {Rect(1280, 0, 800, 600), Rect(1280, 0, 800, 600), 1}};
    EXPECT_EQ(menuBarLanding(Rect(1250, 900, 56, 56), screens), (Point{1250, 14}));
    EXPECT_EQ(menuBarLanding(Rect(100, 900, 56, 56), screens), (Point{128, 14}));
    EXPECT_EQ(menuBarLanding(Rect(1500, 300, 56, 56), screens), std::nullopt);  // no top panel
    EXPECT_EQ(menuBarLanding(Rect(0, 0, 1, 1), {}), std::nullopt);
    // Where the tray tells its icon's place, there: also without a top panel.
    EXPECT_EQ(menuBarLanding(Rect(1500, 300, 56, 56), screens, Rect(1900, 570, 20, 20)),
              (Point{1910, 580}));
}

}  // namespace
}  // namespace ovra
