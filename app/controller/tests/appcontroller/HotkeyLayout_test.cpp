// The main hotkey named by a letter is grabbed where the layout types that letter, and moves
// with the layout, as the find hotkey does.

#include "app/controller/tests/appcontroller/AppControllerFixture.h"

namespace ovra::controllertest {
namespace {

TEST_F(AppControllerTest, TheMainHotkeysLetterFollowsTheLayout) {
    prefs_.set(keys::hotkeyID, std::string("ctrl-opt-f"));
    hotkeys::FakeHotkeyGrabber& grabber = grabber_;
    std::function<void()> layoutChanged;
    std::uint16_t fKey = 3;  // where the layout types f: the US position
    AppController::Startup startup;
    startup.hotkeys = &grabber;
    startup.letterKeyCode = [&](std::uint16_t code) { return code == 3 ? fKey : code; };
    startup.watchLayout = [&](auto changed) { layoutChanged = changed; };
    controller().start(startup);
    scheduler_.runDue();
    const auto main = [&] { return grabber.grabbed().at(1).keyCode; };
    EXPECT_EQ(main(), 3);

    fKey = 16;  // Dvorak types f where US types y
    layoutChanged();
    EXPECT_EQ(main(), 16);
    EXPECT_TRUE(grabber.press({16, HotkeyModifier::control | HotkeyModifier::option}));
    EXPECT_TRUE(overlay_->shown);
    EXPECT_FALSE(grabber.press({3, HotkeyModifier::control | HotkeyModifier::option}));
    controller_.reset();
}

// Tools that switch the layout group around each chord change the layout at every press: a
// hotkey whose key stays is not touched, and one whose key moves takes its new key first.
TEST_F(AppControllerTest, ALayoutChangeMovesOnlyTheHotkeysWhoseKeyChanges) {
    prefs_.set(keys::hotkeyID, std::string("ctrl-opt-space"));
    prefs_.set(keys::findShortcut, true);
    std::function<void()> layoutChanged;
    std::uint16_t slash = 44;
    AppController::Startup startup;
    startup.hotkeys = &grabber_;
    startup.slashKeyCode = [&] { return slash; };
    startup.letterKeyCode = [](std::uint16_t code) { return code; };
    startup.watchLayout = [&](auto changed) { layoutChanged = changed; };
    controller().start(startup);
    scheduler_.runDue();
    const std::vector<std::string> grabbed = grabber_.changes();
    ASSERT_EQ(grabbed, (std::vector<std::string>{"grab 1 49", "grab 2 44"}));

    layoutChanged();  // the US group again, or a group typing "/" where US does
    EXPECT_EQ(grabber_.changes(), grabbed);
    slash = 10;  // a group typing "/" elsewhere
    layoutChanged();
    EXPECT_EQ(grabber_.changes(),
              (std::vector<std::string>{"grab 1 49", "grab 2 44", "grab 2 10", "release 2 44"}));
    EXPECT_TRUE(grabber_.press({49, HotkeyModifier::control | HotkeyModifier::option}));
    EXPECT_TRUE(overlay_->shown);
    EXPECT_FALSE(controller().hotkeyError());
    EXPECT_FALSE(controller().findHotkeyError());
    controller_.reset();
}

}  // namespace
}  // namespace ovra::controllertest
